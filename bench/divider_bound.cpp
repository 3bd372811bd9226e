// How many vector divisions and square roots of doubles one core completes
// per second, for every vector width the processor runs: the step of the
// three-body pass needs a fixed count of both, whose bits the results depend
// on, so their throughput bounds how fast any engine can step.
//
// Each measurement keeps twelve independent chains in flight (x = 1 / x + 1
// and x = sqrt(x) + 1, whose values settle on ordinary numbers, not on 1 or
// 0, which some dividers finish early), so the divider's throughput, not one
// chain's latency, sets the time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bench/divider_bound.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include "bench/divider_bound.h"
#include <hwy/highway.h>

#include <chrono>
#include <vector>

HWY_BEFORE_NAMESPACE();
namespace tb::bench {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

constexpr int kChains = 12;

template <bool kSqrt> HWY_NOINLINE double nsPerOperation(int64_t rounds) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const V one = hn::Set(d, 1.0);
  V x[kChains];
  for (int c = 0; c < kChains; ++c)
    x[c] = hn::Set(d, 1.5 + c * 0.01);
  const auto start = std::chrono::steady_clock::now();
  for (int64_t r = 0; r < rounds; ++r)
    for (int c = 0; c < kChains; ++c)
      x[c] = (kSqrt ? hn::Sqrt(x[c]) : one / x[c]) + one;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Keep the results alive, so that the loop is not dropped.
  V all = x[0];
  for (int c = 1; c < kChains; ++c)
    all = all + x[c];
  static volatile double sink;
  sink = hn::GetLane(all);
  (void)sink;
  return seconds * 1e9 / (static_cast<double>(rounds) * kChains);
}

// A step's divisions and square roots one after the other over the chains,
// with `kBeside` multiplications on eight chains of their own beside them:
// nanoseconds a round. Whether the multiplications add to the time tells
// whether other work runs in the divider's shadow.
template <int kBeside> HWY_NOINLINE double nsPerStepMix(int64_t rounds) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const V one = hn::Set(d, 1.0), shrink = hn::Set(d, 0.999999);
  V x[kChains], y[8];
  for (int c = 0; c < kChains; ++c)
    x[c] = hn::Set(d, 1.5 + c * 0.01);
  for (int c = 0; c < 8; ++c)
    y[c] = hn::Set(d, 1.0 + c);
  constexpr int kOps = lanes::kDivisionsPerStep + lanes::kSquareRootsPerStep;
  const auto start = std::chrono::steady_clock::now();
  for (int64_t r = 0; r < rounds; ++r) {
    for (int k = 0; k < kOps; ++k) {
      V& v = x[k % kChains];
      v = (k < lanes::kDivisionsPerStep ? one / v : hn::Sqrt(v)) + one;
    }
    for (int k = 0; k < kBeside; ++k)
      y[k % 8] = y[k % 8] * shrink;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  V all = x[0];
  for (int c = 1; c < kChains; ++c)
    all = all + x[c];
  for (int c = 0; c < 8; ++c)
    all = all + y[c];
  static volatile double sink;
  sink = hn::GetLane(all);
  (void)sink;
  return seconds * 1e9 / static_cast<double>(rounds);
}

DividerSpeed Measure(int64_t rounds) {
  const hn::ScalableTag<double> d;
  DividerSpeed s;
  s.target = hwy::TargetName(HWY_TARGET);
  s.lanes = static_cast<int>(hn::Lanes(d));
  nsPerOperation<false>(rounds / 10); // warm the core up to its working clock
  s.nsPerDivision = nsPerOperation<false>(rounds);
  s.nsPerSquareRoot = nsPerOperation<true>(rounds);
  const int64_t steps = rounds * kChains / (lanes::kDivisionsPerStep + lanes::kSquareRootsPerStep);
  s.nsPerStepMix = nsPerStepMix<0>(steps);
  s.nsPerStepMixBeside = nsPerStepMix<kMultiplicationsBeside>(steps);
  return s;
}

const bool kEntered = enterDividerMeasure(HWY_TARGET, &Measure);

} // namespace HWY_NAMESPACE
} // namespace tb::bench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <hwy/targets.h>

#include <algorithm>

namespace tb::bench {

namespace {
struct Entry {
  int64_t target;
  DividerSpeed (*measure)(int64_t rounds);
};
std::vector<Entry>& entries() {
  static std::vector<Entry> e;
  return e;
}
} // namespace

bool enterDividerMeasure(int64_t target, DividerSpeed (*measure)(int64_t rounds)) {
  entries().push_back({target, measure});
  return true;
}

std::vector<DividerSpeed> measureDividers(int64_t rounds) {
  std::vector<Entry> e = entries();
  // Highway numbers better instruction sets with lower bits.
  std::sort(e.begin(), e.end(), [](const Entry& a, const Entry& b) { return a.target < b.target; });
  const int64_t supported = hwy::SupportedTargets();
  std::vector<DividerSpeed> speeds;
  for (const Entry& x : e) {
    if (!(x.target & supported)) continue;
    DividerSpeed s = x.measure(rounds);
    const bool known =
        std::any_of(speeds.begin(), speeds.end(), [&](const DividerSpeed& k) { return k.lanes == s.lanes; });
    if (!known) speeds.push_back(s);
  }
  std::sort(speeds.begin(), speeds.end(),
            [](const DividerSpeed& a, const DividerSpeed& b) { return a.lanes > b.lanes; });
  return speeds;
}

} // namespace tb::bench
#endif
