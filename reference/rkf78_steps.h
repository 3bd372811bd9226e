// The reference integration's stepping: the experiment's equations of
// motion, Boost.Odeint's Runge-Kutta-Fehlberg 7(8) stepper with its error
// control, the two builds of its steps, and one interval between accepted
// steps with the state anywhere inside it.
#pragma once

#include "reference/step_adjuster.h"

// GCC 12 warns of members inside Boost.Odeint's steppers that its inlining
// cannot prove set (they are, on the first step), also where a stepper is
// copied before its first step; the warning is Boost's own.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <boost/numeric/odeint/stepper/controlled_runge_kutta.hpp>
#include <boost/numeric/odeint/stepper/generation.hpp>
#include <boost/numeric/odeint/stepper/runge_kutta_fehlberg78.hpp>

#include <array>
#include <cmath>

namespace tb::rkf78 {

namespace odeint = boost::numeric::odeint;

// x0 y0 x1 y1 x2 y2, then vx0 vy0 vx1 vy1 vx2 vy2.
using State = std::array<double, 12>;

struct Gravity {
  double m[3];
  // Inlined into each of the stepper's thirteen stages: the call costs more than its body.
  [[gnu::always_inline]] void operator()(const State& s, State& d, double) const {
    double ax[3] = {}, ay[3] = {};
    for (int i = 0; i < 3; ++i)
      for (int j = i + 1; j < 3; ++j) {
        const double dx = s[2 * j] - s[2 * i], dy = s[2 * j + 1] - s[2 * i + 1];
        const double r2 = dx * dx + dy * dy, inv = 1 / (r2 * std::sqrt(r2));
        // A body of negative mass is not accelerated, as in the fixed-step engine.
        if (m[i] >= 0) {
          ax[i] += m[j] * dx * inv;
          ay[i] += m[j] * dy * inv;
        }
        if (m[j] >= 0) {
          ax[j] -= m[i] * dx * inv;
          ay[j] -= m[i] * dy * inv;
        }
      }
    for (int i = 0; i < 3; ++i) {
      d[2 * i] = s[6 + 2 * i];
      d[2 * i + 1] = s[7 + 2 * i];
      d[6 + 2 * i] = ax[i];
      d[7 + 2 * i] = ay[i];
    }
  }
};

using Stepper = odeint::runge_kutta_fehlberg78<State>;
using Checker = odeint::default_error_checker<double, Stepper::algebra_type, Stepper::operations_type>;
using Controlled = odeint::controlled_runge_kutta<Stepper, Checker, RoundedStepAdjuster<double, double>>;

// The integration's two kinds of step: a try of the controlled stepper (true
// when the step was taken) and one step without error control. Each has a
// build for any processor and, on x86-64, one with the stepper's code inlined
// whole and compiled for AVX2, whose 256-bit vectors take a stage's twelve
// numbers in three operations rather than six. Both builds are the same IEEE
// operations in the same order (nothing is fused: no contraction), so the
// same bits; the integration takes the AVX2 one where the processor has it.
struct Steps {
  bool (*tryStep)(Controlled& stepper, const Gravity& g, State& s, double& t, double& dt);
  void (*partStep)(const Gravity& g, State& s, double t0, double h);
};
extern const Steps kPlainSteps;
// The AVX2 build where the processor has it, else the plain one.
const Steps& bestSteps();

// One interval between two accepted steps, with the state anywhere inside.
class Interval {
public:
  Interval(const Gravity& g, const Steps& steps, double t0, const State& s0, double t1, const State& s1)
      : g_(g), steps_(steps), t0_(t0), t1_(t1), s0_(s0), s1_(s1) {}
  State at(double t) const {
    if (t <= t0_) return s0_;
    if (t >= t1_) return s1_;
    // The events ask for the same instants more than once (a sample's end is
    // the next one's start, and its own event): a step from the interval's
    // start to t gives the same bits every time, so the last few are kept.
    for (const Known& k : known_)
      if (k.t == t) return k.s;
    State y = s0_;
    steps_.partStep(g_, y, t0_, t - t0_);
    known_[next_] = {t, y};
    next_ = (next_ + 1) % kKnown;
    return y;
  }
  // Where f changes sign between a and b (f(a), f(b) of opposite signs): the
  // Illinois variant of regula falsi, which keeps the root bracketed and
  // converges in a handful of steps where bisection needs fifty.
  template <class F> double root(double a, double b, F f) const {
    double fa = f(at(a)), fb = f(at(b));
    if (fa == 0) return a;
    if (fb == 0) return b;
    int side = 0;
    for (int k = 0; k < 60 && b - a > 1e-13 * (1 + std::abs(b)); ++k) {
      double c = (a * fb - b * fa) / (fb - fa);
      // Never at an end, so that the bracket shrinks.
      if (!(c > a && c < b)) c = 0.5 * (a + b);
      const double fc = f(at(c));
      if (fc == 0) return c;
      if ((fc < 0) == (fa < 0)) {
        a = c;
        fa = fc;
        if (side == -1) fb *= 0.5;
        side = -1;
      } else {
        b = c;
        fb = fc;
        if (side == 1) fa *= 0.5;
        side = 1;
      }
    }
    return 0.5 * (a + b);
  }
  double t0() const { return t0_; }
  double t1() const { return t1_; }

private:
  const Gravity& g_;
  const Steps& steps_;
  double t0_, t1_;
  State s0_, s1_;
  struct Known {
    double t = NAN; // never equal to an asked time
    State s;
  };
  static constexpr int kKnown = 4;
  mutable Known known_[kKnown];
  mutable int next_ = 0;
};

} // namespace tb::rkf78
