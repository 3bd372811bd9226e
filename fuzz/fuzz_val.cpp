// Val reads only its own text, and what it reads survives a round trip
// through Str: the same 15 significant digits come back.
#include "runtime/numeric.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The text lives in a buffer of exactly its size: a read past it is caught.
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tb::NumericPrefix p = tb::scanNumber(text);
  if (p.end > size) std::abort();
  auto v = tb::ValChecked(text);
  if (!v) return 0; // beyond the double range: reported, not read
  if (!std::isfinite(*v)) std::abort();
  double a = std::fabs(*v);
  if (a == 0 || (a >= 1e-4 && a < 1e15)) {
    std::string once = tb::Str(*v);
    std::string twice = tb::Str(tb::Val(once));
    if (once != twice) std::abort();
  }
  return 0;
}
