// Numeric and text primitives whose exact behaviour shows in the read-outs and
// result lines: text to number, number to text, floor cuts, the sixteen-colour
// palette and the clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tb {

// Int: the largest whole number not above x, in the type of x.
inline double Int(double x) { return __builtin_floor(x); }
inline float Int(float x) { return __builtin_floorf(x); }

// Int(v * 1000) / 1000 in single precision: three decimals, cut, as the
// speed read-outs show them.
inline float cut3(float v) { return Int(v * 1000.0f) / 1000.0f; }

// True when both values are finite: x - x is 0 for a finite x and NaN
// otherwise. One comparison for two values, on the integration's hot path.
inline bool bothFinite(double a, double b) { return (a - a) + (b - b) == 0; }

// The numeric prefix of a text as Val reads it: leading blanks, an optional sign,
// digits with at most one "." as the decimal point. Empty when there is no digit.
struct NumericPrefix {
  std::string_view text;  // the prefix that was read, blanks skipped, sign included
  bool hasDigits = false; // false: no number at the start, Val gives 0
  size_t end = 0;         // index just past the prefix in the original text
};
NumericPrefix scanNumber(std::string_view s);

// Val: reads a double from the start of a text; 0 when none is there. A value
// beyond the double range gives nullopt (the callers report it as an error).
std::optional<double> ValChecked(std::string_view s);
// Val for texts known to be in range (overflow reads as the largest double).
double Val(std::string_view s);

// True when the whole text (blanks around it allowed) is one number of the
// grammar Val reads: that is what the batch tool accepts for its options.
bool isWholeNumber(std::string_view s);

// Str: number to text, with one leading blank for non-negative values.
std::string Str(double v);      // 15 significant digits
std::string StrSingle(float v); // 7 significant digits
std::string Str(int64_t v);
inline std::string Str(int v) { return Str(static_cast<int64_t>(v)); }

// A whole number stored into a text without Str: digits, no leading blank.
std::string WholeToText(double v);
// How a field's text reads when it is not wholly a number (the number rule
// reads its leading number): "reads as 1: a ',' ends the number; write 1.5".
// Empty when the text is wholly a number. `example` is a number to suggest.
std::string howTextReads(std::string_view text, std::string_view example);
// The shortest fixed-notation text that reads back as exactly v.
std::string exactText(double v);

// A text as a message may echo it: control characters written as \xHH (so
// no escape sequence reaches the terminal or a message box), and a text
// longer than `limit` characters cut with a note of its length.
std::string printableText(std::string_view s, size_t limit = 60);

// Leading-blank trim (only code 32).
std::string_view LTrim(std::string_view s);

// QBColor: entry n of the sixteen-colour palette, red in bits 0-7, green in
// 8-15, blue in 16-23.
uint32_t QBColor(int n);

// Seconds from a monotonic clock, used for the read-out throttle. Unlike a
// time of day it never jumps back at midnight.
double monotonicSeconds();
// The same clock, read as cheaply as the system allows, to a few
// milliseconds: for throttles that ask it at every display step.
double coarseMonotonicSeconds();

} // namespace tb

namespace tb {

// Clears the upper halves of the vector registers after calls into code that
// may leave them in use (the window toolkit's drawing and text code). The
// program's scalar arithmetic (legacy SSE2 encoding) would otherwise carry a
// false dependency on them on every instruction and run markedly slower. No
// effect without AVX.
void settleVectorState();

} // namespace tb
