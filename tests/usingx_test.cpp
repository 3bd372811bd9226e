#include "format/usingx.h"

#include <gtest/gtest.h>

using namespace tb;

namespace {
struct Row {
  double value;
  const char* mask;
  const char* field;
};

std::string format(double v, const char* mask) {
  std::string out;
  USINGX(v, mask, out);
  return out;
}
} // namespace

TEST(USINGX, FormatsEveryMaskCase) {
  const Row rows[] = {
      {0, "###", "  0"},
      {45, "###", " 45"},
      {180, "###", "180"},
      {7.9, "###", "  7"},
      {-5, "###", " -5"},
      {1234, "###", "1234"},
      {0, "##.###", " 0.000"},
      {0.9, "##.###", " 0.900"},
      {static_cast<double>(0.9f), "##.###", " 0.899"},
      {2.3, "##.###", " 2.299"},
      {0.05, "##.###", " 0.050"},
      {12.3456, "##.###", "12.345"},
      {99.9996, "##.###", "99.999"},
      {100, "##.###", "100.000"},
      {123.456, "##.###", "123.45"},
      {1000.5, "##.###", "1000.5"},
      {1000, "##.###", "1000.00"},
      {12345.6, "##.###", "12345"},
      {1234567, "##.###", "1234567"},
      {12, "####", "  12"},
      {12.7, "####", "  12"},
      {150.25, "####.#", " 150.2"},
      {0.04, "####.#", "   0.0"},
      {12345.67, "####.#", "12345"},
      {3, "##", " 3"},
      {100, "##", "100"},
      {2.5, "##,###", " 2.500"},
      {10000000005, "####", " 10000000005"},
      {5, "###.", "  5"},
      {5, "", "5"},
      {-7.9, "###", " -8"},
      {-2.5, "##.###", "-3.500"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.mask) + " " + std::to_string(r.value));
    EXPECT_EQ(format(r.value, r.mask), r.field);
  }
}

TEST(USINGX, AppendsToTheLineUnderConstruction) {
  std::string out = "Alpha ";
  USINGX(45, "###", out);
  EXPECT_EQ(out, "Alpha  45");
  out += " v3 ";
  USINGX(12.5, "##.###", out);
  EXPECT_EQ(out, "Alpha  45 v3 12.500");
}

TEST(USINGX, WritesEveryIntegerDigitOfHugeValues) {
  // Above 10^10 the high piece and ten low digits; from 2^53 on, where the low
  // piece is no longer exact, all digits of the stored value.
  EXPECT_EQ(format(123456789012345.0, "####.#"), " 123456789012345");
  EXPECT_EQ(format(1.5e25, "####.#"), " 15000000000000000285212672");
  EXPECT_EQ(format(1e300, "##").size(), 302u);
}

TEST(USINGX, FillsAtMostTwentyBlanksAndNineZeros) {
  // A long mask pads from the 20-blank run only; long fractions from nine zeros.
  EXPECT_EQ(format(1, std::string(25, '#').c_str()), std::string(20, ' ') + "1");
  EXPECT_EQ(format(0.5, "#.############"), "0.500000000000");
  EXPECT_EQ(format(1e-12, "#.############"), "0.0000000001");
}
