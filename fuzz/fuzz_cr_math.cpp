// One correctly rounded function (chosen at build time) against MPFR's
// round-to-nearest, at the arguments the fuzzer's bytes spell: the function
// as the engine calls it, and its exact path on its own.
#include "runtime/cr_fixed.h"
#include "runtime/cr_math.h"

#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

double withMpfr(double a, double b) {
  static const bool range = (mpfr_set_emin(-1073), mpfr_set_emax(1024), true);
  (void)range;
  mpfr_t x, z, y;
  mpfr_inits2(53, x, z, y, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(x, a, MPFR_RNDN);
  mpfr_set_d(z, b, MPFR_RNDN);
  int inexact = 0;
  if (FUNCTION == 0) inexact = mpfr_sin(y, x, MPFR_RNDN);
  if (FUNCTION == 1) inexact = mpfr_cos(y, x, MPFR_RNDN);
  if (FUNCTION == 2) inexact = mpfr_atan(y, x, MPFR_RNDN);
  if (FUNCTION == 3) inexact = mpfr_log(y, x, MPFR_RNDN);
  if (FUNCTION == 4) inexact = mpfr_hypot(y, x, z, MPFR_RNDN);
  if (FUNCTION == 5) inexact = mpfr_pow(y, x, z, MPFR_RNDN);
  inexact = mpfr_check_range(y, inexact, MPFR_RNDN);
  mpfr_subnormalize(y, inexact, MPFR_RNDN);
  const double r = mpfr_get_d(y, MPFR_RNDN);
  mpfr_clears(x, z, y, static_cast<mpfr_ptr>(nullptr));
  return r;
}

double ours(double a, double b) {
  switch (FUNCTION) {
  case 0: return tb::cr::sin(a);
  case 1: return tb::cr::cos(a);
  case 2: return tb::cr::atan(a);
  case 3: return tb::cr::log(a);
  case 4: return tb::cr::hypot(a, b);
  default: return tb::cr::pow(a, b);
  }
}

// The exact path where it applies; NaN where it does not.
double exactPath(double a, double b) {
  using namespace tb::cr::detail;
  const double nan = std::nan("");
  if (!std::isfinite(a) || !std::isfinite(b)) return nan;
  switch (FUNCTION) {
  case 0: return std::fabs(a) >= 0x1p-27 ? roundEvaluated(sinExact(a)) : nan;
  case 1: return std::fabs(a) >= 0x1p-27 ? roundEvaluated(cosExact(a)) : nan;
  case 2: return std::fabs(a) >= 0x1p-27 ? roundEvaluated(atanExact(a)) : nan;
  case 3: return a > 0 ? roundEvaluated(logExact(a)) : nan;
  case 4: return hypotExact(a, b);
  default: return a > 0 && std::fabs(b * std::log(a)) < 700 ? roundEvaluated(powExact(a, b)) : nan;
  }
}

bool same(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  double args[2] = {1, 1};
  std::memcpy(args, data, size < sizeof args ? size : sizeof args);
  const double want = withMpfr(args[0], args[1]);
  if (!same(ours(args[0], args[1]), want)) std::abort();
  const double exact = exactPath(args[0], args[1]);
  if (!std::isnan(exact) && !same(exact, want)) std::abort();
  return 0;
}
