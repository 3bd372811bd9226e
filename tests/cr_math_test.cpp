// The correctly rounded functions against MPFR's round-to-nearest: random
// arguments over the ranges the engine passes and over every double, special
// values, arguments whose values lie close to a rounding boundary, and the
// exact path on its own.
#include "runtime/cr_constants.h"
#include "runtime/cr_fixed.h"
#include "runtime/cr_math.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Unary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
using Binary = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);

// MPFR with the exponent range and subnormals of doubles.
struct DoubleRange {
  DoubleRange() {
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
  }
};

double rounded(mpfr_t y, int inexact) {
  inexact = mpfr_check_range(y, inexact, MPFR_RNDN);
  mpfr_subnormalize(y, inexact, MPFR_RNDN);
  return mpfr_get_d(y, MPFR_RNDN);
}

double expected(Unary f, double a) {
  static DoubleRange range;
  mpfr_t x, y;
  mpfr_inits2(53, x, y, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(x, a, MPFR_RNDN);
  const double r = rounded(y, f(y, x, MPFR_RNDN));
  mpfr_clears(x, y, static_cast<mpfr_ptr>(nullptr));
  return r;
}

double expected(Binary f, double a, double b) {
  static DoubleRange range;
  mpfr_t x, z, y;
  mpfr_inits2(53, x, z, y, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(x, a, MPFR_RNDN);
  mpfr_set_d(z, b, MPFR_RNDN);
  const double r = rounded(y, f(y, x, z, MPFR_RNDN));
  mpfr_clears(x, z, y, static_cast<mpfr_ptr>(nullptr));
  return r;
}

bool sameBits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

std::string show(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%a", v);
  return buf;
}

// Counts the arguments where a function and MPFR differ, showing the first few.
struct Tally {
  const char* name;
  long wrong = 0;
  void check(double got, double want, double a, double b = 0) {
    if (sameBits(got, want)) return;
    if (++wrong <= 5)
      ADD_FAILURE() << name << "(" << show(a) << ", " << show(b) << ") = " << show(got) << ", MPFR "
                    << show(want);
  }
};

double anyDouble(std::mt19937_64& g) {
  for (;;) {
    const double d = std::bit_cast<double>(g());
    if (!std::isnan(d)) return d;
  }
}

constexpr double kPi = 0x1.921fb54442d18p+1;

TEST(CorrectlyRounded, EngineArgumentsAgreeWithMpfr) {
  // The start configuration's angles (alpha in degrees to radians, plus a
  // quarter, half and three quarters of a turn), the pair's direction
  // dy/dx, the formatter's logarithms and powers of ten, the reference's
  // step-size powers and the energies' distances.
  std::mt19937_64 g(7);
  std::uniform_real_distribution<double> degrees(-720, 720), ratio(-50, 50), distance(-3000, 3000),
      error(0x1p-20, 0.5);
  Tally sin{"sin"}, cos{"cos"}, atan{"atan"}, log{"log"}, pow{"pow"}, hypot{"hypot"};
  for (int i = 0; i < 60000; ++i) {
    const double d = i < 36000 ? (i % 3600) / 10.0 : degrees(g);
    for (double a :
         {d * kPi / 180, d * kPi / 180 + kPi / 2, d * kPi / 180 + kPi, d * kPi / 180 + 1.5 * kPi}) {
      sin.check(tb::cr::sin(a), expected(mpfr_sin, a), a);
      cos.check(tb::cr::cos(a), expected(mpfr_cos, a), a);
    }
    const double q = ratio(g) * ratio(g);
    atan.check(tb::cr::atan(q), expected(mpfr_atan, q), q);
    const double v = std::fabs(distance(g)) * 1e-3;
    log.check(tb::cr::log(v), expected(mpfr_log, v), v);
    const double e = error(g);
    pow.check(tb::cr::pow(e, -1.0 / 7), expected(mpfr_pow, e, -1.0 / 7), e, -1.0 / 7);
    pow.check(tb::cr::pow(e, -1.0 / 8), expected(mpfr_pow, e, -1.0 / 8), e, -1.0 / 8);
    const double w = std::exp2(degrees(g) * 1.25); // 2^-900 to 2^900, the quick path's range
    pow.check(tb::cr::pow(w, -1.0 / 8), expected(mpfr_pow, w, -1.0 / 8), w, -1.0 / 8);
    const double x = distance(g), y = distance(g);
    hypot.check(tb::cr::hypot(x, y), expected(mpfr_hypot, x, y), x, y);
  }
  for (int k = -330; k <= 330; ++k)
    pow.check(tb::cr::pow(10, k), expected(mpfr_pow, 10.0, k), 10, k);
}

TEST(CorrectlyRounded, EveryDoubleRangeAgreesWithMpfr) {
  std::mt19937_64 g(11);
  Tally sin{"sin"}, cos{"cos"}, atan{"atan"}, log{"log"}, pow{"pow"}, hypot{"hypot"};
  std::uniform_real_distribution<double> exponent(-8, 8);
  for (int i = 0; i < 40000; ++i) {
    const double a = anyDouble(g), b = anyDouble(g);
    sin.check(tb::cr::sin(a), expected(mpfr_sin, a), a);
    cos.check(tb::cr::cos(a), expected(mpfr_cos, a), a);
    atan.check(tb::cr::atan(a), expected(mpfr_atan, a), a);
    log.check(tb::cr::log(std::fabs(a)), expected(mpfr_log, std::fabs(a)), std::fabs(a));
    hypot.check(tb::cr::hypot(a, b), expected(mpfr_hypot, a, b), a, b);
    // Powers that stay in range as often as not: x any double, y small.
    const double y = i % 2 ? exponent(g) : std::round(exponent(g) * 4);
    pow.check(tb::cr::pow(a, y), expected(mpfr_pow, a, y), a, y);
    pow.check(tb::cr::pow(std::fabs(a), b), expected(mpfr_pow, std::fabs(a), b), std::fabs(a), b);
  }
}

TEST(CorrectlyRounded, SpecialValuesFollowTheCStandard) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const double min = std::numeric_limits<double>::denorm_min(), max = std::numeric_limits<double>::max();
  const std::vector<double> specials = {0.0, -0.0, min, -min, 0x1p-1022, -0x1p-1022, max, -max, inf, -inf,
                                        nan, 1.0, -1.0, 0.5, 2.0, kPi / 2, -kPi / 2, kPi, 2 * kPi,
                                        3 * kPi / 2, 0x1p-27, 0x1p-26, 0x1p1023,
                                        // the double nearest a multiple of pi/2 (about 2^-61 away)
                                        0x1.6ac5b262ca1ffp+849, 0x1.921fb54442d19p+0, 1e22, 3.0, -3.0};
  Tally sin{"sin"}, cos{"cos"}, atan{"atan"}, log{"log"}, pow{"pow"}, hypot{"hypot"};
  for (double a : specials) {
    sin.check(tb::cr::sin(a), expected(mpfr_sin, a), a);
    cos.check(tb::cr::cos(a), expected(mpfr_cos, a), a);
    atan.check(tb::cr::atan(a), expected(mpfr_atan, a), a);
    log.check(tb::cr::log(a), expected(mpfr_log, a), a);
    for (double b : specials) {
      hypot.check(tb::cr::hypot(a, b), expected(mpfr_hypot, a, b), a, b);
      pow.check(tb::cr::pow(a, b), expected(mpfr_pow, a, b), a, b);
    }
  }
  // The signs of zero results, which sameBits also checks above.
  EXPECT_TRUE(std::signbit(tb::cr::sin(-0.0)));
  EXPECT_TRUE(std::signbit(tb::cr::atan(-0.0)));
  EXPECT_EQ(tb::cr::hypot(inf, nan), inf);
  // A negative zero beside a subnormal: its sign bit is not a magnitude.
  EXPECT_EQ(tb::cr::detail::hypotExact(-0.0, 0x1.2p-1060), 0x1.2p-1060);
}

TEST(CorrectlyRounded, ExactMidpointsRoundToEven) {
  // A right triangle with whole sides whose hypotenuse 2^53 + 2^27 + 5 lies
  // exactly between two doubles: (p^2 - q^2, 2pq, p^2 + q^2), p = 2^26 + 2,
  // q = 2^26 - 1.
  const double a = 3 * (0x1p27 + 1), b = 0x1p53 + 0x1p27 - 4;
  EXPECT_EQ(tb::cr::hypot(a, b), expected(mpfr_hypot, a, b));
  EXPECT_EQ(tb::cr::hypot(a, b), 0x1p53 + 0x1p27 + 4); // the even neighbour
  // 2^-1075 lies between 0 and the smallest subnormal: to even, 0.
  EXPECT_EQ(tb::cr::pow(0.5, 1075), 0.0);
  EXPECT_EQ(tb::cr::pow(2, -1074), std::numeric_limits<double>::denorm_min());
  // Exact powers stay exact.
  EXPECT_EQ(tb::cr::pow(3, 2), 9.0);
  EXPECT_EQ(tb::cr::pow(10, 22), 1e22);
  EXPECT_EQ(tb::cr::pow(-2, 3), -8.0);
  EXPECT_EQ(tb::cr::pow(0.25, 0.5), 0.5);
}

// Arguments whose values lie within 2^-(53 + bits) of a rounding boundary, of
// a run of consecutive doubles from `start`: the cases the fast path's
// rounding test must pass on to the exact path.
std::vector<double> hardArguments(Unary f, double start, int count, int bits) {
  static DoubleRange range;
  std::vector<double> out;
  mpfr_t x, y, mid;
  mpfr_inits2(53 + bits + 60, y, mid, static_cast<mpfr_ptr>(nullptr));
  mpfr_init2(x, 53);
  double a = start;
  for (int i = 0; i < count; ++i, a = std::nextafter(a, 2 * a)) {
    mpfr_set_d(x, a, MPFR_RNDN);
    f(y, x, MPFR_RNDN);
    // y scaled so its 54th bit is the units bit: its distance to the
    // nearest half-integer of that scale is its distance to a midpoint.
    mpfr_mul_2si(mid, y, 53 - mpfr_get_exp(y), MPFR_RNDN);
    mpfr_frac(mid, mid, MPFR_RNDN);
    mpfr_abs(mid, mid, MPFR_RNDN);
    mpfr_sub_d(mid, mid, 0.5, MPFR_RNDN);
    if (mpfr_zero_p(mid) || mpfr_get_exp(mid) < -bits) out.push_back(a);
  }
  mpfr_clears(x, y, mid, static_cast<mpfr_ptr>(nullptr));
  return out;
}

// The exponents of the reference's step control, as the doubles it passes.
mpfr_srcptr exponentOf(mpfr_t v, double y) {
  mpfr_init2(v, 53);
  mpfr_set_d(v, y, MPFR_RNDN);
  return v;
}
mpfr_srcptr seventh() {
  static mpfr_t v;
  static const mpfr_srcptr p = exponentOf(v, -1.0 / 7);
  return p;
}
mpfr_srcptr eighth() {
  static mpfr_t v;
  static const mpfr_srcptr p = exponentOf(v, -1.0 / 8);
  return p;
}

TEST(CorrectlyRounded, ValuesCloseToARoundingBoundaryAgreeWithMpfr) {
  // About one argument in 2^12 comes within 2^-(53 + 13) of a midpoint. The
  // starts have many digits: at a start like 0.7 a function's slope in units
  // of the last place is a ratio of small whole numbers (1/(1 + 0.49)), and
  // consecutive arguments then visit only a few distances to a midpoint.
  struct Case {
    const char* name;
    Unary f;
    double (*ours)(double);
    double start;
  } cases[] = {
      {"sin", mpfr_sin, tb::cr::sin, 0.3},
      {"sin", mpfr_sin, tb::cr::sin, 1e5},
      {"cos", mpfr_cos, tb::cr::cos, 1.1},
      {"atan", mpfr_atan, tb::cr::atan, 0.7137219},
      {"atan", mpfr_atan, tb::cr::atan, 40.123457},
      {"log", mpfr_log, tb::cr::log, 1.3719},
      // The reference's step control: err^(-1/7) and err^(-1/8).
      {"pow(x, -1/7)", [](mpfr_ptr y, mpfr_srcptr x, mpfr_rnd_t r) { return mpfr_pow(y, x, seventh(), r); },
       [](double x) { return tb::cr::pow(x, -1.0 / 7); }, 0.0123457},
      {"pow(x, -1/8)", [](mpfr_ptr y, mpfr_srcptr x, mpfr_rnd_t r) { return mpfr_pow(y, x, eighth(), r); },
       [](double x) { return tb::cr::pow(x, -1.0 / 8); }, 3.14159e-7},
  };
  for (const auto& c : cases) {
    const auto hard = hardArguments(c.f, c.start, 100000, 13);
    EXPECT_GE(hard.size(), 3u) << c.name << " near " << c.start;
    Tally t{c.name};
    for (double a : hard)
      t.check(c.ours(a), expected(c.f, a), a);
  }
}

// v as hi + lo, each the nearest double, from MPFR at 300 bits.
void splitWithMpfr(mpfr_t v, double* hi, double* lo) {
  *hi = mpfr_get_d(v, MPFR_RNDN);
  mpfr_sub_d(v, v, *hi, MPFR_RNDN);
  *lo = mpfr_get_d(v, MPFR_RNDN);
}

TEST(CorrectlyRounded, FastPathTablesHoldTheValuesMpfrGives) {
  mpfr_t v;
  mpfr_init2(v, 300);
  for (int j = 0; j <= 64; ++j) {
    mpfr_set_d(v, j / 64.0, MPFR_RNDN);
    mpfr_atan(v, v, MPFR_RNDN);
    double hi, lo;
    splitWithMpfr(v, &hi, &lo);
    EXPECT_EQ(tb::cr::detail::kAtanSixtyFourths[j][0], hi) << "atan " << j << "/64";
    EXPECT_EQ(tb::cr::detail::kAtanSixtyFourths[j][1], lo) << "atan " << j << "/64";
  }
  for (int j = 1; j <= 64; ++j) {
    const double* row = tb::cr::detail::kAtanOfInverse[j];
    EXPECT_EQ(row[0], 64.0 / j);
    mpfr_set_d(v, row[0], MPFR_RNDN);
    mpfr_atan(v, v, MPFR_RNDN);
    double hi, lo;
    splitWithMpfr(v, &hi, &lo);
    EXPECT_EQ(row[1], hi) << "atan 64/" << j;
    EXPECT_EQ(row[2], lo) << "atan 64/" << j;
  }
  for (int i = 0; i < 128; ++i) {
    // c is 1 at both ends, else within 2^-9 of the inverse of its interval's
    // middle with at most 26 significant bits; -log c as two doubles.
    const double* row = tb::cr::detail::kLogInverse[i];
    const double middle = (1 + (i + 0.5) / 128) * (i >= 53 ? 0.5 : 1);
    if (i == 0 || i == 127)
      EXPECT_EQ(row[0], 1.0);
    else
      EXPECT_NEAR(row[0] * middle, 1.0, 0x1p-9) << "log table " << i;
    int exponent;
    EXPECT_EQ(std::fmod(std::ldexp(std::frexp(row[0], &exponent), 26), 1.0), 0.0) << "log table " << i;
    mpfr_set_d(v, row[0], MPFR_RNDN);
    mpfr_log(v, v, MPFR_RNDN);
    mpfr_neg(v, v, MPFR_RNDN);
    double hi, lo;
    splitWithMpfr(v, &hi, &lo);
    EXPECT_EQ(row[1], hi) << "log table " << i;
    EXPECT_EQ(row[2], lo) << "log table " << i;
  }
  for (int j = 0; j < 64; ++j) {
    mpfr_set_d(v, j / 64.0, MPFR_RNDN);
    mpfr_exp2(v, v, MPFR_RNDN);
    double hi, lo;
    splitWithMpfr(v, &hi, &lo);
    EXPECT_EQ(tb::cr::detail::kExp2SixtyFourths[j][0], hi) << "2^(" << j << "/64)";
    EXPECT_EQ(tb::cr::detail::kExp2SixtyFourths[j][1], lo) << "2^(" << j << "/64)";
  }
  // pi/2 and ln 2: the pieces add up to the constant within 2^-150.
  mpfr_const_pi(v, MPFR_RNDN);
  mpfr_div_2ui(v, v, 1, MPFR_RNDN);
  for (double part : tb::cr::detail::kHalfPiPart)
    mpfr_sub_d(v, v, part, MPFR_RNDN);
  EXPECT_LT(mpfr_get_exp(v), -150);
  mpfr_const_log2(v, MPFR_RNDN);
  for (double part : tb::cr::detail::kLn2Part)
    mpfr_sub_d(v, v, part, MPFR_RNDN);
  EXPECT_LT(mpfr_get_exp(v), -150);
  mpfr_clear(v);
}

TEST(CorrectlyRounded, ExactPathAloneAgreesWithMpfr) {
  using namespace tb::cr::detail;
  std::mt19937_64 g(13);
  std::uniform_real_distribution<double> engine(-30, 30);
  Tally sin{"sin exact"}, cos{"cos exact"}, atan{"atan exact"}, log{"log exact"}, pow{"pow exact"},
      hypot{"hypot exact"};
  for (int i = 0; i < 3000; ++i) {
    const double a = i % 2 ? anyDouble(g) : engine(g);
    if (!std::isfinite(a) || std::fabs(a) < 0x1p-27) continue;
    sin.check(roundEvaluated(sinExact(a)), expected(mpfr_sin, a), a);
    cos.check(roundEvaluated(cosExact(a)), expected(mpfr_cos, a), a);
    atan.check(roundEvaluated(atanExact(a)), expected(mpfr_atan, a), a);
    log.check(roundEvaluated(logExact(std::fabs(a))), expected(mpfr_log, std::fabs(a)), std::fabs(a));
    const double b = engine(g) * 0.1;
    if (std::fabs(b * std::log(std::fabs(a))) < 700)
      pow.check(roundEvaluated(powExact(std::fabs(a), b)), expected(mpfr_pow, std::fabs(a), b), std::fabs(a),
                b);
    const double c = i % 3 ? anyDouble(g) : a * engine(g);
    if (std::isfinite(c)) hypot.check(hypotExact(a, c), expected(mpfr_hypot, a, c), a, c);
  }
}

} // namespace
