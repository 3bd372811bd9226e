#include "apps/batch_run.h"

#include "apps/fd_stream.h"
#include "forms/app.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "forms/ordered_tests.h"
#include "results/export.h"
#include "results/png.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "sim/series_plan.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <ostream>
#include <system_error>
#include <thread>
#include <utility>

namespace tb {

std::atomic<int> gInterrupts{0};
std::atomic<int> gTerminateSignal{0};

std::string writeFailure(std::ostream& out) {
  if (auto* fd = dynamic_cast<FdOutBuf*>(out.rdbuf()); fd && fd->error()) return std::strerror(fd->error());
  return "the output stream failed";
}

int runGuarded(const char* tool, const std::function<int()>& work, std::ostream& err) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    err << tool << ": not enough memory to go on; free some memory, or give fewer --jobs or --lanes.\n";
  } catch (const std::system_error& e) {
    err << tool << ": a worker thread could not be started (" << e.what()
        << "); give fewer --jobs, or free some memory.\n";
  }
  err.flush();
  return kExitNoMemory;
}

bool readerWentAway(std::ostream& out) {
  auto* fd = dynamic_cast<FdOutBuf*>(out.rdbuf());
  return fd && fd->error() == EPIPE;
}

namespace {

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

struct SeriesSetup {
  std::vector<std::pair<std::string, std::string>> fields;
  std::optional<int64_t> stopAtStep;
  std::optional<std::pair<int, int>> plotSize;
  bool keepPlot = false;
  bool progress = false;
  std::ostream* err = nullptr;
  // Called with each finished test; false stops the series (a failed write).
  std::function<bool(const ExportedTest&)> onTest;
  unsigned jobs = 1; // threads for the tests
  int lanes = 1;     // tests side by side per thread; 0 the widest
  bool ignoreInterrupts = false;
};

// One series on the in-memory windows, with the batch tool's hooks: each
// finished test to the writer, --stop-at-step, the signals, and the progress
// line on a terminal.
class HeadlessSeries {
public:
  explicit HeadlessSeries(const SeriesSetup& setup) : setup_(setup), forms_(newMemoryForms()) {
    if (setup.plotSize) forms_->forcePlotSize(setup.plotSize->first, setup.plotSize->second);
    app_.Form_Load();
    for (const auto& [control, text] : setup.fields)
      forms_->setText(control, text);
    exp_.onTestEnd = [this](const TestReport& r) { testEnded(r); };
    exp_.stopAtStep = setup.stopAtStep;
    if (!setup.ignoreInterrupts) forms_->interruptFlag = &gInterrupts;
    forms_->onInterrupt = [this](int) { interrupted(); };
    if (setup.progress && setup.err) {
      planned_ =
          SeriesPlan::of(Val(forms_->text(controls::Talphastr)), Val(forms_->text(controls::Talphaend)))
              .count();
      forms_->onPoll = [this] { reportProgress(); };
    }
  }

