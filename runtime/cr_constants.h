// Constants of the correctly rounded functions, from a 2000-bit evaluation of
// 2/pi, pi/2 and ln 2 (bc -l, scale=620), cut to the bits each use needs.
#pragma once

#include <cstdint>

namespace tb::cr::detail {

// 2/pi, bits 1 to 1600 after the binary point, 64 to an entry, most significant first.
constexpr uint64_t kTwoOverPiBits[25] = {
    0xA2F9836E4E441529ULL, 0xFC2757D1F534DDC0ULL, 0xDB6295993C439041ULL, 0xFE5163ABDEBBC561ULL,
    0xB7246E3A424DD2E0ULL, 0x06492EEA09D1921CULL, 0xFE1DEB1CB129A73EULL, 0xE88235F52EBB4484ULL,
    0xE99C7026B45F7E41ULL, 0x3991D639835339F4ULL, 0x9C845F8BBDF9283BULL, 0x1FF897FFDE05980FULL,
    0xEF2F118B5A0A6D1FULL, 0x6D367ECF27CB09B7ULL, 0x4F463F669E5FEA2DULL, 0x7527BAC7EBE5F17BULL,
    0x3D0739F78A5292EAULL, 0x6BFB5FB11F8D5D08ULL, 0x56033046FC7B6BABULL, 0xF0CFBC209AF4361DULL,
    0xA9E391615EE61B08ULL, 0x6599855F14A06840ULL, 0x8DFFD8804D732731ULL, 0x06061556CA73A8C9ULL,
    0x60E27BC08C6B47C4ULL};
// pi/2 in the fixed-point layout: 320 fraction bits, least significant limb first.
constexpr uint64_t kHalfPiFixed[6] = {0xA29410F31C6809BBULL, 0x04177D4C76273644ULL, 0x52049C1114CF98E8ULL,
                                      0x898CC51701B839A2ULL, 0x921FB54442D18469ULL, 0x0000000000000001ULL};
// ln2 in the fixed-point layout: 320 fraction bits, least significant limb first.
constexpr uint64_t kLn2Fixed[6] = {0xE7B876206DEBAC98ULL, 0x8A0D175B8BAAFA2BULL, 0x40F343267298B62DULL,
                                   0xC9E3B39803F2F6AFULL, 0xB17217F7D1CF79ABULL, 0x0000000000000000ULL};
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0, kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kHalfPiPart[4] = {0x1.921fb54400000p+0, 0x1.0b4611a600000p-34, 0x1.3198a2e000000p-69,
                                   0x1.b839a252049c1p-104};
constexpr double kLn2Hi = 0x1.62e42fefa39efp-1, kLn2Lo = 0x1.abc9e3b39803fp-56;
constexpr double kLn2Part[4] = {0x1.62e42fef00000p-1, 0x1.473de6af00000p-34, 0x1.3c76730000000p-69,
                                0x1.f97b57a079a19p-103};

} // namespace tb::cr::detail
