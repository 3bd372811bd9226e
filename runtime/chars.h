// Doubles to text and back without the locale, with the results of the C++17
// <charconv> functions. Every build writes numbers through these: where the
// standard library has floating-point to_chars and from_chars they are called;
// where it has not (the WebAssembly toolchain's library), the same texts come
// from printf and strtod, which are exact in every C library we build with,
// and from a search for the fewest digits that read back.
#pragma once

#include <charconv>

namespace tb {

// std::to_chars(first, last, v): the fewest digits that read back as v, in
// fixed or exponent form, whichever is shorter (fixed on a tie).
std::to_chars_result toChars(char* first, char* last, double v);
std::to_chars_result toChars(char* first, char* last, float v);
// std::to_chars(first, last, v, std::chars_format::fixed): the fewest
// characters in fixed form that read back as v.
std::to_chars_result toCharsFixed(char* first, char* last, double v);
// std::to_chars with chars_format::fixed or ::scientific and a precision.
std::to_chars_result toCharsFixed(char* first, char* last, double v, int precision);
std::to_chars_result toCharsScientific(char* first, char* last, double v, int precision);
// std::from_chars(first, last, v) for a double: result_out_of_range when the
// text's value is beyond the doubles or so small that it reads as zero.
std::from_chars_result fromChars(const char* first, const char* last, double& v);

// The printf and strtod versions, in every build so that the tests can
// compare them with the standard library's.
namespace portable {
std::to_chars_result toChars(char* first, char* last, double v);
std::to_chars_result toChars(char* first, char* last, float v);
std::to_chars_result toCharsFixed(char* first, char* last, double v);
std::to_chars_result toCharsFixed(char* first, char* last, double v, int precision);
std::to_chars_result toCharsScientific(char* first, char* last, double v, int precision);
std::from_chars_result fromChars(const char* first, const char* last, double& v);
} // namespace portable

} // namespace tb
