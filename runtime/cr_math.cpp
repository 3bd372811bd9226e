// The fast path of the correctly rounded functions: double-double evaluation
// with a rounding test, and the exact path behind it for the rare arguments
// the test cannot decide. The error bounds below are a few times the largest
// error of the double-double steps (each at most a few units of 2^-106 of its
// result), so that a bound is never smaller than the true error.
#include "runtime/cr_math.h"
#include "runtime/bit_cast.h"

#include "runtime/cr_constants.h"
#include "runtime/cr_double_double.h"
#include "runtime/cr_fixed.h"

#include <bit>
#include <cstdint>
#include <limits>

namespace tb::cr {
namespace {

using detail::DD;

template <int N> struct Coefficients { DD c[N]; };

// The series' coefficients, computed by the compiler in double-double.
constexpr DD inverse(double n) { return detail::div(DD{1, 0}, DD{n, 0}); }

// sin r = r * sum (-1)^i r^2i / (2i + 1)!, to r^29 (below 2^-110 at pi/4).
constexpr auto kSin = [] {
  Coefficients<15> t{};
  DD f{1, 0};
  for (int i = 0; i < 15; ++i) {
    if (i) f = detail::div(f, DD{static_cast<double>((2 * i) * (2 * i + 1)), 0});
    t.c[i] = (i & 1) ? detail::neg(f) : f;
  }
  return t;
}();

// cos r = sum (-1)^i r^2i / (2i)!, to r^28.
constexpr auto kCos = [] {
  Coefficients<15> t{};
  DD f{1, 0};
  for (int i = 0; i < 15; ++i) {
    if (i) f = detail::div(f, DD{static_cast<double>((2 * i - 1) * (2 * i)), 0});
    t.c[i] = (i & 1) ? detail::neg(f) : f;
  }
  return t;
}();

// atan a = a * sum (-1)^i a^2i / (2i + 1), to a^47 (below 2^-110 at 0.2).
constexpr auto kAtan = [] {
  Coefficients<24> t{};
  for (int i = 0; i < 24; ++i)
    t.c[i] = (i & 1) ? detail::neg(inverse(2 * i + 1)) : inverse(2 * i + 1);
  return t;
}();

// atanh s = s * sum s^2i / (2i + 1), to s^43 (below 2^-110 at 0.172).
constexpr auto kAtanh = [] {
  Coefficients<22> t{};
  for (int i = 0; i < 22; ++i)
    t.c[i] = inverse(2 * i + 1);
  return t;
}();

// exp r = sum r^i / i!, to r^24 (below 2^-110 at 0.35).
constexpr auto kExp = [] {
  Coefficients<25> t{};
  DD f{1, 0};
  for (int i = 0; i < 25; ++i) {
    if (i) f = detail::div(f, DD{static_cast<double>(i), 0});
    t.c[i] = f;
  }
  return t;
}();

constexpr DD kHalfPi{detail::kHalfPiHi, detail::kHalfPiLo};
constexpr DD kLn2{detail::kLn2Hi, detail::kLn2Lo};
constexpr double kInf = std::numeric_limits<double>::infinity();

double magnitude(double x) { return bitCast<double>(bitCast<uint64_t>(x) & ~(uint64_t{1} << 63)); }

// v * 2^k, exact whenever the result is a normal double or an overflow.
double scaled(double v, int k) {
  auto power = [](int e) { return bitCast<double>(static_cast<uint64_t>(e + 1023) << 52); };
  while (k > 1000)
    v *= power(1000), k -= 1000;
  while (k < -1000)
    v *= power(-1000), k += 1000;
  return v * power(k);
}

double sinOrCos(double x, bool cosine) {
  const double ax = magnitude(x);
  if (!(ax < kInf)) return x - x; // NaN stays NaN; +-inf gives NaN
  if (ax < 0x1p-27) return cosine ? 1.0 : x;
  if (ax < 0x1p20) {
    // x - k pi/2 with pi/2 in pieces of 33 bits: the first three products
    // by k < 2^20 are exact, and so is the first difference (Sterbenz).
    const double k = __builtin_floor(ax * 0x1.45f306dc9c883p-1 + 0.5);
    DD r{ax, 0};
    if (k > 0) {
      r = detail::twoSum(ax - k * detail::kHalfPiPart[0], -(k * detail::kHalfPiPart[1]));
      r = detail::add(r, -(k * detail::kHalfPiPart[2]));
      r = detail::add(r, detail::twoProd(-k, detail::kHalfPiPart[3]));
    }
    const double reduction = 0x1p-100 * magnitude(r.hi) + 0x1p-130;
    int quadrant = static_cast<int>(k) & 3;
    if (cosine) quadrant = (quadrant + 1) & 3;
    const DD z = detail::mul(r, r);
    DD v = (quadrant & 1) ? detail::horner(kCos.c, z) : detail::mul(detail::horner(kSin.c, z), r);
    if (quadrant >= 2) v = detail::neg(v);
    if (x < 0 && !cosine) v = detail::neg(v);
    double out;
    if (detail::roundsTo(v, 0x1p-96 * magnitude(v.hi) + reduction, &out)) return out;
  }
  return detail::roundEvaluated(cosine ? detail::cosExact(x) : detail::sinExact(x));
}

// x = m 2^e with m in [sqrt(1/2), sqrt(2)], for x positive and finite
// (subnormals included): returns m, sets e.
double logReduced(double x, int* e) {
  *e = 0;
  if (x < 0x1p-1022) x *= 0x1p54, *e = -54;
  const uint64_t bits = bitCast<uint64_t>(x);
  *e += static_cast<int>(bits >> 52) - 1023;
  double m = bitCast<double>((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52));
  if (m > 0x1.6a09e667f3bcdp+0) m *= 0.5, ++*e;
  return m;
}

// log x as a double-double, x positive and finite: x = m 2^e with m in
// [sqrt(1/2), sqrt(2)], log m = 2 atanh((m - 1) / (m + 1)).
DD logDD(double x) {
  int e;
  const double m = logReduced(x, &e);
  const DD s = detail::div(DD{m - 1, 0}, detail::twoSum(m, 1));
  const DD series = detail::mul(detail::horner(kAtanh.c, detail::mul(s, s)), s);
  const DD whole = detail::add(detail::twoProd(e, kLn2.hi), detail::twoProd(e, kLn2.lo));
  return detail::add(whole, DD{2 * series.hi, 2 * series.lo});
}

// exp t = 2^k exp(r), r = t - k ln 2: returns exp(r) and sets k.
DD expDD(DD t, int* k) {
  const double n = __builtin_floor(t.hi * 0x1.71547652b82fep+0 + 0.5);
  DD r = detail::add(t, detail::twoProd(-n, kLn2.hi));
  r = detail::add(r, detail::twoProd(-n, kLn2.lo));
  *k = static_cast<int>(n);
  return detail::horner(kExp.c, r);
}

// The quick tier, about 2^-63 relative: the largest terms in double-double,
// the small tail of each series in plain double. Most arguments are decided
// here; the rest go on to the full double-double evaluation.

// atan a for 2^-27 <= a <= 2^100, about 2^-66 relative:
// atan a = atan c + atan t, t = (a - c) / (1 + a c), |t| <= 1/128, with c
// from a table (c = j/64 for a <= 1, c = 64/j above; a - c is then exact by
// Sterbenz), or atan a = pi/2 - atan(1/a) for a > 128. The series of atan t
// past t in plain double: it is below 2^-14 of the result, so its roundings
// stay below 2^-66 of it.
DD atanQuick(double ax) {
  DD t{ax, 0}, base{0, 0};
  bool inverted = false;
  if (ax <= 1) {
    const int j = static_cast<int>(ax * 64 + 0.5);
    if (j > 0) {
      const double c = j / 64.0;
      t = detail::quotient(DD{ax - c, 0}, detail::add(detail::twoProd(ax, c), 1.0));
      base = {detail::kAtanSixtyFourths[j][0], detail::kAtanSixtyFourths[j][1]};
    }
  } else {
    const int j = static_cast<int>(64 / ax + 0.5);
    if (j > 0) {
      const double* row = detail::kAtanOfInverse[j];
      t = detail::quotient(DD{ax - row[0], 0}, detail::add(detail::twoProd(ax, row[0]), 1.0));
      base = {row[1], row[2]};
    } else {
      const double q = 1 / ax;
      const DD p = detail::twoProd(q, ax);
      t = {q, ((1 - p.hi) - p.lo) / ax};
      inverted = true;
    }
  }
  const double t2 = t.hi * t.hi;
  const double tail = t.hi * t2 * (-1 / 3.0 + t2 * (1 / 5.0 + t2 * (-1 / 7.0 + t2 * (1 / 9.0 - t2 / 11.0))));
  const DD v = detail::add(detail::add(base, t), tail);
  return inverted ? detail::add(kHalfPi, detail::neg(v)) : v;
}

// log x, x positive and finite, about 2^-66 relative: x = 2^e m with c from a
// table, z = m c - 1 exact in two doubles, |z| < 2^-7, and
// log x = e log 2 - log c + log(1 + z); the series of log(1 + z) to z^2 in
// double-double, its tail to z^11 in plain double.
DD logQuick(double x) {
  int e = 0;
  if (x < 0x1p-1022) x *= 0x1p54, e = -54;
  const uint64_t bits = bitCast<uint64_t>(x);
  e += static_cast<int>(bits >> 52) - 1023;
  const int i = static_cast<int>(bits >> 45) & 127;
  double m = bitCast<double>((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52));
  if (i >= 53) m *= 0.5, ++e;
  const double* row = detail::kLogInverse[i];
  // 26-bit halves of m times the 26-bit c are exact; m c is within 2^-7 of 1.
  const DD halves = detail::split(m);
  const DD z = detail::twoSum(halves.hi * row[0] - 1, halves.lo * row[0]);
  const DD square = detail::twoProd(z.hi, z.hi);
  const double w = z.hi;
  const double tail =
      w * w * w *
      (1 / 3.0 +
       w * (-1 / 4.0 +
            w * (1 / 5.0 +
                 w * (-1 / 6.0 +
                      w * (1 / 7.0 + w * (-1 / 8.0 + w * (1 / 9.0 + w * (-1 / 10.0 + w / 11.0))))))));
  const DD series = detail::fastTwoSum(z.hi, -0.5 * square.hi);
  // The sum's leading doubles (e log 2's first piece, the table's, the
  // series') added exactly; the rest in plain double, the tail (below 2^-15
  // of the sum) last, so that the roundings stay near 2^-68 of the sum.
  const double de = e;
  const DD head = detail::twoSum(de * detail::kLn2Part[0], row[1]);
  const DD sum = detail::twoSum(head.hi, series.hi);
  const double small = de * detail::kLn2Part[1] + de * detail::kLn2Part[2] + row[2] + head.lo + sum.lo +
                       series.lo + (z.lo - 0.5 * square.lo) - z.hi * z.lo;
  const double rest = small + tail;
  return detail::fastTwoSum(sum.hi, rest);
}

// exp t = 2^k 2^(j/64) exp(r), |r| <= ln 2 / 128, about 2^-66 relative:
// returns all but 2^k.
DD expQuick(DD t, int* k) {
  const double n = __builtin_floor(t.hi * 0x1.71547652b82fep+6 + 0.5);
  // ln 2 / 64 in pieces of 33 bits: n times each is exact for |n| < 2^20, and
  // so is the first difference (Sterbenz).
  DD r = detail::twoSum(t.hi - n * (detail::kLn2Part[0] / 64), -(n * (detail::kLn2Part[1] / 64)));
  r = detail::fastTwoSum(r.hi, r.lo + (t.lo - n * (detail::kLn2Part[2] / 64)));
  const int whole = static_cast<int>(n), j = whole & 63;
  *k = (whole - j) / 64;
  const double x = r.hi;
  const double tail =
      x * x * (1 / 2.0 + x * (1 / 6.0 + x * (1 / 24.0 + x * (1 / 120.0 + x * (1 / 720.0 + x / 5040.0)))));
  // c exp r = c (1 + x + r.lo + tail): c + c x exactly, the rest in plain
  // double, c times the tail (below 2^-16 of the result) last.
  const double c = detail::kExp2SixtyFourths[j][0], cLo = detail::kExp2SixtyFourths[j][1];
  const DD cx = detail::twoProd(c, x);
  const DD head = detail::fastTwoSum(c, cx.hi);
  const double small = head.lo + cx.lo + cLo + cLo * x + c * (r.lo + x * r.lo);
  return detail::fastTwoSum(head.hi, small + c * tail);
}

bool isInteger(double y) { return __builtin_floor(y) == y; }
bool isOddInteger(double y) {
  return isInteger(y) && magnitude(y) < 0x1p53 && __builtin_floor(y * 0.5) != y * 0.5;
}

} // namespace

double sin(double x) { return sinOrCos(x, false); }
double cos(double x) { return sinOrCos(x, true); }

double atan(double x) {
  const double ax = magnitude(x);
  if (ax != ax) return x + x;
  if (ax < 0x1p-27) return x;
  double out;
  if (ax <= 0x1p100) {
    const DD q = atanQuick(ax);
    if (detail::roundsTo(x < 0 ? detail::neg(q) : q, 0x1p-64 * q.hi, &out)) return out;
  }
  DD v;
  if (ax > 0x1p100) { // pi/2 - 1/x, the next term below 2^-300
    v = detail::add(kHalfPi, -(1 / ax));
  } else {
    // Two halvings, a -> a / (1 + sqrt(1 + a^2)), take a <= 1 to a <= 0.2.
    const bool inverted = ax > 1;
    DD a = inverted ? detail::div(DD{1, 0}, DD{ax, 0}) : DD{ax, 0};
    for (int i = 0; i < 2; ++i)
      a = detail::div(a, detail::add(detail::sqrt(detail::add(detail::mul(a, a), 1.0)), 1.0));
    v = detail::mul(detail::horner(kAtan.c, detail::mul(a, a)), a);
    v = {4 * v.hi, 4 * v.lo};
    if (inverted) v = detail::add(kHalfPi, detail::neg(v));
  }
  if (x < 0) v = detail::neg(v);
  if (detail::roundsTo(v, 0x1p-95 * magnitude(v.hi), &out)) return out;
  return detail::roundEvaluated(detail::atanExact(x));
}

double hypot(double x, double y) {
  double big = magnitude(x), small = magnitude(y);
  if (big == kInf || small == kInf) return kInf;
  if (big != big || small != small) return x + y;
  if (big < small) {
    const double t = big;
    big = small, small = t;
  }
  if (small == 0) return big;
  if (big < 0x1p-1022) return detail::hypotExact(x, y);
  if (small < big * 0x1p-60) return big; // big (1 + below 2^-121)
  const int e = static_cast<int>(bitCast<uint64_t>(big) >> 52) - 1023;
  const double a = scaled(big, -e), b = scaled(small, -e); // exact: a in [1, 2)
  const DD s = detail::add(detail::twoProd(a, a), detail::twoProd(b, b));
  const DD root = detail::sqrt(s);
  double out;
  if (detail::roundsTo(root, 0x1p-98 * root.hi, &out)) return scaled(out, e);
  return detail::hypotExact(x, y);
}

double log(double x) {
  if (x != x) return x + x;
  if (x < 0) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0) return -kInf;
  if (x == kInf) return x;
  if (x == 1) return 0;
  const DD v = logDD(x);
  double out;
  if (detail::roundsTo(v, 0x1p-96 * magnitude(v.hi), &out)) return out;
  return detail::roundEvaluated(detail::logExact(x));
}

