// The stepper's try on vector lanes, compiled for every instruction set the
// processor may have; the best the processor runs is chosen when it runs.
// The sums run term by term from the left, each term's coefficient times the
// step first, as the stepper's own sums do, zero coefficients included (a
// zero term turns a state's -0 into +0 there too).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reference/rkf78_lanes.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include "reference/rkf78_lanes.h"
#include "runtime/cr_constants.h"
#include "runtime/cr_double_double.h"

#include <boost/numeric/odeint/stepper/runge_kutta_fehlberg78.hpp>
#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include <cmath>

#ifndef TB_RKF78_COEFFICIENTS
#define TB_RKF78_COEFFICIENTS
namespace tb::rkf78 {
// The stepper's coefficients as it computes them: row i (1 to 12) of a
// holds stage i's i weights, then b the end's and db the error's.
struct Coefficients {
  double a[13][12] = {};
  double b[13] = {};
  double db[13] = {};
  // 1/6 - y for y = 1/6 as a double: the shrinking power's exponent -y is
  // -1/6 + sixthLo.
  double sixthLo = 0;
};
const Coefficients& coefficients();
} // namespace tb::rkf78
#endif

HWY_BEFORE_NAMESPACE();
namespace tb::rkf78 {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::CappedTag<double, kLanes>;
using V = hn::Vec<D>;

// The equations of motion at state s (lanes from `at`) into d, as the
// stepper's system computes them.
HWY_INLINE void gravity(D d, const LaneTries& b, const double (&s)[12][kLanes], double (&out)[12][kLanes],
                        size_t at) {
  const V zero = hn::Zero(d), one = hn::Set(d, 1.0);
  V m[3], ax[3], ay[3];
  for (int i = 0; i < 3; ++i) {
    m[i] = hn::Load(d, b.m[i] + at);
    ax[i] = zero;
    ay[i] = zero;
  }
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) {
      const V dx = hn::Sub(hn::Load(d, s[2 * j] + at), hn::Load(d, s[2 * i] + at));
      const V dy = hn::Sub(hn::Load(d, s[2 * j + 1] + at), hn::Load(d, s[2 * i + 1] + at));
      const V r2 = hn::Add(hn::Mul(dx, dx), hn::Mul(dy, dy));
      const V inv = hn::Div(one, hn::Mul(r2, hn::Sqrt(r2)));
      // A body of negative mass is not accelerated.
      const auto iMoves = hn::Ge(m[i], zero), jMoves = hn::Ge(m[j], zero);
      ax[i] = hn::IfThenElse(iMoves, hn::Add(ax[i], hn::Mul(hn::Mul(m[j], dx), inv)), ax[i]);
      ay[i] = hn::IfThenElse(iMoves, hn::Add(ay[i], hn::Mul(hn::Mul(m[j], dy), inv)), ay[i]);
      ax[j] = hn::IfThenElse(jMoves, hn::Sub(ax[j], hn::Mul(hn::Mul(m[i], dx), inv)), ax[j]);
      ay[j] = hn::IfThenElse(jMoves, hn::Sub(ay[j], hn::Mul(hn::Mul(m[i], dy), inv)), ay[j]);
    }
  for (int i = 0; i < 3; ++i) {
    hn::Store(hn::Load(d, s[6 + 2 * i] + at), d, out[2 * i] + at);
    hn::Store(hn::Load(d, s[7 + 2 * i] + at), d, out[2 * i + 1] + at);
    hn::Store(ax[i], d, out[6 + 2 * i] + at);
    hn::Store(ay[i], d, out[7 + 2 * i] + at);
  }
}

// 1 x + (w[0] dt) k[0] + (w[1] dt) k[1] + ... for the first n derivatives,
// the twelve components' sums side by side, each term by term from the left.
HWY_INLINE void weighted(D d, const LaneTries& b, const double* w, int n, V dt, double (&into)[12][kLanes],
                         size_t at) {
  // The stepper's factor 1 on x is left out: 1 x is x, to the bit.
  V sum[12];
  for (int e = 0; e < 12; ++e)
    sum[e] = hn::Load(d, b.x[e] + at);
  for (int j = 0; j < n; ++j) {
    const V c = hn::Mul(hn::Set(d, w[j]), dt);
    for (int e = 0; e < 12; ++e)
      sum[e] = hn::Add(sum[e], hn::Mul(c, hn::Load(d, b.k[j][e] + at)));
  }
  for (int e = 0; e < 12; ++e)
    hn::Store(sum[e], d, into[e] + at);
}

