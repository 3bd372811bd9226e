// An outcome map's summary: its points by outcome and by verdict, the steps
// and the time, as the tools print it and as one JSON object.
#pragma once

#include "maps/basin_entropy.h"
#include "maps/map_run.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace tb {

// What this run did: outcomes and verdicts over every point done, kept from
// the file or computed here; the speed over those computed here alone.
struct MapTally {
  int64_t outcomes[MapOutcome::kSlots] = {}; // by outcome
  VerdictTally verdicts;                     // by verdict, in a verified or reference map
  int64_t steps = 0;                         // computed in this run
  size_t kept = 0;                           // rows kept from the resumed file
};

// The summary lines a map tool prints when the map ends (done of total
// points, in `seconds`).
std::string summaryText(const MapRun& o, const MapTally& t, size_t done, size_t total, double seconds);
// The same numbers, with the basin entropy, as one JSON object and a newline.
std::string summaryJson(const MapRun& o, const MapTally& t, size_t done, size_t total, double seconds,
                        const BasinEntropy& e);

} // namespace tb
