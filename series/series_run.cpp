// One headless series, one test at a time or apart on lanes and threads.
#include "series/series_run.h"

#include "forms/app.h"
#include "forms/headless.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "series/ordered_tests.h"
#include "sim/series_plan.h"

#include <cstdint>

namespace tb {

namespace {

// One series on the in-memory windows, with the batch tool's hooks: each
// finished test to the writer, --stop-at-step, the signals, and the progress.
class HeadlessSeries {
public:
  explicit HeadlessSeries(const SeriesSetup& setup) : setup_(setup), forms_(newMemoryForms()) {
    if (setup.plotSize) forms_->forcePlotSize(setup.plotSize->first, setup.plotSize->second);
    app_.Form_Load();
    for (const auto& [control, text] : setup.fields)
      forms_->setText(control, text);
    exp_.onTestEnd = [this](const TestReport& r) { testEnded(r); };
    exp_.stopAtStep = setup.stopAtStep;
    if (setup.onDisplayStep) exp_.onDisplayStep = [this] { setup_.onDisplayStep(exp_); };
    forms_->interruptFlag = setup.interrupt;
    forms_->onInterrupt = [this](int) { interrupted(); };
    if (setup.onProgress) {
      planned_ =
          SeriesPlan::of(Val(forms_->text(controls::Talphastr)), Val(forms_->text(controls::Talphaend)))
              .count();
      forms_->onPoll = [this] { reportProgress(); };
    }
  }

  SeriesResult run() {
    app_.CommandStart_Click();
    result_.fault = exp_.lastFault();
    result_.ended = forms_->ended();
    if (setup_.keepPlot) {
      result_.plotWidth = forms_->plotWidth();
      result_.plotHeight = forms_->plotHeight();
      result_.plot = forms_->takePlot();
    }
    result_.drew = forms_->psetCalls();
    return std::move(result_);
  }

private:
  void testEnded(const TestReport& r) {
    ExportedTest t = exportedTest(r, *forms_);
    result_.tests.push_back(t);
    if (setup_.onTest && !setup_.onTest(t)) {
      // Nothing more can reach the reader: stop after this test.
      result_.writeFailed = true;
      exp_.state().stopflag = 1;
    }
  }

  void interrupted() {
    result_.interrupted = true;
    // Once stopping, a further signal only asks to write out: another click
    // on End would end the program and lose the results.
    if (app_.state() == RunState::Running) app_.CommandEnd_Click();
  }

  void reportProgress() {
    double now = monotonicSeconds();
    if (now - lastProgress_ < 0.1) return;
    lastProgress_ = now;
    const SimState& s = exp_.state();
    setup_.onProgress(SeriesProgress{result_.tests.size(), planned_ > 0 ? static_cast<size_t>(planned_) : 0,
                                     true, s.alpha, s.nstep, s.rev});
  }