// Double-double arithmetic, a value as hi + lo, on each lane: the scalar
// correctly rounded functions' operations, but for the exact product.
struct DDV {
  V hi, lo;
};
HWY_INLINE DDV fastTwoSum(V a, V b) {
  const V s = hn::Add(a, b);
  return {s, hn::Sub(b, hn::Sub(s, a))};
}
#if !HWY_NATIVE_FMA
HWY_INLINE DDV split(D d, V a) {
  const V c = hn::Mul(hn::Set(d, 134217729.0), a), hi = hn::Sub(c, hn::Sub(c, a));
  return {hi, hn::Sub(a, hi)};
}
#endif
// a b exactly as p + e: a fused multiply-subtract gives e at once where the
// processor has one, Dekker's product elsewhere; e is the same number.
HWY_INLINE DDV twoProd(D d, V a, V b) {
  const V p = hn::Mul(a, b);
#if HWY_NATIVE_FMA
  (void)d;
  return {p, hn::MulSub(a, b, p)};
#else
  const DDV x = split(d, a), y = split(d, b);
  const V e =
      hn::Add(hn::Add(hn::Add(hn::Sub(hn::Mul(x.hi, y.hi), p), hn::Mul(x.hi, y.lo)), hn::Mul(x.lo, y.hi)),
              hn::Mul(x.lo, y.lo));
  return {p, e};
#endif
}
HWY_INLINE DDV mul(D d, DDV a, DDV b) {
  const DDV p = twoProd(d, a.hi, b.hi);
  return fastTwoSum(p.hi, hn::Add(p.lo, hn::Add(hn::Mul(a.hi, b.lo), hn::Mul(a.lo, b.hi))));
}
HWY_INLINE DDV mul(D d, DDV a, V b) {
  const DDV p = twoProd(d, a.hi, b);
  return fastTwoSum(p.hi, hn::Add(p.lo, hn::Mul(a.lo, b)));
}

// x^(-1/8) as cr::pow's quick path takes it: three square roots, the result
// corrected once from (y^8 x - 1) in double-double; NaN where its error
// bound straddles a rounding boundary.
HWY_INLINE V inverseEighthRoot(D d, V x) {
  const V one = hn::Set(d, 1.0);
  const V y0 = hn::Div(one, hn::Sqrt(hn::Sqrt(hn::Sqrt(x))));
  const DDV y2 = twoProd(d, y0, y0), y4 = mul(d, y2, y2), y8 = mul(d, y4, y4);
  const DDV t = mul(d, y8, x);
  const V e = hn::Add(hn::Sub(t.hi, one), t.lo);
  const V c = hn::Mul(y0, hn::Mul(e, hn::Add(hn::Set(d, -0.125), hn::Mul(e, hn::Set(d, 9.0 / 128)))));
  const DDV v = fastTwoSum(y0, c);
  const V bound = hn::Mul(hn::Set(d, 2.0), hn::Mul(hn::Set(d, 0x1p-96), y0));
  const V below = hn::Add(v.hi, hn::Sub(v.lo, bound)), above = hn::Add(v.hi, hn::Add(v.lo, bound));
  return hn::IfThenElse(hn::Eq(below, above), below, hn::Set(d, NAN));
}

HWY_INLINE DDV twoSum(V a, V b) {
  const V s = hn::Add(a, b), bb = hn::Sub(s, a);
  return {s, hn::Add(hn::Sub(a, hn::Sub(s, bb)), hn::Sub(b, bb))};
}
HWY_INLINE DDV add(DDV a, DDV b) {
  DDV s = twoSum(a.hi, b.hi);
  const DDV t = twoSum(a.lo, b.lo);
  s = fastTwoSum(s.hi, hn::Add(s.lo, t.hi));
  return fastTwoSum(s.hi, hn::Add(s.lo, t.lo));
}
HWY_INLINE DDV add(DDV a, V b) {
  const DDV s = twoSum(a.hi, b);
  return fastTwoSum(s.hi, hn::Add(s.lo, a.lo));
}

