// threebody-map: how the end of a test depends on two parameters. Each point
// of the grid is one test, exactly the one-test series threebody-batch runs
// with that point's values as texts; the points run on worker threads and the
// results are written in point order as they become final.
#pragma once

#include "apps/cli.h"
#include "forms/map_grid.h"
#include "forms/ordered_tests.h"
#include "results/map_picture.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// The grid (the fields and the axes), then how to compute and write it.
struct MapOptions : MapGrid {
  std::string png, csv;
  std::string summary; // the run's summary as one JSON object
  int cell = 4;
  bool jsonl = false; // the rows as JSON lines on stdout
  int jobs = 0;       // worker threads; 0: one per core
  int lanes = 0;      // points side by side per thread; 0: the widest vectors
  bool resume = false;
  bool help = false, version = false;
};

// Returns an empty string, or what is wrong.
std::string parseMapOptions(const std::vector<std::string>& args, MapOptions& o);
std::string mapUsage();

// What an earlier, interrupted run left in a CSV: how many whole rows (in
// point order) it holds and where they end. A file that holds less than the
// head (a start that failed part-way, an empty file) is a map not yet
// started. Every field of a kept row must be what this map's point writes;
// only a last, unterminated row that could be the start of such a row is
// taken as torn and computed again. `error` says why the file cannot be
// continued.
// What a verdict column says: one of the verdicts' names, or a reference
// map's "stable" (as confirmed); nothing for an empty or unknown text.
std::optional<Verification> mapVerdictNamed(std::string_view name);

struct ResumeState {
  bool started = false; // the file holds the whole head
  size_t rows = 0;
  size_t keepBytes = 0;                      // the file up to the end of the last whole row
  std::vector<MapCell> cells;                // outcome and steps per row, when asked for
  std::vector<uint8_t> slots;                // each row's outcome slot, always
  int64_t outcomes[MapOutcome::kSlots] = {}; // rows by outcome
  VerdictTally verdicts;                     // rows by verdict, in a verified or reference map
  bool stopped = false;                      // a signal came while reading
  std::string error;
};
// Reads the file as a stream; keeps the cells only when `keepCells`.
ResumeState readResume(std::istream& in, const MapOptions& o, bool keepCells = true);
ResumeState readResume(const std::string& content, const MapOptions& o);

// The picture's size for these options, or what is wrong with it.
std::string checkMapPicture(const MapOptions& o);

// One finished point, ready to be written.
struct PointRow {
  std::string csv;  // its CSV row, newline included
  std::string text; // the result line, or the fault, for the text output
  std::string json; // its JSON line
  MapOutcome outcome = MapOutcome::fault();
  int64_t steps = 0;
  MapMark mark = MapMark::None;        // a verified map's doubt about the point
  std::optional<Verification> verdict; // a verified or reference map's verdict (stable as confirmed)
};

// Starts computing `count` points, the e-th being point `pointAt(e)` (point
// indices in increasing order), on worker threads; each is taken in that
// order as soon as it and the ones before it are final. A point a signal
// stopped ends them.
std::unique_ptr<OrderedTests<PointRow>> startPoints(const MapOptions& o, size_t count,
                                                    std::function<size_t(size_t)> pointAt);
// Computes `count` points, the e-th being point `pointAt(e)` (point indices
// in increasing order), on worker threads and hands each row to `write` in
// that order as soon as it and the ones before it are final; only the rows
// that wait for an earlier one are held. Returns how many were written:
// fewer when a signal stopped the work or `write` returned false. A memory
// or thread failure of a worker is thrown here.
size_t computePoints(const MapOptions& o, size_t count, const std::function<size_t(size_t)>& pointAt,
                     const std::function<bool(size_t, PointRow&)>& write);

// Where the rows come from: every point from `first` on, in point order, to
// `write`. Returns the number of the first point not written. The default
// computes them here; the distributed build gathers them from other ranks.
using RowSource = std::function<size_t(size_t first, const std::function<bool(size_t, PointRow&)>& write)>;

// How runMap shows its progress: on stderr when it is a terminal, wiped
// before each row when stdout is the same terminal.
struct MapProgress {
  bool show = false;
  bool wipeBeforeRows = false;
};

// Exit statuses as threebody-batch's (mapUsage lists them), and the signals'
// 128 + number.
int runMap(const MapOptions& o, std::ostream& out, std::ostream& err, MapProgress progress,
           const RowSource& source = {});

} // namespace tb
