#include "apps/batch_run.h"

#include "apps/export.h"
#include "forms/app.h"
#include "forms/design.h"
#include "runtime/numeric.h"

#include <cstdio>
#include <ostream>

namespace tb {

volatile int gInterrupts = 0;

namespace {

// Number of tests the series will run at most (a stop or a test without an end
// code ends it earlier); 0 when the angles never reach the end.
long plannedTests(double alphastr, double alphaend) {
  double d = (alphaend - alphastr) / 10;
  if (d <= 0) d = 0;
  else if (d <= 0.1) d = 0.1;
  else if (d <= 1) d = 1;
  else if (d <= 10) {
  } else if (d <= 18) d = 10;
  else d = 20;
  d = Int(d * 10) / 10;
  long n = 1;
  for (double a = alphastr; a < alphaend; a += d) {
    if (a + d == a || n > 10000000) return 0;
    ++n;
  }
  return n;
}

const char* formatName(OutputFormat f) {
  switch (f) {
  case OutputFormat::Jsonl: return "jsonl";
  case OutputFormat::Csv: return "csv";
  case OutputFormat::Json: return "json";
  default: return "text";
  }
}

} // namespace

int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
  auto forms = newMemoryForms();
  Experiment exp(*forms);
  Application app(*forms, exp);
  app.Form_Load();
  for (const auto& [control, text] : options.fields) forms->setText(control, text);

  long planned = plannedTests(Val(forms->text("Talphastr")), Val(forms->text("Talphaend")));
  int testsDone = 0;
  std::vector<std::string> jsonTests;

  if (options.format == OutputFormat::Csv) out << csvHeader() << "\n" << std::flush;

  exp.onTestEnd = [&](const TestReport& r) {
    ++testsDone;
    ExportedTest t{r, {}};
    for (const char* c : kReadoutControls) t.readouts.emplace_back(c, forms->text(c));
    switch (options.format) {
    case OutputFormat::Text: out << r.line << "\n"; break;
    case OutputFormat::Jsonl: out << testToJson(t) << "\n"; break;
    case OutputFormat::Csv: out << testToCsvRow(r) << "\n"; break;
    case OutputFormat::Json: jsonTests.push_back(testToJson(t)); break;
    }
    out.flush();
  };

  if (options.stopAtStep) {
    const int64_t target = *options.stopAtStep;
    bool fired = false;
    forms->onYield = [&, target]() {
      if (!fired && exp.state().nstep == target) {
        fired = true;
        app.CommandEnd_Click();
      }
    };
  }
  forms->interruptFlag = &gInterrupts;
  forms->onInterrupt = [&](int) { app.CommandEnd_Click(); };

  double lastProgress = 0;
  if (progress) {
    forms->onPoll = [&]() {
      double now = monotonicSeconds();
      if (now - lastProgress < 0.1) return;
      lastProgress = now;
      const SimState& s = exp.state();
      char buf[160];
      std::snprintf(buf, sizeof buf, "\rtest %d of %s%ld  alpha %g  steps %lld  revolutions %d   ",
                    testsDone + 1, planned ? "" : "?", planned, s.alpha,
                    static_cast<long long>(s.nstep), s.rev);
      err << buf << std::flush;
    };
  }

  app.CommandStart_Click();
  if (progress) err << "\r" << std::string(72, ' ') << "\r" << std::flush;

  if (options.format == OutputFormat::Json) {
    out << "{\"program\":\"threebody\",\"version\":" << jsonString(THREEBODY_VERSION)
        << ",\"format\":" << jsonString(formatName(options.format)) << ",\"parameters\":{";
    bool first = true;
    for (const auto& f : parameterFields()) {
      out << (first ? "" : ",") << jsonString(f.label) << ":" << jsonString(forms->text(f.control));
      first = false;
    }
    out << "},\"tests\":[";
    for (size_t i = 0; i < jsonTests.size(); ++i) out << (i ? ",\n" : "\n") << jsonTests[i];
    out << "\n],\"error\":" << (exp.lastFault().empty() ? "null" : jsonString(exp.lastFault()))
        << "}\n";
  }
  out.flush();
  if (forms->ended()) return 130;
  if (!exp.lastFault().empty()) {
    err << "threebody-batch: " << exp.lastFault() << "\n";
    return 3;
  }
  return 0;
}

} // namespace tb
