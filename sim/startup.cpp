// Start-up phase of a test, between INITIALISE and the main loop. Its stages,
// in this order:
//   1. the pair table at step 0 from the start positions; running sums cleared
//   2. the accelerations at step 0 (a body of negative mass is not accelerated)
//   3. a look one step back: the separations then; closer than 1 ends the test
//   4. the step-0 table again and the sums cleared, so stepping starts clean
//   5. the read-out throttle starts
//   6. the pair's centre of mass from the step-0 table
//   7. the cleared plot with three start markers
//   8. the pair's distance trackers
#include "runtime/numeric.h"
#include "sim/experiment.h"
#include "sim/faults.h"

#include <cmath>

namespace tb {

namespace {

// Step-0 pair table from the start positions, both orders of every pair.
void fillStartTable(SimState& s) {
  for (int i = 0; i <= s.nstars; ++i) {
    for (int j = 0; j <= s.nstars; ++j) {
      if (j == i) continue;
      s.xdiff[i][j] = s.xstart[j] - s.xstart[i];
      s.ydiff[i][j] = s.ystart[j] - s.ystart[i];
      s.rsq[i][j] = s.xdiff[i][j] * s.xdiff[i][j] + s.ydiff[i][j] * s.ydiff[i][j];
    }
  }
}

void clearSums(SimState& s) {
  for (int i = 0; i <= s.nstars; ++i) {
    s.sumax[i] = 0;
    s.sum2ax[i] = 0;
    s.sumay[i] = 0;
    s.sum2ay[i] = 0;
  }
}

// Accelerations at step 0 from the pair table, into the running sums.
void accelerationsAtStart(SimState& s) {
  for (int i = 0; i <= s.nstars; ++i) {
    s.ax[i] = 0;
    s.ay[i] = 0;
    if (s.mass[i] < 0) continue;
    double ax = 0, ay = 0;
    for (int j = 0; j <= s.nstars; ++j) {
      if (j == i) continue;
      if (s.rsq[i][j] == 0) throw ArithmeticFault(faults::bodiesCoincide(i, j, 0, s.alpha));
      double f = s.mass[j] * s.gconst / s.rsq[i][j];
      ax = ax + s.xdiff[i][j] * f / std::sqrt(s.rsq[i][j]);
      ay = ay + s.ydiff[i][j] * f / std::sqrt(s.rsq[i][j]);
    }
    if (!std::isfinite(ax) || !std::isfinite(ay))
      throw ArithmeticFault(faults::overflowInStep("acceleration at the start", 0, s.alpha, s.tdelta));
    addToRunningSums(s, i, ax, ay);
  }
}

// The pair table one step before the start (nstep is -1); two bodies closer
// than 1 there end the test as a collision.
void lookOneStepBack(SimState& s) {
  const double nstep = static_cast<double>(s.nstep);
  for (int i = 0; i <= s.nstars; ++i) {
    for (int j = 0; j <= s.nstars; ++j) {
      if (j == i) continue;
      double xd = (s.xstart[j] - s.xstart[i]) +
                  s.tdelta * (nstep * (s.vxstart[j] - s.vxstart[i]) + s.tdelta * (s.sum2ax[j] - s.sum2ax[i]));
      double yd = (s.ystart[j] - s.ystart[i]) +
                  s.tdelta * (nstep * (s.vystart[j] - s.vystart[i]) + s.tdelta * (s.sum2ay[j] - s.sum2ay[i]));
      double r = xd * xd + yd * yd;
      if (!std::isfinite(r))
        throw ArithmeticFault(
            faults::overflowInStep("position one step before the start", -1, s.alpha, s.tdelta));
      s.xdiff[i][j] = xd;
      s.ydiff[i][j] = yd;
      s.rsq[i][j] = r;
      if (s.rsq[i][j] < 1) s.endcode = EndCode::Collision;
    }
  }
}

} // namespace

void Experiment::startupPhase() {
  SimState& s = s_;
  fillStartTable(s);
  clearSums(s);
  s.nstep = -1;
  accelerationsAtStart(s);
  lookOneStepBack(s);

  fillStartTable(s);
  clearSums(s);
  s.nstep = 0;
  l_.tshown = forms_.timer();

  double w = s.rsq[0][1] * s.mass[1] / (s.mass[1] + s.mass[0]);
  l_.xcm = s.xpos[0] + (s.xpos[1] - s.xpos[0]) * w / s.rsq[0][1];
  l_.ycm = s.ypos[0] + (s.ypos[1] - s.ypos[0]) * w / s.rsq[0][1];
  if (!std::isfinite(l_.xcm) || !std::isfinite(l_.ycm)) throw ArithmeticFault(faults::overflowAtStart());

  // The centre of mass in black, and the pair's bodies a little further out.
  double extent = s.plot.xmax - s.plot.xmin;
  if (extent == 0) throw ArithmeticFault(faults::zeroPlotWindow(s.plot.xmax));
  forms_.cls(FormId::Form2);
  PointSet(forms_, s.plot, l_.xcm, l_.ycm, QBColor(0), 2);
  PointSet(forms_, s.plot, 1.15 * (s.xpos[0] - l_.xcm), 1.15 * (l_.ycm - s.ypos[0]),
           forms_.bodyColour(0, l_.col0), 2);
  PointSet(forms_, s.plot, 1.15 * (s.xpos[1] - l_.xcm), 1.15 * (l_.ycm - s.ypos[1]),
           forms_.bodyColour(1, l_.col1), 2);

  l_.dist12sum = 0;
  l_.dist12 = std::sqrt(s.rsq[0][1]);
  l_.dist12min = l_.dist12;
  l_.dist12max = l_.dist12;
}

} // namespace tb
