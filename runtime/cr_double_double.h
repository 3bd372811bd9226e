// Double-double arithmetic: a value as the unevaluated sum hi + lo of two
// doubles, about 106 bits, from IEEE additions and multiplications alone
// (Dekker's product with Veltkamp's split, no fused multiply-add), so that
// every platform computes the same bits. constexpr, so the fast path's
// series coefficients are computed by the compiler with the same rules.
#pragma once

namespace tb::cr::detail {

struct DD {
  double hi = 0, lo = 0;
};

// a + b exactly, for any a and b.
constexpr DD twoSum(double a, double b) {
  const double s = a + b, bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, for |a| >= |b| (or a == 0).
constexpr DD fastTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// a as the sum of two 26-bit halves. |a| below 2^996.
constexpr DD split(double a) {
  const double c = 134217729.0 * a, hi = c - (c - a);
  return {hi, a - hi};
}

// a * b exactly (barring underflow), |a| and |b| below 2^996.
constexpr DD twoProd(double a, double b) {
  const double p = a * b;
  const DD x = split(a), y = split(b);
  return {p, ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
}

constexpr DD neg(DD a) { return {-a.hi, -a.lo}; }

// Relative error a few units of 2^-106 of the result.
constexpr DD add(DD a, DD b) {
  DD s = twoSum(a.hi, b.hi);
  const DD t = twoSum(a.lo, b.lo);
  s = fastTwoSum(s.hi, s.lo + t.hi);
  return fastTwoSum(s.hi, s.lo + t.lo);
}

constexpr DD add(DD a, double b) {
  const DD s = twoSum(a.hi, b);
  return fastTwoSum(s.hi, s.lo + a.lo);
}

constexpr DD mul(DD a, DD b) {
  const DD p = twoProd(a.hi, b.hi);
  return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr DD mul(DD a, double b) {
  const DD p = twoProd(a.hi, b);
  return fastTwoSum(p.hi, p.lo + a.lo * b);
}

// Long division: three quotient digits, each from the remainder so far.
constexpr DD div(DD a, DD b) {
  const double q1 = a.hi / b.hi;
  DD r = add(a, neg(mul(b, q1)));
  const double q2 = r.hi / b.hi;
  r = add(r, neg(mul(b, q2)));
  const double q3 = r.hi / b.hi;
  return add(fastTwoSum(q1, q2), q3);
}

// a / b with one division, the quotient corrected once by its remainder:
// about 2^-103 relative, cheaper than div.
constexpr DD quotient(DD a, DD b) {
  const double q = a.hi / b.hi;
  const DD p = twoProd(q, b.hi);
  return fastTwoSum(q, ((((a.hi - p.hi) - p.lo) + a.lo) - q * b.lo) / b.hi);
}

// sqrt(a) for a > 0: the double root corrected by one Newton step.
inline DD sqrt(DD a) {
  const double q = __builtin_sqrt(a.hi);
  const DD sq = twoProd(q, q);
  const double rest = ((a.hi - sq.hi) - sq.lo) + a.lo;
  return fastTwoSum(q, rest / (2 * q));
}

// Horner's scheme: c[0] + z (c[1] + z (c[2] + ...)).
template <int N> constexpr DD horner(const DD (&c)[N], DD z) {
  DD p = c[N - 1];
  for (int i = N - 2; i >= 0; --i)
    p = add(mul(p, z), c[i]);
  return p;
}

// True, and *out set, when every number within err of v rounds to the same
// double: the test that lets a fast evaluation stand for the exact value.
inline bool roundsTo(DD v, double err, double* out) {
  const double e = 2 * err; // covers the rounding of lo -+ err itself
  const double below = v.hi + (v.lo - e), above = v.hi + (v.lo + e);
  if (below != above) return false;
  *out = below;
  return true;
}

} // namespace tb::cr::detail
