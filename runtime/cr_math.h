// Correctly rounded elementary functions: each returns the double nearest to
// the exact value (ties to even), so its bits are the same on every processor
// and with every C library and compiler, the browser build included. The
// engine, the reference integration, the formatter and the maps compute
// through these and never through the platform's maths library.
//
// Each function first evaluates in double-double arithmetic with an error
// bound; when the bound shows which double is nearest, that is the result
// (almost always). Otherwise an exact evaluation in 320-bit fixed point
// decides. Special values follow the C standard's annex on IEEE arithmetic
// (NaN in, NaN out; sin(+-0) = +-0; atan(+-inf) = +-pi/2; pow's table of
// zeros, ones and infinities).
#pragma once

namespace tb::cr {

double sin(double x);
double cos(double x);
double atan(double x);
// sqrt(x^2 + y^2) without overflow or underflow in between.
double hypot(double x, double y);
// The natural logarithm.
double log(double x);
// x to the power y.
double pow(double x, double y);

// The largest power of ten, as pow(10, k) gives it, not above x (x > 0 and
// finite): the decade of a scale bar or an axis's ticks.
double decadeOf(double x);

} // namespace tb::cr
