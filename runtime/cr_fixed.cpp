// The exact path of the correctly rounded functions: fixed point with 320
// fraction bits, integer operations only. Every series below runs until its
// terms vanish at that precision; the error bounds allow a few thousand
// units of the last fraction bit, far more than the truncations add up to.
#include "runtime/cr_fixed.h"

#include "runtime/cr_constants.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <limits>

namespace tb::cr::detail {
namespace {

using u128 = unsigned __int128;
constexpr int kN = Fixed::kLimbs;
constexpr int kBits = 64 * kN;

bool isZero(const Fixed& a) {
  for (uint64_t v : a.d)
    if (v) return false;
  return true;
}

int compareMagnitude(const Fixed& a, const Fixed& b) {
  for (int i = kN - 1; i >= 0; --i)
    if (a.d[i] != b.d[i]) return a.d[i] < b.d[i] ? -1 : 1;
  return 0;
}

// v * 2^shift in units of the last fraction bit: bits shifted out below are
// dropped, bits above the integer limb must not occur.
Fixed placed(uint64_t v, int shift) {
  Fixed r;
  if (shift < 0) {
    if (shift > -64) r.d[0] = v >> -shift;
    return r;
  }
  const int limb = shift / 64, off = shift % 64;
  if (limb < kN) r.d[limb] = v << off;
  if (off && limb + 1 < kN) r.d[limb + 1] = v >> (64 - off);
  return r;
}

Fixed one() { return placed(1, Fixed::kFractionBits); }

// A positive finite double as m * 2^e with m a whole number below 2^53.
void decompose(double x, uint64_t* m, int* e) {
  const uint64_t bits = std::bit_cast<uint64_t>(x) & ~(uint64_t{1} << 63);
  const int field = static_cast<int>(bits >> 52);
  *m = bits & ((uint64_t{1} << 52) - 1);
  if (field == 0) {
    *e = -1074;
  } else {
    *m |= uint64_t{1} << 52;
    *e = field - 1075;
  }
}

Fixed fromDouble(double x) {
  uint64_t m;
  int e;
  decompose(x, &m, &e);
  Fixed r = placed(m, e + Fixed::kFractionBits);
  r.neg = x < 0;
  return r;
}

Fixed add(const Fixed& a, const Fixed& b) {
  Fixed r;
  const Fixed *big = &a, *small = &b;
  if (a.neg != b.neg && compareMagnitude(a, b) < 0) std::swap(big, small);
  r.neg = big->neg;
  if (a.neg == b.neg) {
    uint64_t carry = 0;
    for (int i = 0; i < kN; ++i) {
      const u128 s = static_cast<u128>(a.d[i]) + b.d[i] + carry;
      r.d[i] = static_cast<uint64_t>(s);
      carry = static_cast<uint64_t>(s >> 64);
    }
  } else {
    uint64_t borrow = 0;
    for (int i = 0; i < kN; ++i) {
      const uint64_t s = small->d[i] + borrow;
      borrow = (s < borrow) || (big->d[i] < s);
      r.d[i] = big->d[i] - s;
    }
  }
  if (isZero(r)) r.neg = false;
  return r;
}

Fixed negated(Fixed a) {
  a.neg = !a.neg && !isZero(a);
  return a;
}

Fixed sub(const Fixed& a, const Fixed& b) { return add(a, negated(b)); }

// The product, its bits below the last fraction bit dropped.
Fixed mul(const Fixed& a, const Fixed& b) {
  uint64_t p[2 * kN] = {};
  for (int i = 0; i < kN; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < kN; ++j) {
      const u128 t = static_cast<u128>(a.d[i]) * b.d[j] + p[i + j] + carry;
      p[i + j] = static_cast<uint64_t>(t);
      carry = static_cast<uint64_t>(t >> 64);
    }
    p[i + kN] = carry;
  }
  Fixed r;
  for (int i = 0; i < kN; ++i)
    r.d[i] = p[i + kN - 1];
  r.neg = (a.neg != b.neg) && !isZero(r);
  return r;
}

Fixed mulSmall(Fixed a, uint64_t k) {
  uint64_t carry = 0;
  for (uint64_t& v : a.d) {
    const u128 t = static_cast<u128>(v) * k + carry;
    v = static_cast<uint64_t>(t);
    carry = static_cast<uint64_t>(t >> 64);
  }
  return a;
}

Fixed divSmall(Fixed a, uint64_t k) {
  u128 rest = 0;
  for (int i = kN - 1; i >= 0; --i) {
    const u128 cur = (rest << 64) | a.d[i];
    a.d[i] = static_cast<uint64_t>(cur / k);
    rest = cur % k;
  }
  if (isZero(a)) a.neg = false;
  return a;
}

// Bits [from, from + 64) of a little-endian array of n limbs.
uint64_t bitsAt(const uint64_t* p, int n, int from) {
  if (from >= 64 * n) return 0;
  const int limb = from / 64, off = from % 64;
  uint64_t v = p[limb] >> off;
  if (off && limb + 1 < n) v |= p[limb + 1] << (64 - off);
  return v;
}

Fixed shiftRight(const Fixed& a, int n) {
  Fixed r;
  for (int i = 0; i < kN; ++i)
    r.d[i] = bitsAt(a.d, kN, n + 64 * i);
  r.neg = a.neg && !isZero(r);
  return r;
}

Fixed shiftLeft(const Fixed& a, int n) {
  Fixed r;
  for (int i = kN - 1; i >= 0; --i) {
    const int from = 64 * i - n; // bit index in a of r's limb i
    if (from <= -64) continue;
    r.d[i] = from >= 0 ? bitsAt(a.d, kN, from) : a.d[0] << -from;
  }
  r.neg = a.neg;
  return r;
}

int highestBit(const Fixed& a) {
  for (int i = kN - 1; i >= 0; --i)
    if (a.d[i]) return 64 * i + 63 - std::countl_zero(a.d[i]);
  return -1;
}

bool bitAt(const Fixed& a, int i) { return i >= 0 && i < kBits && ((a.d[i / 64] >> (i % 64)) & 1); }

bool anyBitBelow(const Fixed& a, int i) {
  for (int limb = 0; limb < kN && 64 * limb < i; ++limb) {
    const int n = std::min(64, i - 64 * limb);
    const uint64_t mask = n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1;
    if (a.d[limb] & mask) return true;
  }
  return false;
}

// 2^k for a k where 2^k is a normal double.
double powerOfTwo(int k) { return std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52); }

