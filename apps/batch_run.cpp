#include "apps/batch_run.h"
#include "runtime/controls.h"

#include "results/export.h"
#include "apps/fd_stream.h"
#include "results/png.h"
#include "forms/app.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "runtime/numeric.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <ostream>

namespace tb {

volatile sig_atomic_t gInterrupts = 0;
volatile sig_atomic_t gTerminateSignal = 0;

std::string writeFailure(std::ostream& out) {
  if (auto* fd = dynamic_cast<FdOutBuf*>(out.rdbuf()); fd && fd->error()) return std::strerror(fd->error());
  return "the output stream failed";
}

namespace {

// The shortest fixed-notation text that reads back as exactly v.
std::string exactText(double v) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  return std::string(buf, r.ptr);
}

struct SeriesResult {
  std::vector<ExportedTest> tests;
  std::string fault;
  bool ended = false;       // the application was ended
  bool interrupted = false; // a signal stopped it: its last test did not finish
  bool writeFailed = false; // a result line could not be written: it stopped
  std::vector<uint32_t> plot;
  int plotWidth = 0, plotHeight = 0;
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
};

SeriesResult runSeries(const SeriesSetup& setup) {
  auto forms = newMemoryForms();
  if (setup.plotSize) forms->forcePlotSize(setup.plotSize->first, setup.plotSize->second);
  Experiment exp(*forms);
  Application app(*forms, exp);
  app.Form_Load();
  for (const auto& [control, text] : setup.fields)
    forms->setText(control, text);

  SeriesResult result;
  // The progress line shares the terminal with the result lines: it is wiped
  // before a line is written and redrawn at the next report.
  bool progressShown = false;
  auto clearProgress = [&] {
    if (!progressShown) return;
    *setup.err << "\r" << std::string(78, ' ') << "\r" << std::flush;
    progressShown = false;
  };
  long planned = plannedTests(Val(forms->text(controls::Talphastr)), Val(forms->text(controls::Talphaend)));
  exp.onTestEnd = [&](const TestReport& r) {
    ExportedTest t{r, {}, Verdict::None};
    for (const char* c : kReadoutControls)
      t.readouts.emplace_back(c, forms->text(c));
    result.tests.push_back(t);
    clearProgress();
    if (setup.onTest && !setup.onTest(t)) {
      // Nothing more can reach the reader: stop after this test.
      result.writeFailed = true;
      exp.state().stopflag = 1;
    }
  };
  if (setup.stopAtStep) {
    const int64_t target = *setup.stopAtStep;
    forms->onYield = [&, target, fired = false]() mutable {
      if (!fired && exp.state().nstep == target) {
        fired = true;
        app.CommandEnd_Click();
      }
    };
  }
  forms->interruptFlag = &gInterrupts;
  forms->onInterrupt = [&](int) {
    result.interrupted = true;
    // Once stopping, a further signal only asks to write out: another click
    // on End would end the program and lose the results.
    if (forms->caption(controls::CommandEnd) == "Stop") app.CommandEnd_Click();
  };
  double lastProgress = 0;
  if (setup.progress && setup.err) {
    forms->onPoll = [&]() {
      double now = monotonicSeconds();
      if (now - lastProgress < 0.1) return;
      lastProgress = now;
      const SimState& s = exp.state();
      char buf[160];
      std::snprintf(buf, sizeof buf, "\rtest %zu of %s%ld  alpha %g  steps %lld  revolutions %d   ",
                    result.tests.size() + 1, planned ? "" : "?", planned, s.alpha,
                    static_cast<long long>(s.nstep), s.rev);
      *setup.err << buf << std::flush;
      progressShown = true;
    };
  }
  app.CommandStart_Click();
  clearProgress();
  result.fault = exp.lastFault();
  result.ended = forms->ended();
  if (setup.keepPlot) {
    result.plotWidth = forms->plotWidth();
    result.plotHeight = forms->plotHeight();
    result.plot = forms->takePlot();
  }
  return result;
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

} // namespace

int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
  SeriesSetup setup;
  setup.fields = options.fields;
  setup.stopAtStep = options.stopAtStep;
  setup.plotSize = options.plotSize;
  setup.keepPlot = !options.plotFile.empty();
  setup.progress = progress;
  setup.err = &err;
  auto writeFailed = [&]() {
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
    err << "threebody-batch: not enough memory for a " << options.plotSize->first << "x"
        << options.plotSize->second << " plot; choose a smaller --plot-size.\n";
    return kExitPlotFailed;
  }
  if (result.ended) return 128 + SIGINT;
  if (result.writeFailed) return writeFailed();

  std::string halfStep;
  if (options.check) {
    SeriesResult second;
    bool ran = !result.interrupted && result.fault.empty();
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
      if (second.ended) return 128 + SIGINT;
      result.interrupted = result.interrupted || second.interrupted;
    }
    markStability(result, ran ? &second : nullptr);
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

  int status = kExitDone;
  if (!options.plotFile.empty()) {
    std::string plotError = writePng(options.plotFile, result.plotWidth, result.plotHeight, result.plot);
    if (!plotError.empty()) {
      err << "threebody-batch: --plot: " << printableText(plotError, 200) << "\n";
      status = kExitPlotFailed;
    }
  }
  if (!result.fault.empty()) {
    err << "threebody-batch: " << result.fault << "\n";
    status = kExitFault;
  }
  if (gTerminateSignal != 0) status = 128 + gTerminateSignal;
  return status;
}

} // namespace tb
