// A map point of the API back as the engine's row: what the map tool writes
// and the map window draws of it (its cell, its counts, its verdict).
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
