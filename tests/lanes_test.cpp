// The lane engine against the one-at-a-time engine: every test's report,
// read-outs and fault come out the same at every lane width this processor
// has, on one thread and on two.
#include "forms/headless.h"
#include "results/export.h"
#include "runtime/controls.h"
#include "series/ordered_tests.h"
#include "sim/lanes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

using namespace tb;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields test(const std::string& alpha, const std::string& initv3 = "1", const std::string& m2 = "1000",
            const std::string& m3 = "1", const std::string& tdelta = ".001") {
  return {{controls::Talphastr, alpha}, {controls::Talphaend, alpha}, {controls::Tinitv2, initv3},
          {controls::Tm2, m2},          {controls::Tm3, m3},          {controls::Ttdelta, tdelta}};
}

struct Outcome {
  std::optional<TestReport> report;
  std::string fault;
  bool cancelled = false;
  std::vector<std::string> readouts;
};

struct Config {
  int lanes;
  unsigned jobs;
  int depth = 0;
  std::string name() const {
    return std::to_string(lanes) + " lanes" + (depth ? " as " + std::to_string(depth) + " vectors" : "") +
           ", " + std::to_string(jobs) + " threads";
  }
};

// The one-at-a-time engine on one thread, then every vector width and depth
// on one thread, and the default and the one-at-a-time engine on two.
std::vector<Config> configs() {
  std::vector<Config> c{{1, 1}};
  for (LaneEngine::Shape s : LaneEngine::shapes())
    c.push_back({s.lanes(), 1, s.depth});
  c.push_back({0, 2});
  c.push_back({1, 2});
  return c;
}

std::vector<Outcome> runAll(const std::vector<Fields>& tests, Config c, std::optional<int64_t> stop = {},
                            const std::function<void(size_t, const Outcome&)>& seen = nullptr,
                            const std::atomic<int>* interrupt = nullptr,
                            const std::atomic<bool>* abandon = nullptr) {
  std::vector<Outcome> out(tests.size());
  std::mutex m;
  HeadlessTestsSetup setup{c.jobs, c.lanes, stop, interrupt, abandon, c.depth};
  runHeadlessTests(
      tests.size(),
      [&](size_t k) {
        return HeadlessTestInput{tests[k], std::nullopt};
      },
      [&](size_t k, HeadlessTest& t, MemoryForms& forms) {
        Outcome o{t.report, t.fault, t.cancelled, {}};
        for (const char* r : kReadoutControls)
          o.readouts.push_back(forms.text(r));
        std::lock_guard lock(m);
        out[k] = o;
        if (seen) seen(k, out[k]);
      },
      setup);
  return out;
}

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

// Bit for bit: every number of the report, its line and drift, the fault,
// and the read-outs of a test that ended by itself (a stopped test's show
// what the last refresh, timed by the clock, wrote).
void expectSame(const Outcome& want, const Outcome& got, const std::string& what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(want.fault, got.fault);
  ASSERT_EQ(want.report.has_value(), got.report.has_value());
  if (!want.report) return;
  const TestReport &a = *want.report, &b = *got.report;
  EXPECT_EQ(a.line, b.line);
  EXPECT_EQ(a.steps, b.steps);
  EXPECT_EQ(a.revolutions, b.revolutions);
  EXPECT_EQ(a.end, b.end);
  EXPECT_EQ(std::bit_cast<uint32_t>(a.v3), std::bit_cast<uint32_t>(b.v3));
  EXPECT_EQ(std::bit_cast<uint32_t>(a.vesc), std::bit_cast<uint32_t>(b.vesc));
  EXPECT_EQ(std::bit_cast<uint32_t>(a.v3max), std::bit_cast<uint32_t>(b.v3max));
  for (auto [x, y] : {std::pair{a.r3, b.r3},
                      {a.dist12min, b.dist12min},
                      {a.dist12mean, b.dist12mean},
                      {a.dist12max, b.dist12max},
                      {a.time, b.time}})
    EXPECT_EQ(bits(x), bits(y)) << x << " against " << y;
  ASSERT_EQ(a.energyDrift.has_value(), b.energyDrift.has_value());
  if (a.energyDrift) {
    EXPECT_EQ(bits(*a.energyDrift), bits(*b.energyDrift));
  }
  ASSERT_EQ(a.angularMomentumDrift.has_value(), b.angularMomentumDrift.has_value());
  if (a.angularMomentumDrift) {
    EXPECT_EQ(bits(*a.angularMomentumDrift), bits(*b.angularMomentumDrift));
  }
  if (a.end != EndCode::None) {
    EXPECT_EQ(want.readouts, got.readouts);
  }
}