// The engine's direction of (dx, dy) in degrees with the correctly rounded
// atan's quick path for slopes in [2^-27, 128]: atan |x| = atan c + atan t,
// t = (|x| - c) / (1 + |x| c), c = j/64 or 64/j from the tables, the series
// of atan t past t in plain double. NaN where that path cannot decide the
// rounding or does not apply. Where it decides, the result is the correctly
// rounded one whatever the evaluation's own roundings within its error bound
// (2^-64 relative, far above what they are): so the correction of t's
// quotient multiplies by the reciprocal, and the series by 1/11, where the
// scalar path divides, to keep the divisions out of the chain.
HWY_INLINE V direction(D d, V dx, V dy, V pi) {
  namespace cd = tb::cr::detail;
  const hn::RebindToSigned<D> di;
  const V x = hn::Div(dy, dx), ax = hn::Abs(x);
  const V one = hn::Set(d, 1.0), zero = hn::Zero(d), half = hn::Set(d, 0.5), sixtyFour = hn::Set(d, 64.0);
  // The table's row j: the nearest j/64 below 1, the nearest 64/j above.
  const auto small = hn::Le(ax, one), quick = hn::Le(ax, hn::Set(d, 128.0));
  const V u =
      hn::IfThenElse(small, hn::Add(hn::Mul(ax, sixtyFour), half), hn::Add(hn::Div(sixtyFour, ax), half));
  const auto j = hn::ConvertTo(di, hn::IfThenElse(quick, u, zero));
  const auto two = hn::Add(j, j), three = hn::Add(two, j), unit = hn::Set(di, 1);
  const double* sixtyFourths = &cd::kAtanSixtyFourths[0][0];
  const double* inverse = &cd::kAtanOfInverse[0][0];
  const V c = hn::IfThenElse(small, hn::Mul(hn::ConvertTo(d, j), hn::Set(d, 1 / 64.0)),
                             hn::GatherIndex(d, inverse, three));
  const V baseHi = hn::IfThenElse(small, hn::GatherIndex(d, sixtyFourths, two),
                                  hn::GatherIndex(d, inverse, hn::Add(three, unit)));
  const V baseLo = hn::IfThenElse(small, hn::GatherIndex(d, sixtyFourths, hn::Add(two, unit)),
                                  hn::GatherIndex(d, inverse, hn::Add(hn::Add(three, unit), unit)));
  // (|x| - c) / (1 + |x| c): one division corrected by its remainder. With
  // c = 0 (a slope below 1/128) this is |x| itself, as the scalar path has it.
  const V num = hn::Sub(ax, c);
  const DDV den = add(twoProd(d, ax, c), one);
  const V q = hn::Div(num, den.hi), r = hn::Div(one, den.hi);
  const DDV p = twoProd(d, q, den.hi);
  const DDV t = fastTwoSum(q, hn::Mul(hn::Sub(hn::Sub(hn::Sub(num, p.hi), p.lo), hn::Mul(q, den.lo)), r));
  const V t2 = hn::Mul(t.hi, t.hi);
  V series = hn::Sub(hn::Set(d, 1 / 9.0), hn::Mul(t2, hn::Set(d, 1 / 11.0)));
  series = hn::Add(hn::Set(d, -1 / 7.0), hn::Mul(t2, series));
  series = hn::Add(hn::Set(d, 1 / 5.0), hn::Mul(t2, series));
  series = hn::Add(hn::Set(d, -1 / 3.0), hn::Mul(t2, series));
  const V tail = hn::Mul(hn::Mul(t.hi, t2), series);
  DDV v = add(add(DDV{baseHi, baseLo}, t), tail);
  const V bound = hn::Mul(hn::Set(d, 2.0), hn::Mul(hn::Set(d, 0x1p-64), v.hi));
  const auto negative = hn::Lt(x, zero);
  v = {hn::IfThenElse(negative, hn::Neg(v.hi), v.hi), hn::IfThenElse(negative, hn::Neg(v.lo), v.lo)};
  const V below = hn::Add(v.hi, hn::Sub(v.lo, bound)), above = hn::Add(v.hi, hn::Add(v.lo, bound));
  // The quadrants: a + pi to the left, a + 2 pi below the right half.
  V a = below;
  a = hn::IfThenElse(hn::Lt(dx, zero), hn::Add(a, pi),
                     hn::IfThenElse(hn::Lt(dy, zero), hn::Add(a, hn::Mul(hn::Set(d, 2.0), pi)), a));
  a = hn::Div(hn::Mul(a, hn::Set(d, 180.0)), pi);
  const auto decided = hn::And(hn::And(hn::Eq(below, above), hn::Ne(dx, zero)),
                               hn::And(hn::Ge(ax, hn::Set(d, 0x1p-27)), quick));
  return hn::IfThenElse(decided, a, hn::Set(d, NAN));
}

