// A test's stepping state in and out of a lane of a block of three-body
// passes: the one place where the state (state.h) and the layout the passes
// step (lane_block.h) meet, for a test alone (a block of one lane) and for
// tests side by side alike.
#include "runtime/cr_math.h"
#include "sim/experiment.h"

#include <cmath>
#include <limits>

namespace tb {

namespace {
constexpr double kNever = std::numeric_limits<double>::infinity();
using lanes::otherBody;
} // namespace

template <class Block> void Experiment::putInLane(Block& b, int k) const {
  const SimState& s = s_;
  for (int i = 0; i < 3; ++i) {
    b.pos[i][0][k] = s.xpos[i], b.pos[i][1][k] = s.ypos[i];
    b.start[i][0][k] = s.xstart[i], b.start[i][1][k] = s.ystart[i];
    b.v0[i][0][k] = s.vxstart[i], b.v0[i][1][k] = s.vystart[i];
    b.v[i][0][k] = s.vx[i], b.v[i][1][k] = s.vy[i];
    b.acc[i][0][k] = s.ax[i], b.acc[i][1][k] = s.ay[i];
    b.sum[i][0][k] = s.sumax[i], b.sum[i][1][k] = s.sumay[i];
    b.sum2[i][0][k] = s.sum2ax[i], b.sum2[i][1][k] = s.sum2ay[i];
    for (int o = 0; o < 2; ++o) {
      const int j = otherBody(i, o);
      b.diff[i][o][0][k] = s.xdiff[i][j], b.diff[i][o][1][k] = s.ydiff[i][j];
      b.rsq[i][o][k] = s.rsq[i][j];
      b.gm[i][o][k] = s.gconst * s.mass[j];
    }
    b.accelerated[i][k] = s.mass[i] < 0 ? 0 : 1;
  }
  b.nstep[k] = static_cast<double>(s.nstep);
  b.tdelta[k] = s.tdelta;
  // The revolution reference and its pseudo-angle; a reference of 360 or
  // more lies above every direction ANGLE can give.
  const double ref = s.revref;
  b.refZero[k] = ref == 0 ? 1 : 0;
  double pref = 0;
  if (ref >= 360) {
    pref = 4 + (ref - 360) / 90;
  } else if (ref != 0) {
    const double r = ref * s.pi / 180;
    pref = lanes::pseudoAngle(cr::cos(r), cr::sin(r));
  }
  b.prefBelow[k] = pref - lanes::kPseudoAngleMargin;
  b.prefAbove[k] = pref + lanes::kPseudoAngleMargin;
  const double dx = s.xpos[1] - s.xpos[0], dy = s.ypos[1] - s.ypos[0];
  b.dx[k] = b.pdx[k] = dx;
  b.dy[k] = b.pdy[k] = dy;
  b.p[k] = b.pp[k] = lanes::pseudoAngle(dx, dy);
  b.approached[k] = s.approached;
  b.pendcode[k] = b.pendBefore[k] = endNumber(s.pendcode);
  b.slower[k] = l_.v3 < l_.vesc ? 1 : 0;
  b.nearLimit[k] = nearLimit(s.r3start);
  b.farLimit[k] = farLimit(s.r3start);
  b.dist12sum[k] = l_.dist12sum;
  b.dist12min[k] = l_.dist12min;
  b.dist12max[k] = l_.dist12max;
  b.showevery[k] = s.showevery;
  // The next display step: the next multiple of showevery after nstep.
  b.nextShow[k] = s.showevery > 0 ? static_cast<double>((s.nstep / s.showevery + 1) * s.showevery) : kNever;
  b.stopAt[k] = stopAtStep && *stopAtStep > s.nstep ? static_cast<double>(*stopAtStep) : kNever;
  b.active[k] = 1;
}

template <class Block> void Experiment::takeFromLane(const Block& b, int k) {
  SimState& s = s_;
  for (int i = 0; i < 3; ++i) {
    s.xpos[i] = b.pos[i][0][k], s.ypos[i] = b.pos[i][1][k];
    s.ax[i] = b.acc[i][0][k], s.ay[i] = b.acc[i][1][k];
    s.sumax[i] = b.sum[i][0][k], s.sumay[i] = b.sum[i][1][k];
    s.sum2ax[i] = b.sum2[i][0][k], s.sum2ay[i] = b.sum2[i][1][k];
    for (int o = 0; o < 2; ++o) {
      const int j = otherBody(i, o);
      s.xdiff[i][j] = b.diff[i][o][0][k], s.ydiff[i][j] = b.diff[i][o][1][k];
      s.rsq[i][j] = b.rsq[i][o][k];
    }
  }
  s.nstep = static_cast<int64_t>(b.nstep[k]);
  s.approached = static_cast<int>(b.approached[k]);
  s.pendcode = static_cast<EndCode>(static_cast<int>(b.pendcode[k]));
  line_ = PairLine{b.dx[k], b.dy[k], b.pdx[k], b.pdy[k]};
  phiFromLine_ = true;
  l_.dist12 = std::sqrt(s.rsq[0][1]);
  l_.dist12sum = b.dist12sum[k];
  l_.dist12min = b.dist12min[k];
  l_.dist12max = b.dist12max[k];
}

template <class Block> bool Experiment::handleLaneEvents(Block& b, int k, const lanes::Events& ev) {
  const uint32_t bit = 1u << k;
  SimState& s = s_;
  if (ev.fault & bit) {
    takeFromLane(b, k);
    // The pair table as it stood when the stage failed.
    for (int i = 0; i < 3; ++i)
      for (int o = 0; o < 2; ++o)
        s.rsq[i][otherBody(i, o)] = ev.faultRsq[k][i][o];
    stepFault(ev.faultStage[k]);
  }
  if (!((ev.revCount | ev.revExact | ev.collision | ev.display | ev.stop) & bit)) return false;
  takeFromLane(b, k);
  if ((ev.revCount | ev.revExact) & bit) {
    // The count adopts the pending end code as the pass found it, before
    // the third body's watch of the same pass.
    s.pendcode = static_cast<EndCode>(static_cast<int>(b.pendBefore[k]));
    if (ev.revCount & bit)
      countRevolution();
    else
      countRevolutionExact();
    s.pendcode = static_cast<EndCode>(static_cast<int>(b.pendcode[k]));
  }
  if (ev.collision & bit) watchThirdBody();
  if ((ev.display & bit) || s.endcode != EndCode::None) displayStep();
  // What the events changed that the passes read.
  b.pendcode[k] = endNumber(s.pendcode);
  b.approached[k] = s.approached;
  b.slower[k] = l_.v3 < l_.vesc ? 1 : 0;
  if (ev.stop & bit) s.stopflag = 1;
  return s.endcode != EndCode::None || s.stopflag == 1;
}

double& Experiment::phiNow() {
  if (phiFromLine_) {
    s_.phi = angleOf(line_.dx, line_.dy, s_.pi);
    phiFromLine_ = false;
  }
  return s_.phi;
}

template void Experiment::putInLane(lanes::OneBlock&, int) const;
template void Experiment::putInLane(lanes::WideBlock&, int) const;
template void Experiment::takeFromLane(const lanes::OneBlock&, int);
template void Experiment::takeFromLane(const lanes::WideBlock&, int);
template bool Experiment::handleLaneEvents(lanes::OneBlock&, int, const lanes::Events&);
template bool Experiment::handleLaneEvents(lanes::WideBlock&, int, const lanes::Events&);

} // namespace tb
