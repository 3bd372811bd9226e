// threebody-map: how the end of a test depends on two parameters. Each point
// of the grid is one test, exactly the one-test series threebody-batch runs
// with that point's values as texts; the points run on worker threads and the
// results are written in point order as they become final.
#pragma once

#include "apps/cli.h"
#include "maps/map_resume.h"
#include "maps/map_run.h"
#include <threebody/threebody.h>

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
struct MapOptions : MapRun {
  std::string png, csv;
  std::string summary; // the run's summary as one JSON object
  int cell = 4;
  bool jsonl = false; // the rows as JSON lines on stdout
  bool resume = false;
  bool help = false, version = false;
};

// Returns an empty string, or what is wrong.
std::string parseMapOptions(const std::vector<std::string>& args, MapOptions& o);
std::string mapUsage();

// The picture's size for these options, or what is wrong with it.
std::string checkMapPicture(const MapOptions& o);

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

// The library's job computing `count` points of the map, the e-th being
// point pointAt(e), stopped by the tool's signals.
std::unique_ptr<threebody::MapJob> startMapJob(const MapRun& o, size_t count,
                                               std::function<size_t(size_t)> pointAt);

// Exit statuses as threebody-batch's (mapUsage lists them), and the signals'
// 128 + number.
int runMap(const MapOptions& o, std::ostream& out, std::ostream& err, MapProgress progress,
           const RowSource& source = {});

} // namespace tb
