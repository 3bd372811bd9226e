#include "runtime/numeric.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tb;

TEST(Val, ReadsTheNumericPrefixOfAText) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"0", 0},
      {"180", 180},
      {"0.001", 0.001},
      {"0.9", 0.9},
      {"1000", 1000},
      {"1", 1},
      {"500", 500},
      {"", 0},
      {"abc", 0},
      {"1,5", 1},
      {"  +7x", 7},
      {"-", 0},
      {".", 0},
      {"-12.5", -12.5},
      {".5", 0.5},
      {"1.2.3", 1.2},
      {"  -0.25 ", -0.25},
      {"\xce\xb1\xce\xb2", 0},
      {"12e3", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Val(c.text), c.value);
  }
}

TEST(Val, ReportsAValueBeyondTheDoubleRange) {
  std::string big(400, '9');
  EXPECT_FALSE(ValChecked(big).has_value());
  EXPECT_FALSE(ValChecked("-" + big).has_value());
  // Forty decimals are fine, and a tiny value underflows to zero, not an error.
  EXPECT_NEAR(*ValChecked("0.1234567890123456789012345678901234567890"), 0.123456789012345678, 1e-17);
  EXPECT_EQ(*ValChecked("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(Val, WholeNumberGrammarOfTheBatchTool) {
  EXPECT_TRUE(isWholeNumber("  -12.5  "));
  EXPECT_TRUE(isWholeNumber("+7"));
  EXPECT_TRUE(isWholeNumber("5."));
  for (const char* bad : {"", "-", ".", "1,5", "  +7x", "abc", "1e5", "1 2"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(isWholeNumber(bad));
  }
}

TEST(Str, WritesDoublesWithFifteenDigitsAndALeadingBlank) {
  struct Case {
    double v;
    const char* text;
  } cases[] = {
      {0, " 0"},
      {-1, "-1"},
      {0.5, " .5"},
      {2.5, " 2.5"},
      {100, " 100"},
      {-0.25, "-.25"},
      {1.0 / 3, " .333333333333333"},
      {0.1 + 0.2, " .3"},
      {0.0001, " .0001"},
      {123456789012345.0, " 123456789012345"},
      {1e15, " 1E+15"},
      {0.00001, " 1E-05"},
      {-1.5e-7, "-1.5E-07"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Str(c.v), c.text);
  }
}

TEST(Str, WritesSinglesWithSevenDigitsAndIntegersInFull) {
  EXPECT_EQ(StrSingle(12.345f), " 12.345");
  EXPECT_EQ(StrSingle(0.9f), " .9");
  EXPECT_EQ(StrSingle(1234567.0f), " 1234567");
  EXPECT_EQ(Str(int64_t{0}), " 0");
  EXPECT_EQ(Str(int64_t{32768}), " 32768");
  EXPECT_EQ(Str(-7), "-7");
}

TEST(Int, CutsDownwardsAlsoForNegativeValues) {
  EXPECT_EQ(Int(2.7), 2);
  EXPECT_EQ(Int(-2.5), -3);
  EXPECT_EQ(Int(-0.0005 * 1000) / 1000, -0.001);
  EXPECT_EQ(Int(7.0f), 7.0f);
}

TEST(QBColor, GivesThePaletteEntriesInRedLowOrder) {
  EXPECT_EQ(QBColor(0), 0x000000u);
  EXPECT_EQ(QBColor(2), 0x008000u);
  EXPECT_EQ(QBColor(4), 0x000080u);
  EXPECT_EQ(QBColor(10), 0x00FF00u);
  EXPECT_EQ(QBColor(12), 0x0000FFu);
}
