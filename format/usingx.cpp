// USINGX writes a value into a fixed-width field shaped by a picture mask
// such as "####.#". Its stages, in order:
//   1. the mask's places before and after the point
//   2. a value too wide for its places takes them from the decimals
//   3. the integer part, cut down with Int, padded with blanks to its places
//   4. the decimals, cut (never rounded) and padded with zeros
#include "format/usingx.h"
#include "runtime/cr_math.h"

#include "runtime/numeric.h"

#include <cmath>
#include <cstdio>

namespace tb {

namespace {

constexpr std::string_view kBlanks = "                    "; // 20: the only fill blanks
constexpr std::string_view kZeros = "000000000";             // 9: the only fill zeros

// Mid(s, 1, n): at most n characters from the start.
std::string_view head(std::string_view s, long n) {
  if (n <= 0) return {};
  return s.substr(0, static_cast<size_t>(n) < s.size() ? static_cast<size_t>(n) : s.size());
}

struct Places {
  long l; // places before the point
  long h; // places after it
};

// The mask's places; "." or "," marks the point, the last one wins.
Places maskPlaces(std::string_view mask) {
  long lmask = static_cast<long>(mask.size());
  Places p{lmask, 0};
  for (long i = 1; i <= lmask; ++i) {
    char c = mask[static_cast<size_t>(i - 1)];
    if (c == '.' || c == ',') {
      p.h = lmask - i;
      p.l = i - 1;
    }
  }
  return p;
}

// The integer part's digits; x is reduced to its part below 10^10.
std::string integerPart(double& x) {
  constexpr double kTen10 = 1e10;
  // From 2^53 on, x - hi * 10^10 is no longer exact and the low ten digits
  // would be noise: such a value is written with all of its digits instead,
  // after the same leading blank the high piece carries.
  constexpr double kExactLimit = 9007199254740992.0;
  if (x >= kExactLimit) {
    std::string all(1, ' ');
    all += WholeToText(Int(x));
    x = 0;
    return all;
  }
  if (x > kTen10) {
    double hi = Int(x / kTen10);
    double low = x - hi * kTen10;
    // Guard the rounding of x / 10^10 so the low piece stays in [0, 10^10).
    if (low < 0) {
      hi -= 1;
      low = x - hi * kTen10;
    } else if (low >= kTen10) {
      hi += 1;
      low = x - hi * kTen10;
    }
    x = low;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010.0f", Int(x));
    return Str(hi) + digits;
  }
  return std::string(LTrim(Str(Int(x))));
}

} // namespace

void USINGX(double inx, std::string_view mask, std::string& out) {
  if (!std::isfinite(inx)) {
    // No caller produces these; the field names the value rather than inventing digits.
    out += std::isnan(inx) ? "NaN" : (inx > 0 ? "Inf" : "-Inf");
    return;
  }
  long lmask = static_cast<long>(mask.size());
  Places p = maskPlaces(mask);

  // A value above 10^l takes places from the decimals.
  double power = cr::pow(10.0, static_cast<double>(p.l));
  if (inx > power) {
    p.l = static_cast<long>(Int(cr::log(inx) / cr::log(10.0))) + 1;
    if (p.h > 0) {
      p.h = lmask - p.l - 1;
      if (p.h < 0) p.h = 0;
    }
  }

  double x = inx;
  std::string a1 = integerPart(x);
  long la1 = static_cast<long>(a1.size());
  if (la1 < p.l) a1 = std::string(head(kBlanks, p.l - la1)) + a1;

  std::string field = a1;
  if (p.h > 0) {
    x = x - Int(x);
    power = cr::pow(10.0, static_cast<double>(p.h));
    x = power * x;
    std::string a2 = WholeToText(Int(x));
    long la2 = static_cast<long>(a2.size());
    if (la2 < p.h) a2 = std::string(head(kZeros, p.h - la2)) + a2;
    field += "." + a2;
  }
  out += field;
}

} // namespace tb
