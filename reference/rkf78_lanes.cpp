// The stepper's try on vector lanes, compiled for every instruction set the
// processor may have; the best the processor runs is chosen when it runs.
// The sums run term by term from the left, each term's coefficient times the
// step first, as the stepper's own sums do, zero coefficients included (a
// zero term turns a state's -0 into +0 there too).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "reference/rkf78_lanes.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include "reference/rkf78_lanes.h"

#include <boost/numeric/odeint/stepper/runge_kutta_fehlberg78.hpp>
#include <hwy/highway.h>

#ifndef TB_RKF78_COEFFICIENTS
#define TB_RKF78_COEFFICIENTS
namespace tb::rkf78 {
// The stepper's coefficients as it computes them: row i (1 to 12) of a
// holds stage i's i weights, then b the end's and db the error's.
struct Coefficients {
  double a[13][12] = {};
  double b[13] = {};
  double db[13] = {};
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

// 1 x + (w[0] dt) k[0] + (w[1] dt) k[1] + ... for the first n derivatives.
HWY_INLINE void weighted(D d, const LaneTries& b, const double* w, int n, V dt, double (&into)[12][kLanes],
                         size_t at) {
  V c[13];
  for (int j = 0; j < n; ++j)
    c[j] = hn::Mul(hn::Set(d, w[j]), dt);
  const V one = hn::Set(d, 1.0);
  for (int e = 0; e < 12; ++e) {
    V sum = hn::Mul(one, hn::Load(d, b.x[e] + at));
    for (int j = 0; j < n; ++j)
      sum = hn::Add(sum, hn::Mul(c[j], hn::Load(d, b.k[j][e] + at)));
    hn::Store(sum, d, into[e] + at);
  }
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
    // The error estimate (db[0] dt) k[0] + ..., each component against the
    // tolerance at its size and its rate, and the largest of them, as the
    // error checker takes it.
    V c[13];
    for (int j = 0; j < 13; ++j)
      c[j] = hn::Mul(hn::Set(d, co.db[j]), dt);
    const V eps = hn::Load(d, b.tolerance + at), one = hn::Set(d, 1.0);
    const V rate = hn::Mul(one, hn::Abs(dt));
    V norm = hn::Zero(d);
    for (int e = 0; e < 12; ++e) {
      V err = hn::Mul(c[0], hn::Load(d, b.k[0][e] + at));
      for (int j = 1; j < 13; ++j)
        err = hn::Add(err, hn::Mul(c[j], hn::Load(d, b.k[j][e] + at)));
      const V size = hn::Add(hn::Mul(one, hn::Abs(hn::Load(d, b.x[e] + at))),
                             hn::Mul(rate, hn::Abs(hn::Load(d, b.k[0][e] + at))));
      const V rel = hn::Div(hn::Abs(err), hn::Add(eps, hn::Mul(eps, size)));
      // max(norm, rel) as std::max takes it: rel only when norm < rel.
      norm = hn::IfThenElse(hn::Lt(norm, rel), rel, norm);
    }
    hn::Store(norm, d, b.error + at);
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
    return c;
  }();
  return c;
}

HWY_EXPORT(StepLanes);

void stepLanes(LaneTries& b) {
#if defined(__EMSCRIPTEN__)
  HWY_STATIC_DISPATCH(StepLanes)(b, coefficients());
#else
  HWY_DYNAMIC_DISPATCH(StepLanes)(b, coefficients());
#endif
}

} // namespace tb::rkf78
#endif
