// Reference integrations side by side: the tries of up to four at a time on
// vector lanes, each integration's own steps, events and end as it has them
// alone.
#include "reference/reference_run.h"
#include "reference/rkf78_lanes.h"

#include <memory>

namespace tb {

namespace {

using namespace rkf78;

// One try of each run in `runs` (each wants one): on the lanes, or alone for
// a run left by itself, where the lanes would compute three copies for nothing.
void tryAll(ReferenceRun* const* runs, int n, LaneTries& lanes, const Steps& alone,
            const RoundedStepAdjuster<double, double>& adjuster) {
  if (n == 1) {
    ReferenceRun& r = *runs[0];
    r.tried(alone.tryStep(r.stepper(), r.gravity(), r.state(), r.time(), r.dt()));
    return;
  }
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
  std::vector<ReferenceOutcome> outcomes;
  auto lanes = std::make_unique<LaneTries>();
  const RoundedStepAdjuster<double, double> adjuster;
  for (size_t first = 0; first < starts.size(); first += kLanes) {
    std::vector<std::unique_ptr<ReferenceRun>> runs;
    for (size_t k = first; k < starts.size() && k < first + kLanes; ++k)
      runs.push_back(std::make_unique<ReferenceRun>(starts[k], settings[k]));
    const Steps& alone = settings[first].plainSteps ? kPlainSteps : bestSteps();
    for (;;) {
      ReferenceRun* trying[kLanes];
      int n = 0;
      for (auto& r : runs)
        if (r->wantsTry()) trying[n++] = r.get();
      if (n == 0) break;
      tryAll(trying, n, *lanes, alone, adjuster);
    }
    for (auto& r : runs)
      outcomes.push_back(r->outcome());
  }
  return outcomes;
}

} // namespace tb
