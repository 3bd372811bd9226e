#include "runtime/chars.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

namespace tb {

namespace portable {

namespace {

// A positive finite value as d1.d2d3... x 10^exp.
struct Decimal {
  std::string digits;
  int exp = 0;
};

Decimal parseScientific(const char* s) {
  Decimal d;
  const char* p = s;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') d.digits.push_back(*p);
  d.exp = *p ? std::atoi(p + 1) : 0;
  return d;
}

// "d.ddd": the digits with a point after the first.
std::string mantissa(const Decimal& d) {
  std::string t(1, d.digits[0]);
  if (d.digits.size() > 1) t.append(1, '.').append(d.digits, 1);
  return t;
}

template <typename T> T readBack(const Decimal& d) {
  std::string t = mantissa(d);
  t.append(1, 'e').append(std::to_string(d.exp));
  if constexpr (std::is_same_v<T, float>) {
    return std::strtof(t.c_str(), nullptr);
  } else {
    return std::strtod(t.c_str(), nullptr);
  }
}

// The decimal of the same number of digits one unit in the last place up
// (+1) or down (-1).
Decimal neighbour(Decimal d, int direction) {
  std::string& s = d.digits;
  if (direction > 0) {
    size_t i = s.size();
    while (i > 0 && s[i - 1] == '9')
      s[--i] = '0';
    if (i == 0) {
      s.insert(s.begin(), '1');
      s.pop_back();
      ++d.exp;
    } else {
      ++s[i - 1];
    }
  } else {
    size_t i = s.size();
    while (i > 0 && s[i - 1] == '0')
      s[--i] = '9';
    --s[i - 1];
    if (s[0] == '0') { // 1.00 down is 9.99 of the decade below
      s.assign(s.size(), '9');
      --d.exp;
    }
  }
  return d;
}

// The fewest significant digits that read back as v (v > 0, finite); of
// several, the nearest to v.
template <typename T> Decimal shortest(T v) {
  char buf[48];
  const int most = std::is_same_v<T, float> ? 9 : 17;
  for (int p = 1; p <= most; ++p) {
    std::snprintf(buf, sizeof buf, "%.*e", p - 1, static_cast<double>(v));
    Decimal d = parseScientific(buf);
    const T back = readBack<T>(d);
    if (back != v) {
      // The nearest decimal of p digits lies beyond v's rounding interval;
      // where that interval is lopsided (at a power of two) the one on
      // v's other side may still lie inside.
      d = neighbour(d, back < v ? 1 : -1);
      if (readBack<T>(d) != v) continue;
    }
    while (d.digits.size() > 1 && d.digits.back() == '0')
      d.digits.pop_back();
    return d;
  }
  std::snprintf(buf, sizeof buf, "%.*e", most - 1, static_cast<double>(v));
  return parseScientific(buf);
}

std::string scientificText(const Decimal& d) {
  char ex[16];
  std::snprintf(ex, sizeof ex, "e%c%02d", d.exp < 0 ? '-' : '+', std::abs(d.exp));
  return mantissa(d).append(ex);
}

// The fixed text of v > 0 from its shortest digits. A whole number written
// with zeros after its digits is written with its exact digits instead: as
// short, and nearer to v (the standard's tie rule).
std::string fixedText(double v, const Decimal& d) {
  const int n = static_cast<int>(d.digits.size());
  std::string t;
  if (d.exp >= n - 1) {
    char buf[400];
    const int k = std::snprintf(buf, sizeof buf, "%.0f", v);
    return t.append(buf, static_cast<size_t>(k));
  }
  if (d.exp >= 0)
    return t.append(d.digits, 0, static_cast<size_t>(d.exp) + 1).append(1, '.').append(d.digits, d.exp + 1);
  return t.append("0.").append(static_cast<size_t>(-d.exp - 1), '0').append(d.digits);
}

std::to_chars_result put(char* first, char* last, const std::string& t) {
  if (static_cast<size_t>(last - first) < t.size()) return {last, std::errc::value_too_large};
  std::memcpy(first, t.data(), t.size());
  return {first + t.size(), std::errc()};
}

// The text of a zero, an infinity or a NaN as to_chars writes it; empty for
// any other value.
template <typename T> std::string special(T v) {
  if (std::isnan(v)) return std::signbit(v) ? "-nan" : "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  if (v == 0) return std::signbit(v) ? "-0" : "0";
  return "";
}

std::to_chars_result printed(char* first, char* last, const char* format, int precision, double v) {
  char buf[1100]; // the longest fixed text of a double has 309 digits before the point
  const int n = std::snprintf(buf, sizeof buf, format, precision, v);
  if (n < 0 || n >= static_cast<int>(sizeof buf)) return {last, std::errc::value_too_large};
  return put(first, last, std::string(buf, static_cast<size_t>(n)));
}

template <typename T> std::to_chars_result shortestText(char* first, char* last, T v) {
  if (std::string s = special(v); !s.empty()) return put(first, last, s);
  const Decimal d = shortest(std::fabs(v));
  const std::string fixed = fixedText(std::fabs(v), d), scientific = scientificText(d);
  std::string t = v < 0 ? "-" : "";
  return put(first, last, t.append(fixed.size() <= scientific.size() ? fixed : scientific));
}

} // namespace

std::to_chars_result toChars(char* first, char* last, double v) { return shortestText(first, last, v); }
std::to_chars_result toChars(char* first, char* last, float v) { return shortestText(first, last, v); }

std::to_chars_result toCharsFixed(char* first, char* last, double v) {
  if (std::string s = special(v); !s.empty()) return put(first, last, s);
  std::string t = v < 0 ? "-" : "";
  return put(first, last, t.append(fixedText(std::fabs(v), shortest(std::fabs(v)))));
}

std::to_chars_result toCharsFixed(char* first, char* last, double v, int precision) {
  return printed(first, last, "%.*f", precision, v);
}

std::to_chars_result toCharsScientific(char* first, char* last, double v, int precision) {
  return printed(first, last, "%.*e", precision, v);
}

std::from_chars_result fromChars(const char* first, const char* last, double& v) {
  // The decimal grammar from_chars reads: [-] digits [. digits] [e [+-] digits].
  const char* p = first;
  if (p < last && *p == '-') ++p;
  const char* digitsStart = p;
  bool digits = false;
  for (; p < last && *p >= '0' && *p <= '9'; ++p)
    digits = true;
  if (p < last && *p == '.')
    for (++p; p < last && *p >= '0' && *p <= '9'; ++p)
      digits = true;
  if (!digits) {
    // inf, infinity and nan, as strtod reads them.
    std::string rest(digitsStart, last);
    char* end = nullptr;
    errno = 0;
    const double x = std::strtod(rest.c_str(), &end);
    if (end == rest.c_str() || (std::isfinite(x) && x == x)) return {first, std::errc::invalid_argument};
    v = *first == '-' ? -std::fabs(x) : x;
    return {digitsStart + (end - rest.c_str()), std::errc()};
  }
  if (p < last && (*p == 'e' || *p == 'E')) {
    const char* e = p + 1;
    if (e < last && (*e == '+' || *e == '-')) ++e;
    if (e < last && *e >= '0' && *e <= '9') {
      p = e;
      while (p < last && *p >= '0' && *p <= '9')
        ++p;
    }
  }
  const std::string text(first, p);
  const double x = std::strtod(text.c_str(), nullptr);
  bool nonZero = false;
  for (const char* q = digitsStart; q < p && *q != 'e' && *q != 'E'; ++q)
    nonZero = nonZero || (*q >= '1' && *q <= '9');
  if (std::isinf(x) || (x == 0 && nonZero)) return {p, std::errc::result_out_of_range};
  v = x;
  return {p, std::errc()};
}

} // namespace portable

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
std::to_chars_result toChars(char* first, char* last, double v) { return std::to_chars(first, last, v); }
std::to_chars_result toChars(char* first, char* last, float v) { return std::to_chars(first, last, v); }
std::to_chars_result toCharsFixed(char* first, char* last, double v) {
  return std::to_chars(first, last, v, std::chars_format::fixed);
}
std::to_chars_result toCharsFixed(char* first, char* last, double v, int precision) {
  return std::to_chars(first, last, v, std::chars_format::fixed, precision);
}
std::to_chars_result toCharsScientific(char* first, char* last, double v, int precision) {
  return std::to_chars(first, last, v, std::chars_format::scientific, precision);
}
std::from_chars_result fromChars(const char* first, const char* last, double& v) {
  return std::from_chars(first, last, v);
}
#else
std::to_chars_result toChars(char* first, char* last, double v) { return portable::toChars(first, last, v); }
std::to_chars_result toChars(char* first, char* last, float v) { return portable::toChars(first, last, v); }
std::to_chars_result toCharsFixed(char* first, char* last, double v) {
  return portable::toCharsFixed(first, last, v);
}
std::to_chars_result toCharsFixed(char* first, char* last, double v, int precision) {
  return portable::toCharsFixed(first, last, v, precision);
}
std::to_chars_result toCharsScientific(char* first, char* last, double v, int precision) {
  return portable::toCharsScientific(first, last, v, precision);
}
std::from_chars_result fromChars(const char* first, const char* last, double& v) {
  return portable::fromChars(first, last, v);
}
#endif

} // namespace tb