  SeriesResult run() {
    app_.CommandStart_Click();
    clearProgress();
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
    clearProgress();
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

  // The progress line shares the terminal with the result lines: it is wiped
  // before a line is written and redrawn at the next report.
  void reportProgress() {
    double now = monotonicSeconds();
    if (now - lastProgress_ < 0.1) return;
    lastProgress_ = now;
    const SimState& s = exp_.state();
    char buf[160];
    std::snprintf(buf, sizeof buf, "\rtest %zu of %s%ld  alpha %g  steps %lld  revolutions %d   ",
                  result_.tests.size() + 1, planned_ ? "" : "?", planned_, s.alpha,
                  static_cast<long long>(s.nstep), s.rev);
    *setup_.err << buf << std::flush;
    progressShown_ = true;
  }

  void clearProgress() {
    if (!progressShown_) return;
    *setup_.err << "\r" << std::string(78, ' ') << "\r" << std::flush;
    progressShown_ = false;
  }

  const SeriesSetup& setup_;
  std::unique_ptr<MemoryForms> forms_;
  Experiment exp_{*forms_};
  Application app_{*forms_, exp_};
  SeriesResult result_;
  long planned_ = 0; // tests the series will run, 0 when unknown
  double lastProgress_ = 0;
  bool progressShown_ = false;
};

SeriesResult runSeries(const SeriesSetup& setup);

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
  one.progress = false;
  one.jobs = 1;
  one.lanes = 1;
  one.fields = fieldsAt(setup.fields, angles[k]);
  if (k < series.tests.size() && series.interrupted && k + 1 == series.tests.size())
    one.stopAtStep = series.tests[k].report.steps;
  // After Ctrl-C the picture is still drawn; a further signal still ends the tool.
  one.ignoreInterrupts = gInterrupts != 0;
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

// On a terminal, the count of finished tests; wiped before a result line is
// written.
class ProgressLine {
public:
  ProgressLine(std::ostream* err, size_t total) : err_(err), total_(total) {}
  ~ProgressLine() { clear(); }
  void show(size_t finishedTests) {
    if (!err_ || finishedTests == shown_) return;
    char buf[96];
    std::snprintf(buf, sizeof buf, "\rtests finished: %zu of %zu   ", finishedTests, total_);
    *err_ << buf << std::flush;
    shown_ = finishedTests;
  }
  void clear() {
    if (shown_ == kNone) return;
    *err_ << "\r" << std::string(78, ' ') << "\r" << std::flush;
    shown_ = kNone;
  }

private:
  static constexpr size_t kNone = SIZE_MAX;
  std::ostream* err_;
  size_t total_;
  size_t shown_ = kNone;
};

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
        HeadlessTestsSetup{setup.jobs, setup.lanes, setup.stopAtStep, &gInterrupts});
    ProgressLine progress(setup.progress ? setup.err : nullptr, angles.size());
    float seriesMax = 0;
    for (size_t k = 0; k < angles.size(); ++k) {
      std::optional<SeriesResult> r = tests.take(k, [&](size_t finished) { progress.show(finished); });
      if (!r) break; // never started: an interrupt came first
      progress.clear();
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

SeriesResult runSeries(const SeriesSetup& setup) {
  if (setup.jobs > 1 || setup.lanes != 1) {
    std::vector<double> angles = seriesAngles(setup.fields);
    if (angles.size() > 1) return runSeriesParallel(setup, angles);
  }
  return HeadlessSeries(setup).run();
}

const char* formatName(OutputFormat f) {
  switch (f) {
  case OutputFormat::Jsonl: return "jsonl";
  case OutputFormat::Csv: return "csv";
  case OutputFormat::Json: return "json";
  default: return "text";
  }
}

const char* textMark(Verdict v) {
  switch (v) {
  case Verdict::Differs: return " *";
  case Verdict::Unchecked: return " ?";
  default: return "";
  }
}

// Writes one test; false when the stream failed.
bool writeTest(OutputFormat format, const ExportedTest& t, std::ostream& out) {
  switch (format) {
  case OutputFormat::Text: out << t.report.line << textMark(t.verdict) << "\n"; break;
  case OutputFormat::Jsonl: out << testToJson(t) << "\n"; break;
  case OutputFormat::Csv: out << testToCsvRow(t.report, t.verdict) << "\n"; break;
  case OutputFormat::Json: break;
  }
  out.flush();
  return static_cast<bool>(out);
}

void writeJsonDocument(const BatchOptions& options, const SeriesResult& r, bool checkComplete,
                       std::ostream& out) {
  nlohmann::ordered_json doc;
  doc["program"] = "threebody";
  doc["version"] = THREEBODY_VERSION;
  doc["format"] = formatName(options.format);
  nlohmann::ordered_json parameters = nlohmann::ordered_json::object();
  for (const auto& f : parameterFields())
    for (const auto& [control, value] : options.fields)
      if (control == f.control) parameters[f.label] = value;
  doc["parameters"] = parameters;
  doc["checked"] = options.check;
  if (options.check) doc["check_complete"] = checkComplete;
  doc["interrupted"] = r.interrupted;
  doc["tests"] = nlohmann::ordered_json::array();
  for (const auto& t : r.tests)
    doc["tests"].push_back(testJson(t));
  doc["error"] = r.fault.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.fault);
  out << dumpJson(doc) << "\n";
}

// Gives each test of `first` its verdict from the series at half the time
// step: the same end code and revolution count or not. Only a test that the
// check run finished gets one; the last test of an interrupted check run was
// cut short and the ones after it never ran.
void markStability(SeriesResult& first, const SeriesResult* half) {
  size_t finished = 0;
  if (half) finished = half->tests.size() - (half->interrupted && !half->tests.empty() ? 1 : 0);
  for (size_t i = 0; i < first.tests.size(); ++i) {
    ExportedTest& t = first.tests[i];
    if (i >= finished) {
      t.verdict = Verdict::Unchecked;
      continue;
    }
    const TestReport& h = half->tests[i].report;
    bool same = h.end == t.report.end && h.revolutions == t.report.revolutions;
    t.verdict = same ? Verdict::Same : Verdict::Differs;
  }
}

int countVerdicts(const SeriesResult& r, Verdict v) {
  int n = 0;
  for (const auto& t : r.tests)
    n += t.verdict == v ? 1 : 0;
  return n;
}

// The check run's stop step: twice the first run's, as many steps of half the
// size reach the same time. A step beyond any count reached stays unreached.
int64_t doubledStep(int64_t n) {
  return n > std::numeric_limits<int64_t>::max() / 2 ? std::numeric_limits<int64_t>::max() : n * 2;
}

void reportCheck(const SeriesResult& result, const std::string& halfStep, bool textFormat,
                 std::ostream& err) {
  int unchecked = countVerdicts(result, Verdict::Unchecked);
  int differs = countVerdicts(result, Verdict::Differs);
  int total = static_cast<int>(result.tests.size());
  if (unchecked > 0)
    err << "threebody-batch: the check was interrupted: " << total - unchecked << " of " << total
        << " tests were checked" << (textFormat ? "; lines marked ? were not" : "") << ".\n";
  if (differs > 0)
    err << "threebody-batch: " << (textFormat ? "* " : "") << differs << " of " << total - unchecked
        << " checked tests end differently (end code or revolutions) with half the time step, tdelta "
        << halfStep << ": their outcome depends on the step size.\n";
}

// The check: the same series at half the time step, its verdicts marked on
// `result`. Returns the half step's text, or nullopt when the program was
// ended meanwhile.
std::optional<std::string> runCheck(const SeriesSetup& setup, SeriesResult& result) {
  std::string halfStep;
  bool ran = !result.interrupted && result.fault.empty();
  SeriesResult second;
  if (ran) {
    SeriesSetup half = setup;
    half.onTest = nullptr;
    half.keepPlot = false;
    half.plotSize.reset(); // the picture is the first run's; the check needs none
    for (auto& [control, text] : half.fields)
      if (control == controls::Ttdelta) {
        halfStep = exactText(Val(text) / 2);
        text = halfStep;
      }
    if (setup.stopAtStep) half.stopAtStep = doubledStep(*setup.stopAtStep);
    second = runSeries(half);
    if (second.ended) return std::nullopt;
    result.interrupted = result.interrupted || second.interrupted;
  }
  markStability(result, ran ? &second : nullptr);
  return halfStep;
}

// The plot file and the fault after the results: what went wrong, as the
// exit status.
int finishRun(const BatchOptions& options, const SeriesResult& result, std::ostream& err) {
  int status = kExitDone;
  if (!options.plotFile.empty()) {
    std::string plotError = writePng(options.plotFile, result.plotWidth, result.plotHeight, result.plot);
    if (!plotError.empty()) {
      err << "threebody-batch: --plot: " << printableText(plotError, 200) << "\n";
      status = kExitFileFailed;
    }
  }
  if (!result.fault.empty()) {
    err << "threebody-batch: " << result.fault << "\n";
    status = kExitFault;
  }
  if (gTerminateSignal != 0) status = 128 + gTerminateSignal;
  return status;
}

} // namespace

