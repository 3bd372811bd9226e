// The reference integration: adaptive Runge-Kutta-Fehlberg 7(8) steps, and
// between their ends the events of the experiment (approach, far, collision,
// revolutions, distance extrema) located by bisection on single steps from
// the step's start, which stay within the tolerance the step was taken at.
#include "reference/reference.h"

#include "reference/rkf78_steps.h"
#include "runtime/controls.h"
#include "runtime/cr_math.h"
#include "runtime/memory_forms.h"
#include "sim/experiment.h"

#include <algorithm>
#include <cstdio>

namespace tb {

namespace {

using namespace rkf78;

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
  double d = std::fmod(to - from, 360.0);
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

enum class EventKind { Approach, FarIn, FarOut, Collision, Revolution, TurnBack, Closest };
struct Event {
  double t;
  EventKind kind;
};

} // namespace

ReferenceStart referenceStart(const FieldTexts& fields, double alpha) {
  std::vector<std::pair<std::string, std::string>> texts = fields;
  texts.emplace_back(controls::LMesg, "");
  texts.emplace_back(controls::Trev, "0");
  MemoryForms forms(std::move(texts),
                    {WindowDesign{4440, 4080}, WindowDesign{4680, 5835}, WindowDesign{6420, 6420}});
  Experiment e(forms);
  e.state().pi = kEnginePi;
  e.state().alpha = alpha;
  e.INITIALISE();
  const SimState& s = e.state();
  ReferenceStart r;
  for (int i = 0; i < 3; ++i) {
    r.mass[i] = s.mass[i];
    r.x[i] = s.xstart[i];
    r.y[i] = s.ystart[i];
    r.vx[i] = s.vxstart[i];
    r.vy[i] = s.vystart[i];
  }
  r.revref = s.revref;
  r.wrapRule = s.revref == 0;
  r.phi0 = s.phi;
  r.r3start = s.r3start;
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (cr::hypot(r.x[j] - r.x[i], r.y[j] - r.y[i]) < 1) r.closeAtStart = true;
  return r;
}

ReferenceStart turnedPair(ReferenceStart s, double radians) {
  const double c = cr::cos(radians), sn = cr::sin(radians);
  for (int i = 0; i < 2; ++i) {
    const double x = s.x[i], y = s.y[i], vx = s.vx[i], vy = s.vy[i];
    s.x[i] = c * x - sn * y;
    s.y[i] = sn * x + c * y;
    s.vx[i] = c * vx - sn * vy;
    s.vy[i] = sn * vx + c * vy;
  }
  // The revolution reference turns with the pair, and so does its start
  // direction, so that whether the start counts a revolution stays as it
  // was; the rule the engine counts by stays too.
  const double degrees = radians * 180 / kEnginePi;
  s.phi0 += degrees;
  s.revref += degrees;
  return s;
}

ReferenceOutcome integrateReference(const ReferenceStart& start, const ReferenceSettings& settings) {
  ReferenceOutcome out;
  const Gravity g{{start.mass[0], start.mass[1], start.mass[2]}};
  State s{};
  for (int i = 0; i < 3; ++i) {
    s[2 * i] = start.x[i];
    s[2 * i + 1] = start.y[i];
    s[6 + 2 * i] = start.vx[i];
    s[7 + 2 * i] = start.vy[i];
  }
  const double e0 = energy(s, g.m);
  auto finish = [&](const State& at) {
    const double e = energy(at, g.m);
    out.energyError = e0 != 0 ? std::abs((e - e0) / e0) : std::abs(e - e0);
    return out;
  };
  if (start.closeAtStart) {
    out.end = EndCode::Collision;
    return finish(s);
  }
  const double nearL = nearLimit(start.r3start), farL = farLimit(start.r3start);
  // At most a twentieth of the pair's period a step, so the pair's direction
  // turns less than half a turn between step ends.
  double maxStep = settings.maxStep;
  const double pairMass = start.mass[0] + start.mass[1];
  const double sep = cr::hypot(start.x[1] - start.x[0], start.y[1] - start.y[0]);
  if (pairMass > 0 && sep > 0)
    maxStep = std::min(maxStep, 2 * M_PI * std::sqrt(sep * sep * sep / pairMass) / 20);

  // The engine's approach is a level, not a crossing: body 3 may start
  // inside the near limit already (a light second body swings out towards it).
  bool approached = nearRsq(s) < nearL, far = false;
  EndCode pend = EndCode::None;
  double closestRsq = INFINITY;
  // The unwrapped direction of the pair; revolutions are its passes upwards
  // through revref + 360 k (strictly, as the engine compares).
  double theta = start.phi0, phi = start.phi0;
  auto levelsBetween = [&](double a, double b, std::vector<double>& levels) {
    levels.clear();
    if (!(start.revref < 360) || !(b > a)) return;
    for (double k = std::floor((a - start.revref) / 360); start.revref + 360 * k < b; ++k) {
      const double level = start.revref + 360 * k;
      if (level > a) levels.push_back(level);
    }
  };

  // One counted revolution at time t: true when it ends the test.
  auto count = [&](const State& here, double t) {
    ++out.revolutions;
    out.revolutionTimes.push_back(t);
    if (approached && far) {
      const EscapeJudgement j = judgeEscape(here, g.m);
      pend = j.pend;
      out.escapeGap = j.gap;
    }
    EndCode end = EndCode::None;
    if (pend != EndCode::None && out.revolutions > 2) end = pend;
    if (out.revolutions == 10) end = EndCode::TenRevolutions;
    if (end == EndCode::None) return false;
    out.end = end;
    out.time = t;
    if (std::isfinite(closestRsq)) out.closest = std::sqrt(closestRsq);
    return true;
  };
  // A pair that turns backwards from the start.
  if (start.wrapRule && spin(s) < 0) {
    while (!count(s, 0)) {
    }
    return finish(s);
  }

  const Steps& steps = settings.plainSteps ? kPlainSteps : bestSteps();
  Controlled stepper(Checker(settings.tolerance, settings.tolerance));
  double t = 0, dt = std::min(1e-2, maxStep);
  std::vector<double> samples, levels;
  std::vector<Event> events;
  for (int64_t tries = 0; t < settings.maxTime; ++tries) {
    if (tries == settings.maxTries || (settings.stop && settings.stop->load(std::memory_order_relaxed))) {
      (tries == settings.maxTries ? out.gaveUp : out.stopped) = true;
      break;
    }
    const State s0 = s;
    const double t0 = t;
    dt = std::min(dt, maxStep);
    if (!steps.tryStep(stepper, g, s, t, dt)) continue;
    ++out.steps;
    const Interval iv(g, steps, t0, s0, t, s);
    // The sample points: the ends, the extrema of body 3's distance to each
    // pair body, and where the nearer one changes.
    samples = {t0, t};
    for (int k = 0; k < 2; ++k)
      if ((radial(s0, k) < 0) != (radial(s, k) < 0))
        samples.push_back(iv.root(t0, t, [k](const State& x) { return radial(x, k); }));
    if ((rsq(s0, 0) < rsq(s0, 1)) != (rsq(s, 0) < rsq(s, 1)))
      samples.push_back(iv.root(t0, t, [](const State& x) { return rsq(x, 0) - rsq(x, 1); }));
    std::sort(samples.begin(), samples.end());
    events.clear();
    for (size_t k = 0; k + 1 < samples.size(); ++k) {
      const double a = samples[k], b = samples[k + 1];
      const State sa = iv.at(a), sb = iv.at(b);
      const double na = nearRsq(sa), nb = nearRsq(sb);
      auto crossing = [&](double limit, bool downwards, EventKind kind) {
        if ((na < limit) != (nb < limit) && (nb < limit) == downwards)
          events.push_back({iv.root(a, b, [limit](const State& x) { return nearRsq(x) - limit; }), kind});
      };
      crossing(nearL, true, EventKind::Approach);
      crossing(farL, false, EventKind::FarIn);
      crossing(farL, true, EventKind::FarOut);
      crossing(kCollisionRsq, true, EventKind::Collision);
      if (start.wrapRule && !(spin(sa) < 0) && spin(sb) < 0)
        events.push_back({iv.root(a, b, spin), EventKind::TurnBack});
      if (k > 0) events.push_back({a, EventKind::Closest});
    }
    events.push_back({t, EventKind::Closest});
    // The pair's direction: passes of the reference direction.
    const double phiNow = pairDirection(s);
    const double thetaNow = theta + turn(phi, phiNow);
    levelsBetween(theta, thetaNow, levels);
    for (double level : levels) {
      const double th0 = theta, ph0 = phi;
      events.push_back(
          {iv.root(t0, t, [&](const State& x) { return th0 + turn(ph0, pairDirection(x)) - level; }),
           EventKind::Revolution});
    }
    theta = thetaNow;
    phi = phiNow;
    std::stable_sort(events.begin(), events.end(), [](const Event& x, const Event& y) { return x.t < y.t; });
    // The third body's watch and the revolution count, in the order they happened.
    for (const Event& e : events) {
      const State here = iv.at(e.t);
      switch (e.kind) {
      case EventKind::Approach: approached = true; break;
      case EventKind::FarIn:
      case EventKind::FarOut:
        far = e.kind == EventKind::FarIn;
        if (approached) {
          const EscapeJudgement j = judgeEscape(here, g.m);
          pend = j.pend;
          out.escapeGap = j.gap;
        }
        break;
      case EventKind::Collision:
        if (approached) {
          closestRsq = std::min(closestRsq, nearRsq(here));
          out.closest = std::sqrt(closestRsq);
          out.end = EndCode::Collision;
          out.time = e.t;
          return finish(here);
        }
        break;
      case EventKind::Closest:
        if (approached) closestRsq = std::min(closestRsq, nearRsq(here));
        if (approached && far) {
          const EscapeJudgement j = judgeEscape(here, g.m);
          pend = j.pend;
          out.escapeGap = j.gap;
        }
        break;
      case EventKind::Revolution:
        if (count(here, e.t)) return finish(here);
        break;
      case EventKind::TurnBack:
        // Under the wrap rule every step of a decreasing direction counts:
        // as the step shrinks, the count runs on at this instant until it
        // ends the test.
        while (!count(here, e.t)) {
        }
        return finish(here);
      }
    }
  }
  out.time = t;
  if (std::isfinite(closestRsq)) out.closest = std::sqrt(closestRsq);
  return finish(s);
}

} // namespace tb
