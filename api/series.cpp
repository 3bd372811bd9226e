// The library's series and single test, run on the in-memory forms as the
// batch tool runs them.
#include "api/internal.h"

#include "results/schema.h"
#include "runtime/numeric.h"
#include "series/series_checks.h"
#include "series/series_run.h"
#include "sim/trace.h"

#include <cmath>

namespace threebody {

struct [[gnu::visibility("hidden")]] Series::Impl {
  tb::FieldTexts fields;
  tb::SeriesSetup setup;
  StopToken stop;
  std::optional<StopToken> verifyStop;
  bool check = false, verify = false;
  std::vector<uint32_t> plot;
  int plotWidth = 0, plotHeight = 0;
  bool interrupted = false, ended = false;
  std::string checkTdelta;
};

namespace {

// A finished test of the series with `fields`, with the batch tool's outputs.
SeriesTest seriesTest(const tb::ExportedTest& t, const tb::FieldTexts& fields) {
  SeriesTest s{testResult(t), {}, {}, {}};
  const tb::VerifiedTest* verified = t.verified ? &*t.verified : nullptr;
  s.text = t.report.line + (t.verdict == tb::Verdict::Differs     ? " *"
                            : t.verdict == tb::Verdict::Unchecked ? " ?"
                                                                  : "");
  if (t.verifyAsked) s.text += tb::verifyMark(verified);
  s.json = tb::testToJson(t);
  s.csv = tb::testToCsvRow(t.report, t.verdict, &fields, verified, t.verifyAsked);
  return s;
}

} // namespace

Series::Series(const Experiment& experiment, const SeriesOptions& options) : impl_(std::make_unique<Impl>()) {
  checkTexts(experiment);
  Impl& m = *impl_;
  m.fields = fieldTexts(experiment);
  m.setup.fields = m.fields;
  m.setup.jobs = threadsFor(options.threads);
  m.setup.lanes = options.lanes;
  m.stop = options.stop;
  m.setup.interrupt = m.stop.counter();
  m.check = options.check;
  m.verify = options.verify;
}

Series::~Series() = default;

void Series::plotSize(int width, int height) { impl_->setup.plotSize = std::pair(width, height); }
void Series::keepPlot() { impl_->setup.keepPlot = true; }
void Series::stopAtStep(int64_t step) { impl_->setup.stopAtStep = step; }
void Series::verifyStop(const StopToken& stop) { impl_->verifyStop = stop; }
void Series::onProgress(std::function<void(const SeriesProgress&)> progress) {
  if (!progress) {
    impl_->setup.onProgress = nullptr;
    return;
  }
  impl_->setup.onProgress = [progress = std::move(progress)](const tb::SeriesProgress& p) {
    progress(SeriesProgress{p.finished, p.tests, p.running, p.alpha, p.steps, p.revolutions});
  };
}
const std::vector<uint32_t>& Series::plot() const { return impl_->plot; }
int Series::plotWidth() const { return impl_->plotWidth; }
int Series::plotHeight() const { return impl_->plotHeight; }
bool Series::interrupted() const { return impl_->interrupted; }
bool Series::ended() const { return impl_->ended; }
std::string Series::checkTdelta() const { return impl_->checkTdelta; }
std::string Series::csvHead() const { return tb::csvHeader(impl_->check, true, impl_->verify); }

SeriesSummary Series::run(const std::function<bool(const SeriesTest&)>& onTest) {
  Impl& m = *impl_;
  tb::SeriesSetup setup = m.setup;
  SeriesSummary summary;
  auto give = [&](tb::ExportedTest t, const StopToken& verifyStop) {
    if (m.verify) tb::verifyTest(m.fields, t, verifyStop.counter());
    ++summary.tests;
    return !onTest || onTest(seriesTest(t, m.fields));
  };
  // While the series runs, its stop ends the tests; the verification of the
  // ones finished goes on unless a stop of its own is asked.
  const StopToken& during = m.verifyStop ? *m.verifyStop : m.stop;
  // Without the check each test is given the moment it ends.
  if (!m.check) setup.onTest = [&](const tb::ExportedTest& t) { return give(t, during); };
  tb::SeriesResult result = tb::runSeries(setup);
  m.plot = std::move(result.plot);
  m.plotWidth = result.plotWidth;
  m.plotHeight = result.plotHeight;
  summary.fault = result.fault;
  m.ended = result.ended;
  if (m.check && !result.ended && !result.writeFailed) {
    if (std::optional<std::string> half = tb::runCheck(setup, result))
      m.checkTdelta = *half;
    else
      m.ended = true;
    // Once the series is over only the verification is left: the series'
    // stop ends it, unless that stop was asked already (it ended the series).
    if (!m.ended)
      for (const tb::ExportedTest& t : result.tests)
        if (!give(t, m.verifyStop && m.stop.stopRequested() ? *m.verifyStop : m.stop)) break;
  }
  m.interrupted = result.interrupted;
  summary.stopped = result.interrupted || m.stop.stopRequested();
  return summary;
}

SeriesSummary runSeries(const Experiment& experiment, const SeriesOptions& options,
                        const std::function<void(const TestResult&)>& onTest) {
  experiment.check();
  return Series(experiment, options).run([&](const SeriesTest& t) {
    if (onTest) onTest(t.result);
    return true;
  });
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
