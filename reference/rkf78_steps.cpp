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

namespace tb::rkf78 {

void Interval::roots(double a0, double b0, const Function* f, int n, double* out) const {
  if (!lanes_ || n == 1) {
    for (int i = 0; i < n; ++i)
      out[i] = root(a0, b0, f[i]);
    return;
  }
  // Each search as root() makes it, a round at a time: the bracket, its
  // values, the side last moved, and the rounds made.
  struct Search {
    double a, b, fa, fb;
    int side = 0, rounds = 0;
    bool done = false;
  };
  Search s[kLanes];
  for (int i = 0; i < n; ++i) {
    s[i] = {a0, b0, f[i](at(a0)), f[i](at(b0))};
    if (s[i].fa == 0 || s[i].fb == 0) {
      out[i] = s[i].fa == 0 ? a0 : b0;
      s[i].done = true;
    }
  }
  for (;;) {
    double c[kLanes];
    int asked[kLanes], m = 0;
    for (int i = 0; i < n; ++i) {
      Search& r = s[i];
      if (r.done) continue;
      if (!(r.rounds < 60 && r.b - r.a > 1e-13 * (1 + std::abs(r.b)))) {
        out[i] = 0.5 * (r.a + r.b);
        r.done = true;
        continue;
      }
      double x = (r.a * r.fb - r.b * r.fa) / (r.fb - r.fa);
      if (!(x > r.a && x < r.b)) x = 0.5 * (r.a + r.b);
      c[m] = x;
      asked[m++] = i;
    }
    if (m == 0) return;
    // The states at this round's instants: those not at hand stepped to side by side.
    State y[kLanes];
    int toStep[kLanes], k = 0;
    for (int j = 0; j < m; ++j)
      if (const State* known = nearby(c[j]))
        y[j] = *known;
      else
        toStep[k++] = j;
    if (k == 1) y[toStep[0]] = stepTo(c[toStep[0]]);
    if (k > 1) {
      LaneTries& l = *lanes_;
      for (int lane = 0; lane < kLanes; ++lane) {
        for (int i = 0; i < 3; ++i)
          l.m[i][lane] = g_.m[i];
        for (int e = 0; e < 12; ++e)
          l.x[e][lane] = s0_[e];
        l.dt[lane] = c[toStep[lane < k ? lane : 0]] - t0_;
      }
      partStepLanes(l);
      for (int q = 0; q < k; ++q) {
        for (int e = 0; e < 12; ++e)
          y[toStep[q]][e] = l.out[e][q];
        keep(c[toStep[q]], y[toStep[q]]);
      }
    }
    for (int j = 0; j < m; ++j) {
      Search& r = s[asked[j]];
      const double fc = f[asked[j]](y[j]);
      ++r.rounds;
      if (fc == 0) {
        out[asked[j]] = c[j];
        r.done = true;
      } else if ((fc < 0) == (r.fa < 0)) {
        r.a = c[j];
        r.fa = fc;
        if (r.side == -1) r.fb *= 0.5;
        r.side = -1;
      } else {
        r.b = c[j];
        r.fb = fc;
        if (r.side == 1) r.fa *= 0.5;
        r.side = 1;
      }
    }
  }
}

} // namespace tb::rkf78