// x^y with y = -1/6 as a double (the step control's shrinking power), for x
// in (1, 2^14], correctly rounded; NaN where that cannot be decided. y is
// -1/6 + l, l = 1/6 - y below 2^-56, so x^y = x^(-1/6) (1 + l ln x + ...):
// x^(-1/6) from a seed w (Highway's exp and log, a few units of the last
// place), corrected once from w^6 x - 1 in double-double, the guard on that
// residual taking the seed's error for the bound's; ln x needs only 2^-40
// (Highway's is within four units of 2^-53) for l ln x, below 2^-52.7.
// The result is within 2^-91 of x^y; the rounding check allows 2^-89.
HWY_INLINE V inverseSixthPower(D d, V x, double sixthLo) {
  const V one = hn::Set(d, 1.0);
  const V ln = hn::Log(d, x);
  const V w = hn::Exp(d, hn::Mul(hn::Set(d, -1.0 / 6), ln));
  const DDV w2 = twoProd(d, w, w), w3 = mul(d, w2, w), w6 = mul(d, w3, w3);
  const DDV t = mul(d, w6, x);
  const V e = hn::Add(hn::Sub(t.hi, one), t.lo);
  // (1 + e)^(-1/6) = 1 - e/6 + 7/72 e^2 - ..., the next term below 2^-124.
  const V c = hn::Mul(w, hn::Mul(e, hn::Add(hn::Set(d, -1.0 / 6), hn::Mul(e, hn::Set(d, 7.0 / 72)))));
  DDV v = fastTwoSum(w, c);
  v = add(v, hn::Mul(v.hi, hn::Mul(hn::Set(d, sixthLo), ln)));
  const V bound = hn::Mul(hn::Set(d, 2.0), hn::Mul(hn::Set(d, 0x1p-89), w));
  const V below = hn::Add(v.hi, hn::Sub(v.lo, bound)), above = hn::Add(v.hi, hn::Add(v.lo, bound));
  const auto decided = hn::And(hn::And(hn::Eq(below, above), hn::Le(hn::Abs(e), hn::Set(d, 0x1p-40))),
                               hn::And(hn::Gt(x, one), hn::Le(x, hn::Set(d, 0x1p14))));
  return hn::IfThenElse(decided, below, hn::Set(d, NAN));
}

void InverseSixthPowers(const double* x, double* out, double sixthLo) {
  const D d;
  for (size_t at = 0; at < static_cast<size_t>(kLanes); at += hn::Lanes(d))
    hn::StoreU(inverseSixthPower(d, hn::LoadU(d, x + at), sixthLo), d, out + at);
}

void InverseEighthRoots(const double* x, double* out) {
  const D d;
  for (size_t at = 0; at < static_cast<size_t>(kLanes); at += hn::Lanes(d))
    hn::StoreU(inverseEighthRoot(d, hn::LoadU(d, x + at)), d, out + at);
}

