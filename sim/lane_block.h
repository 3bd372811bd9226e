// The lane engine's data: up to kMaxLanes tests side by side, every value of
// a test in one lane of a vector (structure of arrays), and what a block of
// passes reports back to the driver.
#pragma once

#include <cstdint>

namespace tb::lanes {

inline constexpr int kMaxLanes = 8;

// A pseudo-angle difference beyond this margin cannot be reversed by the
// rounding of ANGLE's arctangent (its error is some 1e-13 degrees; the margin
// is about 1e-7 degrees). Within it, the revolution count compares ANGLE's
// exact values.
inline constexpr double kPseudoAngleMargin = 1e-9;

using Lane = double[kMaxLanes];

// Row i of a pair table: its other bodies, the lower-numbered first.
constexpr int otherBody(int i, int o) { return o == 0 ? (i == 0 ? 1 : 0) : (i == 2 ? 1 : 2); }

// Row i of a pair table holds body i's two other bodies, the lower-numbered
// first, as the three-body stages keep them.
struct alignas(64) Block {
  Lane pos[3][2]; // (x, y) of each body
  Lane start[3][2];
  Lane v0[3][2]; // velocity at step 0
  Lane v[3][2];  // velocity as set up
  Lane acc[3][2];
  Lane sum[3][2];     // running sums of the accelerations
  Lane sum2[3][2];    // running sums of the running sums
  Lane diff[3][2][2]; // row i, other body, coordinate
  Lane rsq[3][2];
  Lane gm[3][2];       // gconst * mass of the other body
  Lane accelerated[3]; // 1 where the body's mass is not negative
  Lane nstep, tdelta;
  Lane ref, refZero, pref;               // reference direction alphadeg, 1 where it is 0, its pseudo-angle
  Lane dx, dy, p;                        // line from body 0 to body 1 now, and its pseudo-angle
  Lane pdx, pdy, pp;                     // the same one pass earlier
  Lane approached, pendcode, pendBefore; // pendBefore: pendcode as the pass found it
  Lane slower;                           // 1 where v3 < vesc at the last display step
  Lane nearLimit, farLimit;              // 0.5 and 2.5 times r3start squared
  Lane dist12sum, dist12min, dist12max;
  Lane nextShow, showevery, stopAt;
  Lane active; // 1 where the lane holds a running test
};

// What the last pass of a block left to the driver, one bit per lane. The
// kernel returns after the first pass that sets any bit.
struct Events {
  uint32_t revCount = 0;  // the pair turned past the reference for certain
  uint32_t revExact = 0;  // near the reference: the exact comparison decides
  uint32_t collision = 0; // the third body came within the collision distance
  uint32_t display = 0;   // a display step is due
  uint32_t stop = 0;      // the pass given as stop step is done
  uint32_t fault = 0;     // a value left the double range
  // Per faulting lane: the stage, and the squared distances as they stood
  // when it failed (rows of the pair table, as in Block::rsq).
  const char* faultStage[kMaxLanes] = {};
  double faultRsq[kMaxLanes][3][2] = {};

  bool any() const { return (revCount | revExact | collision | display | stop | fault) != 0; }
  // Only the bits: the per-lane details are read where a bit is set.
  void clear() { revCount = revExact = collision = display = stop = fault = 0; }
};

// Runs passes of every lane until a pass reports an event or maxPasses are
// done; returns the passes run.
using PassesFn = int64_t (*)(Block& b, int64_t maxPasses, Events& ev);

// A kernel for one instruction set: its lane count and its passes.
struct Kernel {
  int width = 0;
  const char* target = "";
  PassesFn passes = nullptr;
};

// The kernels this processor can run, widest first, and the widest.
const Kernel* kernels(int* count);
const Kernel& bestKernel();

} // namespace tb::lanes
