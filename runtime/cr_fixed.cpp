// The exact path of the correctly rounded functions: fixed point with 320
// fraction bits, integer operations only. Every series below runs until its
// terms vanish at that precision; the error bounds allow a few thousand
// units of the last fraction bit, far more than the truncations add up to.
#include "runtime/cr_fixed.h"
#include "runtime/bit_cast.h"

#include "runtime/cr_constants.h"
#include "runtime/cr_fixed_arith.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>

namespace tb::cr::detail {
namespace {

Fixed fromFraction(double err) { return fromDouble(err); }

Fixed halfPi() {
  Fixed r;
  std::copy(std::begin(kHalfPiFixed), std::end(kHalfPiFixed), r.d);
  return r;
}

Fixed ln2() {
  Fixed r;
  std::copy(std::begin(kLn2Fixed), std::end(kLn2Fixed), r.d);
  return r;
}

// 1/d for 1 <= d < 4: Newton's iteration from the double quotient, each
// step doubling the correct bits.
Fixed reciprocal(const Fixed& d) {
  Fixed r = fromDouble(1.0 / nearestDouble(d));
  const Fixed two = placed(2, Fixed::kFractionBits);
  for (int i = 0; i < 4; ++i)
    r = mul(r, sub(two, mul(d, r)));
  return r;
}

// |x| * 2/pi modulo 4, x = m * 2^e (Payne and Hanek): only the bits of 2/pi
// that reach the last two integer bits and the fraction take part.
Fixed quarterTurns(uint64_t m, int e) {
  const int s = std::max(1, e - 1); // first bit of 2/pi used
  uint64_t window[7];               // bits s .. s + 447 of 2/pi, little-endian
  for (int k = 0; k < 7; ++k) {
    const int from = s - 1 + 64 * k, limb = from / 64, off = from % 64;
    const uint64_t hi = limb < 25 ? kTwoOverPiBits[limb] : 0,
                   lo = limb + 1 < 25 ? kTwoOverPiBits[limb + 1] : 0;
    window[6 - k] = off ? (hi << off) | (lo >> (64 - off)) : hi;
  }
  uint64_t p[8] = {};
  uint64_t carry = 0;
  for (int i = 0; i < 7; ++i) {
    const u128 t = static_cast<u128>(window[i]) * m + carry;
    p[i] = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  p[7] = carry;
  Fixed y;
  const int shift = s + 127 - e; // the product is p * 2^(e - s - 447)
  for (int i = 0; i < kN; ++i)
    y.d[i] = bitsAt(p, 8, shift + 64 * i);
  y.d[kN - 1] &= 3;
  return y;
}

Fixed sinSeries(const Fixed& r) {
  const Fixed r2 = mul(r, r);
  Fixed term = r, sum = r;
  for (uint64_t k = 2;; k += 2) {
    term = negated(divSmall(mul(term, r2), k * (k + 1)));
    if (isZero(term)) return sum;
    sum = add(sum, term);
  }
}

Fixed cosSeries(const Fixed& r) {
  const Fixed r2 = mul(r, r);
  Fixed term = one(), sum = one();
  for (uint64_t k = 2;; k += 2) {
    term = negated(divSmall(mul(term, r2), (k - 1) * k));
    if (isZero(term)) return sum;
    sum = add(sum, term);
  }
}

// atan(a) for 0 <= a <= 1 by Euler's series in t = a^2 / (1 + a^2) <= 1/2.
Fixed atanUnit(const Fixed& a) {
  const Fixed s = mul(a, a), inverse = reciprocal(add(one(), s));
  const Fixed t = mul(s, inverse);
  Fixed term = one(), sum = one();
  for (uint64_t k = 1;; ++k) {
    term = divSmall(mulSmall(mul(term, t), 2 * k), 2 * k + 1);
    if (isZero(term)) break;
    sum = add(sum, term);
  }
  return mul(mul(a, inverse), sum);
}

Fixed logFixed(double x) {
  uint64_t m;
  int e;
  decompose(x, &m, &e);
  while (!(m >> 52))
    m <<= 1, --e;     // a subnormal's leading bit to bit 52
  int scale = e + 52; // x = (m / 2^52) * 2^scale
  Fixed mf = placed(m, Fixed::kFractionBits - 52);
  if (m > 0x16A09E667F3BCCULL) { // above sqrt(2): halve, so |s| < 0.172
    mf = placed(m, Fixed::kFractionBits - 53);
    ++scale;
  }
  // log m = 2 atanh(s), s = (m - 1) / (m + 1).
  const Fixed s = mul(sub(mf, one()), reciprocal(add(mf, one())));
  const Fixed s2 = mul(s, s);
  Fixed power = s, sum = s;
  for (uint64_t k = 1;; ++k) {
    power = mul(power, s2);
    const Fixed term = divSmall(power, 2 * k + 1);
    if (isZero(term)) break;
    sum = add(sum, term);
  }
  Fixed whole = mulSmall(ln2(), static_cast<uint64_t>(scale < 0 ? -scale : scale));
  if (scale < 0) whole = negated(whole);
  return add(mulSmall(sum, 2), whole);
}

constexpr int kErrorBit = 20; // the error bound 2^-300, in units of 2^-320

Evaluated withError(const Fixed& v) { return {v, placed(1, kErrorBit), 0}; }

Evaluated sinOrCos(double x, bool cosine) {
  uint64_t m;
  int e;
  decompose(x, &m, &e);
  const Fixed y = quarterTurns(m, e);
  int quadrant = static_cast<int>(y.d[kN - 1]);
  Fixed f = y;
  f.d[kN - 1] = 0;
  if (f.d[kN - 2] >> 63) { // the nearest quarter turn is above: f - 1
    f = sub(f, one());
    quadrant = (quadrant + 1) & 3;
  }
  const Fixed r = mul(f, halfPi());
  if (cosine) quadrant = (quadrant + 1) & 3; // cos x = sin(x + pi/2)
  Fixed v = (quadrant & 1) ? cosSeries(r) : sinSeries(r);
  if (quadrant >= 2) v = negated(v);
  if (x < 0 && !cosine) v = negated(v);
  return withError(v);
}

} // namespace

Evaluated sinExact(double x) { return sinOrCos(x, false); }
Evaluated cosExact(double x) { return sinOrCos(x, true); }

Evaluated atanExact(double x) {
  const double ax = x < 0 ? -x : x;
  Fixed v;
  if (ax <= 1) {
    v = atanUnit(fromDouble(ax));
  } else { // atan(x) = pi/2 - atan(1/x), 1/x from the significand and exponent
    uint64_t m;
    int e;
    decompose(ax, &m, &e);
    const Fixed u = shiftRight(reciprocal(placed(m, Fixed::kFractionBits - 52)), e + 52);
    v = sub(halfPi(), atanUnit(u));
  }
  if (x < 0) v = negated(v);
  return withError(v);
}

Evaluated logExact(double x) { return withError(logFixed(x)); }

Evaluated powExact(double x, double y) {
  uint64_t m;
  int e;
  decompose(y, &m, &e);
  Fixed t = mulSmall(logFixed(x), m); // below 2^63: |log x| <= 745, m < 2^53
  t = e >= 0 ? shiftLeft(t, e) : shiftRight(t, -e);
  if (y < 0) t = negated(t);
  // exp(t) = 2^k exp(r), r = t - k ln 2, |r| <= ln 2 / 2 (and a little).
  const double k = __builtin_floor(nearestDouble(t) / 0x1.62e42fefa39efp-1 + 0.5);
  const uint64_t steps = static_cast<uint64_t>(k < 0 ? -k : k);
  const Fixed r = k < 0 ? add(t, mulSmall(ln2(), steps)) : sub(t, mulSmall(ln2(), steps));
  Fixed term = one(), sum = one();
  for (uint64_t n = 1;; ++n) {
    term = divSmall(mul(term, r), n);
    if (isZero(term)) break;
    sum = add(sum, term);
  }
  // |y| times log's error reaches t; exp's value (below 2) doubles it.
  const double ay = y < 0 ? -y : y;
  return {sum, fromFraction(0x1p-298 * (ay + 1)), static_cast<int>(k)};
}

double hypotExact(double x, double y) {
  // Magnitudes by the sign bit, so that -0 has the bits of +0 below.
  auto magnitude = [](double v) { return bitCast<double>(bitCast<uint64_t>(v) & ~(uint64_t{1} << 63)); };
  double big = magnitude(x), small = magnitude(y);
  if (big < small) std::swap(big, small);
  if (big == 0) return 0;
  if (big < 0x1p-1022) { // both subnormal: whole multiples of 2^-1074
    const uint64_t a = bitCast<uint64_t>(big), b = bitCast<uint64_t>(small);
    const u128 s = static_cast<u128>(a) * a + static_cast<u128>(b) * b;
    uint64_t n = static_cast<uint64_t>(__builtin_sqrt(static_cast<double>(s)));
    while (static_cast<u128>(n) * n > s)
      --n;
    while (static_cast<u128>(n + 1) * (n + 1) <= s)
      ++n;
    if (s - static_cast<u128>(n) * n > n) ++n; // above (n + 1/2)^2 = n^2 + n + 1/4
    return scaled(static_cast<double>(n), -1074);
  }
  uint64_t m;
  int e;
  decompose(big, &m, &e);
  const int scale = e + 52; // big = (m / 2^52) * 2^scale, in [1, 2) once scaled
  const Fixed a = fromDouble(scaled(big, -scale)), b = fromDouble(scaled(small, -scale));
  const Fixed s = add(mul(a, a), mul(b, b));
  double z = __builtin_sqrt(nearestDouble(s));
  auto next = [](double v, int step) { return bitCast<double>(bitCast<uint64_t>(v) + step); };
  auto odd = [](double v) { return bitCast<uint64_t>(v) & 1; };
  auto midSquared = [](double p, double q) {
    const Fixed mid = shiftRight(add(fromDouble(p), fromDouble(q)), 1);
    return mul(mid, mid);
  };
  for (;;) {
    const int up = compareMagnitude(s, midSquared(z, next(z, 1)));
    if (up > 0 || (up == 0 && odd(z))) {
      z = next(z, 1);
      continue;
    }
    const int down = compareMagnitude(s, midSquared(next(z, -1), z));
    if (down < 0 || (down == 0 && odd(z))) {
      z = next(z, -1);
      continue;
    }
    return scaled(z, scale);
  }
}

} // namespace tb::cr::detail