void expectEveryConfigSame(const std::vector<Fields>& tests, std::optional<int64_t> stop = {}) {
  std::vector<Outcome> want = runAll(tests, {1, 1}, stop);
  for (const Config& c : configs()) {
    std::vector<Outcome> got = runAll(tests, c, stop);
    for (size_t k = 0; k < tests.size(); ++k)
      expectSame(want[k], got[k],
                 c.name() + ", test " + std::to_string(k) + " at alpha " + tests[k][0].second);
  }
}

std::string text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

} // namespace

// Every lane count is some shape's, the default is the widest vectors, and a
// shape or lane count the processor does not run is refused.
TEST(Lanes, ThisProcessorHasVectorWidthsAndDepths) {
  std::vector<int> w = LaneEngine::laneCounts();
  ASSERT_FALSE(w.empty());
  EXPECT_GE(w.back(), 2);
  for (size_t i = 1; i < w.size(); ++i)
    EXPECT_LT(w[i], w[i - 1]);
  const std::vector<LaneEngine::Shape> shapes = LaneEngine::shapes();
  int widest = 0;
  for (LaneEngine::Shape s : shapes) {
    widest = std::max(widest, s.width);
    EXPECT_NE(std::find(w.begin(), w.end(), s.lanes()), w.end());
    EXPECT_LE(s.lanes(), lanes::kMaxLanes);
    EXPECT_EQ(LaneEngine(s).shape(), s);
  }
  for (int n : w)
    EXPECT_EQ(LaneEngine(n).lanes(), n);
  EXPECT_EQ(LaneEngine().shape().width, widest);
  EXPECT_THROW(LaneEngine(3), std::invalid_argument);
  EXPECT_THROW(LaneEngine(LaneEngine::Shape{widest, 3}), std::invalid_argument);
  EXPECT_THROW(LaneEngine(LaneEngine::Shape{widest * 2, 1}), std::invalid_argument);
}

// The default series' angles and a series of 36, the tests of very different
// lengths side by side.
TEST(Lanes, SeriesTestsAsOneAtATime) {
  std::vector<Fields> tests;
  for (int a = 0; a <= 180; a += 10)
    tests.push_back(test(std::to_string(a)));
  for (int a = 0; a < 360; a += 10)
    tests.push_back(test(std::to_string(a), "1.1", "1000", "1", ".01"));
  expectEveryConfigSame(tests);
}

// Seeded random parameters, with the cases that take the rare paths among
// them: a fault in the stepping (distance at step 27) and in a display step
// (step 100), a fault before the first step, a body that is not accelerated
// (negative m3), reference directions 0, 360 and past 360, a test over before its
// first display step, and a pair too light to hold together.
TEST(Lanes, RandomParametersAndRareEventsAsOneAtATime) {
  std::mt19937 rng(20261207);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  const char* steps[] = {".005", ".01", ".02"};
  std::vector<Fields> tests;
  for (int i = 0; i < 40; ++i) {
    // One draw after another, in this order whatever the compiler.
    const std::string alpha = text(std::floor(uniform(0, 3600)) / 10), v3 = text(uniform(0.3, 1.6));
    const std::string m2 = text(uniform(1, 3000)), m3 = text(uniform(-10, 200));
    tests.push_back(test(alpha, v3, m2, m3, steps[rng() % 3]));
  }
  const std::vector<Fields> rare = {
      test("0", "1", "1000", "1", "1e77"),
      test("30", "1", "-999", "1", "1e50"),
      test("0", "1", "-600"),
      test("0", "1", "1000", "-5", ".01"),
      test("0", "1.2", "1000", "1", ".01"),
      test("370", "0.9", "1000", "1", ".01"),
      test("360", "0.9", "1000", "1", ".01"),
      test("0", ".01", "1000", "1e12", ".01"),
      test("45", "1", "-990", "1", ".01"),
      test("90", "0.7", "20", "300", ".01"),
  };
  for (size_t i = 0; i < rare.size(); ++i)
    tests.insert(tests.begin() + static_cast<long>(3 * i), rare[i]);
  // A test that never ends (a pair torn apart, a third body that never comes
  // near) stops there, in every engine alike.
  expectEveryConfigSame(tests, 2'000'000);
}

