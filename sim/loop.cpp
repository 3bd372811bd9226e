// The main integration loop: one pass per time step until an end code is set
// or the user stops the test.
//
// Each pass runs these stages, in this order (the order is part of the result):
//   1. nstep += 1; a pass entered with an end code skips to stage 8
//   2. accelerations from the pair tables, and the running sums
//   3. yield
//   4. positions rebuilt from the start values and the double sums; pair tables
//   5. distance statistics of the pair
//   6. revolution count
//   7. third-body watch: approach, far, collision (while body 2 takes part)
//   8. display step every showevery passes, and in the pass that sets an end code
//   9. yield; the loop ends on an end code or a stop request
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "sim/experiment.h"
#include "sim/faults.h"

#include <cmath>

namespace tb {

void Experiment::slowYield() {
  uint32_t budget = forms_.doEvents();
  settleVectorState();
  yieldBudget_ = budget == 0 ? 1 : budget;
  if (forms_.ended()) throw ApplicationEnded{};
}

// Finds what made a stage produce a value outside the double range.
void Experiment::stepFault(const char* stage) {
  for (int i = 0; i <= s_.nstars; ++i)
    for (int j = 0; j <= s_.nstars; ++j)
      if (j != i && s_.rsq[i][j] == 0)
        throw ArithmeticFault(faults::bodiesCoincide(i, j, s_.nstep, s_.alpha));
  throw ArithmeticFault(faults::overflowInStep(stage, s_.nstep, s_.alpha, s_.tdelta));
}

void Experiment::accelerations() {
  SimState& s = s_;
  for (int i = 0; i <= s.nstars; ++i) {
    s.ax[i] = 0;
    s.ay[i] = 0;
    if (s.mass[i] < 0) continue;
    double ax = 0, ay = 0;
    for (int j = 0; j <= s.nstars; ++j) {
      if (j == i) continue;
      double r2 = s.rsq[i][j];
      double f = s.gconst * s.mass[j] / r2;
      double r = std::sqrt(r2);
      ax = ax + s.xdiff[i][j] * f / r;
      ay = ay + s.ydiff[i][j] * f / r;
    }
    if (!bothFinite(ax, ay)) [[unlikely]]
      stepFault("acceleration");
    addToRunningSums(s, i, ax, ay);
  }
}

void Experiment::advancePositions() {
  SimState& s = s_;
  const double n = static_cast<double>(s.nstep);
  const double dt = s.tdelta;
  for (int i = 0; i <= s.nstars; ++i) {
    double x = s.xstart[i] + dt * (n * s.vxstart[i] + dt * s.sum2ax[i]);
    x = x + s.vx[i] * dt;
    double y = s.ystart[i] + dt * (n * s.vystart[i] + dt * s.sum2ay[i]);
    y = y + s.vy[i] * dt;
    if (!bothFinite(x, y)) [[unlikely]]
      stepFault("position update");
    s.xpos[i] = x;
    s.ypos[i] = y;
    for (int j = 0; j <= s.nstars; ++j) {
      if (j == i) continue;
      double dx = s.xpos[j] - x;
      double dy = s.ypos[j] - y;
      double r2 = dx * dx + dy * dy;
      if (!std::isfinite(r2)) [[unlikely]]
        stepFault("distance");
      s.rsq[i][j] = r2;
      s.xdiff[i][j] = dx;
      s.ydiff[i][j] = dy;
    }
  }
}

void Experiment::distanceStatistics() {
  l_.dist12 = std::sqrt(s_.rsq[0][1]);
  l_.dist12sum += l_.dist12;
  if (l_.dist12 < l_.dist12min) l_.dist12min = l_.dist12;
  if (l_.dist12 > l_.dist12max) l_.dist12max = l_.dist12;
}

void Experiment::countRevolutions() {
  s_.phiold = s_.phi;
  ANGLE(s_.phi);
  countIfPassed();
}

// The pair's direction passed the reference going up between phiold and phi.
// At reference 0 the direction wraps from just under 360 to just over 0.
void Experiment::countIfPassed() {
  SimState& s = s_;
  const double ref = s.revref;
  if (s.phiold > s.phi && ref == 0) s.phiold = s.phiold - 360;
  if (s.phi > ref && ref > s.phiold) countRevolution();
}

// Near the reference or the wrap, where the passes' pseudo-angles cannot
// decide: the exact comparison on ANGLE's values of the line one pass
// earlier and now.
void Experiment::countRevolutionExact() {
  phiNow();
  s_.phiold = angleOf(line_.pdx, line_.pdy, s_.pi);
  countIfPassed();
}

// A revolution of the pair was counted.
void Experiment::countRevolution() {
  SimState& s = s_;
  s.rev = s.rev + 1;
  forms_.setText(controls::Trev, Str(s.rev));
  settleVectorState();
  if (s.pendcode != EndCode::None && s.rev > 2) s.endcode = s.pendcode;
  if (s.rev == 10) s.endcode = EndCode::TenRevolutions;
  l_.col0 = QBColor(12);
  l_.col1 = QBColor(10);
  if (s.rev % 2 == 1) {
    l_.col0 = QBColor(4);
    l_.col1 = QBColor(2);
  }
}

void Experiment::watchThirdBody() {
  SimState& s = s_;
  l_.rsqnear = s.rsq[2][0];
  l_.inear = 0;
  if (s.rsq[2][1] < l_.rsqnear) {
    l_.rsqnear = s.rsq[2][1];
    l_.inear = 1;
  }
  if (s.approached == 0) {
    if (l_.rsqnear < nearLimit(s.r3start)) s.approached = 1;
    return;
  }
  if (l_.rsqnear > farLimit(s.r3start)) {
    s.pendcode = EndCode::Escaped;
    if (l_.v3 < l_.vesc) s.pendcode = EndCode::FarBound;
  }
  if (l_.rsqnear < kCollisionRsq) {
    s.pendcode = EndCode::Collision;
    s.endcode = EndCode::Collision;
    s.nstars = s.nstars - 1;
    double merged = s.mass[l_.inear] + s.mass[2];
    if (!std::isfinite(merged)) stepFault("merged mass");
    s.mass[l_.inear] = merged;
  }
}

// Three bodies step in a block of one lane: the passes run until an event or
// until the yields they stand for are used up (two per pass, at stages 3 and
// 9); the state is brought up to date before each yield.
void Experiment::stepAlone() {
  lanes::OneBlock b{};
  putInLane(b, 0);
  const lanes::OnePassesFn passes = lanes::onePasses();
  lanes::Events ev;
  for (;;) {
    const int64_t ran = passes(b, (int64_t{yieldBudget_} + 1) / 2, ev);
    const bool ended = ev.any() && handleLaneEvents(b, 0, ev);
    if (uint64_t{yieldBudget_} > 2 * static_cast<uint64_t>(ran)) {
      yieldBudget_ -= static_cast<uint32_t>(2 * ran);
    } else {
      if (!ended) takeFromLane(b, 0);
      slowYield();
    }
    if (ended || s_.stopflag == 1) break;
  }
  phiNow();
}

void Experiment::mainLoop() {
  SimState& s = s_;
  settleVectorState();
  if (s.endcode == EndCode::None && s.nstars == 2 && !generalStages) {
    stepAlone();
    return;
  }
  do {
    s.nstep = s.nstep + 1;
    if (s.endcode == EndCode::None) {
      accelerations();
      yieldPoint();
      advancePositions();
      distanceStatistics();
      countRevolutions();
      if (s.nstars == 2) watchThirdBody();
    }
    if ((s.showevery > 0 && s.nstep % s.showevery == 0) || s.endcode != EndCode::None) displayStep();
    yieldPoint();
  } while (!(s.endcode != EndCode::None || s.stopflag == 1));
}

} // namespace tb
