// The stepping state of the three-body pass: the values a pass reads and
// writes, for W tests side by side (one test per vector lane, structure of
// arrays), and what a run of passes reports back to the driver. A test runs
// alone in a block of width 1 and with others in a block of kMaxLanes, which
// the passes step as `depth` vectors of `width` lanes side by side, so that
// the divider has independent work while one vector's chain waits.
#pragma once

#include <cstdint>

namespace tb::lanes {

// Tests in a block, and lanes in one vector at most.
inline constexpr int kMaxLanes = 16;
inline constexpr int kMaxVectorLanes = 8;
// Vectors in flight at most: the depths 1, 2 and 4 are compiled.
inline constexpr int kMaxDepth = 4;

// What one pass costs each test in operations whose bits the results depend
// on and which the processor's divider serves: per body, its two other
// bodies' gconst * mass / rsq, and x and y of each divided by the distance
// (six divisions and two square roots); the pseudo-angle of the pair's line
// (one division); the pair's distance for its statistics (one square root).
inline constexpr int kDivisionsPerStep = 3 * 6 + 1;
inline constexpr int kSquareRootsPerStep = 3 * 2 + 1;

// A pseudo-angle difference beyond this margin cannot be reversed by the
// rounding of ANGLE's arctangent (its error is some 1e-13 degrees; the margin
// is about 1e-7 degrees). Within it, the revolution count compares ANGLE's
// exact values.
inline constexpr double kPseudoAngleMargin = 1e-9;

// Row i of a pair table: its other bodies, the lower-numbered first.
constexpr int otherBody(int i, int o) { return o == 0 ? (i == 0 ? 1 : 0) : (i == 2 ? 1 : 2); }

// Each field is one number per test: field[k] belongs to the test in lane k.
// A pair (x and y of a body, or a row's two other bodies) is two such rows
// one after the other, so that at width 1 a pair is two adjacent doubles and
// one 128-bit vector holds both.
template <int W> struct alignas(W * sizeof(double) >= 64 ? 64 : 16) Block {
  static constexpr int kWidth = W;
  using Lane = double[W];
  using Pair = Lane[2];

  // --- pairs: (x, y) of each body, or row i's two other bodies ---
  Pair pos[3];     // position now
  Pair start[3];   // position at step 0 (xstart, ystart)
  Pair v0[3];      // velocity at step 0 (vxstart, vystart)
  Pair v[3];       // velocity as set up (vx, vy)
  Pair acc[3];     // acceleration of the last pass, without the time step (ax, ay)
  Pair sum[3];     // running sums of the accelerations (sumax, sumay)
  Pair sum2[3];    // running sums of the running sums (sum2ax, sum2ay)
  Pair diff[3][2]; // row i, other body o: (xdiff, ydiff) of body otherBody(i, o) seen from i
  Pair rsq[3];     // row i: squared distance to its two other bodies
  Pair gm[3];      // row i: gconst * mass of its two other bodies

  // --- one number per test ---
  Lane accelerated[3]; // 1 where the body's mass is not negative
  Lane nstep, tdelta;
  Lane refZero;                          // 1 where the revolution reference is 0 (the wrap rule)
  Lane prefBelow, prefAbove;             // its pseudo-angle less and plus kPseudoAngleMargin
  Lane dx, dy, p;                        // line from body 0 to body 1 now, and its pseudo-angle
  Lane pdx, pdy, pp;                     // the same one pass earlier
  Lane approached, pendcode, pendBefore; // pendBefore: pendcode as the pass found it
  Lane slower;                           // 1 where v3 < vesc at the last display step
  Lane nearLimit, farLimit;              // the approach and far limits of the squared distance
  Lane dist12sum, dist12min, dist12max;  // the pair's distance over the test
  Lane nextShow, showevery, stopAt;      // the next display step, its interval, the stop step
  Lane active;                           // 1 where the lane holds a running test
};

using OneBlock = Block<1>;
using WideBlock = Block<kMaxLanes>;

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
// done; returns the passes run. A wide block's passes step its first
// width * depth lanes.
using WidePassesFn = int64_t (*)(WideBlock& b, int64_t maxPasses, Events& ev);
using OnePassesFn = int64_t (*)(OneBlock& b, int64_t maxPasses, Events& ev);

// A kernel for one instruction set: its vector's lane count and its passes
// with 1, 2 or 4 vectors in flight (passes[depth - 1]; null where the block
// is too narrow for that depth).
struct Kernel {
  int width = 0;
  const char* target = "";
  WidePassesFn passes[kMaxDepth] = {};
  WidePassesFn at(int depth) const { return depth >= 1 && depth <= kMaxDepth ? passes[depth - 1] : nullptr; }
};

// Every kernel of one instruction set (a Highway target bit).
struct Kernels {
  int64_t target = 0;
  Kernel wide;
  OnePassesFn one = nullptr;
  double (*pseudoAngle)(double dx, double dy) = nullptr;
};
// Called once per instruction set compiled in, when the program starts.
bool enterKernels(const Kernels& k);
// What was entered.
struct KernelTable {
  Kernels compiled[64]; // one per instruction set compiled in
  int count = 0;
};
KernelTable& compiledKernels();

// The kernels this processor can run, widest first, and the widest.
const Kernel* kernels(int* count);
const Kernel& bestKernel();

// The one-test pass on the best instruction set: the same stages as every
// other width, x and y of a body side by side in one vector.
OnePassesFn onePasses();

// The pseudo-angle of a direction as the passes compute it: 0 to 4 around
// the circle, strictly increasing with the angle ANGLE gives.
double pseudoAngle(double dx, double dy);

} // namespace tb::lanes
