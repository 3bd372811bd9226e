// threebody-map's run: the points computed in order, each row written to
// stdout and the CSV as it becomes final, the summary and the picture.
#include "apps/map.h"

#include "apps/batch_run.h"
#include "forms/headless.h"
#include "results/atomic_file.h"
#include "results/basin_entropy.h"
#include "results/map_picture.h"
#include "results/png.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <span>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tb {

namespace {

// The row of point (i, j): its test, or the fault that ended it.
PointRow makeRow(const MapOptions& o, size_t i, size_t j, const std::optional<ExportedTest>& test,
                 const std::string& fault) {
  PointRow r;
  // The batch tool's object for the test, then the point and its fault.
  nlohmann::ordered_json json = test ? testJson(*test) : nlohmann::ordered_json::object();
  json["i"] = i;
  json["j"] = j;
  // The axis values as numbers, as alpha is in every test's object.
  json[o.x.field] = o.x.values[i];
  json[o.y.field] = o.y.values[j];
  if (test) {
    r.outcome = MapOutcome::ended(test->report.end);
    r.steps = test->report.steps;
    const VerifiedTest* verified = test->verified ? &*test->verified : nullptr;
    r.csv = mapCsvRow(o, i, j, &test->report, fault, verified);
    r.text = test->report.line;
    if (test->verifyAsked) r.text += verifyMark(verified);
    if (verified) r.verdict = verified->verdict;
    if (verified && verified->verdict != Verification::Confirmed)
      r.mark = verified->verdict == Verification::Artefact ? MapMark::Artefact : MapMark::Fragile;
    json["error"] = nullptr;
  } else {
    r.csv = mapCsvRow(o, i, j, nullptr, fault);
    r.text = "fault: " + fault;
    json["error"] = fault;
  }
  r.json = dumpJson(json);
  return r;
}

// The row of point (i, j) of a reference map.
PointRow makeReferenceRow(const MapOptions& o, size_t i, size_t j, const ReferencePoint& p) {
  PointRow r;
  const ReferenceOutcome& out = p.outcome;
  r.outcome = referenceMapOutcome(out.end, out.time);
  r.steps = out.steps;
  if (std::string_view(p.verdict) != "stable") r.mark = MapMark::Fragile;
  r.verdict = mapVerdictNamed(p.verdict);
  r.csv = mapReferenceCsvRow(o, i, j, p);
  char buf[160];
  const std::string revolutions = revolutionsText(out.revolutions);
  if (out.end != EndCode::None)
    std::snprintf(buf, sizeof buf, "reference: end %d after %s at t = %.1f (%s)", endNumber(out.end),
                  revolutions.c_str(), out.time, p.verdict);
  else
    std::snprintf(buf, sizeof buf, "reference: %s at t = %.1f after %s, no end (%s)",
                  out.gaveUp ? "step budget spent" : "still running at the time limit", out.time,
                  revolutions.c_str(), p.verdict);
  r.text = buf;
  nlohmann::ordered_json json;
  json["i"] = i;
  json["j"] = j;
  json[o.x.field] = o.x.values[i];
  json[o.y.field] = o.y.values[j];
  json["end"] = endNumber(out.end);
  json["revolutions"] = out.revolutions;
  json["time"] = out.time;
  json["steps"] = out.steps;
  json["verdict"] = p.verdict;
  json["closest_approach"] =
      out.closest ? nlohmann::ordered_json(*out.closest) : nlohmann::ordered_json(nullptr);
  json["escape_gap"] =
      out.escapeGap ? nlohmann::ordered_json(*out.escapeGap) : nlohmann::ordered_json(nullptr);
  json["error"] = nullptr;
  r.json = dumpJson(json);
  return r;
}

// The start angle of a point's one-test series.
double pointAlpha(const FieldTexts& fields) {
  for (const auto& [control, text] : fields)
    if (control == controls::Talphastr) return Val(text);
  return 0;
}

} // namespace

std::optional<Verification> mapVerdictNamed(std::string_view name) {
  return name == "stable" ? std::optional(Verification::Confirmed) : verificationNamed(name);
}

