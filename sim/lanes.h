// The lane engine: many one-test series side by side, one test per vector
// lane, each bit for bit what the one-at-a-time engine gives it.
#pragma once

#include "sim/experiment.h"
#include "sim/lane_block.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace tb {

class LaneEngine {
public:
  // How the lanes are stepped: `depth` vectors of `width` lanes in flight.
  struct Shape {
    int width = 0;
    int depth = 1;
    int lanes() const { return width * depth; }
    bool operator==(const Shape&) const = default;
  };
  // Every shape this processor runs, the most lanes first, and among equal
  // lanes the wider vectors first.
  static std::vector<Shape> shapes();
  // The lane counts this processor runs, most first; 1, the one-at-a-time
  // engine, is not among them.
  static std::vector<int> laneCounts();
  // The shape of a lane count (0: the default), as the engine takes it.
  static Shape shapeOf(int lanes);
  // Where `running` tests move when no test is left to take: of the shapes
  // with their nanoseconds a pass, the cheapest narrower than `now` that
  // holds them, when it is clearly cheaper than `now`; else `now`.
  static Shape tailShape(const std::vector<std::pair<Shape, double>>& nsPerPass, Shape now, int running);

  // Steps `lanes` tests at a time, one of laneCounts(); 0 takes the default.
  explicit LaneEngine(int lanes = 0);
  explicit LaneEngine(Shape shape);
  int lanes() const { return shape_.lanes(); }
  Shape shape() const { return shape_; }
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
  void copyLane(int from, int to);
  void gather(int running);
  bool handleEvents(int lane, const lanes::Events& ev);
  void finish(int lane, bool interrupted);

  lanes::Kernel kernel_;
  Shape shape_;
  // What steps now: the shape's kernel, or in a tail a cheaper one.
  Shape stepping_;
  lanes::WidePassesFn steppingPasses_ = nullptr;
  lanes::WideBlock block_{};
  Experiment* tests_[lanes::kMaxLanes] = {};
  std::optional<int64_t> stopAt_;
  std::function<void(Experiment&, bool)> done_;
};

} // namespace tb
