// The library's series and single test, run on the in-memory forms as the
// batch tool runs them.
#include "api/internal.h"

#include "runtime/numeric.h"
#include "series/series_checks.h"
#include "series/series_run.h"
#include "sim/trace.h"

#include <cmath>

namespace threebody {

SeriesSummary runSeries(const Experiment& experiment, const SeriesOptions& options,
                        const std::function<void(const TestResult&)>& onTest) {
  experiment.check();
  const tb::FieldTexts fields = fieldTexts(experiment);
  const std::atomic<int>* stop = options.stop.counter();
  tb::SeriesSetup setup;
  setup.fields = fields;
  setup.jobs = threadsFor(options.threads);
  setup.lanes = options.lanes;
  setup.interrupt = stop;
  SeriesSummary summary;
  auto give = [&](tb::ExportedTest t) {
    if (options.verify) tb::verifyTest(fields, t, stop);
    if (onTest) onTest(testResult(t));
    ++summary.tests;
  };
  // Without the check each test is given the moment it ends.
  if (!options.check)
    setup.onTest = [&](const tb::ExportedTest& t) {
      give(t);
      return true;
    };
  tb::SeriesResult result = tb::runSeries(setup);
  if (options.check) {
    tb::runCheck(setup, result);
    for (const tb::ExportedTest& t : result.tests)
      give(t);
  }
  summary.stopped = result.interrupted || options.stop.stopRequested();
  summary.fault = result.fault;
  return summary;
}

Trajectory runTest(const Experiment& experiment, double alpha, const StopToken& stop) {
  Experiment one = experiment;
  one.alpha_start = one.alpha_end = tb::exactText(alpha);
  one.check();
  tb::SeriesSetup setup;
  setup.fields = fieldTexts(one);
  setup.interrupt = stop.counter();
  Trajectory trajectory;
  setup.onDisplayStep = [&](const tb::Experiment& e) {
    const tb::SimState& s = e.state();
    const tb::TraceSample sample = tb::traceSample(e);
    TrajectoryPoint p;
    p.time = sample.time;
    // Relative to the pair's centre of mass, which the display step has just
    // found for the plot.
    for (int b = 0; b < 3; ++b) {
      p.x[b] = s.xpos[b] - e.locals().xcm;
      p.y[b] = s.ypos[b] - e.locals().ycm;
    }
    p.third_present = s.nstars > 1;
    p.dist13 = sample.dist13;
    p.dist23 = sample.dist23;
    p.dist12 = sample.dist12;
    p.v3 = sample.v3;
    p.vesc = sample.vesc;
    p.energy_error = sample.energyError;
    trajectory.points.push_back(p);
  };
  setup.onTest = [&](const tb::ExportedTest& t) {
    trajectory.result = testResult(t);
    return true;
  };
  const tb::SeriesResult result = tb::runSeries(setup);
  // A fault of the engine part-way (an overflow, which field to change) ends it.
  if (!result.fault.empty()) throw Error(result.fault);
  return trajectory;
}

} // namespace threebody
