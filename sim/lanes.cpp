// The lane engine's driver: fills the lanes with tests, runs the kernel's
// passes, and hands whatever happens in few passes to the test's own
// experiment, in the order its one-at-a-time pass would meet it: the
// revolution count, the collision, the display step, the end.
#include "sim/lanes.h"
#include "runtime/cr_math.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

namespace tb {

std::vector<LaneEngine::Shape> LaneEngine::shapes() {
  int n = 0;
  const lanes::Kernel* k = lanes::kernels(&n);
  std::vector<Shape> s;
  for (int i = 0; i < n; ++i)
    for (int depth = 1; depth <= lanes::kMaxDepth; ++depth)
      if (k[i].at(depth)) s.push_back({k[i].width, depth});
  std::stable_sort(s.begin(), s.end(), [](Shape a, Shape b) { return a.lanes() > b.lanes(); });
  return s;
}

std::vector<int> LaneEngine::laneCounts() {
  std::vector<int> counts;
  for (Shape s : shapes())
    if (counts.empty() || counts.back() != s.lanes()) counts.push_back(s.lanes());
  return counts;
}

namespace {

// A block of ordinary three-body tests to time the kernels on: in every lane
// a pair of equal masses on a circle of radius 50 and a light third body far
// out, each lane's pair turned a little further; no display or stop step.
void fillForTiming(lanes::WideBlock& b) {
  const double never = std::numeric_limits<double>::infinity();
  for (int k = 0; k < lanes::kMaxLanes; ++k) {
    const double turn = 0.1 * k, c = cr::cos(turn), s = cr::sin(turn);
    const double x[3] = {-50 * c, 50 * c, 0}, y[3] = {-50 * s, 50 * s, 5000};
    const double vx[3] = {1.5 * s, -1.5 * s, 0}, vy[3] = {-1.5 * c, 1.5 * c, -1};
    const double gm[3] = {1000, 1000, 1};
    for (int i = 0; i < 3; ++i) {
      b.pos[i][0][k] = b.start[i][0][k] = x[i];
      b.pos[i][1][k] = b.start[i][1][k] = y[i];
      b.v0[i][0][k] = b.v[i][0][k] = vx[i];
      b.v0[i][1][k] = b.v[i][1][k] = vy[i];
      for (int o = 0; o < 2; ++o) {
        const int j = lanes::otherBody(i, o);
        const double dx = x[j] - x[i], dy = y[j] - y[i];
        b.diff[i][o][0][k] = dx;
        b.diff[i][o][1][k] = dy;
        b.rsq[i][o][k] = dx * dx + dy * dy;
        b.gm[i][o][k] = gm[j];
      }
      b.accelerated[i][k] = 1;
    }
    b.tdelta[k] = 0.001;
    b.prefBelow[k] = 2 - lanes::kPseudoAngleMargin;
    b.prefAbove[k] = 2 + lanes::kPseudoAngleMargin;
    b.dx[k] = b.pdx[k] = x[1] - x[0];
    b.dy[k] = b.pdy[k] = y[1] - y[0];
    b.p[k] = b.pp[k] = lanes::pseudoAngle(b.dx[k], b.dy[k]);
    b.farLimit[k] = never;
    b.dist12min[k] = never;
    b.nextShow[k] = b.stopAt[k] = never;
    b.active[k] = 1;
  }
}

const lanes::Kernel* kernelOf(int width) {
  int n = 0;
  const lanes::Kernel* k = lanes::kernels(&n);
  for (int i = 0; i < n; ++i)
    if (k[i].width == width) return &k[i];
  return nullptr;
}

// Nanoseconds a pass of a kernel at one depth, the best of a few runs.
double nsPerPass(const lanes::Kernel& k, int depth) {
  auto b = std::make_unique<lanes::WideBlock>();
  fillForTiming(*b);
  lanes::Events ev;
  double best = std::numeric_limits<double>::infinity();
  for (int round = 0; round < 4; ++round) {
    const int64_t passes = 400;
    const auto t0 = std::chrono::steady_clock::now();
    for (int64_t done = 0; done < passes;)
      done += k.at(depth)(*b, passes - done, ev);
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    best = std::min(best, ns / static_cast<double>(passes));
  }
  return best;
}

// Nanoseconds a pass, by shape.
using PassCosts = std::vector<std::pair<LaneEngine::Shape, double>>;

// A shape's nanoseconds a pass in a table of them; infinite when not there.
double costOf(const PassCosts& costs, LaneEngine::Shape s) {
  for (const auto& [shape, ns] : costs)
    if (shape == s) return ns;
  return std::numeric_limits<double>::infinity();
}

// What a pass costs in every shape on this processor, timed once when the
// engine is first asked (a few milliseconds), and the default shape: the
// widest vectors, as many in flight as step fastest (a deeper engine must be
// clearly faster to be taken: where the divider is already busy with one
// vector, a second only adds lanes to the tails).
struct Timings {
  PassCosts nsPerPass;
  LaneEngine::Shape fastest;

