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
// pi/2 and ln 2 as the sum of two doubles, and in four pieces of which the
// first three have 33 bits, so that their products by a whole number below
// 2^20 are exact.
constexpr double kHalfPiHi = 0x1.921fb54442d18p+0, kHalfPiLo = 0x1.1a62633145c07p-54;
constexpr double kHalfPiPart[4] = {0x1.921fb54400000p+0, 0x1.0b4611a600000p-34, 0x1.3198a2e000000p-69,
                                   0x1.b839a252049c1p-104};
constexpr double kLn2Hi = 0x1.62e42fefa39efp-1, kLn2Lo = 0x1.abc9e3b39803fp-56;
constexpr double kLn2Part[4] = {0x1.62e42fef00000p-1, 0x1.473de6af00000p-34, 0x1.3c76730000000p-69,
                                0x1.f97b57a079a19p-103};

// Tables of the fast paths, computed by this library's exact path (and
// checked against MPFR by the tests).
// atan(j/16), j = 0 .. 16, each as the sum of two doubles.
constexpr double kAtanSixteenths[17][2] = {
    {0x0p+0, 0x0p+0},
    {0x1.ff55bb72cfdeap-5, -0x1.c934d86d23f1dp-60},
    {0x1.fd5ba9aac2f6ep-4, -0x1.cd37686760c17p-59},
    {0x1.7b97b4bce5b02p-3, 0x1.347b0b4f881cap-58},
    {0x1.f5b75f92c80ddp-3, 0x1.8ab6e3cf7afbdp-57},
    {0x1.362773707ebccp-2, -0x1.963a544b672d8p-57},
    {0x1.6f61941e4def1p-2, -0x1.c63aae6f6e918p-56},
    {0x1.a64eec3cc23fdp-2, -0x1.24dec1b50b7ffp-56},
    {0x1.dac670561bb4fp-2, 0x1.a2b7f222f65e2p-56},
    {0x1.0657e94db30dp-1, -0x1.d5b495f6349e6p-56},
    {0x1.1e00babdefeb4p-1, -0x1.928df287a668fp-58},
    {0x1.345f01cce37bbp-1, 0x1.1021137c71102p-55},
    {0x1.4978fa3269ee1p-1, 0x1.2419a87f2a458p-56},
    {0x1.5d58987169b18p-1, 0x1.0028e4bc5e7cap-57},
    {0x1.700a7c5784634p-1, -0x1.8c34d25aadef6p-56},
    {0x1.819d0b7158a4dp-1, -0x1.bf76229d3b917p-56},
    {0x1.921fb54442d18p-1, 0x1.1a62633145c07p-55},
};
// 2^(j/32), j = 0 .. 31, each as the sum of two doubles.
constexpr double kExp2ThirtySeconds[32][2] = {
    {0x1p+0, 0x0p+0},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80dp-59},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.9c49182a3f09p+0, 0x1.c7c46b071f2bep-56},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.f50765b6e454p+0, 0x1.9d3e12dd8a18bp-54},
};

} // namespace tb::cr::detail
