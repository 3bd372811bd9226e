#include "apps/batch_run.h"

#include "apps/export.h"
#include "apps/png.h"
#include "forms/app.h"
#include "forms/design.h"
#include "runtime/numeric.h"

#include <charconv>
#include <cstdio>
#include <ostream>

namespace tb {

volatile int gInterrupts = 0;

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
  bool ended = false;       // the application was ended (a second Ctrl-C path)
  bool interrupted = false; // the user asked it to stop
};

struct SeriesSetup {
  std::vector<std::pair<std::string, std::string>> fields;
  std::optional<int64_t> stopAtStep;
  std::optional<std::pair<int, int>> plotSize;
  bool progress = false;
  std::ostream* err = nullptr;
  std::function<void(const ExportedTest&)> onTest;
  std::function<void(MemoryForms&)> afterSeries;
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
  long planned = plannedTests(Val(forms->text("Talphastr")), Val(forms->text("Talphaend")));
  exp.onTestEnd = [&](const TestReport& r) {
    ExportedTest t{r, {}, std::nullopt};
    for (const char* c : kReadoutControls)
      t.readouts.emplace_back(c, forms->text(c));
    result.tests.push_back(t);
    clearProgress();
    if (setup.onTest) setup.onTest(t);
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
    app.CommandEnd_Click();
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
  if (setup.afterSeries) setup.afterSeries(*forms);
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

void writeTest(OutputFormat format, const ExportedTest& t, std::ostream& out) {
  switch (format) {
  case OutputFormat::Text: out << t.report.line << (t.stable && !*t.stable ? " *" : "") << "\n"; break;
  case OutputFormat::Jsonl: out << testToJson(t) << "\n"; break;
  case OutputFormat::Csv: out << testToCsvRow(t.report, t.stable) << "\n"; break;
  case OutputFormat::Json: break;
  }
  out.flush();
}

void writeJsonDocument(const BatchOptions& options, const SeriesResult& r, std::ostream& out) {
  out << "{\"program\":\"threebody\",\"version\":" << jsonString(THREEBODY_VERSION)
      << ",\"format\":" << jsonString(formatName(options.format)) << ",\"parameters\":{";
  bool first = true;
  for (const auto& f : parameterFields()) {
    std::string text;
    for (const auto& [control, value] : options.fields)
      if (control == f.control) text = value;
    out << (first ? "" : ",") << jsonString(f.label) << ":" << jsonString(text);
    first = false;
  }
  out << "},\"checked\":" << (options.check ? "true" : "false") << ",\"tests\":[";
  for (size_t i = 0; i < r.tests.size(); ++i)
    out << (i ? ",\n" : "\n") << testToJson(r.tests[i]);
  out << "\n],\"error\":" << (r.fault.empty() ? "null" : jsonString(r.fault)) << "}\n";
}

// Marks each test of `first` stable when the series at half the time step
// gave the same end code and revolution count. Returns how many are not.
int markStability(SeriesResult& first, const SeriesResult& half) {
  int unstable = 0;
  for (size_t i = 0; i < first.tests.size(); ++i) {
    bool same = i < half.tests.size() && half.tests[i].report.end == first.tests[i].report.end &&
                half.tests[i].report.revolutions == first.tests[i].report.revolutions;
    first.tests[i].stable = same;
    unstable += same ? 0 : 1;
  }
  return unstable;
}

} // namespace

int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
  SeriesSetup setup;
  setup.fields = options.fields;
  setup.stopAtStep = options.stopAtStep;
  setup.plotSize = options.plotSize;
  setup.progress = progress;
  setup.err = &err;
  // Without --check every test is written the moment it ends.
  bool streaming = !options.check && options.format != OutputFormat::Json;
  if (options.format == OutputFormat::Csv) out << csvHeader(options.check) << "\n" << std::flush;
  if (streaming) setup.onTest = [&](const ExportedTest& t) { writeTest(options.format, t, out); };
  std::string plotError;
  if (!options.plotFile.empty()) {
    setup.afterSeries = [&](MemoryForms& forms) {
      plotError = writePng(options.plotFile, forms.plotWidth(), forms.plotHeight(), forms.plot());
    };
  }

  SeriesResult result = runSeries(setup);
  if (result.ended) return 130;

  int unstable = 0;
  std::string halfStep;
  if (options.check && !result.interrupted && result.fault.empty()) {
    SeriesSetup half = setup;
    half.onTest = nullptr;
    half.afterSeries = nullptr;
    for (auto& [control, text] : half.fields)
      if (control == "Ttdelta") {
        halfStep = exactText(Val(text) / 2);
        text = halfStep;
      }
    if (setup.stopAtStep) half.stopAtStep = *setup.stopAtStep * 2;
    SeriesResult second = runSeries(half);
    if (second.ended) return 130;
    unstable = markStability(result, second);
  }
  if (!streaming) {
    if (options.format == OutputFormat::Json)
      writeJsonDocument(options, result, out);
    else
      for (const auto& t : result.tests)
        writeTest(options.format, t, out);
  }
  out.flush();
  if (options.check && options.format == OutputFormat::Text && unstable > 0)
    err << "threebody-batch: * " << unstable << " of " << result.tests.size()
        << " tests end differently (end code or revolutions) with half the time step, tdelta " << halfStep
        << ": their outcome depends on the step size.\n";
  if (!plotError.empty()) {
    err << "threebody-batch: --plot: " << plotError << "\n";
    if (result.fault.empty()) return 1;
  }
  if (!result.fault.empty()) {
    err << "threebody-batch: " << result.fault << "\n";
    return 3;
  }
  return 0;
}

} // namespace tb
