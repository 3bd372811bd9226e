// The reference integration: adaptive Runge-Kutta-Fehlberg 7(8) steps, and
// between their ends the events of the experiment (approach, far, collision,
// revolutions, distance extrema) located by bisection on single steps from
// the step's start, which stay within the tolerance the step was taken at.
#include "reference/reference_run.h"

#include "runtime/cr_math.h"
#include "sim/experiment.h"

#include <algorithm>

namespace tb {

namespace {

using rkf78::State;

double energy(const State& s, const double* m) {
  double e = 0;
  for (int i = 0; i < 3; ++i)
    e += 0.5 * m[i] * (s[6 + 2 * i] * s[6 + 2 * i] + s[7 + 2 * i] * s[7 + 2 * i]);
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      e -= m[i] * m[j] / cr::hypot(s[2 * j] - s[2 * i], s[2 * j + 1] - s[2 * i + 1]);
  return e;
}

// Body 3's squared distance to pair body k, and its rate of change over 2.
double rsq(const State& s, int k) {
  const double dx = s[4] - s[2 * k], dy = s[5] - s[2 * k + 1];
  return dx * dx + dy * dy;
}
double radial(const State& s, int k) {
  return (s[4] - s[2 * k]) * (s[10] - s[6 + 2 * k]) + (s[5] - s[2 * k + 1]) * (s[11] - s[7 + 2 * k]);
}
double nearRsq(const State& s) { return std::min(rsq(s, 0), rsq(s, 1)); }
// The pair's turning: the cross product of body 1's place and velocity
// relative to body 0, negative while the pair's direction decreases.
double spin(const State& s) { return (s[2] - s[0]) * (s[9] - s[7]) - (s[3] - s[1]) * (s[8] - s[6]); }

// The engine's pi, 4 atan 1, taken once: the direction is asked at every step.
const double kEnginePi = 4 * cr::atan(1.0);

double pairDirection(const State& s) { return angleOf(s[2] - s[0], s[3] - s[1], kEnginePi); }
// The change of a direction in degrees, taken the short way round.
double turn(double from, double to) {
  // fmod leaves a difference below a turn as it is, and directions are in
  // [0, 360]: it is needed only for a whole turn.
  double d = to - from;
  if (!(std::abs(d) < 360)) d = std::fmod(d, 360.0);
  if (d > 180) d -= 360;
  if (d <= -180) d += 360;
  return d;
}

// Body 3's speed in the frame of the pair's starting centre against its
// escape speed from the two pair bodies, as the fixed-step engine judges it.
struct EscapeJudgement {
  EndCode pend;
  double gap;
};
EscapeJudgement judgeEscape(const State& s, const double* m) {
  const double v3 = cr::hypot(s[10], s[11]);
  const double vesc = std::sqrt(2 * (m[0] / std::sqrt(rsq(s, 0)) + m[1] / std::sqrt(rsq(s, 1))));
  return {v3 < vesc ? EndCode::FarBound : EndCode::Escaped, (v3 - vesc) / vesc};
}

} // namespace

ReferenceRun::EndSigns ReferenceRun::endSigns(const State& s) const {
  EndSigns e;
  e.radial[0] = radial(s, 0) < 0;
  e.radial[1] = radial(s, 1) < 0;
  e.firstNearer = rsq(s, 0) < rsq(s, 1);
  e.nearRsq = nearRsq(s);
  e.spin = start_.wrapRule ? spin(s) : 0;
  return e;
}

ReferenceRun::ReferenceRun(const ReferenceStart& start, const ReferenceSettings& settings)
    : start_(start), settings_(settings), g_{{start.mass[0], start.mass[1], start.mass[2]}},
      steps_(settings.plainSteps ? rkf78::kPlainSteps : rkf78::bestSteps()),
      stepper_(rkf78::Checker(settings.tolerance, settings.tolerance)), closestRsq_(INFINITY),
      theta_(start.phi0), phi_(start.phi0) {
  for (int i = 0; i < 3; ++i) {
    s_[2 * i] = start.x[i];
    s_[2 * i + 1] = start.y[i];
    s_[6 + 2 * i] = start.vx[i];
    s_[7 + 2 * i] = start.vy[i];
  }
  e0_ = energy(s_, g_.m);
  // Room for what a step and the test collect, taken once.
  out_.revolutionTimes.reserve(10);
  samples_.reserve(8);
  levels_.reserve(4);
  events_.reserve(16);
  if (start.closeAtStart) {
    out_.end = EndCode::Collision;
    finish(s_);
    return;
  }
  nearL_ = nearLimit(start.r3start);
  farL_ = farLimit(start.r3start);
  // At most a twentieth of the pair's period a step, so the pair's direction
  // turns less than half a turn between step ends.
  maxStep_ = settings.maxStep;
  const double pairMass = start.mass[0] + start.mass[1];
  const double sep = cr::hypot(start.x[1] - start.x[0], start.y[1] - start.y[0]);
  if (pairMass > 0 && sep > 0)
    maxStep_ = std::min(maxStep_, 2 * M_PI * std::sqrt(sep * sep * sep / pairMass) / 20);
  // The engine's approach is a level, not a crossing: body 3 may start
  // inside the near limit already (a light second body swings out towards it).
  approached_ = nearRsq(s_) < nearL_;
  // A pair that turns backwards from the start.
  if (start.wrapRule && spin(s_) < 0) {
    while (!count(s_, 0)) {
    }
    finish(s_);
    return;
  }
  dt_ = std::min(1e-2, maxStep_);
  ends_ = endSigns(s_);
  body_ = integrate();
  resume();
}

ReferenceRun::~ReferenceRun() {
  if (body_.handle) body_.handle.destroy();
}

void ReferenceRun::resume() {
  body_.handle.resume();
  if (body_.handle.promise().error) {
    need_ = Need::Nothing;
    std::rethrow_exception(body_.handle.promise().error);
  }
}

double ReferenceRun::pi() { return kEnginePi; }

void ReferenceRun::tried(bool accepted, double direction) {
  accepted_ = accepted;
  direction_ = direction;
  resume();
}

void ReferenceRun::parted(const State& end, double direction) {
  known_[nextKnown_] = {partAt_, end, direction};
  here_ = &known_[nextKnown_].s;
  hereDirection_ = direction;
  nextKnown_ = (nextKnown_ + 1) % kKnown;
  resume();
}

bool ReferenceRun::known(double t) {
  if (t <= t0_) {
    here_ = &s0_;
    hereDirection_ = NAN;
    return true;
  }
  if (t >= t_) {
    here_ = &s_;
    hereDirection_ = direction_;
    return true;
  }
  for (const Known& k : known_)
    if (k.t == t) {
      here_ = &k.s;
      hereDirection_ = k.direction;
      return true;
    }
  return false;
}

void ReferenceRun::judge(const State& here) {
  const EscapeJudgement j = judgeEscape(here, g_.m);
  pend_ = j.pend;
  out_.escapeGap = j.gap;
  judgePending_ = false;
}

void ReferenceRun::settleJudgement() {
  if (judgePending_) judge(judgedAt_);
}

void ReferenceRun::finish(const State& at) {
  settleJudgement();
  const double e = energy(at, g_.m);
  out_.energyError = e0_ != 0 ? std::abs((e - e0_) / e0_) : std::abs(e - e0_);
  need_ = Need::Nothing;
}

// Whether the integration ends before its next try: at the time limit, with
// its budget of tries spent, or stopped.
bool ReferenceRun::ending() {
  const bool budget = tries_ == settings_.maxTries;
  if (!(t_ < settings_.maxTime) || budget ||
      (settings_.stop && settings_.stop->load(std::memory_order_relaxed))) {
    if (t_ < settings_.maxTime) (budget ? out_.gaveUp : out_.stopped) = true;
    out_.time = t_;
    if (std::isfinite(closestRsq_)) out_.closest = std::sqrt(closestRsq_);
    finish(s_);
    return true;
  }
  return false;
}

void ReferenceRun::levelsBetween(double a, double b) {
  levels_.clear();
  if (!(start_.revref < 360) || !(b > a)) return;
  // Most steps pass no level: the first level above the last start is kept.
  if (a >= levelFrom_ && b <= levelAbove_) return;
  double k = std::floor((a - start_.revref) / 360);
  while (!(start_.revref + 360 * k > a))
    ++k;
  levelFrom_ = a;
  levelAbove_ = start_.revref + 360 * k;
  for (; start_.revref + 360 * k < b; ++k)
    levels_.push_back(start_.revref + 360 * k);
}

// The crossings of body 3's squared distance to the nearer pair body from
// na to nb, bit i for kCrossingKinds[i]: inwards through the near limit,
// outwards and inwards through the far one, inwards to a collision.
unsigned ReferenceRun::crossings(double na, double nb) const {
  auto crosses = [&](double limit, bool inwards) {
    return (na < limit) != (nb < limit) && (nb < limit) == inwards;
  };
  return crosses(nearL_, true) | crosses(farL_, false) << 1 | crosses(farL_, true) << 2 |
         crosses(kCollisionRsq, true) << 3;
}

// One counted revolution at time t: true when it ends the test.
bool ReferenceRun::count(const State& here, double t) {
  ++out_.revolutions;
  out_.revolutionTimes.push_back(t);
  if (approached_ && far_)
    judge(here);
  else
    settleJudgement();
  EndCode end = EndCode::None;
  if (pend_ != EndCode::None && out_.revolutions > 2) end = pend_;
  if (out_.revolutions == 10) end = EndCode::TenRevolutions;
  if (end == EndCode::None) return false;
  out_.end = end;
  out_.time = t;
  if (std::isfinite(closestRsq_)) out_.closest = std::sqrt(closestRsq_);
  return true;
}

ReferenceRun::Body ReferenceRun::integrate() {
  while (!ending()) {
    ++tries_;
    s0_ = s_;
    t0_ = t_;
    dt_ = std::min(dt_, maxStep_);
    need_ = Need::Try;
    co_await co::suspend_always{};
    if (!accepted_) continue;
    ++out_.steps;
    for (Known& k : known_)
      k.t = NAN;
    const State& s = s_;
    const double t0 = t0_, t = t_;
    // What the events are found from at the step's ends: its start's as the
    // last step's end left them.
    const EndSigns e0 = ends_;
    ends_ = endSigns(s);
    const EndSigns& e1 = ends_;
    // The pair's direction: the revolution levels it passes.
    const double phiNow = direction_ == direction_ ? direction_ : pairDirection(s);
    const double thetaNow = theta_ + turn(phi_, phiNow);
    levelsBetween(theta_, thetaNow);
    // Most steps have no event but their end: no extremum of body 3's
    // distances, no change of the nearer pair body, no level crossed, no
    // turning back and no revolution.
    if (e0.radial[0] == e1.radial[0] && e0.radial[1] == e1.radial[1] && e0.firstNearer == e1.firstNearer &&
        crossings(e0.nearRsq, e1.nearRsq) == 0 && !(start_.wrapRule && !(e0.spin < 0) && e1.spin < 0) &&
        levels_.empty()) {
      theta_ = thetaNow;
      phi_ = phiNow;
      handle({t, EventKind::Closest}, s);
      continue;
    }
    // The sample points: the ends, the extrema of body 3's distance to each
    // pair body, and where the nearer one changes.
    samples_ = {t0, t};
    for (int k = 0; k < 2; ++k)
      if (e0.radial[k] != e1.radial[k]) {
        rkf78::RootSearch search(t0, t);
        for (double c; search.wants(&c);)
          search.give(radial(co_await at(c), k));
        samples_.push_back(search.root());
      }
    if (e0.firstNearer != e1.firstNearer) {
      rkf78::RootSearch search(t0, t);
      for (double c; search.wants(&c);) {
        const State& x = co_await at(c);
        search.give(rsq(x, 0) - rsq(x, 1));
      }
      samples_.push_back(search.root());
    }
    std::sort(samples_.begin(), samples_.end());
    events_.clear();
    for (size_t k = 0; k + 1 < samples_.size(); ++k) {
      const double a = samples_[k], b = samples_[k + 1];
      // What the interval's ends tell, taken from each before the next
      // single step may replace it.
      const State& sa = co_await at(a);
      const double na = nearRsq(sa), spinA = start_.wrapRule ? spin(sa) : 0;
      const State& sb = co_await at(b);
      const double nb = nearRsq(sb), spinB = start_.wrapRule ? spin(sb) : 0;
      // The levels body 3's distance crosses in the interval, in the order
      // approach, far out and back in, collision.
      const unsigned crossed = crossings(na, nb);
      for (int i = 0; crossed >> i; ++i)
        if (crossed >> i & 1) {
          const double limit = i == 0 ? nearL_ : i < 3 ? farL_ : kCollisionRsq;
          rkf78::RootSearch search(a, b);
          for (double c; search.wants(&c);)
            search.give(nearRsq(co_await at(c)) - limit);
          events_.push_back({search.root(), kCrossingKinds[i]});
        }
      if (start_.wrapRule && !(spinA < 0) && spinB < 0) {
        rkf78::RootSearch search(a, b);
        for (double c; search.wants(&c);)
          search.give(spin(co_await at(c)));
        events_.push_back({search.root(), EventKind::TurnBack});
      }
      if (k > 0) events_.push_back({a, EventKind::Closest});
    }
    events_.push_back({t, EventKind::Closest});
    // The passes of the reference direction.
    for (double level : levels_) {
      rkf78::RootSearch search(t0, t);
      for (double c; search.wants(&c);) {
        const State& x = co_await at(c);
        search.give(theta_ +
                    turn(phi_, hereDirection_ == hereDirection_ ? hereDirection_ : pairDirection(x)) - level);
      }
      events_.push_back({search.root(), EventKind::Revolution});
    }
    theta_ = thetaNow;
    phi_ = phiNow;
    // In time order, events of one instant as they were found: a stable
    // insertion sort, as a step has a few events and std::stable_sort would
    // take a buffer from the heap at every step.
    for (size_t k = 1; k < events_.size(); ++k)
      for (size_t j = k; j > 0 && events_[j].t < events_[j - 1].t; --j)
        std::swap(events_[j], events_[j - 1]);
    // The third body's watch and the revolution count, in the order they happened.
    for (const Event& e : events_)
      if (handle(e, co_await at(e.t))) co_return;
  }
}

// One event of an accepted step, with the state at its instant: true when
// it ends the test.
bool ReferenceRun::handle(const Event& e, const State& here) {
  switch (e.kind) {
  case EventKind::Approach: approached_ = true; break;
  case EventKind::FarIn:
  case EventKind::FarOut:
    far_ = e.kind == EventKind::FarIn;
    if (approached_) judge(here);
    break;
  case EventKind::Collision:
    if (approached_) {
      closestRsq_ = std::min(closestRsq_, nearRsq(here));
      out_.closest = std::sqrt(closestRsq_);
      out_.end = EndCode::Collision;
      out_.time = e.t;
      finish(here);
      return true;
    }
    break;
  case EventKind::Closest:
    if (approached_) closestRsq_ = std::min(closestRsq_, nearRsq(here));
    // Judged at every step's end while body 3 is far; what counts is the
    // judgement in force when a revolution is counted or the test ends, so
    // it is made then, from the last state it was due at.
    if (approached_ && far_) {
      judgedAt_ = here;
      judgePending_ = true;
    }
    break;
  case EventKind::Revolution:
    if (count(here, e.t)) {
      finish(here);
      return true;
    }
    break;
  case EventKind::TurnBack:
    // Under the wrap rule every step of a decreasing direction counts:
    // as the step shrinks, the count runs on at this instant until it
    // ends the test.
    while (!count(here, e.t)) {
    }
    finish(here);
    return true;
  }
  return false;
}

} // namespace tb
