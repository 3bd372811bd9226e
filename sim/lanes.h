// The lane engine: many one-test series side by side, one test per vector
// lane, each bit for bit what the one-at-a-time engine gives it.
#pragma once

#include "sim/experiment.h"
#include "sim/lane_block.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tb {

class LaneEngine {
public:
  // The lane counts this processor runs, widest first; 1, the one-at-a-time
  // engine, is not among them.
  static std::vector<int> widths();

  // Steps `width` tests at a time, one of widths(); 0 takes the widest.
  explicit LaneEngine(int width = 0);
  int width() const { return kernel_.width; }
  const char* instructionSet() const { return kernel_.target; }

  struct Control {
    // Every test stops after this pass, as a click on Stop at it would.
    std::optional<int64_t> stopAtStep;
    // A value other than 0 stops every running test where it stands, after
    // at least one pass (its report is flagged interrupted); no test is
    // taken after the lanes' first.
    const std::atomic<int>* interrupt = nullptr;
    // When set, the running tests are dropped without a report.
    const std::atomic<bool>* abandon = nullptr;
  };

  // Runs tests until `next` gives none: each is an experiment whose fields
  // describe a one-test series. `done` is called once per test when it ended,
  // by its end, a stop or a fault (the experiment's onTestEnd and lastFault
  // tell which), with `interrupted` set when the interrupt stopped it.
  // `next` is called whenever a lane is free, from the calling thread.
  void run(const std::function<Experiment*()>& next,
           const std::function<void(Experiment&, bool interrupted)>& done, const Control& control);

private:
  bool load(int lane, Experiment& e);
  void idle(int lane);
  bool handleEvents(int lane, const lanes::Events& ev);
  void finish(int lane, bool interrupted);

  lanes::Kernel kernel_;
  lanes::WideBlock block_{};
  Experiment* tests_[lanes::kMaxLanes] = {};
  std::optional<int64_t> stopAt_;
  std::function<void(Experiment&, bool)> done_;
};

} // namespace tb
