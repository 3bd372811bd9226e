// The two builds of the reference integration's steps.
#include "reference/rkf78_steps.h"

namespace tb::rkf78 {

namespace {

bool tryStepPlain(Controlled& stepper, const Gravity& g, State& s, double& t, double& dt) {
  return stepper.try_step(g, s, t, dt) == odeint::success;
}
void partStepPlain(const Gravity& g, State& s, double t0, double h) { Stepper().do_step(g, s, t0, h); }

#if defined(__x86_64__) && defined(__GNUC__)
[[gnu::flatten, gnu::target("avx2")]] bool tryStepAvx2(Controlled& stepper, const Gravity& g, State& s,
                                                       double& t, double& dt) {
  return stepper.try_step(g, s, t, dt) == odeint::success;
}
[[gnu::flatten, gnu::target("avx2")]] void partStepAvx2(const Gravity& g, State& s, double t0, double h) {
  Stepper().do_step(g, s, t0, h);
}
#endif

} // namespace

const Steps kPlainSteps{tryStepPlain, partStepPlain};

const Steps& bestSteps() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const Steps steps = __builtin_cpu_supports("avx2") ? Steps{tryStepAvx2, partStepAvx2} : kPlainSteps;
  return steps;
#else
  return kPlainSteps;
#endif
}

} // namespace tb::rkf78
