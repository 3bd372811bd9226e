// Reference integrations alone, and side by side: the steps of up to
// kLanes at a time (tries, and the single steps that locate events) on
// vector lanes, a lane taking the next integration as soon as its own ends;
// each integration's own steps, events and end as it has them alone.
#include "reference/reference_run.h"
#include "reference/rkf78_lanes.h"

#include <memory>

namespace tb {

namespace {

using namespace rkf78;

// A run's next step made alone.
void stepAlone(ReferenceRun& r) {
  if (r.wantsTry()) {
    r.tried(r.steps().tryStep(r.stepper(), r.gravity(), r.state(), r.time(), r.dt()));
  } else {
    State end = r.partState();
    r.steps().partStep(r.gravity(), end, r.partTime(), r.partSpan());
    r.parted(end);
  }
}

// The next step of each run in `runs` (each wants one): a try, or a single
// step of an event search. On the lanes, or alone for a run left by itself,
// where the lanes would compute copies for nothing.
void stepAll(ReferenceRun* const* runs, int n, LaneTries& lanes,
             const RoundedStepAdjuster<double, double>& adjuster) {
  if (n == 1) {
    stepAlone(*runs[0]);
    return;
  }
  // A single step is a try whose error estimate goes unused: its end is
  // the same sum of the same stages.
  lanes.count = n;
  lanes.smallestError = adjuster.smallestError(Stepper::stepper_order_value);
  lanes.pi = ReferenceRun::pi();
  for (int l = 0; l < kLanes; ++l) {
    ReferenceRun& r = *runs[l < n ? l : 0];
    const bool trying = r.wantsTry();
    const State& from = trying ? r.state() : r.partState();
    for (int i = 0; i < 3; ++i)
      lanes.m[i][l] = r.gravity().m[i];
    for (int e = 0; e < 12; ++e)
      lanes.x[e][l] = from[e];
    lanes.dt[l] = trying ? r.dt() : r.partSpan();
    lanes.tolerance[l] = r.tolerance();
  }
  stepLanes(lanes);
  for (int l = 0; l < n; ++l) {
    ReferenceRun& r = *runs[l];
    if (!r.wantsTry()) {
      State end;
      for (int e = 0; e < 12; ++e)
        end[e] = lanes.out[e][l];
      r.parted(end, lanes.direction[l]);
      continue;
    }
    // The controlled stepper's verdict on the try and its next step.
    const double error = lanes.error[l];
    double& dt = r.dt();
    if (error > 1.0) {
      const double shrink = lanes.shrink[l];
      dt = shrink == shrink ? adjuster.shrunk(dt, shrink)
                            : adjuster.decrease_step(dt, error, Stepper::error_order_value);
      r.tried(false);
      continue;
    }
    r.time() += dt;
    // The growth's power from the lanes where they decided its rounding.
    const double power = lanes.grow[l];
    if (error < 0.5 && power == power)
      dt = adjuster.grown(dt, power);
    else
      dt = adjuster.increase_step(dt, error, Stepper::stepper_order_value);
    for (int e = 0; e < 12; ++e)
      r.state()[e] = lanes.out[e][l];
    r.tried(true, lanes.direction[l]);
  }
}

} // namespace

ReferenceOutcome integrateReference(const ReferenceStart& start, const ReferenceSettings& settings) {
  ReferenceRun run(start, settings);
  while (!run.done())
    stepAlone(run);
  return run.takeOutcome();
}

std::vector<ReferenceOutcome> integrateReferences(const std::vector<ReferenceStart>& starts,
                                                  const std::vector<ReferenceSettings>& settings) {
  const size_t n = starts.size();
  std::vector<ReferenceOutcome> outcomes(n);
  auto lanes = std::make_unique<LaneTries>();
  const RoundedStepAdjuster<double, double> adjuster;
  std::unique_ptr<ReferenceRun> running[kLanes];
  size_t index[kLanes] = {};
  size_t next = 0;
  for (;;) {
    ReferenceRun* stepping[kLanes];
    int m = 0;
    for (int l = 0; l < kLanes; ++l)
      for (;;) {
        if (!running[l]) {
          if (next == n) break;
          index[l] = next;
          running[l] = std::make_unique<ReferenceRun>(starts[next], settings[next]);
          ++next;
        }
        if (!running[l]->done()) {
          stepping[m++] = running[l].get();
          break;
        }
        outcomes[index[l]] = running[l]->takeOutcome();
        running[l].reset();
      }
    if (m == 0) return outcomes;
    stepAll(stepping, m, *lanes, adjuster);
  }
}

} // namespace tb
