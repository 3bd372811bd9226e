// Samples of a test over time, for its graphs.
#include "sim/trace.h"

#include "sim/diagnostics.h"
#include "sim/experiment.h"

#include <cmath>
#include <limits>

namespace tb {

TraceSample traceSample(const Experiment& e) {
  const SimState& s = e.state();
  const SeriesLocals& l = e.locals();
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  TraceSample t;
  t.time = static_cast<double>(s.nstep) * s.tdelta;
  t.dist12 = std::sqrt(s.rsq[0][1]);
  t.v3 = l.v3;
  t.vesc = l.vesc;
  const bool three = s.nstars > 1;
  t.dist13 = three ? std::sqrt(s.rsq[2][0]) : nan;
  t.dist23 = three ? std::sqrt(s.rsq[2][1]) : nan;
  t.energyError = nan;
  if (three) {
    const double start = e.conservedAtTestStart().energy;
    const double d = (conservedNow(s).energy - start) / std::fabs(start);
    if (start != 0 && std::isfinite(d)) t.energyError = d;
  }
  return t;
}

void Trace::add(const TraceSample& s) {
  last_ = s;
  lastKept_ = false;
  if (++skipped_ < stride_) return;
  skipped_ = 0;
  samples_.push_back(s);
  lastKept_ = true;
  if (samples_.size() < limit_) return;
  // Keep the first sample and every second one after it.
  size_t kept = 0;
  for (size_t i = 0; i < samples_.size(); i += 2)
    samples_[kept++] = samples_[i];
  samples_.resize(kept);
  stride_ *= 2;
  // The limit is even, so the last one added was dropped: the next one kept
  // is half the new stride away from it.
  skipped_ = stride_ / 2;
  lastKept_ = false;
}

void Trace::finish() {
  if (!lastKept_) samples_.push_back(last_);
  lastKept_ = true;
}

void Trace::clear() {
  samples_.clear();
  lastKept_ = true;
  stride_ = 1;
  skipped_ = 0;
}

} // namespace tb
