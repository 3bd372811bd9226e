// Computing an outcome map: the grid with the threads and lanes to use, and
// each finished point as the rows, the picture and the summary take it. The
// points run on worker threads and come back in point order as they become
// final.
#pragma once

#include "maps/map_grid.h"
#include "maps/map_picture.h"
#include "series/ordered_tests.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tb {

// A map to compute: its grid (the fields and the axes), the worker threads
// and the points side by side on each, and what stops it.
struct MapRun : MapGrid {
  int jobs = 0;  // worker threads; 0: one per core
  int lanes = 0; // points side by side per thread; 0: the widest vectors
  // Counts the requests to stop (a signal handler, a window's Stop); a
  // change ends the map before the points not yet final. None: nothing does.
  const std::atomic<int>* interrupt = nullptr;
};

// What a verdict column says: one of the verdicts' names, or a reference
// map's "stable" (as confirmed); nothing for an empty or unknown text.
std::optional<Verification> mapVerdictNamed(std::string_view name);

// One finished point, ready to be written.
struct PointRow {
  std::string csv;  // its CSV row, newline included
  std::string text; // the result line, or the fault, for the text output
  std::string json; // its JSON line
  MapOutcome outcome = MapOutcome::fault();
  int64_t steps = 0;
  MapMark mark = MapMark::None;        // a verified map's doubt about the point
  std::optional<Verification> verdict; // a verified or reference map's verdict (stable as confirmed)
  double time = 0;                     // the simulated time its test (or the reference) ran
  int revolutions = 0;                 // the pair's revolutions counted
  std::string verdictText;             // the verdict as a window explains it; empty without one
};

// Starts computing `count` points, the e-th being point `pointAt(e)` (point
// indices in increasing order), on worker threads; each is taken in that
// order as soon as it and the ones before it are final. A point a signal
// stopped ends them.
std::unique_ptr<OrderedTests<PointRow>> startPoints(const MapRun& o, size_t count,
                                                    std::function<size_t(size_t)> pointAt);
// Computes `count` points, the e-th being point `pointAt(e)` (point indices
// in increasing order), on worker threads and hands each row to `write` in
// that order as soon as it and the ones before it are final; only the rows
// that wait for an earlier one are held, and no point is started more than
// 1024 (or eight a lane) ahead of the one `write` waits for. `finished`,
// when given, is called every 0.1 s while a row is awaited, with the number
// of points finished so far (written or held). Returns how many were written: fewer when a signal
// stopped the work or `write` returned false. A memory or thread failure of
// a worker is thrown here.
size_t computePoints(const MapRun& o, size_t count, const std::function<size_t(size_t)>& pointAt,
                     const std::function<bool(size_t, PointRow&)>& write,
                     const std::function<void(size_t)>& finished = {});

} // namespace tb
