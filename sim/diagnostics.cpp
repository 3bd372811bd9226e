// Energy and angular momentum of the bodies, for the drift a test reports.
#include "sim/diagnostics.h"
#include "runtime/cr_math.h"

#include <cmath>

namespace tb {

namespace {

Conserved conserved(const SimState& s, const double* x, const double* y, const double* vx, const double* vy) {
  Conserved c;
  for (int i = 0; i <= s.nstars; ++i) {
    c.energy += 0.5 * s.mass[i] * (vx[i] * vx[i] + vy[i] * vy[i]);
    c.angularMomentum += s.mass[i] * (x[i] * vy[i] - y[i] * vx[i]);
    for (int j = i + 1; j <= s.nstars; ++j) {
      double r = cr::hypot(x[j] - x[i], y[j] - y[i]);
      c.energy -= s.gconst * s.mass[i] * s.mass[j] / r;
    }
  }
  return c;
}

} // namespace

Conserved conservedAtStart(const SimState& s) {
  return conserved(s, s.xstart, s.ystart, s.vxstart, s.vystart);
}

Conserved conservedNow(const SimState& s) {
  double vx[kMaxBodies], vy[kMaxBodies];
  for (int i = 0; i <= s.nstars; ++i) {
    vx[i] = s.vx[i] + s.sumax[i] * s.tdelta;
    vy[i] = s.vy[i] + s.sumay[i] * s.tdelta;
  }
  return conserved(s, s.xpos, s.ypos, vx, vy);
}

} // namespace tb
