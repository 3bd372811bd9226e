#include "runtime/numeric.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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
  p.text = s.substr(start, i - start);
  p.end = i;
  return p;
}

namespace {

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
  auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::fixed);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: a non-zero digit before the point
    // means too large; otherwise the value underflows to zero.
    for (char c : t) {
      if (c == '.') break;
      if (c >= '1' && c <= '9') return std::nullopt;
    }
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
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, std::fabs(v));
  // buf: d.ddddde+XX
  std::string mant;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') mant.push_back(*p);
  int e = std::atoi(p + 1);
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
  std::snprintf(buf, sizeof buf, "%.0f", v);
  return buf;
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
