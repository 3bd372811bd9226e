// One headless series for the batch tool: run one test at a time on the
// in-memory windows, or with its tests apart on lanes and threads and put
// together in series order by the series plan; the output is the same.
#pragma once

#include "results/export.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tb {

struct SeriesResult {
  std::vector<ExportedTest> tests;
  std::string fault;
  bool ended = false;       // the application was ended
  bool interrupted = false; // a signal stopped it: its last test did not finish
  bool writeFailed = false; // a result line could not be written: it stopped
  std::vector<uint32_t> plot;
  int plotWidth = 0, plotHeight = 0;
  int64_t drew = 0; // dots drawn into the plot
};

// How far a series has come, for a progress line. Run one test at a time,
// it tells of the running test; run apart, of the tests finished.
struct SeriesProgress {
  size_t finished = 0;  // tests finished
  size_t tests = 0;     // tests the series will run; 0 when not known ahead
  bool running = false; // whether the fields below tell of the running test
  double alpha = 0;
  int64_t steps = 0;
  int revolutions = 0;
};

struct SeriesSetup {
  std::vector<std::pair<std::string, std::string>> fields;
  std::optional<int64_t> stopAtStep;
  std::optional<std::pair<int, int>> plotSize;
  bool keepPlot = false;
  // Called at most every 0.1 s while tests run; none: no progress is followed.
  std::function<void(const SeriesProgress&)> onProgress;
  // Called at every display step of a test run one at a time (jobs and
  // lanes 1), with the experiment's state up to date: a test's trajectory.
  std::function<void(const Experiment&)> onDisplayStep;
  // Called with each finished test; false stops the series (a failed write).
  std::function<bool(const ExportedTest&)> onTest;
  unsigned jobs = 1; // threads for the tests
  int lanes = 1;     // tests side by side per thread; 0 the widest
  // Counts the requests to stop (a signal handler, a window's Stop): a
  // change stops the series as a click on Stop would. None: nothing stops it.
  const std::atomic<int>* interrupt = nullptr;
};

// Runs the series: apart on lanes and threads when the setup asks for more
// than one test at a time and the series' angles are known, else one test
// at a time.
SeriesResult runSeries(const SeriesSetup& setup);

} // namespace tb
