// Tries of the reference integration's Runge-Kutta-Fehlberg 7(8) stepper for
// several integrations side by side, one per vector lane, each with its own
// masses, state, step size and tolerance. Each lane's numbers are the same
// IEEE operations in the same order as the stepper alone makes them (its
// stages, its end, its error estimate and the error checker's norm), so the
// same bits: a lane is a try of Odeint's controlled stepper.
#pragma once

namespace tb::rkf78 {

inline constexpr int kLanes = 8;

struct LaneTries {
  // In: the lanes in use (the first `count`; the vectors past them are not
  // computed), and each lane's masses, state (x0 y0 x1 y1 x2 y2 vx0 ...
  // vy2), step and tolerance (absolute and relative). A lane not in use
  // holds a copy of one that is, so that it computes nothing out of the
  // ordinary.
  int count = kLanes;
  alignas(64) double m[3][kLanes];
  alignas(64) double x[12][kLanes];
  alignas(64) double dt[kLanes];
  alignas(64) double tolerance[kLanes];
  // Out: the state at the step's end and the error estimate's norm (the try
  // is taken when it is at most 1).
  alignas(64) double out[12][kLanes];
  alignas(64) double error[kLanes];
  // The step control's growth power max(smallestError, error)^(-1/8),
  // correctly rounded as cr::pow gives it, or NaN where the lanes' quick
  // evaluation cannot decide the rounding (cr::pow decides it then).
  double smallestError = 0;
  alignas(64) double grow[kLanes];
  // The pair's direction at the step's end in degrees, as the engine's
  // angle of (x1 - x0, y1 - y0) with its `pi` gives it (a correctly rounded
  // atan), or NaN where the lanes leave it to the engine's own function: a
  // rounding the quick evaluation cannot decide, an upright pair, a slope
  // below 2^-27 or above 128.
  double pi = 0;
  alignas(64) double direction[kLanes];
  // Where the try failed: the step control's shrinking power error^(-1/6),
  // correctly rounded as cr::pow gives it, or NaN where the lanes cannot
  // decide it (or the error is above 2^14, where the shrinking is the
  // least factor anyway).
  alignas(64) double shrink[kLanes];
  // The stages' derivatives and the state each is taken at.
  alignas(64) double k[13][12][kLanes];
  alignas(64) double tmp[12][kLanes];
};

// Computes `out`, `error`, `grow`, `direction` and `shrink` of every lane, on the widest vectors
// the processor has.
void stepLanes(LaneTries& b);

// x^(-1/8) of kLanes numbers x in [2^-900, 2^900] on the lanes, correctly
// rounded, or NaN where the quick evaluation cannot decide the rounding.
void inverseEighthRoots(const double* x, double* out);
// x^(-1/6) (the exponent as a double) of kLanes numbers x in (1, 2^14] on
// the lanes, correctly rounded, or NaN where that cannot be decided.
void inverseSixthPowers(const double* x, double* out);

} // namespace tb::rkf78
