// The printf and strtod texts of doubles, used where the standard library has
// no floating-point to_chars (the WebAssembly build), against the standard
// library's own: every number the program writes must come out the same.
#include "runtime/chars.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using ToChars = std::to_chars_result (*)(char*, char*, double);

std::string text(ToChars f, double v) {
  char buf[1100];
  auto r = f(buf, buf + sizeof buf, v);
  EXPECT_EQ(r.ec, std::errc());
  return std::string(buf, r.ptr);
}

std::string stdShortest(double v) {
  char buf[64];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}
std::string stdFixed(double v) {
  char buf[1100];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed).ptr);
}

// Doubles of every kind: random bit patterns over the whole range, the
// program's own (tenths, steps, angles), powers of two (where the rounding
// interval is lopsided), and the extremes.
std::vector<double> sampleValues() {
  std::vector<double> v = {0.1,
                           0.3,
                           1e23,
                           5e22,
                           9007199254740993.0,
                           123456789012345678.0,
                           1e-5,
                           1e-4,
                           1e15,
                           1e16,
                           1e21,
                           1e22,
                           DBL_MAX,
                           DBL_MIN,
                           5e-324,
                           2.2250738585072009e-308,
                           0.001,
                           0.0005,
                           180,
                           359.5,
                           1e-300,
                           1e300,
                           4.35,
                           0.9};
  for (int e = -1074; e <= 1023; e += 1)
    v.push_back(std::ldexp(1.0, e));
  for (int k = -2000; k <= 4000; ++k)
    v.push_back(k / 10.0);
  std::mt19937_64 rng(29);
  for (int i = 0; i < 60000; ++i) {
    double x = std::bit_cast<double>(rng() & 0x7FFFFFFFFFFFFFFFull);
    if (std::isfinite(x)) v.push_back(x);
    // and values of ordinary size, where most numbers of the program lie
    v.push_back(std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 80) - 90));
  }
  const size_t n = v.size();
  for (size_t i = 0; i < n; ++i)
    v.push_back(-v[i]);
  return v;
}

TEST(PortableChars, ShortestTextIsTheStandardLibrarys) {
  for (double v : sampleValues()) {
    ASSERT_EQ(text(tb::portable::toChars, v), stdShortest(v)) << std::hexfloat << v;
    ASSERT_EQ(text(tb::portable::toCharsFixed, v), stdFixed(v)) << std::hexfloat << v;
  }
  for (double v : {0.0, -0.0, double(INFINITY), -double(INFINITY), double(NAN)}) {
    EXPECT_EQ(text(tb::portable::toChars, v), stdShortest(v));
    EXPECT_EQ(text(tb::portable::toCharsFixed, v), stdFixed(v));
  }
}

// Single precision values (speeds, init v3) are written shortest as floats.
TEST(PortableChars, ShortestFloatTextIsTheStandardLibrarys) {
  std::vector<float> values = {0.9f, 0.1f, 16777216.0f, 16777217.0f, 3.4028235e38f, 1.4e-45f, 1.1754944e-38f};
  for (int e = -149; e <= 127; ++e)
    values.push_back(std::ldexp(1.0f, e));
  for (int k = -3000; k <= 3000; ++k)
    values.push_back(static_cast<float>(k) / 10.0f);
  std::mt19937 rng(23);
  for (int i = 0; i < 100000; ++i)
    if (float x = std::bit_cast<float>(static_cast<uint32_t>(rng())); std::isfinite(x)) values.push_back(x);
  for (float v : values) {
    char a[64], b[64];
    auto ra = tb::portable::toChars(a, a + sizeof a, v);
    auto rb = std::to_chars(b, b + sizeof b, v);
    ASSERT_EQ(std::string(a, ra.ptr), std::string(b, rb.ptr)) << std::hexfloat << v;
  }
}

TEST(PortableChars, PrecisionTextsAreTheStandardLibrarys) {
  std::vector<double> values = sampleValues();
  for (size_t i = 0; i < values.size(); i += 7) {
    const double v = values[i];
    for (int precision : {0, 6, 14}) {
      char a[1100], b[1100];
      auto ra = tb::portable::toCharsScientific(a, a + sizeof a, v, precision);
      auto rb = std::to_chars(b, b + sizeof b, v, std::chars_format::scientific, precision);
      ASSERT_EQ(std::string(a, ra.ptr), std::string(b, rb.ptr)) << std::hexfloat << v;
      ra = tb::portable::toCharsFixed(a, a + sizeof a, v, precision);
      rb = std::to_chars(b, b + sizeof b, v, std::chars_format::fixed, precision);
      ASSERT_EQ(std::string(a, ra.ptr), std::string(b, rb.ptr)) << std::hexfloat << v;
    }
  }
  // Too small a buffer is refused as the standard library refuses it.
  char tiny[3];
  EXPECT_EQ(tb::portable::toChars(tiny, tiny + sizeof tiny, 0.125).ec, std::errc::value_too_large);
}

TEST(PortableChars, ReadingIsTheStandardLibrarys) {
  std::vector<std::string> texts = {"0",
                                    "-0",
                                    "1",
                                    ".5",
                                    "5.",
                                    "1e5",
                                    "1E5",
                                    "1e",
                                    "1e+",
                                    "1e-3x",
                                    "-.25",
                                    "1e400",
                                    "-1e400",
                                    "1e-400",
                                    "1e-310",
                                    "4.9e-324",
                                    "2e-324",
                                    "abc",
                                    "-",
                                    ".",
                                    "+1",
                                    "inf",
                                    "-infinity",
                                    "nan",
                                    "0.000",
                                    "00012.5000e-0002",
                                    "1.7976931348623157e308",
                                    "1.7976931348623159e308"};
  for (double v : sampleValues())
    if (texts.size() < 40000) texts.push_back(stdShortest(v));
  for (const std::string& t : texts) {
    double a = -7, b = -7;
    auto ra = tb::portable::fromChars(t.data(), t.data() + t.size(), a);
    auto rb = std::from_chars(t.data(), t.data() + t.size(), b);
    ASSERT_EQ(ra.ec, rb.ec) << t;
    ASSERT_EQ(ra.ptr - t.data(), rb.ptr - t.data()) << t;
    if (rb.ec == std::errc()) {
      if (std::isnan(b)) {
        EXPECT_TRUE(std::isnan(a)) << t;
      } else {
        EXPECT_EQ(std::bit_cast<uint64_t>(a), std::bit_cast<uint64_t>(b)) << t;
      }
    }
  }
}

} // namespace
