// Numeric and text primitives: the number grammar, fixed-digit texts, the clock.
#include "runtime/numeric.h"
#include "runtime/chars.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>

namespace tb {

NumericPrefix scanNumber(std::string_view s) {
  NumericPrefix p;
  size_t i = 0;
  while (i < s.size() && s[i] == ' ')
    ++i;
  size_t start = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      p.hasDigits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  // An exponent ("E+15", "e-5") belongs to the number only when a digit
  // follows it; Str writes one for magnitudes from 10^15 and below 10^-4.
  if (p.hasDigits && i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
      while (j < s.size() && s[j] >= '0' && s[j] <= '9')
        ++j;
      i = j;
    }
  }
  p.text = s.substr(start, i - start);
  p.end = i;
  return p;
}

namespace {

// The power of ten of the first non-zero digit of an unsigned number text
// with an optional exponent. Only its sign matters, for telling an overflow
// from an underflow; a huge exponent saturates.
long decimalExponent(std::string_view t) {
  size_t e = t.find_first_of("eE");
  std::string_view mantissa = t.substr(0, e);
  size_t point = mantissa.find('.');
  size_t intDigits = point == std::string_view::npos ? mantissa.size() : point;
  size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return 0;
  long power =
      first < intDigits ? static_cast<long>(intDigits - first) - 1 : -static_cast<long>(first - intDigits);
  long ex = 0;
  if (e != std::string_view::npos) {
    for (char c : t.substr(e + 1))
      if (c >= '0' && c <= '9' && ex < 100000) ex = ex * 10 + (c - '0');
    if (t.substr(e + 1, 1) == "-") ex = -ex;
  }
  return power + ex;
}

// Converts an already scanned prefix. from_chars ignores the locale, so a "."
// is the decimal point whatever the desktop's language is.
std::optional<double> convertPrefix(const NumericPrefix& p) {
  if (!p.hasDigits) return 0.0;
  std::string_view t = p.text;
  bool negative = false;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  double v = 0.0;
  auto r = fromChars(t.data(), t.data() + t.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: too large when the first non-zero
    // digit stands at a positive power of ten; otherwise it underflows to zero.
    if (decimalExponent(t) > 0) return std::nullopt;
    v = 0.0;
  }
  if (!std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

} // namespace

std::optional<double> ValChecked(std::string_view s) { return convertPrefix(scanNumber(s)); }

double Val(std::string_view s) {
  auto v = ValChecked(s);
  if (v) return *v;
  auto p = scanNumber(s);
  bool negative = !p.text.empty() && p.text[0] == '-';
  return negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
}

bool isWholeNumber(std::string_view s) {
  NumericPrefix p = scanNumber(s);
  if (!p.hasDigits) return false;
  for (size_t i = p.end; i < s.size(); ++i)
    if (s[i] != ' ') return false;
  return true;
}

namespace {

// Fixed or exponent form of a value rounded to `digits` significant digits;
// fixed for -4 <= E < limit. The sign position holds a blank or "-".
std::string formatSignificant(double v, int digits, int limit) {
  if (v == 0.0) return " 0";
  if (std::isnan(v)) return " NaN";
  std::string out(1, v < 0 ? '-' : ' ');
  if (std::isinf(v)) return out.append("Inf");
  // to_chars, unlike printf, never takes the decimal point from the locale.
  char buf[64];
  auto written = toCharsScientific(buf, buf + sizeof buf - 1, std::fabs(v), digits - 1);
  *written.ptr = '\0';
  // buf: d.ddddde+XX
  std::string mant;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') mant.push_back(*p);
  int e = std::atoi(p + 1);
  // The largest doubles round up to a 15-digit text beyond the double range,
  // which no reader could take back; they are cut to the largest that fits.
  static constexpr const char* kLargest15 = "179769313486231";
  if (digits == 15 && e == 308 && mant > kLargest15) mant = kLargest15;
  while (mant.size() > 1 && mant.back() == '0')
    mant.pop_back();
  if (e >= -4 && e < limit) {
    if (e >= 0) {
      size_t intDigits = static_cast<size_t>(e) + 1;
      if (mant.size() <= intDigits) {
        out.append(mant).append(intDigits - mant.size(), '0');
      } else {
        out.append(mant, 0, intDigits).append(1, '.').append(mant, intDigits);
      }
    } else {
      out.append(1, '.').append(static_cast<size_t>(-e - 1), '0').append(mant);
    }
    return out;
  }
  // Outside the fixed range: one digit, the rest after a point, then E+XX.
  out.append(mant, 0, 1);
  if (mant.size() > 1) out.append(1, '.').append(mant, 1);
  char ex[16];
  std::snprintf(ex, sizeof ex, "E%c%02d", e < 0 ? '-' : '+', e < 0 ? -e : e);
  return out + ex;
}

} // namespace

std::string Str(double v) { return formatSignificant(v, 15, 15); }
std::string StrSingle(float v) { return formatSignificant(static_cast<double>(v), 7, 7); }

std::string Str(int64_t v) {
  std::string digits = std::to_string(v);
  return v < 0 ? digits : " " + digits;
}

std::string WholeToText(double v) {
  if (v == 0) return "0"; // also for -0
  char buf[400];
  auto r = toCharsFixed(buf, buf + sizeof buf, v, 0);
  return std::string(buf, r.ptr);
}

std::string howTextReads(std::string_view text, std::string_view example) {
  if (isWholeNumber(text)) return "";
  std::optional<double> v = ValChecked(text);
  if (!v) return "is beyond the number range; write a smaller number, such as " + std::string(example);
  char buf[64];
  auto r = toChars(buf, buf + sizeof buf, *v == 0 ? 0.0 : *v);
  std::string reads = "reads as " + std::string(buf, r.ptr) + ": ";
  const NumericPrefix p = scanNumber(text);
  size_t at = p.end;
  while (at < text.size() && text[at] == ' ')
    ++at;
  if (at >= text.size()) return reads + "the field is empty; write a number, such as " + std::string(example);
  const std::string c = printableText(text.substr(at, 1), 8);
  reads += p.hasDigits ? "a '" + c + "' ends the number" : "'" + c + "' does not start a number";
  // A decimal comma: the same text with a point is the number meant.
  std::string pointed(text);
  if (auto comma = pointed.find(','); comma != std::string::npos) {
    pointed[comma] = '.';
    if (isWholeNumber(pointed)) return reads + "; write " + pointed;
  }
  return reads + "; write a number, such as " + std::string(example);
}

std::string exactText(double v) {
  char buf[400];
  auto r = toCharsFixed(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

namespace {

// The length of the well-formed UTF-8 sequence at s[i] (1 for ASCII), or 0
// when the bytes there are not one: a stray continuation byte, a lead byte
// that is never used (C0, C1, F5-FF), a sequence cut short, an overlong
// form or a surrogate.
size_t utf8Length(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0; };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF; // the second byte's range
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
  else
    return 0;
  if (b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  return n;
}

} // namespace

std::string printableText(std::string_view s, size_t limit) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  auto escape = [](std::string& out, unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
  };
  std::string out;
  size_t shown = 0, i = 0;
  // Character by character, so that a cut never falls inside one. C0
  // controls, DEL, the C1 controls (C2 80-9F) and bytes that are not UTF-8
  // are shown as \xNN; each counts as one character.
  while (i < s.size() && shown < limit) {
    ++shown;
    const unsigned char c = byte(i);
    const size_t n = utf8Length(s, i);
    if (n == 0 || c < 0x20 || c == 0x7F || (c == 0xC2 && byte(i + 1) < 0xA0)) {
      for (size_t k = 0; k < std::max<size_t>(n, 1); ++k)
        escape(out, byte(i + k));
      i += std::max<size_t>(n, 1);
    } else {
      out.append(s.substr(i, n));
      i += n;
    }
  }
  if (i < s.size()) {
    size_t total = 0;
    for (size_t j = 0; j < s.size(); j += std::max<size_t>(utf8Length(s, j), 1))
      ++total;
    out += "... (" + std::to_string(total) + " characters)";
  }
  return out;
}

std::string_view LTrim(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ')
    ++i;
  return s.substr(i);
}

uint32_t QBColor(int n) {
  static constexpr uint32_t rgb[16][3] = {{0, 0, 0},       {0, 0, 128},   {0, 128, 0},   {0, 128, 128},
                                          {128, 0, 0},     {128, 0, 128}, {128, 128, 0}, {192, 192, 192},
                                          {128, 128, 128}, {0, 0, 255},   {0, 255, 0},   {0, 255, 255},
                                          {255, 0, 0},     {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
  const auto& c = rgb[n & 15];
  return c[0] | (c[1] << 8) | (c[2] << 16);
}

double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double coarseMonotonicSeconds() {
#ifdef CLOCK_MONOTONIC_COARSE
  timespec t{};
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &t) == 0) return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
#endif
  return monotonicSeconds();
}

} // namespace tb

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
namespace tb {
namespace {
__attribute__((target("avx"))) void zeroUpper() { _mm256_zeroupper(); }
const bool kHasAvx = __builtin_cpu_supports("avx");
} // namespace
void settleVectorState() {
  if (kHasAvx) zeroUpper();
}
} // namespace tb
#else
namespace tb {
void settleVectorState() {}
} // namespace tb
#endif
