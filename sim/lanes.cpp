// The lane engine's driver: fills the lanes with tests, runs the kernel's
// passes, and hands whatever happens in few passes to the test's own
// experiment, in the order its one-at-a-time pass would meet it: the
// revolution count, the collision, the display step, the end.
#include "sim/lanes.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace tb {

namespace {
constexpr double kNever = std::numeric_limits<double>::infinity();
using lanes::otherBody;
} // namespace

std::vector<int> LaneEngine::widths() {
  int n = 0;
  const lanes::Kernel* k = lanes::kernels(&n);
  std::vector<int> w;
  for (int i = 0; i < n; ++i)
    w.push_back(k[i].width);
  return w;
}

LaneEngine::LaneEngine(int width) : kernel_(lanes::bestKernel()) {
  int n = 0;
  const lanes::Kernel* k = lanes::kernels(&n);
  if (width == 0) return;
  for (int i = 0; i < n; ++i)
    if (k[i].width == width) kernel_ = k[i];
  if (kernel_.width != width)
    throw std::invalid_argument("this processor has no " + std::to_string(width) + "-lane vectors");
}

// Takes the experiment's test, set up to its first pass, into a lane. A test
// that ends in its first pass (a collision one step before the start) runs
// that pass on its own.
bool LaneEngine::load(int k, Experiment& e) {
  if (!e.beginSolo()) {
    done_(e, false);
    return false;
  }
  const SimState& s = e.s_;
  if (s.endcode != EndCode::None || s.nstars != 2) {
    try {
      e.mainLoop();
      e.finishSolo();
    } catch (const ArithmeticFault& fault) {
      e.endSoloWithFault(fault);
    }
    done_(e, false);
    return false;
  }
  copyIntoLane(k, e);
  tests_[k] = &e;
  return true;
}

// The test's state at its first pass into lane k.
void LaneEngine::copyIntoLane(int k, const Experiment& e) {
  const SimState& s = e.s_;
  lanes::Block& b = block_;
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
  const auto& w = e.watch_;
  const SeriesLocals& l = e.l_;
  b.nstep[k] = static_cast<double>(s.nstep);
  b.tdelta[k] = s.tdelta;
  b.ref[k] = static_cast<double>(s.alphadeg);
  b.refZero[k] = b.ref[k] == 0 ? 1 : 0;
  b.pref[k] = w.pref;
  b.dx[k] = b.pdx[k] = w.dx;
  b.dy[k] = b.pdy[k] = w.dy;
  b.p[k] = b.pp[k] = w.p;
  b.approached[k] = s.approached;
  b.pendcode[k] = b.pendBefore[k] = endNumber(s.pendcode);
  b.slower[k] = l.v3 < l.vesc ? 1 : 0;
  b.nearLimit[k] = nearLimit(s.r3start);
  b.farLimit[k] = farLimit(s.r3start);
  b.dist12sum[k] = l.dist12sum;
  b.dist12min[k] = l.dist12min;
  b.dist12max[k] = l.dist12max;
  b.showevery[k] = s.showevery;
  b.nextShow[k] = s.showevery > 0 ? s.showevery : kNever;
  b.stopAt[k] = stopAt_ >= 1 ? static_cast<double>(stopAt_) : kNever;
  b.active[k] = 1;
}

// The lane's values into its experiment's state, as the one-at-a-time
// engine's state stands at the same point of the pass.
void LaneEngine::toExperiment(int k) {
  Experiment& e = *tests_[k];
  SimState& s = e.s_;
  const lanes::Block& b = block_;
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
  SeriesLocals& l = e.l_;
  l.dist12 = std::sqrt(s.rsq[0][1]);
  l.dist12sum = b.dist12sum[k];
  l.dist12min = b.dist12min[k];
  l.dist12max = b.dist12max[k];
  auto& w = e.watch_;
  w.dx = b.dx[k], w.dy = b.dy[k], w.p = b.p[k], w.exact = false;
  w.pdx = b.pdx[k], w.pdy = b.pdy[k], w.pp = b.pp[k], w.pexact = false;
  e.lanesAhead_ = false;
}

// What the experiment changed that the passes read.
void LaneEngine::fromExperiment(int k) {
  const Experiment& e = *tests_[k];
  block_.pendcode[k] = endNumber(e.s_.pendcode);
  block_.approached[k] = e.s_.approached;
  block_.slower[k] = e.l_.v3 < e.l_.vesc ? 1 : 0;
}

