// What a test looks like over time: at each display step, the distances, the
// third body's speed against its escape speed and the energy error. Read
// from the experiment's state; never feeds back into it.
#pragma once

#include <cstddef>
#include <vector>

namespace tb {

class Experiment;

struct TraceSample {
  double time = 0;        // nstep * tdelta
  double dist13 = 0;      // the third body's distance to body 1
  double dist23 = 0;      // and to body 2
  double dist12 = 0;      // the pair's separation
  double v3 = 0;          // the third body's speed
  double vesc = 0;        // its escape speed from the pair
  double energyError = 0; // (E - E at the start) / |E at the start|; NaN once merged or from E = 0
};

// The sample at the experiment's display step now. After a collision the
// third body's distances and the energy error are NaN.
TraceSample traceSample(const Experiment& e);

// A test's samples in at most about `limit` points: when full, every second
// sample is dropped and only every second one kept from then on, so the
// trace covers the whole test at an even spacing whatever its length.
class Trace {
public:
  explicit Trace(size_t limit = 2048) : limit_(limit < 2 ? 2 : limit + limit % 2) {}
  void add(const TraceSample& s);
  // The test ended: its last sample is kept too, wherever it falls.
  void finish();
  void clear();
  const std::vector<TraceSample>& samples() const { return samples_; }
  // Display steps between two kept samples.
  size_t stride() const { return stride_; }

private:
  std::vector<TraceSample> samples_;
  size_t limit_;
  size_t stride_ = 1, skipped_ = 0;
  TraceSample last_;
  bool lastKept_ = true;
};

} // namespace tb
