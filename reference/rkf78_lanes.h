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
  // The stages' derivatives and the state each is taken at.
  alignas(64) double k[13][12][kLanes];
  alignas(64) double tmp[12][kLanes];
};

// Computes `out` and `error` of every lane, on the widest vectors the
// processor has.
void stepLanes(LaneTries& b);

} // namespace tb::rkf78