// An empty lane keeps stepping with the others: it takes a copy of a running
// lane, so that it computes with ordinary numbers, and reports nothing.
void LaneEngine::idle(int k) {
  tests_[k] = nullptr;
  constexpr size_t rows = sizeof(lanes::Block) / sizeof(lanes::Lane);
  static_assert(rows * sizeof(lanes::Lane) == sizeof(lanes::Block));
  auto* row = reinterpret_cast<lanes::Lane*>(&block_);
  for (int from = 0; from < width(); ++from)
    if (tests_[from]) {
      for (size_t r = 0; r < rows; ++r)
        row[r][k] = row[r][from];
      break;
    }
  block_.active[k] = 0;
}

void LaneEngine::finish(int k, bool interrupted) {
  Experiment& e = *tests_[k];
  e.finishSolo();
  idle(k);
  done_(e, interrupted);
}

// The lane's events of the last pass, in the order of the pass's stages.
// Returns true when its test ended.
bool LaneEngine::handleEvents(int k, const lanes::Events& ev) {
  const uint32_t bit = 1u << k;
  Experiment& e = *tests_[k];
  SimState& s = e.s_;
  try {
    if (ev.fault & bit) {
      toExperiment(k);
      for (int i = 0; i < 3; ++i)
        for (int o = 0; o < 2; ++o)
          s.rsq[i][otherBody(i, o)] = ev.faultRsq[k][i][o];
      e.stepFault(ev.faultStage[k]);
    }
    if (!((ev.revCount | ev.revExact | ev.collision | ev.display | ev.stop) & bit)) return false;
    toExperiment(k);
    if ((ev.revCount | ev.revExact) & bit) {
      // The count adopts the pending end code as the pass found it, before
      // the third body's watch of the same pass.
      s.pendcode = static_cast<EndCode>(static_cast<int>(block_.pendBefore[k]));
      if (ev.revCount & bit)
        e.countRevolution();
      else
        e.countRevolutionExact();
      s.pendcode = static_cast<EndCode>(static_cast<int>(block_.pendcode[k]));
    }
    if (ev.collision & bit) e.watchThirdBody();
    if ((ev.display & bit) || s.endcode != EndCode::None) e.displayStep();
    fromExperiment(k);
    if (ev.stop & bit) s.stopflag = 1;
    if (s.endcode == EndCode::None && s.stopflag != 1) return false;
    finish(k, false);
  } catch (const ArithmeticFault& fault) {
    e.endSoloWithFault(fault);
    idle(k);
    done_(e, false);
  }
  return true;
}

void LaneEngine::run(const std::function<Experiment*()>& next,
                     const std::function<void(Experiment&, bool)>& done, const Control& control) {
  done_ = done;
  stopAt_ = control.stopAtStep.value_or(-1);
  const int w = width();
  auto interrupted = [&] {
    return control.interrupt && control.interrupt->load(std::memory_order_relaxed) != 0;
  };
  auto abandoned = [&] { return control.abandon && control.abandon->load(std::memory_order_relaxed); };
  bool more = true;
  lanes::Events ev; // the kernel clears what it sets
  for (;;) {
    if (abandoned()) {
      for (int k = 0; k < w; ++k)
        if (tests_[k]) idle(k);
      return;
    }
    int running = 0;
    for (int k = 0; k < w; ++k) {
      // A test that faults while loading leaves its lane empty for the next
      // one; after a stop no lane takes more than that first test, so that
      // a stop is answered even when every test left faults at once.
      for (int taken = 0; !tests_[k] && more; ++taken) {
        if (taken > 0 && (interrupted() || abandoned())) {
          more = false;
          break;
        }
        Experiment* e = next();
        if (!e)
          more = false;
        else
          load(k, *e);
      }
      running += tests_[k] ? 1 : 0;
    }
    if (running == 0) return;
    kernel_.passes(block_, 4096, ev);
    if (ev.any())
      for (int k = 0; k < w; ++k)
        if (tests_[k]) handleEvents(k, ev);
    // Checked after the passes, so that every test it stops made at least
    // one, as a Stop click at the first yield lets it.
    if (interrupted()) {
      more = false;
      for (int k = 0; k < w; ++k)
        if (tests_[k]) {
          toExperiment(k);
          tests_[k]->s_.stopflag = 1;
          finish(k, true);
        }
    }
  }
}

} // namespace tb
