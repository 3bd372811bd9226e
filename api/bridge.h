// Between the API's types and the engine's, for the tools and the windows of
// this tree: an experiment and a map's options from the fields and the grid
// they hold, and a map point back as the engine's row, which the map tool
// writes and the map window draws (its cell, its counts, its verdict).
#pragma once

#include "maps/map_run.h"
#include <threebody/threebody.h>

#include <string_view>

namespace threebody {

// The outcome a point's outcome text names; a fault for a text no outcome has.
tb::MapOutcome mapOutcomeNamed(std::string_view name);
// The point's row: its texts as given, its outcome, verdict and mark read
// back from the point's own.
tb::PointRow pointRow(const MapPoint& p);
// The experiment whose field texts these are.
Experiment experimentOf(const tb::FieldTexts& fields);
// The options that compute this grid with these threads and lanes, stopped by `stop`.
MapOptions mapOptionsOf(const tb::MapRun& run, const StopToken& stop);

} // namespace threebody