  const SeriesSetup& setup_;
  std::unique_ptr<MemoryForms> forms_;
  Experiment exp_{*forms_};
  Application app_{*forms_, exp_};
  SeriesResult result_;
  long planned_ = 0; // tests the series will run, 0 when unknown
  double lastProgress_ = 0;
};

// The angles of the tests of a series that no test ends early, in order;
// empty when they never reach the end angle or the fields are not readable
// (such a series runs one test at a time).
std::vector<double> seriesAngles(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::optional<double> start, end;
  for (const auto& [control, text] : fields) {
    if (control == controls::Talphastr) start = ValChecked(text);
    if (control == controls::Talphaend) end = ValChecked(text);
  }
  if (!start || !end) return {};
  return SeriesPlan::of(*start, *end).angles(1'000'000);
}

// The picture the series leaves: that of its last test, or of the test that
// faulted once it had begun to draw. Drawn again by that test alone, as one
// test at a time would have left it; a test cut short by a signal is drawn
// up to the step it reached.
void drawSeriesPicture(const SeriesSetup& setup, const std::vector<double>& angles, SeriesResult& series) {
  size_t k = series.tests.size();
  if (series.fault.empty()) {
    if (k == 0) return;
    k = k - 1;
  }
  SeriesSetup one = setup;
  one.onTest = nullptr;
  one.onProgress = nullptr;
  one.jobs = 1;
  one.lanes = 1;
  one.fields = fieldsAt(setup.fields, angles[k]);
  if (k < series.tests.size() && series.interrupted && k + 1 == series.tests.size())
    one.stopAtStep = series.tests[k].report.steps;
  // After Ctrl-C the picture is still drawn; a further signal still ends the tool.
  if (setup.interrupt && *setup.interrupt != 0) one.interrupt = nullptr;
  SeriesResult r = HeadlessSeries(one).run();
  if (!series.fault.empty() && r.drew == 0 && k > 0) {
    one.fields = fieldsAt(setup.fields, angles[k - 1]);
    one.stopAtStep = setup.stopAtStep;
    r = HeadlessSeries(one).run();
  }
  series.plot = std::move(r.plot);
  series.plotWidth = r.plotWidth;
  series.plotHeight = r.plotHeight;
}

// The series with its tests on lanes and threads: each test runs alone, as a
// one-test series at its angle, and the lines are put together in series
// order, each written as soon as it and all before it are final. The output
// is the same as one test at a time.
SeriesResult runSeriesParallel(const SeriesSetup& setup, const std::vector<double>& angles) {
  SeriesResult series;
  {
    auto input = [&setup, &angles](size_t k) {
      return HeadlessTestInput{fieldsAt(setup.fields, angles[k]), std::nullopt};
    };
    // Every test is kept, a stopped one too: the series' line of a test a
    // signal cut short is written.
    auto keep = [](size_t, HeadlessTest& t, MemoryForms& forms) -> std::optional<SeriesResult> {
      SeriesResult r;
      r.fault = t.fault;
      r.interrupted = t.cancelled;
      if (t.report) r.tests.push_back(exportedTest(*t.report, forms));
      return r;
    };
    OrderedTests<SeriesResult> tests(
        angles.size(), input, keep,
        HeadlessTestsSetup{setup.jobs, setup.lanes, setup.stopAtStep, setup.interrupt});
    // The count of finished tests, each time it changes.
    size_t shown = SIZE_MAX;
    auto progress = [&](size_t finished) {
      if (!setup.onProgress || finished == shown) return;
      setup.onProgress(SeriesProgress{finished, angles.size()});
      shown = finished;
    };
    float seriesMax = 0;
    for (size_t k = 0; k < angles.size(); ++k) {
      std::optional<SeriesResult> r = tests.take(k, progress);
      if (!r) break;    // never started: an interrupt came first
      shown = SIZE_MAX; // the line is written over the progress, which is told again
      series.interrupted = series.interrupted || r->interrupted;
      if (!r->fault.empty() || r->tests.empty()) {
        series.fault = r->fault;
        break;
      }
      ExportedTest t = std::move(r->tests.front());
      t.report.index = static_cast<int>(k);
      const ExportedTest* before = series.tests.empty() ? nullptr : &series.tests.back();
      takeOverFromTestBefore(t.report, t.readouts, before ? &before->report : nullptr,
                             before ? &before->readouts : nullptr, seriesMax);
      series.tests.push_back(t);
      if (setup.onTest && !setup.onTest(series.tests.back())) {
        series.writeFailed = true;
        break;
      }
      if (!SeriesPlan::goesOnAfter(t.report.end, 0)) break; // stopped: the series ends with this test
    }
  } // the tests after the end of the series are dropped here
  if (setup.keepPlot && !series.writeFailed) drawSeriesPicture(setup, angles, series);
  return series;
}

} // namespace

SeriesResult runSeries(const SeriesSetup& setup) {
  if (setup.jobs > 1 || setup.lanes != 1) {
    std::vector<double> angles = seriesAngles(setup.fields);
    if (angles.size() > 1) return runSeriesParallel(setup, angles);
  }
  return HeadlessSeries(setup).run();
}

} // namespace tb
