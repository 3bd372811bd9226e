// The reference integration's stepping: the experiment's equations of
// motion, Boost.Odeint's Runge-Kutta-Fehlberg 7(8) stepper with its error
// control, the two builds of its steps, and the search for an event's instant
// inside a step.
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

// Where a function f of time changes sign between a and b (f(a), f(b) of
// opposite signs): the Illinois variant of regula falsi, which keeps the root
// bracketed and converges in a handful of evaluations where bisection needs
// fifty. The search asks for f at one instant at a time (each a single step
// of the integration), so that its caller can make that step where it likes:
//   for (double t; search.wants(&t);) search.give(f(t));
class RootSearch {
public:
  RootSearch(double a, double b) : a_(a), b_(b) {}
  // The instant whose value the search needs next; false once it has its root.
  bool wants(double* t) {
    if (stage_ == Stage::A) return *t = a_, true;
    if (stage_ == Stage::B) return *t = b_, true;
    if (stage_ == Stage::Found) return false;
    if (!(k_ < 60 && b_ - a_ > 1e-13 * (1 + std::abs(b_)))) return found(0.5 * (a_ + b_));
    c_ = (a_ * fb_ - b_ * fa_) / (fb_ - fa_);
    // Never at an end, so that the bracket shrinks.
    if (!(c_ > a_ && c_ < b_)) c_ = 0.5 * (a_ + b_);
    return *t = c_, true;
  }
  void give(double f) {
    if (stage_ == Stage::A) {
      fa_ = f;
      stage_ = Stage::B;
      return;
    }
    if (stage_ == Stage::B) {
      fb_ = f;
      stage_ = Stage::Between;
      if (fa_ == 0)
        found(a_);
      else if (fb_ == 0)
        found(b_);
      return;
    }
    ++k_;
    if (f == 0) {
      found(c_);
    } else if ((f < 0) == (fa_ < 0)) {
      a_ = c_;
      fa_ = f;
      if (side_ == -1) fb_ *= 0.5;
      side_ = -1;
    } else {
      b_ = c_;
      fb_ = f;
      if (side_ == 1) fa_ *= 0.5;
      side_ = 1;
    }
  }
  double root() const { return root_; }

private:
  enum class Stage { A, B, Between, Found };
  bool found(double t) {
    root_ = t;
    stage_ = Stage::Found;
    return false;
  }
  Stage stage_ = Stage::A;
  double a_, b_, fa_ = 0, fb_ = 0, c_ = 0, root_ = 0;
  int k_ = 0, side_ = 0;
};

} // namespace tb::rkf78
