// USINGX never cuts integer digits, and a value that fits the mask gets
// exactly the mask's decimals.
#include "format/usingx.h"
#include "runtime/numeric.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < sizeof(double)) return 0;
  double v;
  std::memcpy(&v, data, sizeof v);
  if (!std::isfinite(v)) return 0;
  // The rest of the input is the mask, in the mask's own alphabet.
  std::string mask;
  for (size_t i = sizeof v; i < size && mask.size() < 30; ++i)
    mask += "#.#,#"[data[i] % 5];

  std::string out = "x";
  tb::USINGX(v, mask, out);
  if (out.empty() || out[0] != 'x') std::abort(); // appended, never replaced
  std::string field = out.substr(1);

  // Places before and after the point, as the mask gives them.
  long l = static_cast<long>(mask.size()), h = 0;
  for (long i = 1; i <= static_cast<long>(mask.size()); ++i)
    if (mask[i - 1] == '.' || mask[i - 1] == ',') {
      h = static_cast<long>(mask.size()) - i;
      l = i - 1;
    }

  // The integer digits of a value stand in full before the point.
  if (v >= 0 && v < 1e300) {
    std::string digits = tb::WholeToText(std::floor(v));
    std::string intPart = field.substr(0, field.find('.'));
    std::string_view trimmed = tb::LTrim(intPart);
    if (trimmed != digits) std::abort();
  }
  // A value from 0 up to 10^l keeps the mask's decimals (the fill supplies at
  // most nine zeros and twenty blanks).
  if (v >= 0 && v < std::pow(10.0, static_cast<double>(l)) && h <= 9 && l <= 20) {
    size_t point = field.find('.');
    if (h == 0) {
      if (point != std::string::npos) std::abort();
    } else {
      if (point == std::string::npos || field.size() - point - 1 != static_cast<size_t>(h)) std::abort();
      if (point < static_cast<size_t>(l)) std::abort();
    }
  }
  return 0;
}
