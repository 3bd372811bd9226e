// The exact path of the correctly rounded functions: each function evaluated
// in fixed point with 320 fraction bits, from integer operations only, so the
// result is the same on every processor. It is slow (microseconds) and runs
// only when the fast path cannot decide the rounding, or to build its tables.
#pragma once

#include <cstdint>

namespace tb::cr::detail {

// A signed number with 64 integer bits and 320 fraction bits: the magnitude
// is sum d[i] * 2^(64 i - 320), least significant limb first.
struct Fixed {
  static constexpr int kLimbs = 6;
  static constexpr int kFractionBits = 320;
  uint64_t d[kLimbs] = {};
  bool neg = false;
};

// The double nearest to v * 2^scale, ties to even, subnormals and overflow
// included, when every number within err of v rounds to the same double;
// false when the interval straddles a rounding boundary.
bool roundFixed(const Fixed& v, int scale, const Fixed& err, double* out);
// The double nearest to v * 2^scale, ties to even (a value exactly on a
// boundary resolved by its computed bits).
double nearestDouble(const Fixed& v, int scale = 0);

// Each function's value at x as a fixed-point number with its error bound.
struct Evaluated {
  Fixed value;
  Fixed error;
  int scale = 0; // the function's value is value * 2^scale
};
// For |x| >= 2^-27, finite.
Evaluated sinExact(double x);
Evaluated cosExact(double x);
// For |x| >= 2^-27, finite.
Evaluated atanExact(double x);
// For finite x > 0.
Evaluated logExact(double x);
// x^y for finite x > 0 and finite y with |y log x| < 800.
Evaluated powExact(double x, double y);
// The correctly rounded hypotenuse of finite x and y by exact comparison of
// squares: never undecided.
double hypotExact(double x, double y);

// The correctly rounded result of an evaluation: the nearest double when its
// error interval decides it, and otherwise (a value within 2^-300 of a
// rounding boundary, which these functions never reach away from their exact
// cases) the nearest double to the computed value.
double roundEvaluated(const Evaluated& e);

// v as the sum of two doubles, hi the nearest to v: for the fast path's tables.
void splitFixed(const Fixed& v, double* hi, double* lo);

} // namespace tb::cr::detail
