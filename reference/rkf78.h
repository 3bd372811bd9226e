// Runge-Kutta-Fehlberg 7(8) for the reference integration: the same IEEE
// operations in the same order as Boost.Odeint's runge_kutta_fehlberg78 (its
// stages, its error estimate) under its controlled stepper with the default
// error checker, so the same bits, written out over the twelve numbers of
// the state so that the compiler keeps each stage's sums in vector
// registers. A test steps both side by side.
#pragma once

#include "reference/step_adjuster.h"

#include <array>
#include <cmath>

namespace tb::rkf78 {

using State = std::array<double, 12>;

// The Butcher tableau as Odeint writes it: each coefficient a quotient of
// two whole numbers, divided in double.
struct Tableau {
  double a[13][13] = {}; // a[s][j]: stage s (1 to 12), its j-th term
  double b[13] = {};     // the 8th-order solution
  double db[13] = {};    // the error estimate's weights
  constexpr Tableau() {
    auto q = [](double n, double d) { return n / d; };
    a[1][0] = q(2, 27);
    a[2][0] = q(1, 36), a[2][1] = q(1, 12);
    a[3][0] = q(1, 24), a[3][1] = 0, a[3][2] = q(1, 8);
    a[4][0] = q(5, 12), a[4][1] = 0, a[4][2] = q(-25, 16), a[4][3] = q(25, 16);
    a[5][0] = q(1, 20), a[5][3] = q(1, 4), a[5][4] = q(1, 5);
    a[6][0] = q(-25, 108), a[6][3] = q(125, 108), a[6][4] = q(-65, 27), a[6][5] = q(125, 54);
    a[7][0] = q(31, 300), a[7][4] = q(61, 225), a[7][5] = q(-2, 9), a[7][6] = q(13, 900);
    a[8][0] = 2, a[8][3] = q(-53, 6), a[8][4] = q(704, 45), a[8][5] = q(-107, 9), a[8][6] = q(67, 90),
    a[8][7] = 3;
    a[9][0] = q(-91, 108), a[9][3] = q(23, 108), a[9][4] = q(-976, 135), a[9][5] = q(311, 54),
    a[9][6] = q(-19, 60), a[9][7] = q(17, 6), a[9][8] = q(-1, 12);
    a[10][0] = q(2383, 4100), a[10][3] = q(-341, 164), a[10][4] = q(4496, 1025), a[10][5] = q(-301, 82),
    a[10][6] = q(2133, 4100), a[10][7] = q(45, 82), a[10][8] = q(45, 164), a[10][9] = q(18, 41);
    a[11][0] = q(3, 205), a[11][5] = q(-6, 41), a[11][6] = q(-3, 205), a[11][7] = q(-3, 41),
    a[11][8] = q(3, 41), a[11][9] = q(6, 41);
    a[12][0] = q(-1777, 4100), a[12][3] = q(-341, 164), a[12][4] = q(4496, 1025), a[12][5] = q(-289, 82),
    a[12][6] = q(2193, 4100), a[12][7] = q(51, 82), a[12][8] = q(33, 164), a[12][9] = q(12, 41),
    a[12][11] = 1;
    b[5] = q(34, 105), b[6] = q(9, 35), b[7] = q(9, 35), b[8] = q(9, 280), b[9] = q(9, 280);
    b[11] = q(41, 840), b[12] = q(41, 840);
    db[0] = 0 - q(41, 840), db[10] = 0 - q(41, 840), db[11] = q(41, 840), db[12] = q(41, 840);
  }
};
inline constexpr Tableau kTableau{};

// out = x + sum over the n terms (c[j] dt) k[j], added left to right as
// Odeint's scale sums add them; `withX` false leaves x out (the error).
template <int N>
inline void scaleSum(const double* c, double dt, const State& x, const State* const* k, State& out,
                     bool withX) {
  double alpha[N];
  for (int j = 0; j < N; ++j)
    alpha[j] = c[j] * dt;
  State v;
  for (int i = 0; i < 12; ++i) {
    double sum = withX ? 1.0 * x[i] + alpha[0] * (*k[0])[i] : alpha[0] * (*k[0])[i] + alpha[1] * (*k[1])[i];
    for (int j = withX ? 1 : 2; j < N; ++j)
      sum = sum + alpha[j] * (*k[j])[i];
    v[i] = sum;
  }
  out = v;
}

// One step of size dt from x with its derivative dxdt: the new state, and
// the error estimate when asked.
template <class System>
void step(System& f, const State& x, const State& dxdt, double dt, State& out, State* err) {
  State k[13];
  k[0] = dxdt;
  const State* terms[13];
  for (int j = 0; j < 13; ++j)
    terms[j] = &k[j];
  State tmp;
  scaleSum<1>(kTableau.a[1], dt, x, terms, tmp, true);
  // Stage s takes the derivative at the state the stage before made.
  auto stage = [&](auto n, int s) {
    f(tmp, k[s - 1], 0.0);
    scaleSum<decltype(n)::value>(kTableau.a[s], dt, x, terms, tmp, true);
  };
  stage(std::integral_constant<int, 2>{}, 2);
  stage(std::integral_constant<int, 3>{}, 3);
  stage(std::integral_constant<int, 4>{}, 4);
  stage(std::integral_constant<int, 5>{}, 5);
  stage(std::integral_constant<int, 6>{}, 6);
  stage(std::integral_constant<int, 7>{}, 7);
  stage(std::integral_constant<int, 8>{}, 8);
  stage(std::integral_constant<int, 9>{}, 9);
  stage(std::integral_constant<int, 10>{}, 10);
  stage(std::integral_constant<int, 11>{}, 11);
  stage(std::integral_constant<int, 12>{}, 12);
  f(tmp, k[12], 0.0);
  scaleSum<13>(kTableau.b, dt, x, terms, out, true);
  if (err) scaleSum<13>(kTableau.db, dt, x, terms, *err, false);
}

// One step without error control from x to x at t + dt, as Odeint's
// do_step(system, x, t, dt) takes it.
template <class System> void step(System& f, State& x, double dt) {
  State dxdt;
  f(x, dxdt, 0.0);
  step(f, x, dxdt, dt, x, nullptr);
}

// One controlled step, as Odeint's controlled_runge_kutta::try_step(system,
// x, t, dt) with default_error_checker(tolerance, tolerance) and the
// rounded step adjuster: true when it was taken (x and t moved on), and dt
// the next step to try either way.
template <class System>
bool tryStep(System& f, State& x, double& t, double& dt, double tolerance,
             const RoundedStepAdjuster<double, double>& adjuster) {
  State dxdt, out, err;
  f(x, dxdt, 0.0);
  step(f, x, dxdt, dt, out, &err);
  // Each error over eps_abs + eps_rel (|x| + |dt| |dxdt|), the largest of them
  // (a NaN is passed over, as std::max passes it over from 0).
  const double dtScale = 1.0 * std::abs(dt);
  double worst = 0;
  for (int i = 0; i < 12; ++i) {
    const double e =
        std::abs(err[i]) / (tolerance + tolerance * (1.0 * std::abs(x[i]) + dtScale * std::abs(dxdt[i])));
    const double m = std::abs(e);
    worst = worst < m ? m : worst;
  }
  if (worst > 1.0) {
    dt = adjuster.decrease_step(dt, worst, 7);
    return false;
  }
  t += dt;
  dt = adjuster.increase_step(dt, worst, 8);
  x = out;
  return true;
}

} // namespace tb::rkf78
