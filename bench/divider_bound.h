// The divider's throughput per vector width, measured on this processor, and
// the bound it puts on the three-body step.
#pragma once

#include "sim/lane_block.h"

#include <cstdint>
#include <vector>

namespace tb::bench {

inline constexpr int kMultiplicationsBeside = 50;

struct DividerSpeed {
  const char* target = "";    // the instruction set
  int lanes = 0;              // doubles a vector holds
  double nsPerDivision = 0;   // one vector division, with others in flight
  double nsPerSquareRoot = 0; // one vector square root, likewise
  // A step's divisions and square roots in a row, per vector; and the same
  // with kMultiplicationsBeside independent multiplications beside them.
  double nsPerStepMix = 0;
  double nsPerStepMixBeside = 0;

  // Test-steps a second one core can make at most with vectors of this
  // width: a step's divisions and square roots, one per test, `lanes` tests
  // to a vector.
  double stepsPerSecond() const {
    return lanes * 1e9 /
           (lanes::kDivisionsPerStep * nsPerDivision + lanes::kSquareRootsPerStep * nsPerSquareRoot);
  }
};

// Every width this processor runs, widest first; `rounds` operations on each
// of twelve chains per measurement.
std::vector<DividerSpeed> measureDividers(int64_t rounds);

// Called once per instruction set compiled in, when the program starts.
bool enterDividerMeasure(int64_t target, DividerSpeed (*measure)(int64_t rounds));

} // namespace tb::bench
