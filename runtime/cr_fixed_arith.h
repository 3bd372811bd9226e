// Fixed-point arithmetic of the exact path (320 fraction bits, integer
// operations only): what the exact functions are built from.
#pragma once

#include "runtime/cr_fixed.h"

#include <cstdint>

namespace tb::cr::detail {

using u128 = unsigned __int128;
constexpr int kN = Fixed::kLimbs;
constexpr int kBits = 64 * kN;

bool isZero(const Fixed& a);
// -1, 0 or 1 as |a| is below, equal to or above |b|.
int compareMagnitude(const Fixed& a, const Fixed& b);
// v * 2^shift in units of the last fraction bit: bits shifted out below are
// dropped, bits above the integer limb must not occur.
Fixed placed(uint64_t v, int shift);
Fixed one();
// A positive finite double as m * 2^e with m a whole number below 2^53.
void decompose(double x, uint64_t* m, int* e);
Fixed fromDouble(double x);
Fixed add(const Fixed& a, const Fixed& b);
Fixed negated(Fixed a);
Fixed sub(const Fixed& a, const Fixed& b);
// The product, its bits below the last fraction bit dropped.
Fixed mul(const Fixed& a, const Fixed& b);
Fixed mulSmall(Fixed a, uint64_t k);
Fixed divSmall(Fixed a, uint64_t k);
// Bits [from, from + 64) of a little-endian array of n limbs.
uint64_t bitsAt(const uint64_t* p, int n, int from);
Fixed shiftRight(const Fixed& a, int n);
Fixed shiftLeft(const Fixed& a, int n);
// The position of the highest bit set, -1 for zero.
int highestBit(const Fixed& a);
bool bitAt(const Fixed& a, int i);
bool anyBitBelow(const Fixed& a, int i);
// 2^k for a k where 2^k is a normal double.
double powerOfTwo(int k);
// v * 2^k, exact whenever the result is representable.
double scaled(double v, int k);

} // namespace tb::cr::detail