std::unique_ptr<OrderedTests<PointRow>> startPoints(const MapOptions& o, size_t n,
                                                    std::function<size_t(size_t)> pointAt) {
  const size_t columns = o.x.values.size();
  HeadlessTestsSetup setup;
  setup.jobs = o.jobs > 0 ? static_cast<unsigned>(o.jobs) : std::max(1u, std::thread::hardware_concurrency());
  setup.lanes = o.lanes;
  setup.interrupt = &gInterrupts;
  // A reference map computes each point on the worker with the reference
  // alone: the fixed-step test is set up (so a field it refuses is the
  // point's fault) and stopped after its first pass.
  if (o.integrator == MapIntegrator::Reference) setup.stopAtStep = 1;
  auto input = [&o, columns, pointAt](size_t e) {
    const size_t k = pointAt(e);
    return HeadlessTestInput{o.pointFields(k % columns, k / columns), std::nullopt};
  };
  // A point a signal stopped is not kept: the map ends before it.
  auto keep = [&o, columns, pointAt](size_t e, HeadlessTest& t,
                                     MemoryForms& forms) -> std::optional<PointRow> {
    if (t.cancelled || gInterrupts != 0) return std::nullopt;
    const size_t k = pointAt(e), i = k % columns, j = k / columns;
    if (o.integrator == MapIntegrator::Reference && t.report) {
      const std::optional<ReferencePoint> p =
          referencePoint(referenceStart(o.pointFields(i, j), pointAlpha(o.pointFields(i, j))), &gInterrupts);
      if (!p) return std::nullopt;
      return makeReferenceRow(o, i, j, *p);
    }
    std::optional<ExportedTest> test;
    if (t.report) test = exportedTest(*t.report, forms);
    if (test && o.verify) {
      test->verifyAsked = true;
      if (test->report.end != EndCode::None) {
        test->verified = verifyOutcome(referenceStart(o.pointFields(i, j), test->report.alpha),
                                       test->report.end, test->report.revolutions, &gInterrupts);
        if (!test->verified) return std::nullopt;
      }
    }
    return makeRow(o, i, j, test, t.fault);
  };
  return std::make_unique<OrderedTests<PointRow>>(n, input, keep, setup);
}

size_t computePoints(const MapOptions& o, size_t n, const std::function<size_t(size_t)>& pointAt,
                     const std::function<bool(size_t, PointRow&)>& write) {
  auto points = startPoints(o, n, pointAt);
  size_t e = 0;
  for (std::optional<PointRow> row; e < n && (row = points->take(e)) && write(pointAt(e), *row);)
    ++e;
  return e;
}

