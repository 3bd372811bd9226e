// How unpredictable an outcome map is: its basin entropy and boundary basin
// entropy. The grid is tiled by boxes of 5 x 5 adjacent points from point
// (0, 0); points at the right or top edge that do not fill a whole box are
// left out, and so is any box holding a fault, a stopped or a not computed
// point, or one whose reference spent its step budget. In a box p_k is the
// share of its 25 points with outcome k (an end code, or in a physical map
// no end by the time limit), and its entropy is -sum p_k ln p_k. S_b is the
// mean over the boxes, S_bb the mean over the boxes that hold more than one
// outcome; a boundary with S_bb > ln 2 is fractal.
#pragma once

#include "maps/map_outcome.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

struct BasinEntropy {
  double sb = 0, sbb = 0;
  int64_t boxes = 0, boundaryBoxes = 0;
  int64_t wholeBoxes = 0; // the boxes the grid holds, usable or not
  bool fractal() const { return boundaryBoxes > 0 && sbb > 0.6931471805599453; }
};

inline constexpr int kEntropyBox = 5;

// `slots` holds each point's MapOutcome slot, row by row from y's first value, x fastest.
BasinEntropy basinEntropy(const std::vector<uint8_t>& slots, size_t columns, size_t rows);

// The summary line the map tool prints.
std::string basinEntropyText(const BasinEntropy& e);

} // namespace tb