// v * 2^k, exact whenever the result is representable.
double scaled(double v, int k) {
  while (k > 1000)
    v *= powerOfTwo(1000), k -= 1000;
  while (k < -1000)
    v *= powerOfTwo(-1000), k += 1000;
  return v * powerOfTwo(k);
}

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

double nearestDouble(const Fixed& v, int scale) {
  const double sign = v.neg ? -1.0 : 1.0;
  const int h = highestBit(v);
  if (h < 0) return sign * 0.0;
  const int exponent = h - Fixed::kFractionBits + scale;
  if (exponent > 1023) return sign * std::numeric_limits<double>::infinity();
  int keep = 53;
  if (exponent < -1022) keep -= -1022 - exponent;
  if (keep < 0) return sign * 0.0;
  const int low = h + 1 - keep; // the lowest bit kept
  uint64_t q = 0;
  if (keep > 0) {
    q = low >= 0 ? bitsAt(v.d, kN, low) : v.d[0] << -low;
    if (keep < 64) q &= (uint64_t{1} << keep) - 1;
  }
  if (bitAt(v, low - 1) && (anyBitBelow(v, low - 1) || (q & 1))) ++q;
  return sign * scaled(static_cast<double>(q), low - Fixed::kFractionBits + scale);
}

bool roundFixed(const Fixed& v, int scale, const Fixed& err, double* out) {
  const Fixed below = sub(v, err), above = add(v, err);
  if (below.neg != above.neg) return false;
  const double a = nearestDouble(below, scale), b = nearestDouble(above, scale);
  if (a != b) return false;
  *out = a;
  return true;
}

double roundEvaluated(const Evaluated& e) {
  double r;
  if (roundFixed(e.value, e.scale, e.error, &r)) return r;
  return nearestDouble(e.value, e.scale);
}

void splitFixed(const Fixed& v, double* hi, double* lo) {
  *hi = nearestDouble(v);
  *lo = nearestDouble(sub(v, fromDouble(*hi)));
}

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
  auto magnitude = [](double v) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(v) & ~(uint64_t{1} << 63));
  };
  double big = magnitude(x), small = magnitude(y);
  if (big < small) std::swap(big, small);
  if (big == 0) return 0;
  if (big < 0x1p-1022) { // both subnormal: whole multiples of 2^-1074
    const uint64_t a = std::bit_cast<uint64_t>(big), b = std::bit_cast<uint64_t>(small);
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
  auto next = [](double v, int step) { return std::bit_cast<double>(std::bit_cast<uint64_t>(v) + step); };
  auto odd = [](double v) { return std::bit_cast<uint64_t>(v) & 1; };
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