namespace {

std::string formatDuration(double s) {
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%dh%02dm", static_cast<int>(s / 3600), static_cast<int>(s / 60) % 60);
  else
    std::snprintf(buf, sizeof buf, "%dm%02ds", static_cast<int>(s / 60), static_cast<int>(s) % 60);
  return buf;
}

bool writePicture(const MapOptions& o, const std::vector<MapCell>& cells, std::ostream& err) {
  MapPicture pic{static_cast<int>(o.x.values.size()),
                 static_cast<int>(o.y.values.size()),
                 o.cell,
                 o.x.field,
                 o.y.field,
                 o.x.texts,
                 o.y.texts,
                 cells,
                 o.integrator == MapIntegrator::Reference};
  int w = 0, h = 0;
  std::vector<uint32_t> pixels = drawMap(pic, &w, &h);
  // The picture names the program and the map it shows.
  std::string e = writePng(
      o.png, w, h, pixels,
      {{"Software", "threebody-map " THREEBODY_VERSION},
       {"Parameters", "x " + o.x.given + " y " + o.y.given + " fixed " + parameterLine(o.fields) +
                          (o.integrator == MapIntegrator::Reference ? "; physical map (reference integration)"
                           : o.verify ? "; fixed step verified by a reference integration"
                                      : "")}});
  if (!e.empty()) err << "threebody-map: --png: " << printableText(e, 200) << "\n";
  return e.empty();
}

// What this run did: outcomes and verdicts over every point done, kept from
// the file or computed here; the speed over those computed here alone.
struct MapTally {
  int64_t outcomes[MapOutcome::kSlots] = {}; // by outcome
  VerdictTally verdicts;                     // by verdict, in a verified or reference map
  int64_t steps = 0;                         // computed in this run
  size_t kept = 0;                           // rows kept from the resumed file
};

// The outcomes as the summary line and its JSON name them, by slot.
struct SummaryOutcome {
  int slot;
  const char* words;
  const char* key;
};
constexpr SummaryOutcome kSummaryOutcomes[] = {{1, "collision", "collision"},
                                               {2, "escaped", "escaped"},
                                               {3, "far but bound", "far_but_bound"},
                                               {4, "ten revolutions", "ten_revolutions"},
                                               {0, "stopped", "stopped"},
                                               {MapOutcome::fault().slot(), "faults", "faults"}};
// A physical map's: its points are never stopped one by one, but the
// reference may reach its time limit or spend its step budget first.
constexpr SummaryOutcome kPhysicalSummaryOutcomes[] = {
    {1, "collision", "collision"},
    {2, "escaped", "escaped"},
    {3, "far but bound", "far_but_bound"},
    {4, "ten revolutions", "ten_revolutions"},
    {MapOutcome::timeLimit().slot(), "still running at the time limit", "time_limit"},
    {MapOutcome::gaveUp().slot(), "step budget spent", "step_budget_spent"},
    {MapOutcome::fault().slot(), "faults", "faults"}};

std::span<const SummaryOutcome> summaryOutcomes(const MapOptions& o) {
  if (o.integrator == MapIntegrator::Reference) return kPhysicalSummaryOutcomes;
  return kSummaryOutcomes;
}

void writeSummary(const MapOptions& o, const MapTally& t, size_t done, size_t total, double seconds,
                  std::ostream& err) {
  err << "threebody-map: " << done << " of " << total << " points: ";
  for (const auto& [slot, words, key] : summaryOutcomes(o))
    err << t.outcomes[slot] << " " << words << (slot == MapOutcome::fault().slot() ? "; " : ", ");
  if (t.kept > 0) err << t.kept << " kept from the file, " << done - t.kept << " computed: ";
  const bool reference = o.integrator == MapIntegrator::Reference;
  const double rate = seconds > 0 ? static_cast<double>(t.steps) / seconds : 0.0;
  char buf[160];
  // A rate under a tenth of a million in thousands, so that it never reads 0.0.
  if (rate >= 1e5 || rate == 0)
    std::snprintf(buf, sizeof buf, "%lld %ssteps in %.1f s (%.1f million steps/s)\n",
                  static_cast<long long>(t.steps), reference ? "reference " : "", seconds, rate / 1e6);
  else
    std::snprintf(buf, sizeof buf, "%lld %ssteps in %.1f s (%.1f thousand steps/s)\n",
                  static_cast<long long>(t.steps), reference ? "reference " : "", seconds, rate / 1e3);
  err << buf;
  const int64_t* n = t.verdicts.counts;
  if (o.verify) {
    err << "threebody-map: verified by a reference integration (Runge-Kutta-Fehlberg 7(8), tolerances 1e-12 "
           "and 1e-14): "
        << n[0] << " confirmed, " << n[1] << " artefact, " << n[2] << " fragile, " << n[3] << " undecided";
    if (t.verdicts.none > 0) err << "; " << t.verdicts.none << " faults, not verified";
    err << ".\n";
  } else if (reference) {
    err << "threebody-map: " << n[0] << " stable, " << n[2]
        << " fragile (the outcome changes with the pair turned by 1e-6 radian), " << n[3]
        << " undecided (tolerances 1e-12 and 1e-14 disagree, or a reference spent its step budget)";
    if (t.verdicts.none > 0) err << "; " << t.verdicts.none << " faults";
    err << ".\n";
  }
}

// The run's summary as one JSON object, the numbers the summary lines print.
std::string summaryJson(const MapOptions& o, const MapTally& t, size_t done, size_t total, double seconds,
                        const BasinEntropy& e) {
  using Json = nlohmann::ordered_json;
  Json doc;
  doc["program"] = "threebody-map";
  doc["version"] = THREEBODY_VERSION;
  doc["x"] = o.x.given;
  doc["y"] = o.y.given;
  doc["parameters"] = parametersJson(o.fields);
  doc["integrator"] = o.integrator == MapIntegrator::Reference ? "reference" : "fixed";
  doc["verify"] = o.verify;
  doc["points"] = total;
  doc["done"] = done;
  doc["kept"] = t.kept;
  doc["stopped"] = done < total;
  Json outcomes;
  for (const auto& [slot, words, key] : summaryOutcomes(o))
    outcomes[key] = t.outcomes[slot];
  doc["outcomes"] = outcomes;
  doc["verdicts"] = o.verify || o.integrator == MapIntegrator::Reference
                        ? verdictsJson(t.verdicts, o.integrator == MapIntegrator::Reference)
                        : Json(nullptr);
  Json entropy;
  entropy["box"] = kEntropyBox;
  entropy["boxes"] = e.boxes;
  entropy["S_b"] = e.boxes > 0 ? Json(e.sb) : Json(nullptr);
  entropy["boundary_boxes"] = e.boundaryBoxes;
  entropy["S_bb"] = e.boundaryBoxes > 0 ? Json(e.sbb) : Json(nullptr);
  entropy["fractal"] = e.fractal();
  doc["basin_entropy"] = entropy;
  doc["steps"] = t.steps;
  doc["seconds"] = seconds;
  return dumpJson(doc) + "\n";
}

bool writeSummaryFile(const MapOptions& o, const std::string& json, std::ostream& err) {
  AtomicFile f(o.summary);
  std::string e = f.error();
  if (e.empty()) {
    f.write(json.data(), json.size());
    e = f.commit();
  }
  if (!e.empty()) err << "threebody-map: --summary: " << printableText(e, 200) << "\n";
  return e.empty();
}

// The --csv file, opened to continue a resumed map or started anew. Returns
// an exit status other than kExitDone when it cannot be.
int openCsv(const MapOptions& o, std::ostream& err, std::vector<MapCell>& cells, std::vector<uint8_t>& slots,
            MapTally& tally, size_t& first, std::FILE*& csv) {
  struct stat st {};
  const bool exists = stat(o.csv.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    err << "threebody-map: --csv: " << printableText(o.csv)
        << " is not a regular file (a folder, a device or a pipe); give the path of a file\n";
    return kExitBadOption;
  }
  bool started = false;
  // --resume of a file that is not there yet, or that a failed start left
  // without its whole head, starts it, so that the same command can be given
  // again and again (a cluster job that ran out of time).
  if (o.resume && exists) {
    std::ifstream in(o.csv, std::ios::binary);
    if (!in) {
      err << "threebody-map: --resume: cannot read " << printableText(o.csv) << ": " << std::strerror(errno)
          << "\n";
      return kExitBadOption;
    }
    ResumeState r = readResume(in, o, !o.png.empty());
    if (r.stopped) return 128 + (gTerminateSignal != 0 ? gTerminateSignal.load() : SIGINT);
    if (!r.error.empty()) {
      err << "threebody-map: --resume: " << printableText(o.csv) << " cannot be continued: " << r.error
          << ". The file is unchanged.\n";
      return kExitBadOption;
    }
    started = r.started;
    std::copy(r.cells.begin(), r.cells.end(), cells.begin());
    std::copy(r.slots.begin(), r.slots.end(), slots.begin());
    std::copy(std::begin(r.outcomes), std::end(r.outcomes), tally.outcomes);
    tally.verdicts = r.verdicts;
    first = tally.kept = r.rows;
    // A torn last row goes; the rows before it stay as they are.
    if (started && truncate(o.csv.c_str(), static_cast<off_t>(r.keepBytes)) != 0) {
      err << "threebody-map: --resume: cannot shorten " << printableText(o.csv) << ": "
          << std::strerror(errno) << "\n";
      return kExitFileFailed;
    }
  }
  csv = std::fopen(o.csv.c_str(), started ? "ab" : "wb");
  if (csv && !started) std::fputs(mapCsvHead(o).c_str(), csv);
  if (!csv || std::fflush(csv) != 0) {
    err << "threebody-map: --csv: cannot write " << printableText(o.csv) << ": " << std::strerror(errno)
        << "\n";
    if (csv) std::fclose(csv);
    csv = nullptr;
    return kExitFileFailed;
  }
  return kExitDone;
}

} // namespace

