// Continuing a map: what an earlier, interrupted run left in its CSV.
#pragma once

#include "maps/map_run.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace tb {

// What an earlier, interrupted run left in a CSV: how many whole rows (in
// point order) it holds and where they end. A file that holds less than the
// head (a start that failed part-way, an empty file) is a map not yet
// started. Every field of a kept row must be what this map's point writes;
// only a last, unterminated row that could be the start of such a row is
// taken as torn and computed again. `error` says why the file cannot be
// continued.
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
ResumeState readResume(std::istream& in, const MapRun& o, bool keepCells = true);
ResumeState readResume(const std::string& content, const MapRun& o);

} // namespace tb