// Every test stops after the given pass, as a click on Stop there would stop
// it: before the first display step, on one, and far in.
TEST(Lanes, StopAtStepAsOneAtATime) {
  std::vector<Fields> tests;
  for (int a = 0; a < 360; a += 45)
    tests.push_back(test(std::to_string(a), "1.1", "1000", "1", ".01"));
  for (int64_t stop : {1, 100, 2345})
    expectEveryConfigSame(tests, stop);
}

// An interrupt stops every running test where it stands, and that test is
// the one a Stop at the step it reached gives; no test is taken after it.
TEST(Lanes, InterruptStopsWhereTheTestsStand) {
  std::vector<Fields> tests = {test("0", "1", "1000", "1", "1e77")};
  for (int a = 0; a < LaneEngine().lanes(); ++a)
    tests.push_back(test(std::to_string(10 * a)));
  std::atomic<int> interrupt{0};
  std::vector<Outcome> got = runAll(
      tests, {0, 1}, {}, [&](size_t, const Outcome&) { interrupt = 1; }, &interrupt);
  int cancelled = 0;
  for (size_t k = 1; k < tests.size(); ++k) {
    if (!got[k].report) continue; // never taken
    ASSERT_TRUE(got[k].cancelled);
    ++cancelled;
    std::vector<Outcome> want = runAll({tests[k]}, {1, 1}, got[k].report->steps);
    expectSame(want[0], got[k], "stopped at step " + std::to_string(got[k].report->steps));
  }
  EXPECT_EQ(cancelled, LaneEngine().lanes() - 1);
}

// Abandoned, the engines drop endless tests at once, also one running on
// another thread.
TEST(Lanes, AbandonDropsEndlessTests) {
  std::vector<Fields> tests = {test("0", "1", "1000", "1", ".05")};
  for (int i = 0; i < 3; ++i)
    tests.push_back(test("10", "1", "1000", "1", "1E-300")); // a step too small to move: endless
  for (Config c : {Config{0, 1}, Config{1, 1}, Config{0, 2}, Config{1, 2}}) {
    SCOPED_TRACE(c.name());
    std::atomic<bool> abandon{false};
    std::vector<Outcome> got = runAll(
        tests, c, {}, [&](size_t, const Outcome&) { abandon = true; }, nullptr, &abandon);
    ASSERT_TRUE(got[0].report);
    EXPECT_NE(got[0].report->end, EndCode::None);
    for (size_t k = 1; k < tests.size(); ++k)
      EXPECT_FALSE(got[k].report);
  }
}

// A stop is answered at once even when every test left faults while it
// loads: no lane keeps taking such tests after the interrupt or the abandon.
TEST(Lanes, AStopIsAnsweredWhenEveryTestLeftFaultsAtOnce) {
  const std::vector<Fields> faulting(20000, test("0", "1", "-2000")); // no circular orbit
  for (Config c : configs()) {
    SCOPED_TRACE(c.name());
    // How many tests the engine takes when it is stopped from the start.
    auto taken = [&](const std::atomic<int>* interrupt, const std::atomic<bool>* abandon) {
      std::atomic<size_t> n{0};
      runHeadlessTests(
          faulting.size(),
          [&](size_t k) {
            ++n;
            return HeadlessTestInput{faulting[k], std::nullopt};
          },
          [](size_t, HeadlessTest&, MemoryForms&) {},
          HeadlessTestsSetup{c.jobs, c.lanes, std::nullopt, interrupt, abandon, c.depth});
      return n.load();
    };
    std::atomic<int> interrupt{1};
    std::atomic<bool> abandon{true};
    // Each thread's first round of lanes, at most.
    const size_t lanes = static_cast<size_t>(c.lanes > 1 ? c.lanes : LaneEngine().lanes());
    EXPECT_LE(taken(&interrupt, nullptr), c.jobs * lanes);
    EXPECT_LE(taken(nullptr, &abandon), c.jobs * lanes);
  }
}