int runMap(const MapOptions& o, std::ostream& out, std::ostream& err, MapProgress progress,
           const RowSource& source) {
  const size_t total = o.x.values.size() * o.y.values.size();
  // The cells are kept for the picture only; the summary counts as it goes.
  std::vector<MapCell> cells(o.png.empty() ? 0 : total);
  // One byte a point for the basin entropy.
  std::vector<uint8_t> slots(total, static_cast<uint8_t>(MapOutcome::notYet().slot()));
  MapTally tally;
  size_t first = 0;
  std::FILE* csv = nullptr;
  if (!o.csv.empty())
    if (int status = openCsv(o, err, cells, slots, tally, first, csv); status != kExitDone) return status;

  const double started = monotonicSeconds();
  double lastReport = 0;
  bool failed = false, shown = false;
  auto wipe = [&] {
    if (shown) err << "\r" << std::string(78, ' ') << "\r" << std::flush;
    shown = false;
  };
  auto here = [&](size_t from, const std::function<bool(size_t, PointRow&)>& write) {
    return from + computePoints(
                      o, total - from, [from](size_t e) { return from + e; }, write);
  };
  size_t done = (source ? source : RowSource(here))(first, [&](size_t k, PointRow& row) {
    if (!cells.empty()) cells[k] = MapCell{row.outcome, row.steps, row.mark};
    slots[k] = static_cast<uint8_t>(row.outcome.slot());
    ++tally.outcomes[row.outcome.slot()];
    if (o.verify || o.integrator == MapIntegrator::Reference) tally.verdicts.add(row.verdict);
    tally.steps += row.steps;
    if (csv && (std::fputs(row.csv.c_str(), csv) < 0 || std::fflush(csv) != 0)) {
      wipe();
      err << "threebody-map: writing " << printableText(o.csv) << " failed: " << std::strerror(errno)
          << "; the rows written stay, and --resume continues the file\n";
      return !(failed = true);
    }
    if (progress.wipeBeforeRows) wipe();
    out << (o.jsonl
                ? row.json
                : o.x.texts[k % o.x.values.size()] + " " + o.y.texts[k / o.x.values.size()] + " " + row.text)
        << "\n";
    if (!out.flush()) {
      wipe();
      // A reader that went away (| head) is no news to the user.
      if (!readerWentAway(out))
        err << "threebody-map: writing the results failed: " << writeFailure(out) << "\n";
      return !(failed = true);
    }
    double now = monotonicSeconds();
    if (progress.show && now - lastReport >= 0.2) {
      lastReport = now;
      double rate = (k + 1 - first) / std::max(1e-9, now - started);
      char buf[160];
      std::snprintf(buf, sizeof buf, "\rpoints %zu of %zu (%.1f%%), %.1f points/s, %s left   ", k + 1, total,
                    100.0 * (k + 1) / total, rate,
                    formatDuration((total - k - 1) / std::max(rate, 1e-9)).c_str());
      err << buf << std::flush;
      shown = true;
    }
    return true;
  });
  wipe();
  if (csv && std::fclose(csv) != 0) failed = true;
  if (failed) return kExitWriteFailed;
  const double seconds = monotonicSeconds() - started;
  writeSummary(o, tally, done, total, seconds, err);
  const BasinEntropy entropy = basinEntropy(slots, o.x.values.size(), o.y.values.size());
  err << basinEntropyText(entropy);
  // The summary file is written for a stopped map too, so a job can see how far it came.
  const bool summaryWritten =
      o.summary.empty() || writeSummaryFile(o, summaryJson(o, tally, done, total, seconds, entropy), err);
  if (done < total) {
    err << "threebody-map: stopped after " << done << " of " << total << " points"
        << (o.csv.empty() ? ".\n" : "; --resume continues the CSV.\n");
    return 128 + (gTerminateSignal != 0 ? gTerminateSignal.load() : SIGINT);
  }
  if (!summaryWritten) return kExitFileFailed;
  if (!o.png.empty() && !writePicture(o, cells, err)) return kExitFileFailed;
  return kExitDone;
}

} // namespace tb
