// Fixed-point arithmetic of the exact path, and the rounding of its results
// to doubles.
#include "runtime/cr_fixed_arith.h"
#include "runtime/bit_cast.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace tb::cr::detail {

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
  const uint64_t bits = bitCast<uint64_t>(x) & ~(uint64_t{1} << 63);
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
double powerOfTwo(int k) { return bitCast<double>(static_cast<uint64_t>(k + 1023) << 52); }

// v * 2^k, exact whenever the result is representable.
double scaled(double v, int k) {
  while (k > 1000)
    v *= powerOfTwo(1000), k -= 1000;
  while (k < -1000)
    v *= powerOfTwo(-1000), k += 1000;
  return v * powerOfTwo(k);
}

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

} // namespace tb::cr::detail
