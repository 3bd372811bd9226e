// Display step, every 100 steps and when a test ends. Its stages, in order:
//   1. the third body's speed and its escape speed from the pair
//   2. the pair's centre of mass and the bodies' distances from it
//   3. the read-outs, at most ten refreshes a second
//   4. one trail dot per body
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "sim/experiment.h"
#include "sim/faults.h"

#include <cmath>

namespace tb {

namespace {
double distance(double x, double y, double cx, double cy) {
  return std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
}
// Int(10 * v) / 10 in single precision: one decimal, cut.
double cut1(double v) { return Int(10 * v) / 10; }
} // namespace

void Experiment::displayStep() {
  l_.displayed = true;
  thirdBodySpeeds();
  pairCentre();
  // Read-outs at most ten times a second, and always when the test ends.
  double now = forms_.timer();
  if (s_.endcode != EndCode::None || l_.tshown + 0.1 < now) refreshReadouts();
  drawDots();
  settleVectorState();
  if (onDisplayStep) onDisplayStep();
}

// The third body's speed, also after it was absorbed (from its last values),
// and its escape speed from the pair while it takes part.
void Experiment::thirdBodySpeeds() {
  SimState& s = s_;
  s.vxnow[2] = s.vx[2] + s.sumax[2] * s.tdelta;
  s.vynow[2] = s.vy[2] + s.sumay[2] * s.tdelta;
  float v3 = static_cast<float>(std::sqrt(s.vxnow[2] * s.vxnow[2] + s.vynow[2] * s.vynow[2]));
  if (std::isinf(v3)) stepFault("speed of the third body");
  l_.v3 = v3;
  if (l_.v3 > l_.v3max) l_.v3max = l_.v3;
  if (s.nstars > 1) {
    double arg = 2 * (s.mass[0] / std::sqrt(s.rsq[2][0]) + s.mass[1] / std::sqrt(s.rsq[2][1]));
    if (!(arg >= 0) || std::isinf(static_cast<float>(std::sqrt(arg))))
      throw ArithmeticFault(faults::negativeEscapeSpeed(s.mass[1], s.mass[2]));
    l_.vesc = static_cast<float>(std::sqrt(arg));
  }
}

// The pair's centre of mass and each body's distance from it.
void Experiment::pairCentre() {
  const SimState& s = s_;
  double total = s.mass[0] + s.mass[1];
  if (total == 0) throw ArithmeticFault(faults::zeroPairMassAfterMerge(s.mass[0], s.mass[1]));
  double xcm = s.xpos[0] + (s.xpos[1] - s.xpos[0]) * s.mass[1] / total;
  double ycm = s.ypos[0] + (s.ypos[1] - s.ypos[0]) * s.mass[1] / total;
  double r1 = distance(s.xpos[0], s.ypos[0], xcm, ycm);
  double r2 = distance(s.xpos[1], s.ypos[1], xcm, ycm);
  double r3 = distance(s.xpos[2], s.ypos[2], xcm, ycm);
  if (!std::isfinite(xcm + ycm) || !std::isfinite(r1 + r2 + r3)) stepFault("centre of mass");
  l_.xcm = xcm;
  l_.ycm = ycm;
  l_.r1 = r1;
  l_.r2 = r2;
  l_.r3 = r3;
}

void Experiment::refreshReadouts() {
  const SimState& s = s_;
  forms_.setText(controls::Tcycle, Str(s.nstep));
  forms_.setText(controls::Tr1, Str(l_.r1));
  forms_.setText(controls::Tr2, Str(l_.r2));
  forms_.setText(controls::Tr3, Str(l_.r3));
  forms_.setText(controls::Tvesc, StrSingle(cut3(l_.vesc)));
  forms_.setText(controls::Tv3, StrSingle(cut3(l_.v3)));
  forms_.setText(controls::Tv3max, StrSingle(cut3(l_.v3max)));
  l_.dist12 = std::sqrt(s.rsq[0][1]);
  forms_.setText(controls::Tdist01, Str(cut1(l_.dist12)));
  forms_.setText(controls::Tdist01min, Str(cut1(l_.dist12min)));
  forms_.setText(controls::Tdist01max, Str(cut1(l_.dist12max)));
  forms_.setText(controls::Tphi, Str(cut1(phiNow())));
  l_.tshown = forms_.timer();
  l_.readoutsWritten = true;
}

// One dot per body, relative to the pair's centre, y turned over: the third
// body black while slower than its escape speed, light red while faster.
void Experiment::drawDots() {
  const SimState& s = s_;
  PointSet(forms_, s.plot, s.xpos[0] - l_.xcm, l_.ycm - s.ypos[0], forms_.bodyColour(0, l_.col0), 2);
  PointSet(forms_, s.plot, s.xpos[1] - l_.xcm, l_.ycm - s.ypos[1], forms_.bodyColour(1, l_.col1), 2);
  l_.col2 = QBColor(0);
  if (l_.v3 > l_.vesc) l_.col2 = QBColor(12);
  if (s.nstars > 1)
    PointSet(forms_, s.plot, s.xpos[2] - l_.xcm, l_.ycm - s.ypos[2], forms_.bodyColour(2, l_.col2), 1);
}

} // namespace tb