// x^(-1/8), the reference's step-size control's power, for x in
// [2^-900, 2^900]: 1 / the third square root, corrected by the first two
// terms of (1 + d)^(-1/8) where 1 + d = x y0^8 in double-double (|d| below
// 2^-48). The error is below 2^-100 of the result; the bound allows 2^-96.
// True, and *out set, when that decides the rounding.
static bool inverseEighthRoot(double x, double* out) {
  const double y0 = 1 / __builtin_sqrt(__builtin_sqrt(__builtin_sqrt(x)));
  const DD y2 = detail::twoProd(y0, y0), y4 = detail::mul(y2, y2), y8 = detail::mul(y4, y4);
  const DD t = detail::mul(y8, x);
  const double d = (t.hi - 1) + t.lo;
  const double c = y0 * (d * (-0.125 + d * (9.0 / 128)));
  return detail::roundsTo(detail::fastTwoSum(y0, c), 0x1p-96 * y0, out);
}

double pow(double x, double y) {
  if (y == -0.125 && x >= 0x1p-900 && x <= 0x1p900) {
    double out;
    if (inverseEighthRoot(x, &out)) return out;
  }
  if (y == 0 || x == 1) return 1;
  if (x != x || y != y) return x + y;
  const double ax = magnitude(x), ay = magnitude(y);
  const bool oddPower = isOddInteger(y), negative = bitCast<uint64_t>(x) >> 63;
  const double sign = (negative && oddPower) ? -1.0 : 1.0;
  if (ay == kInf) {
    if (ax == 1) return 1;
    return (ax > 1) == (y > 0) ? kInf : 0.0;
  }
  if (ax == 0 || ax == kInf) {
    const bool large = (ax == kInf) == (y > 0);
    return sign * (large ? kInf : 0.0);
  }
  if (x < 0 && !isInteger(y)) return std::numeric_limits<double>::quiet_NaN();
  if (ax == 1) return sign;
  // |y log x| > 2^64 * 2^-53: far beyond the range of doubles.
  if (ay > 0x1p64) return sign * (((ax > 1) == (y > 0)) ? kInf : 0.0);
  const DD quick = detail::mul(logQuick(ax), y);
  if (quick.hi > 710) return sign * kInf;
  if (quick.hi < -746) return sign * 0.0;
  int k = 0;
  double out;
  // The quick log and exp are each within about 2^-66 relative, so the bound
  // has a factor four to spare.
  const DD q = expQuick(quick, &k);
  if (k >= -1020 && detail::roundsTo(q, 0x1p-63 * (1 + magnitude(quick.hi)) * q.hi, &out))
    return sign * scaled(out, k);
  const DD t = detail::mul(logDD(ax), y);
  const DD v = expDD(t, &k);
  if (k >= -1020 && detail::roundsTo(v, 0x1p-95 * (1 + magnitude(t.hi)) * v.hi, &out))
    return sign * scaled(out, k);
  return sign * detail::roundEvaluated(detail::powExact(ax, y));
}

double decadeOf(double x) {
  double k = __builtin_floor(log(x) / log(10.0));
  while (k > -400 && pow(10, k) > x)
    --k;
  while (k < 400 && pow(10, k + 1) <= x)
    ++k;
  return pow(10, k);
}

} // namespace tb::cr
