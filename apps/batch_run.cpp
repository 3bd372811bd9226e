// The batch tool's run: the series, then --check at half the step, each test
// written as it becomes final in the chosen format, the picture, the exit status.
#include "apps/batch_run.h"

#include "api/bridge.h"
#include "reference/reference.h"
#include "results/export.h"
#include "results/png.h"
#include "runtime/numeric.h"
#include "runtime/parameters.h"

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

// Writes one test; false when the stream failed.
bool writeTest(const BatchOptions& options, const threebody::SeriesTest& t, std::ostream& out) {
  switch (options.format) {
  case OutputFormat::Text: out << t.text << "\n"; break;
  case OutputFormat::Jsonl: out << t.json << "\n"; break;
  case OutputFormat::Csv: out << t.csv << "\n"; break;
  case OutputFormat::Json: break;
  }
  out.flush();
  return static_cast<bool>(out);
}

// The verdicts, and apart from them the tests without one: stopped by the
// user, or finished but their verification was ended by a signal.
struct VerifyCounts {
  VerdictTally tally;
  int64_t stopped = 0, cutShort = 0;
  void add(const threebody::TestResult& t) {
    tally.add(t.verdict ? verificationNamed(*t.verdict) : std::nullopt);
    if (!t.verdict) ++(t.end == 0 ? stopped : cutShort);
  }
  bool any() const {
    return tally.none + tally.counts[0] + tally.counts[1] + tally.counts[2] + tally.counts[3] > 0;
  }
};

// The whole series as one JSON object; with --verify it counts the verdicts.
void writeJsonDocument(const BatchOptions& options, const std::vector<threebody::SeriesTest>& tests,
                       const threebody::Series& series, const threebody::SeriesSummary& r, bool checkComplete,
                       const VerdictTally* verified, std::ostream& out) {
  nlohmann::ordered_json doc;
  doc["program"] = "threebody";
  doc["version"] = THREEBODY_VERSION;
  doc["format"] = formatName(options.format);
  doc["parameters"] = parametersJson(options.fields);
  doc["checked"] = options.check;
  if (options.check) doc["check_complete"] = checkComplete;
  if (verified) doc["verification"] = verdictsJson(*verified);
  doc["interrupted"] = series.interrupted();
  doc["tests"] = nlohmann::ordered_json::array();
  for (const auto& t : tests)
    doc["tests"].push_back(nlohmann::ordered_json::parse(t.json));
  doc["error"] = r.fault.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.fault);
  out << dumpJson(doc) << "\n";
}

int countUnchecked(const std::vector<threebody::SeriesTest>& tests) {
  int n = 0;
  for (const auto& t : tests)
    n += t.result.same_at_half_step ? 0 : 1;
  return n;
}

void reportCheck(const std::vector<threebody::SeriesTest>& tests, const std::string& halfStep,
                 bool textFormat, std::ostream& err) {
  int unchecked = countUnchecked(tests), differs = 0;
  for (const auto& t : tests)
    differs += t.result.same_at_half_step == false ? 1 : 0;
  int total = static_cast<int>(tests.size());
  if (unchecked > 0)
    err << "threebody-batch: the check was interrupted: " << total - unchecked << " of " << total
        << " tests were checked" << (textFormat ? "; lines marked ? were not" : "") << ".\n";
  if (differs > 0)
    err << "threebody-batch: " << (textFormat ? "* " : "") << differs << " of " << total - unchecked
        << " checked tests end differently (end code or revolutions) with half the time step, tdelta "
        << halfStep << ": their outcome depends on the step size.\n";
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
int finishRun(const BatchOptions& options, const threebody::Series& series, const threebody::SeriesSummary& r,
              std::ostream& err) {
  int status = kExitDone;
  if (!options.plotFile.empty()) {
    // The picture names the program and the experiment it shows.
    std::string plotError = writePng(
        options.plotFile, series.plotWidth(), series.plotHeight(), series.plot(),
        {{"Software", "threebody-batch " THREEBODY_VERSION}, {"Parameters", parameterLine(options.fields)}});
    if (!plotError.empty()) {
      err << "threebody-batch: --plot: " << printableText(plotError, 200) << "\n";
      status = kExitFileFailed;
    }
  }
  if (!r.fault.empty()) {
    err << "threebody-batch: " << r.fault << "\n";
    status = kExitFault;
  }
  if (gTerminateSignal != 0) status = 128 + gTerminateSignal;
  return status;
}

} // namespace

