// Val reads only its own text, and what it reads survives a round trip
// through Str at every magnitude: the same 15 significant digits come back,
// also in the exponent form Str writes from 10^15 on and below 10^-4.
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
  std::string once = tb::Str(*v);
  auto back = tb::ValChecked(once);
  if (!back || tb::Str(*back) != once) std::abort();
  return 0;
}
