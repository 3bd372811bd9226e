// Str of any double or single: a leading blank or minus sign, and a text that
// Val reads back to the same 15 (or 7) significant digits, in fixed and in
// exponent form.
#include "runtime/numeric.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
void check(double v, const std::string& s, bool isDouble, double tolerance) {
  if (s.empty() || (s[0] != ' ' && s[0] != '-')) std::abort();
  if ((s[0] == '-') != (v < 0)) std::abort();
  double a = std::fabs(v);
  if (!std::isfinite(v)) return;
  double back = tb::Val(s);
  // Within half a unit of the last digit (and a little for the binary
  // rounding of the read-back).
  if (std::fabs(back - v) > tolerance * a) std::abort();
  // A double written again gives the same 15 digits. (Seven decimal digits do
  // not always survive a trip through single precision, so singles stop here.)
  if (isDouble && tb::Str(back) != s) std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= sizeof(double)) {
    double v;
    std::memcpy(&v, data, sizeof v);
    check(v, tb::Str(v), true, 5.2e-15);
  }
  if (size >= sizeof(float)) {
    float f;
    std::memcpy(&f, data, sizeof f);
    check(f, tb::StrSingle(f), false, 5.2e-7);
  }
  return 0;
}
