// The lane engine's driver: fills the lanes with tests, runs the kernel's
// passes, and hands whatever happens in few passes to the test's own
// experiment, in the order its one-at-a-time pass would meet it: the
// revolution count, the collision, the display step, the end.
#include "sim/lanes.h"

#include <stdexcept>
#include <string>

namespace tb {

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
  e.stopAtStep = stopAt_;
  if (!e.beginSolo()) {
    done_(e, false);
    return false;
  }
  const SimState& s = e.state();
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
  e.putInLane(block_, k);
  tests_[k] = &e;
  return true;
}

// An empty lane keeps stepping with the others: it takes a copy of a running
// lane, so that it computes with ordinary numbers, and reports nothing.
void LaneEngine::idle(int k) {
  tests_[k] = nullptr;
  using Lane = lanes::WideBlock::Lane;
  constexpr size_t rows = sizeof(lanes::WideBlock) / sizeof(Lane);
  static_assert(rows * sizeof(Lane) == sizeof(lanes::WideBlock));
  auto* row = reinterpret_cast<Lane*>(&block_);
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

// The lane's events of the last pass. Returns true when its test ended.
bool LaneEngine::handleEvents(int k, const lanes::Events& ev) {
  Experiment& e = *tests_[k];
  try {
    if (!e.handleLaneEvents(block_, k, ev)) return false;
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
  stopAt_ = control.stopAtStep;
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
          tests_[k]->takeFromLane(block_, k);
          tests_[k]->state().stopflag = 1;
          finish(k, true);
        }
    }
  }
}

} // namespace tb