int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
  SeriesSetup setup{options.fields,
                    options.stopAtStep,
                    options.plotSize,
                    !options.plotFile.empty(),
                    progress,
                    &err,
                    nullptr,
                    options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                     : std::max(1u, std::thread::hardware_concurrency()),
                    options.lanes};
  auto writeFailed = [&]() {
    if (!readerWentAway(out))
      err << "threebody-batch: writing the results failed: " << writeFailure(out) << "\n";
    return kExitWriteFailed;
  };
  // Without --check every test is written the moment it ends.
  bool streaming = !options.check && options.format != OutputFormat::Json;
  if (options.format == OutputFormat::Csv && !(out << csvHeader(options.check) << "\n" << std::flush))
    return writeFailed();
  if (streaming) setup.onTest = [&](const ExportedTest& t) { return writeTest(options.format, t, out); };

  SeriesResult result;
  try {
    result = runSeries(setup);
  } catch (const std::bad_alloc&) {
    if (options.plotSize) {
      err << "threebody-batch: not enough memory for a " << options.plotSize->first << "x"
          << options.plotSize->second << " plot; choose a smaller --plot-size.\n";
      return kExitFileFailed;
    }
    throw; // the tool's own answer to a lack of memory
  }
  if (result.ended) return 128 + SIGINT;
  if (result.writeFailed) return writeFailed();
  std::string halfStep;
  if (options.check) {
    auto checked = runCheck(setup, result);
    if (!checked) return 128 + SIGINT;
    halfStep = *checked;
  }
  if (!streaming) {
    if (options.format == OutputFormat::Json)
      writeJsonDocument(options, result, countVerdicts(result, Verdict::Unchecked) == 0, out);
    else
      for (const auto& t : result.tests)
        if (!writeTest(options.format, t, out)) break;
  }
  if (!out.flush()) return writeFailed();
  if (options.check && result.fault.empty())
    reportCheck(result, halfStep, options.format == OutputFormat::Text, err);
  return finishRun(options, result, err);
}

} // namespace tb