// A reader slower than the workers holds at most `ahead` results, also
// behind a slow first test that a lane keeps while the others wait at the
// horizon; every result still comes, in order. A reader that stops taking
// and is interrupted while the workers wait there still gets an end.
TEST(Lanes, WorkersWaitForASlowReaderAtTheHorizon) {
  std::vector<Fields> tests(1500, test("0", "1", "-2000")); // each faults at once
  tests[0] = test("0", "1", "1000", "1", ".01");            // a whole test first
  constexpr size_t kAhead = 48;
  for (Config c : configs()) {
    SCOPED_TRACE(c.name());
    std::atomic<size_t> kept{0}, taken{0}, mostHeld{0};
    auto keep = [&](size_t k, HeadlessTest& t, MemoryForms&) -> std::optional<size_t> {
      const size_t held = ++kept - taken.load();
      for (size_t m = mostHeld.load(); held > m && !mostHeld.compare_exchange_weak(m, held);) {
      }
      EXPECT_EQ(t.report.has_value(), k == 0) << k << ": " << t.fault;
      return k;
    };
    auto input = [&](size_t k) { return HeadlessTestInput{tests[k], std::nullopt}; };
    {
      OrderedTests<size_t> ordered(
          tests.size(), input, keep,
          HeadlessTestsSetup{c.jobs, c.lanes, std::nullopt, nullptr, nullptr, c.depth}, kAhead);
      for (size_t k = 0; k < tests.size(); ++k) {
        if (k % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::optional<size_t> r = ordered.take(k);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, k);
        ++taken;
      }
    }
    // A result is counted before it is held, and a lane's tests may all end
    // before the reader takes the first: the lanes in flight come on top.
    EXPECT_LE(mostHeld.load(), kAhead + 1);
    EXPECT_EQ(kept.load(), tests.size());

    std::atomic<int> interrupt{0};
    kept = 0;
    taken = 0;
    OrderedTests<size_t> ordered(
        tests.size(), input, keep,
        HeadlessTestsSetup{c.jobs, c.lanes, std::nullopt, &interrupt, nullptr, c.depth}, kAhead);
    ASSERT_TRUE(ordered.take(0));
    while (kept.load() < kAhead) // the workers reach the horizon
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    interrupt = 1;
    size_t got = 1;
    while (ordered.take(got))
      ++got;
    EXPECT_LE(got, 1 + kAhead);
  }
}

// Tests a worker's lanes end in one pass come together, each once and as
// when it comes alone; on one lane each comes alone. Asked for groups of 12,
// each worker hands over at least 12 at a time but for its last group.
TEST(Lanes, TestsEndedInOnePassComeTogether) {
  std::vector<Fields> tests;
  for (int a = 0; a < 40; ++a)
    tests.push_back(test(std::to_string(9 * a)));
  const std::vector<Outcome> alone = runAll(tests, {0, 1}, 1);
  for (size_t together : {size_t{1}, size_t{12}})
    for (Config c : {Config{0, 1}, Config{0, 2}, Config{1, 1}}) {
      SCOPED_TRACE(c.name() + " together " + std::to_string(together));
      std::mutex m;
      std::vector<int> seen(tests.size());
      std::vector<size_t> groups;
      runHeadlessTestsTogether(
          tests.size(),
          [&](size_t k) {
            return HeadlessTestInput{tests[k], std::nullopt};
          },
          [&](std::span<const EndedTest> ended) {
            std::lock_guard lock(m);
            groups.push_back(ended.size());
            for (const EndedTest& t : ended) {
              ++seen[t.index];
              ASSERT_TRUE(t.test->report);
              EXPECT_EQ(t.test->report->steps, alone[t.index].report->steps);
              EXPECT_EQ(t.forms->text(kReadoutControls[0]), alone[t.index].readouts[0]);
            }
          },
          [&] {
            HeadlessTestsSetup setup{c.jobs, c.lanes, int64_t{1}};
            setup.together = together;
            return setup;
          }());
      EXPECT_EQ(seen, std::vector<int>(tests.size(), 1));
      const size_t most = *std::max_element(groups.begin(), groups.end());
      if (c.lanes == 1) {
        EXPECT_EQ(most, 1u);
      } else {
        EXPECT_GT(most, 1u);
        const auto small =
            std::count_if(groups.begin(), groups.end(), [&](size_t g) { return g < together; });
        EXPECT_LE(small, static_cast<long>(std::max(1u, c.jobs)));
        if (together > 1) {
          EXPECT_GE(most, together);
        }
      }
    }
}

