// Reference integrations side by side: the tries of up to kLanes at a time on
// vector lanes, a lane taking the next integration as soon as its own ends;
// each integration's own steps, events and end as it has them alone.
#include "reference/reference_run.h"
#include "reference/rkf78_lanes.h"

#include <memory>

namespace tb {

namespace {

using namespace rkf78;

// One try of each run in `runs` (each wants one): on the lanes, or alone for
// a run left by itself, where the lanes would compute copies for nothing.
void tryAll(ReferenceRun* const* runs, int n, LaneTries& lanes,
            const RoundedStepAdjuster<double, double>& adjuster) {
  if (n == 1) {
    ReferenceRun& r = *runs[0];
    r.tried(r.steps().tryStep(r.stepper(), r.gravity(), r.state(), r.time(), r.dt()));
    return;
  }
  lanes.count = n;
  for (int l = 0; l < kLanes; ++l) {
    ReferenceRun& r = *runs[l < n ? l : 0];
    for (int i = 0; i < 3; ++i)
      lanes.m[i][l] = r.gravity().m[i];
    for (int e = 0; e < 12; ++e)
      lanes.x[e][l] = r.state()[e];
    lanes.dt[l] = r.dt();
    lanes.tolerance[l] = r.tolerance();
  }
  stepLanes(lanes);
  // The controlled stepper's verdict on each try and its next step.
  for (int l = 0; l < n; ++l) {
    ReferenceRun& r = *runs[l];
    const double error = lanes.error[l];
    double& dt = r.dt();
    if (error > 1.0) {
      dt = adjuster.decrease_step(dt, error, Stepper::error_order_value);
      r.tried(false);
      continue;
    }
    r.time() += dt;
    dt = adjuster.increase_step(dt, error, Stepper::stepper_order_value);
    for (int e = 0; e < 12; ++e)
      r.state()[e] = lanes.out[e][l];
    r.tried(true);
  }
}

} // namespace

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
    ReferenceRun* trying[kLanes];
    int m = 0;
    for (int l = 0; l < kLanes; ++l)
      for (;;) {
        if (!running[l]) {
          if (next == n) break;
          index[l] = next;
          running[l] = std::make_unique<ReferenceRun>(starts[next], settings[next]);
          ++next;
        }
        if (running[l]->wantsTry()) {
          trying[m++] = running[l].get();
          break;
        }
        outcomes[index[l]] = running[l]->outcome();
        running[l].reset();
      }
    if (m == 0) return outcomes;
    tryAll(trying, m, *lanes, adjuster);
  }
}

} // namespace tb
