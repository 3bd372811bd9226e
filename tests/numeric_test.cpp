#include "runtime/numeric.h"

#include <gtest/gtest.h>

#include <clocale>
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
      {"12e3", 12000},
      {"1E+15", 1e15},
      {" -2.5e-3x", -0.0025},
      {"12e", 12},
      {"7E+", 7},
      {"3e-x", 3},
      {"e5", 0},
      {".e5", 0},
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
  // With an exponent the place of the first digit decides, not the digits.
  EXPECT_FALSE(ValChecked("1E400").has_value());
  EXPECT_FALSE(ValChecked("0.001E312").has_value());
  EXPECT_FALSE(ValChecked("1E99999999999999999999").has_value());
  EXPECT_EQ(*ValChecked("50000E-330"), 0.0);
  EXPECT_EQ(*ValChecked("-1E-99999999999999999999"), 0.0);
  EXPECT_EQ(*ValChecked("0.00001E-400"), 0.0);
}

// Every text Str writes reads back within its rounding, also in exponent
// form (10^15 and above, below 10^-4), so a value survives a second trip.
TEST(Val, ReadsBackWhatStrWritesAtEveryMagnitude) {
  for (double v : {999999999999999.5, 1e15, 1.5e300, 1.7976931348623157e308, 0.00001, 1.5e-7, 4.9e-324,
                   -2.2250738585072014e-308, -123456789012345678.0}) {
    SCOPED_TRACE(v);
    std::string once = Str(v);
    ASSERT_TRUE(ValChecked(once).has_value()) << once;
    EXPECT_NEAR(Val(once), v, std::fabs(v) * 5.2e-15) << once;
    EXPECT_EQ(Str(Val(once)), once);
  }
  EXPECT_EQ(Str(999999999999999.5), " 1E+15");
}

TEST(Val, WholeNumberGrammarOfTheBatchTool) {
  EXPECT_TRUE(isWholeNumber("  -12.5  "));
  EXPECT_TRUE(isWholeNumber("+7"));
  EXPECT_TRUE(isWholeNumber("5."));
  EXPECT_TRUE(isWholeNumber("1e5"));
  EXPECT_TRUE(isWholeNumber("-2.5E-3"));
  for (const char* bad : {"", "-", ".", "1,5", "  +7x", "abc", "1e", "1e+", "1e5.5", "1 2"}) {
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

// A desktop in a decimal-comma language sets LC_NUMERIC; the texts stay the
// same. The tests' set-up builds the German locale into LOCPATH.
TEST(Str, IgnoresADecimalCommaLocale) {
  std::string before = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "the de_DE.UTF-8 locale is missing";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(Str(2.951), " 2.951");
  EXPECT_EQ(Str(199.6), " 199.6");
  EXPECT_EQ(Str(-1.5e-7), "-1.5E-07");
  EXPECT_EQ(StrSingle(1.1f), " 1.1");
  EXPECT_EQ(WholeToText(2602), "2602");
  EXPECT_EQ(Val("2.951"), 2.951);
  std::setlocale(LC_NUMERIC, before.c_str());
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

TEST(PrintableText, EscapesControlsAndCutsLongTextsBetweenCharacters) {
  struct Case {
    std::string in;
    size_t limit;
    std::string out;
  } cases[] = {
      {"12abc", 60, "12abc"},
      {"\x1b[2J5", 60, "\\x1B[2J5"},
      {std::string("a\0b", 3), 60, "a\\x00b"},
      {"tab\there\x7f", 60, "tab\\x09here\\x7F"},
      {"c1 \xc2\x9b"
       "2J",
       60, "c1 \\xC2\\x9B2J"},
      {"\xce\xb1\xce\xb2", 60, "\xce\xb1\xce\xb2"}, // letters stay letters
      {"abcdef", 4, "abcd... (6 characters)"},
      {"\xce\xb1\xce\xb2\xce\xb3", 2, "\xce\xb1\xce\xb2... (3 characters)"},
      // Bytes that are not UTF-8 are escaped like controls, each one character.
      {"\xff", 60, "\\xFF"},
      {"a\xce", 60, "a\\xCE"},                                   // a letter cut short
      {"\xe2\x82", 60, "\\xE2\\x82"},                            // cut short, then a stray continuation
      {"\xc0\xaf\xed\xa0\x80", 60, "\\xC0\\xAF\\xED\\xA0\\x80"}, // overlong, a surrogate
      {"\xe2\x82\xac\xf0\x9f\x98\x80", 60, "\xe2\x82\xac\xf0\x9f\x98\x80"},
      {"\xff\xfe\xfdz", 2, "\\xFF\\xFE... (4 characters)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(printableText(c.in, c.limit), c.out);
  }
}

// How a field's text reads, as the windows explain a marked field.
TEST(Numeric, HowATextReadsSaysWhatTheNumberRuleTakes) {
  EXPECT_EQ(howTextReads("1.5", "0.9"), "");
  EXPECT_EQ(howTextReads(" -2E+3 ", "0.9"), "");
  EXPECT_EQ(howTextReads("1,5", "0.9"), "reads as 1: a ',' ends the number; write 1.5");
  EXPECT_EQ(howTextReads("0,5", "0.9"), "reads as 0: a ',' ends the number; write 0.5");
  EXPECT_EQ(howTextReads("abc", "0.001"),
            "reads as 0: 'a' does not start a number; write a number, such as 0.001");
  EXPECT_EQ(howTextReads("", "1"), "reads as 0: the field is empty; write a number, such as 1");
  EXPECT_EQ(howTextReads("12x", "1"), "reads as 12: a 'x' ends the number; write a number, such as 1");
  EXPECT_EQ(howTextReads("1,5,5", "1"), "reads as 1: a ',' ends the number; write a number, such as 1");
  // Wholly a number, however large: its size is named when a Start reads it.
  EXPECT_EQ(howTextReads(std::string(400, '9'), "1"), "");
  EXPECT_NE(howTextReads(std::string(400, '9') + "x", "1").find("beyond the number range"),
            std::string::npos);
}

// The coarse clock the headless read-out throttle reads is the monotonic
// clock to a few milliseconds, and never goes back.
TEST(Clock, CoarseClockKeepsToTheMonotonicClock) {
  double last = coarseMonotonicSeconds();
  for (int i = 0; i < 1000; ++i) {
    const double coarse = coarseMonotonicSeconds(), fine = monotonicSeconds();
    EXPECT_GE(coarse, last);
    EXPECT_LE(coarse, fine + 1e-6);
    EXPECT_GT(coarse, fine - 0.05);
    last = coarse;
  }
}