// A worker that runs out of memory ends the work: the failure reaches the
// caller (instead of ending the program), after the tests finished by then.
TEST(Lanes, AWorkersLackOfMemoryIsThrownToTheCaller) {
  for (Config c : configs()) {
    SCOPED_TRACE(c.name());
    std::atomic<size_t> finished{0};
    HeadlessTestsSetup setup{c.jobs, c.lanes, std::nullopt, nullptr, nullptr, c.depth};
    EXPECT_THROW(
        runHeadlessTests(
            40,
            [&](size_t k) {
              if (k == 3) throw std::bad_alloc();
              return HeadlessTestInput{test(std::to_string(k), "1", "1000", "1", ".05"), std::nullopt};
            },
            [&](size_t, HeadlessTest&, MemoryForms&) { ++finished; }, setup),
        std::bad_alloc);
    EXPECT_LT(finished.load(), 40u);
  }
}

// The pseudo-angle the passes decide revolutions by: 0 to 4 around the
// circle, each quadrant's value the ratio its comment gives, bit for bit,
// and in the same order as the exact angle, also on the axes, at signed
// zeros and where a quadrant meets the next.
TEST(Lanes, PseudoAngleFollowsTheExactAngleAroundTheCircle) {
  EXPECT_EQ(lanes::pseudoAngle(0, 0), 0);
  EXPECT_EQ(lanes::pseudoAngle(1, 0), 0);
  EXPECT_EQ(lanes::pseudoAngle(0, 1), 1);
  EXPECT_EQ(lanes::pseudoAngle(-1, 0), 2);
  EXPECT_EQ(lanes::pseudoAngle(-1, -0.0), 2);
  EXPECT_EQ(lanes::pseudoAngle(-0.0, 1), 1);
  EXPECT_EQ(lanes::pseudoAngle(0, -1), 3);
  EXPECT_EQ(lanes::pseudoAngle(-0.0, -1), 3);
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> u(-1e3, 1e3);
  for (int i = 0; i < 2000; ++i) {
    const double dx = u(rng), dy = u(rng);
    double want;
    if (dy >= 0)
      want = dx > 0 ? dy / (dx + dy) : 1 + (-dx) / (dy - dx);
    else
      want = dx < 0 ? 2 + (-dy) / (-dx - dy) : 3 + dx / (dx - dy);
    EXPECT_EQ(bits(lanes::pseudoAngle(dx, dy)), bits(want)) << dx << ", " << dy;
  }
  const double pi = 4 * std::atan(1.0);
  std::vector<std::pair<double, double>> around; // (exact angle, pseudo-angle)
  for (int k = 0; k < 3600; ++k) {
    const double a = k * pi / 1800;
    for (double off : {-1e-9, 0.0, 1e-9}) {
      const double dx = std::cos(a + off), dy = std::sin(a + off);
      around.emplace_back(angleOf(dx, dy, pi), lanes::pseudoAngle(dx, dy));
    }
  }
  std::sort(around.begin(), around.end());
  for (size_t i = 1; i < around.size(); ++i) {
    EXPECT_GE(around[i].second, 0);
    EXPECT_LT(around[i].second, 4);
    if (around[i].first - around[i - 1].first > 1e-7) {
      EXPECT_LT(around[i - 1].second, around[i].second)
          << around[i - 1].first << " and " << around[i].first << " degrees";
    }
  }
}

// A tail moves its tests to the cheapest shape that holds them, and only to
// one clearly cheaper than what steps now.
TEST(Lanes, ATailTakesTheCheapestShapeThatHoldsItsTests) {
  using S = LaneEngine::Shape;
  const std::vector<std::pair<S, double>> costs = {{{8, 2}, 200}, {{8, 1}, 100}, {{4, 2}, 110},
                                                   {{4, 1}, 57},  {{2, 2}, 120}, {{2, 1}, 60}};
  EXPECT_EQ(LaneEngine::tailShape(costs, {8, 2}, 9), (S{8, 2}));
  EXPECT_EQ(LaneEngine::tailShape(costs, {8, 2}, 8), (S{8, 1}));
  EXPECT_EQ(LaneEngine::tailShape(costs, {8, 2}, 4), (S{4, 1}));
  EXPECT_EQ(LaneEngine::tailShape(costs, {8, 1}, 2), (S{4, 1}));
  EXPECT_EQ(LaneEngine::tailShape(costs, {4, 1}, 1), (S{4, 1})); // 2 lanes cost more
  // Within a twentieth the narrower shape is not worth the move.
  EXPECT_EQ(LaneEngine::tailShape({{{8, 1}, 100}, {{4, 1}, 97}}, {8, 1}, 3), (S{8, 1}));
}
