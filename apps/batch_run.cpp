// The batch tool's run: the series, then --check at half the step, each test
// written as it becomes final in the chosen format, the picture, the exit status.
#include "apps/batch_run.h"

#include "reference/reference.h"
#include "results/png.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "runtime/parameters.h"
#include "series/series_checks.h"
#include "series/series_run.h"

#include <cstdio>
#include <limits>
#include <ostream>
#include <thread>

namespace tb {

std::atomic<int> gInterrupts{0};
std::atomic<int> gTerminateSignal{0};

namespace {

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
bool writeTest(const BatchOptions& options, const ExportedTest& t, std::ostream& out) {
  const OutputFormat format = options.format;
  switch (format) {
  case OutputFormat::Text:
    out << t.report.line << textMark(t.verdict);
    if (t.verifyAsked) out << verifyMark(t.verified ? &*t.verified : nullptr);
    out << "\n";
    break;
  case OutputFormat::Jsonl: out << testToJson(t) << "\n"; break;
  case OutputFormat::Csv:
    out << testToCsvRow(t.report, t.verdict, &options.fields, t.verified ? &*t.verified : nullptr,
                        t.verifyAsked)
        << "\n";
    break;
  case OutputFormat::Json: break;
  }
  out.flush();
  return static_cast<bool>(out);
}

// The whole series as one JSON object; with --verify it counts the verdicts.
void writeJsonDocument(const BatchOptions& options, const SeriesResult& r, bool checkComplete,
                       const VerdictTally* verified, std::ostream& out) {
  nlohmann::ordered_json doc;
  doc["program"] = "threebody";
  doc["version"] = THREEBODY_VERSION;
  doc["format"] = formatName(options.format);
  doc["parameters"] = parametersJson(options.fields);
  doc["checked"] = options.check;
  if (options.check) doc["check_complete"] = checkComplete;
  if (verified) doc["verification"] = verdictsJson(*verified);
  doc["interrupted"] = r.interrupted;
  doc["tests"] = nlohmann::ordered_json::array();
  for (const auto& t : r.tests)
    doc["tests"].push_back(testJson(t));
  doc["error"] = r.fault.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.fault);
  out << dumpJson(doc) << "\n";
}

int countVerdicts(const SeriesResult& r, Verdict v) {
  int n = 0;
  for (const auto& t : r.tests)
    n += t.verdict == v ? 1 : 0;
  return n;
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

// A first Ctrl-C is a click on Stop: it ends the series, and the tests that
// finished are still verified; only a request to end (a second Ctrl-C,
// SIGTERM, SIGHUP) stops the reference. Once the series is over
// (`afterSeries`) nothing but verification is left to stop, and any signal
// stops it.
void verifyTest(const BatchOptions& options, ExportedTest& t, bool afterSeries) {
  const std::atomic<int>* stop = afterSeries && gInterrupts == 0 ? &gInterrupts : &gTerminateSignal;
  verifyTest(options.fields, t, stop);
}

void reportVerify(const VerifyCounts& v, bool textFormat, std::ostream& err) {
  const int64_t* counts = v.tally.counts;
  err << "threebody-batch: verified by a reference integration (Runge-Kutta-Fehlberg 7(8), tolerances 1e-12 "
         "and 1e-14): "
      << counts[0] << " confirmed, " << counts[1] << " artefact, " << counts[2] << " fragile, " << counts[3]
      << " undecided";
  if (v.stopped > 0) err << "; " << v.stopped << " stopped, not verified";
  if (v.cutShort > 0)
    err << "; " << v.cutShort << " not verified (a signal stopped their reference integration)";
  err << (textFormat && counts[1] + counts[2] + counts[3] > 0
              ? ". An artefact's outcome is the step size's, not the physics'; a fragile one lies on a "
                "chaotic "
                "boundary.\n"
              : ".\n");
}

// The plot file and the fault after the results: what went wrong, as the
// exit status.
int finishRun(const BatchOptions& options, const SeriesResult& result, std::ostream& err) {
  int status = kExitDone;
  if (!options.plotFile.empty()) {
    // The picture names the program and the experiment it shows.
    std::string plotError = writePng(
        options.plotFile, result.plotWidth, result.plotHeight, result.plot,
        {{"Software", "threebody-batch " THREEBODY_VERSION}, {"Parameters", parameterLine(options.fields)}});
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
  SeriesSetup setup;
  setup.fields = options.fields;
  setup.stopAtStep = options.stopAtStep;
  setup.plotSize = options.plotSize;
  setup.keepPlot = !options.plotFile.empty();
  setup.progress = progress;
  setup.err = &err;
  setup.jobs = options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                : std::max(1u, std::thread::hardware_concurrency());
  setup.lanes = options.lanes;
  setup.interrupt = &gInterrupts;
  auto writeFailed = [&]() {
    if (!readerWentAway(out))
      err << "threebody-batch: writing the results failed: " << writeFailure(out) << "\n";
    return kExitWriteFailed;
  };
  // Without --check every test is written the moment it ends.
  bool streaming = !options.check && options.format != OutputFormat::Json;
  if (options.format == OutputFormat::Csv && !(out << csvHeader(options.check, true, options.verify) << "\n"
                                                   << std::flush))
    return writeFailed();
  VerifyCounts verifyCounts;
  if (streaming)
    setup.onTest = [&](const ExportedTest& t) {
      if (!options.verify) return writeTest(options, t, out);
      ExportedTest verified = t;
      verifyTest(options, verified, false);
      verifyCounts.add(verified);
      return writeTest(options, verified, out);
    };

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
  if (options.verify && !streaming)
    for (auto& t : result.tests) {
      verifyTest(options, t, true);
      verifyCounts.add(t);
    }
  if (!streaming) {
    if (options.format == OutputFormat::Json)
      writeJsonDocument(options, result, countVerdicts(result, Verdict::Unchecked) == 0,
                        options.verify ? &verifyCounts.tally : nullptr, out);
    else
      for (const auto& t : result.tests)
        if (!writeTest(options, t, out)) break;
  }
  if (!out.flush()) return writeFailed();
  if (options.check && result.fault.empty())
    reportCheck(result, halfStep, options.format == OutputFormat::Text, err);
  // A series that ended on a fault before any test has nothing to count.
  if (options.verify && verifyCounts.any())
    reportVerify(verifyCounts, options.format == OutputFormat::Text, err);
  return finishRun(options, result, err);
}

} // namespace tb