  double of(LaneEngine::Shape s) const { return costOf(nsPerPass, s); }
};

const Timings& timings() {
  static const Timings t = [] {
    Timings t;
    for (LaneEngine::Shape s : LaneEngine::shapes())
      t.nsPerPass.emplace_back(s, nsPerPass(*kernelOf(s.width), s.depth));
    int widest = 0;
    for (const auto& [shape, ns] : t.nsPerPass)
      widest = std::max(widest, shape.width);
    t.fastest = {widest, 1};
    for (const auto& [shape, ns] : t.nsPerPass)
      if (shape.width == widest && ns / shape.lanes() < 0.95 * t.of(t.fastest) / t.fastest.lanes())
        t.fastest = shape;
    return t;
  }();
  return t;
}

} // namespace

LaneEngine::Shape LaneEngine::shapeOf(int lanes) {
  const Shape fastest = timings().fastest;
  const std::vector<Shape> all = shapes();
  if (lanes == 0 || lanes == fastest.lanes()) return fastest;
  for (Shape s : all)
    if (s.lanes() == lanes) return s;
  throw std::invalid_argument("this processor has no engine of " + std::to_string(lanes) + " lanes");
}

LaneEngine::LaneEngine(int lanes) : LaneEngine(shapeOf(lanes)) {}

LaneEngine::LaneEngine(Shape shape) : kernel_(lanes::bestKernel()), shape_(shape) {
  const lanes::Kernel* found = kernelOf(shape.width);
  if (!found || !found->at(shape.depth))
    throw std::invalid_argument("this processor has no engine of " + std::to_string(shape.depth) + " x " +
                                std::to_string(shape.width) + " lanes");
  kernel_ = *found;
  stepping_ = shape;
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
  for (int from = 0; from < stepping_.lanes(); ++from)
    if (tests_[from]) {
      copyLane(from, k);
      break;
    }
  block_.active[k] = 0;
}

// Every number of lane `from` into lane `to`.
void LaneEngine::copyLane(int from, int to) {
  using Lane = lanes::WideBlock::Lane;
  constexpr size_t rows = sizeof(lanes::WideBlock) / sizeof(Lane);
  static_assert(rows * sizeof(Lane) == sizeof(lanes::WideBlock));
  auto* row = reinterpret_cast<Lane*>(&block_);
  for (size_t r = 0; r < rows; ++r)
    row[r][to] = row[r][from];
}

// When no test is left to take, the running ones move into the first lanes
// of the shape that steps that many at the least cost a pass (fewer
// vectors in flight, or narrower ones), which alone steps on: the same
// tests, fewer idle lanes stepping beside them.
LaneEngine::Shape LaneEngine::tailShape(const std::vector<std::pair<Shape, double>>& nsPerPass, Shape now,
                                        int running) {
  Shape cheapest = now;
  const double current = costOf(nsPerPass, now);
  double least = current;
  for (const auto& [shape, ns] : nsPerPass)
    if (shape.lanes() >= running && shape.lanes() < now.lanes() && ns < least) cheapest = shape, least = ns;
  return least < 0.95 * current ? cheapest : now;
}

void LaneEngine::gather(int running) {
  const Shape cheapest = tailShape(timings().nsPerPass, stepping_, running);
  if (cheapest == stepping_) return;
  const int keep = cheapest.lanes();
  int to = 0;
  for (int from = keep; from < stepping_.lanes(); ++from) {
    if (!tests_[from]) continue;
    while (tests_[to])
      ++to;
    copyLane(from, to);
    tests_[to] = tests_[from];
    tests_[from] = nullptr;
  }
  stepping_ = cheapest;
  steppingPasses_ = kernelOf(cheapest.width)->at(cheapest.depth);
  // The lanes left empty copy a running one.
  for (int k = 0; k < keep; ++k)
    if (!tests_[k]) idle(k);
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
  stepping_ = shape_;
  steppingPasses_ = kernel_.at(shape_.depth);
  int gatheredAt = -1; // the running count of the last look for a cheaper shape
  auto interrupted = [&] {
    return control.interrupt && control.interrupt->load(std::memory_order_relaxed) != 0;
  };
  auto abandoned = [&] { return control.abandon && control.abandon->load(std::memory_order_relaxed); };
  bool more = true;
  lanes::Events ev; // the kernel clears what it sets
  for (;;) {
    const int w = stepping_.lanes();
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
    if (!more && running != gatheredAt) {
      gatheredAt = running;
      gather(running);
      continue;
    }
    steppingPasses_(block_, 4096, ev);
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
