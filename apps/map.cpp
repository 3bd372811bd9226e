// threebody-map's run: the points computed in order, each row written to
// stdout and the CSV as it becomes final, the summary and the picture.
#include "apps/map.h"

#include "maps/map_summary.h"

#include "api/bridge.h"
#include "apps/batch_run.h"
#include "forms/headless.h"
#include "maps/basin_entropy.h"
#include "maps/map_picture.h"
#include "results/atomic_file.h"
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

std::unique_ptr<threebody::MapJob> startMapJob(const MapRun& o, size_t count,
                                               std::function<size_t(size_t)> pointAt) {
  return std::make_unique<threebody::MapJob>(
      threebody::experimentOf(o.fields),
      threebody::mapOptionsOf(o, threebody::StopToken::watching(gInterrupts)), count, std::move(pointAt));
}

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
  // Points finished, written or not: the workers finish points out of order,
  // and a slow point holds the rows after it back, not the count.
  size_t finished = first;
  auto report = [&](size_t count) {
    finished = std::max(finished, count);
    const double now = monotonicSeconds();
    // Nothing to tell, or a rate to tell it from, before the first point.
    if (!progress.show || finished == first || now - lastReport < 0.2) return;
    lastReport = now;
    const double rate = (finished - first) / std::max(1e-9, now - started);
    char buf[160];
    std::snprintf(buf, sizeof buf, "\rpoints %zu of %zu (%.1f%%), %.1f points/s, %s left   ", finished, total,
                  100.0 * finished / total, rate,
                  formatDuration((total - finished) / std::max(rate, 1e-9)).c_str());
    err << buf << std::flush;
    shown = true;
  };
  // The points from `from` on, computed by the library.
  auto here = [&](size_t from, const std::function<bool(size_t, PointRow&)>& write) {
    const std::unique_ptr<threebody::MapJob> job =
        startMapJob(o, total - from, [from](size_t e) { return from + e; });
    size_t k = from;
    for (std::optional<threebody::MapPoint> p;
         (p = job->next([&report, from](size_t count) { report(from + count); }));) {
      PointRow row = threebody::pointRow(*p);
      if (!write(k, row)) break;
      ++k;
    }
    return k;
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
    report(k + 1);
    return true;
  });
  wipe();
  if (csv && std::fclose(csv) != 0) failed = true;
  if (failed) return kExitWriteFailed;
  const double seconds = monotonicSeconds() - started;
  err << summaryText(o, tally, done, total, seconds);
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