void StepLanes(LaneTries& b, const Coefficients& co) {
  const D d;
  for (size_t at = 0; at < static_cast<size_t>(b.count); at += hn::Lanes(d)) {
    const V dt = hn::Load(d, b.dt + at);
    gravity(d, b, b.x, b.k[0], at);
    for (int i = 1; i < 13; ++i) {
      weighted(d, b, co.a[i], i, dt, b.tmp, at);
      gravity(d, b, b.tmp, b.k[i], at);
    }
    weighted(d, b, co.b, 13, dt, b.out, at);
    // The pair's direction at the end, a chain of divisions that runs beside
    // the error estimate's sums.
    const V dx = hn::Sub(hn::Load(d, b.out[2] + at), hn::Load(d, b.out[0] + at));
    const V dy = hn::Sub(hn::Load(d, b.out[3] + at), hn::Load(d, b.out[1] + at));
    hn::Store(direction(d, dx, dy, hn::Set(d, b.pi)), d, b.direction + at);
    // The error estimate (db[0] dt) k[0] + ..., each component against the
    // tolerance at its size and its rate, and the largest of them, as the
    // error checker takes it.
    V c[13];
    for (int j = 0; j < 13; ++j)
      c[j] = hn::Mul(hn::Set(d, co.db[j]), dt);
    const V eps = hn::Load(d, b.tolerance + at);
    const V rate = hn::Abs(dt); // the checker's 1 |dt|
    V err[12];
    for (int e = 0; e < 12; ++e)
      err[e] = hn::Mul(c[0], hn::Load(d, b.k[0][e] + at));
    for (int j = 1; j < 13; ++j)
      for (int e = 0; e < 12; ++e)
        err[e] = hn::Add(err[e], hn::Mul(c[j], hn::Load(d, b.k[j][e] + at)));
    V norm = hn::Zero(d);
    for (int e = 0; e < 12; ++e) {
      const V size =
          hn::Add(hn::Abs(hn::Load(d, b.x[e] + at)), hn::Mul(rate, hn::Abs(hn::Load(d, b.k[0][e] + at))));
      const V rel = hn::Div(hn::Abs(err[e]), hn::Add(eps, hn::Mul(eps, size)));
      // max(norm, rel) as std::max takes it: rel only when norm < rel.
      norm = hn::IfThenElse(hn::Lt(norm, rel), rel, norm);
    }
    hn::Store(norm, d, b.error + at);
    // The growth power of max(smallestError, error) as std::max takes it.
    const V floor = hn::Set(d, b.smallestError);
    hn::Store(inverseEighthRoot(d, hn::IfThenElse(hn::Lt(floor, norm), norm, floor)), d, b.grow + at);
    // The shrinking power, only where a try failed (one in ten).
    const auto failed = hn::Gt(norm, hn::Set(d, 1.0));
    hn::Store(hn::AllFalse(d, failed)
                  ? hn::Set(d, NAN)
                  : hn::IfThenElse(failed, inverseSixthPower(d, norm, co.sixthLo), hn::Set(d, NAN)),
              d, b.shrink + at);
  }
}

} // namespace HWY_NAMESPACE
} // namespace tb::rkf78
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tb::rkf78 {

const Coefficients& coefficients() {
  static const Coefficients c = [] {
    namespace odeint = boost::numeric::odeint;
    Coefficients c;
    auto row = [&](int i, const auto& a) {
      for (size_t j = 0; j < a.size(); ++j)
        c.a[i][j] = a[j];
    };
    row(1, odeint::rk78_coefficients_a1<double>());
    row(2, odeint::rk78_coefficients_a2<double>());
    row(3, odeint::rk78_coefficients_a3<double>());
    row(4, odeint::rk78_coefficients_a4<double>());
    row(5, odeint::rk78_coefficients_a5<double>());
    row(6, odeint::rk78_coefficients_a6<double>());
    row(7, odeint::rk78_coefficients_a7<double>());
    row(8, odeint::rk78_coefficients_a8<double>());
    row(9, odeint::rk78_coefficients_a9<double>());
    row(10, odeint::rk78_coefficients_a10<double>());
    row(11, odeint::rk78_coefficients_a11<double>());
    row(12, odeint::rk78_coefficients_a12<double>());
    const odeint::rk78_coefficients_b<double> b;
    const odeint::rk78_coefficients_db<double> db;
    for (int j = 0; j < 13; ++j) {
      c.b[j] = b[j];
      c.db[j] = db[j];
    }
    // 1 - 6 y is exact (a few bits below 2^-52), its sixth to 2^-53.
    const cr::detail::DD p = cr::detail::twoProd(6, 1.0 / 6);
    c.sixthLo = ((1 - p.hi) - p.lo) / 6;
    return c;
  }();
  return c;
}

HWY_EXPORT(StepLanes);
HWY_EXPORT(InverseEighthRoots);
HWY_EXPORT(InverseSixthPowers);

void stepLanes(LaneTries& b) {
#if defined(__EMSCRIPTEN__)
  HWY_STATIC_DISPATCH(StepLanes)(b, coefficients());
#else
  HWY_DYNAMIC_DISPATCH(StepLanes)(b, coefficients());
#endif
}

void inverseSixthPowers(const double* x, double* out) {
#if defined(__EMSCRIPTEN__)
  HWY_STATIC_DISPATCH(InverseSixthPowers)(x, out, coefficients().sixthLo);
#else
  HWY_DYNAMIC_DISPATCH(InverseSixthPowers)(x, out, coefficients().sixthLo);
#endif
}

void inverseEighthRoots(const double* x, double* out) {
#if defined(__EMSCRIPTEN__)
  HWY_STATIC_DISPATCH(InverseEighthRoots)(x, out);
#else
  HWY_DYNAMIC_DISPATCH(InverseEighthRoots)(x, out);
#endif
}

} // namespace tb::rkf78
#endif