// The series runs in the library: a first Ctrl-C (gInterrupts) is a click on
// Stop, which ends the series while the tests that finished are still
// verified; only a request to end (gTerminateSignal: a second Ctrl-C,
// SIGTERM, SIGHUP) stops the reference. Once the series is over nothing but
// verification is left to stop, and any signal stops it.
int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress) {
  threebody::SeriesOptions so;
  so.threads = options.jobs;
  so.lanes = options.lanes;
  so.check = options.check;
  so.verify = options.verify;
  so.stop = threebody::StopToken::watching(gInterrupts);
  threebody::Series series(threebody::experimentOf(options.fields), so);
  series.verifyStop(threebody::StopToken::watching(gTerminateSignal));
  if (options.stopAtStep) series.stopAtStep(*options.stopAtStep);
  if (options.plotSize) series.plotSize(options.plotSize->first, options.plotSize->second);
  if (!options.plotFile.empty()) series.keepPlot();
  // The progress line shares the terminal with the result lines: it is wiped
  // before a line is written and redrawn at the next report.
  bool shown = false;
  auto wipe = [&] {
    if (shown) err << "\r" << std::string(78, ' ') << "\r" << std::flush;
    shown = false;
  };
  if (progress)
    series.onProgress([&](const threebody::SeriesProgress& p) {
      char buf[160];
      if (p.running)
        std::snprintf(buf, sizeof buf, "\rtest %zu of %s%zu  alpha %g  steps %lld  revolutions %d   ",
                      p.finished + 1, p.tests ? "" : "?", p.tests, p.alpha, static_cast<long long>(p.steps),
                      p.revolutions);
      else
        std::snprintf(buf, sizeof buf, "\rtests finished: %zu of %zu   ", p.finished, p.tests);
      err << buf << std::flush;
      shown = true;
    });
  auto writeFailed = [&]() {
    if (!readerWentAway(out))
      err << "threebody-batch: writing the results failed: " << writeFailure(out) << "\n";
    return kExitWriteFailed;
  };
  // Without --check every test is written the moment it ends.
  const bool streaming = !options.check && options.format != OutputFormat::Json;
  if (options.format == OutputFormat::Csv && !(out << series.csvHead() << "\n" << std::flush))
    return writeFailed();
  VerifyCounts verifyCounts;
  std::vector<threebody::SeriesTest> tests;
  bool failed = false;
  threebody::SeriesSummary result;
  try {
    result = series.run([&](const threebody::SeriesTest& t) {
      wipe();
      if (options.verify) verifyCounts.add(t.result);
      tests.push_back(t);
      return !streaming || !(failed = !writeTest(options, t, out));
    });
  } catch (const std::bad_alloc&) {
    if (options.plotSize) {
      err << "threebody-batch: not enough memory for a " << options.plotSize->first << "x"
          << options.plotSize->second << " plot; choose a smaller --plot-size.\n";
      return kExitFileFailed;
    }
    throw; // the tool's own answer to a lack of memory
  }
  wipe();
  if (series.ended()) return 128 + SIGINT;
  if (failed) return writeFailed();
  if (!streaming) {
    if (options.format == OutputFormat::Json)
      writeJsonDocument(options, tests, series, result, countUnchecked(tests) == 0,
                        options.verify ? &verifyCounts.tally : nullptr, out);
    else
      for (const auto& t : tests)
        if (!writeTest(options, t, out)) break;
  }
  if (!out.flush()) return writeFailed();
  if (options.check && result.fault.empty())
    reportCheck(tests, series.checkTdelta(), options.format == OutputFormat::Text, err);
  // A series that ended on a fault before any test has nothing to count.
  if (options.verify && verifyCounts.any())
    reportVerify(verifyCounts, options.format == OutputFormat::Text, err);
  return finishRun(options, series, result, err);
}

} // namespace tb
