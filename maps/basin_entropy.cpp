// Basin entropy over boxes of 5 x 5 points.
#include "maps/basin_entropy.h"
#include "runtime/cr_math.h"

#include <cmath>
#include <cstdio>

namespace tb {

BasinEntropy basinEntropy(const std::vector<uint8_t>& slots, size_t columns, size_t rows) {
  BasinEntropy e;
  double sum = 0, boundarySum = 0;
  const size_t n = kEntropyBox;
  for (size_t bj = 0; bj + n <= rows; bj += n)
    for (size_t bi = 0; bi + n <= columns; bi += n) {
      int count[MapOutcome::kSlots] = {};
      bool usable = true;
      ++e.wholeBoxes;
      for (size_t j = bj; j < bj + n && usable; ++j)
        for (size_t i = bi; i < bi + n && usable; ++i) {
          const MapOutcome o = MapOutcome::fromSlot(slots[j * columns + i]);
          // Only tests that ended by themselves say which basin a point is
          // in; in a physical map so does staying bound to the time limit.
          usable = (o.kind() == MapOutcome::Kind::Ended && o.end() != EndCode::None) ||
                   o.kind() == MapOutcome::Kind::TimeLimit;
          if (usable) ++count[o.slot()];
        }
      if (!usable) continue;
      double s = 0;
      int codes = 0;
      for (int c : count)
        if (c > 0) {
          const double p = static_cast<double>(c) / static_cast<double>(n * n);
          s -= p * cr::log(p);
          ++codes;
        }
      ++e.boxes;
      sum += s;
      if (codes > 1) {
        ++e.boundaryBoxes;
        boundarySum += s;
      }
    }
  if (e.boxes > 0) e.sb = sum / static_cast<double>(e.boxes);
  if (e.boundaryBoxes > 0) e.sbb = boundarySum / static_cast<double>(e.boundaryBoxes);
  return e;
}

std::string basinEntropyText(const BasinEntropy& e) {
  char buf[400];
  if (e.wholeBoxes == 0) {
    std::snprintf(buf, sizeof buf,
                  "threebody-map: basin entropy: the map has no whole box of %d x %d points; map at least %d "
                  "x %d points\n",
                  kEntropyBox, kEntropyBox, kEntropyBox, kEntropyBox);
    return buf;
  }
  if (e.boxes == 0) {
    std::snprintf(buf, sizeof buf,
                  "threebody-map: basin entropy: each of the %lld boxes of %d x %d points holds a point "
                  "without an outcome (a fault, a stopped test, a reference that spent its step budget, or "
                  "a point not computed)\n",
                  static_cast<long long>(e.wholeBoxes), kEntropyBox, kEntropyBox);
    return buf;
  }
  std::snprintf(buf, sizeof buf,
                "threebody-map: basin entropy S_b = %.4f over %lld boxes of %d x %d points; boundary basin "
                "entropy S_bb = %.4f over %lld boxes: %s\n",
                e.sb, static_cast<long long>(e.boxes), kEntropyBox, kEntropyBox, e.sbb,
                static_cast<long long>(e.boundaryBoxes),
                e.boundaryBoxes == 0 ? "no boundary in any box"
                : e.fractal()        ? "the boundary is fractal (S_bb > ln 2)"
                                     : "the boundary is not fractal (S_bb <= ln 2)");
  return buf;
}

} // namespace tb
