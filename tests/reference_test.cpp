// The reference integration against physics it must keep (energy, the
// Kepler period, the equal-mass symmetry) and against the fixed-step engine.
#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "forms/examples.h"
#include "reference/reference.h"
#include "reference/reference_run.h"
#include "reference/rkf78_lanes.h"
#include "runtime/bit_cast.h"
#include "runtime/controls.h"
#include "runtime/cr_math.h"
#include "sim/experiment.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

using namespace tb;

namespace {

struct FixedTest {
  double alpha;
  EndCode end;
  int revolutions;
};

// The fixed-step outcomes threebody-batch gives for these options, and the fields.
std::vector<FixedTest> fixedSeries(std::vector<std::string> args, FieldTexts* fields = nullptr) {
  args.insert(args.end(), {"--format", "jsonl"});
  ParseResult p = parseBatchOptions(args);
  EXPECT_EQ(p.error, "");
  std::ostringstream out, err;
  runBatch(p.options, out, err, false);
  if (fields) *fields = p.options.fields;
  std::vector<FixedTest> tests;
  std::istringstream in(out.str());
  for (std::string line; std::getline(in, line);) {
    auto j = nlohmann::json::parse(line);
    tests.push_back(
        {j["alpha"].get<double>(), static_cast<EndCode>(j["end"].get<int>()), j["revolutions"].get<int>()});
  }
  return tests;
}

} // namespace

TEST(Reference, DefaultSeriesKeepsItsEnergyAndConfirmsEveryFixedStepOutcome) {
  FieldTexts fields;
  auto tests = fixedSeries({}, &fields);
  ASSERT_EQ(tests.size(), 19u);
  for (const FixedTest& t : tests) {
    SCOPED_TRACE(t.alpha);
    const ReferenceStart start = referenceStart(fields, t.alpha);
    const VerifiedTest v = *verifyOutcome(start, t.end, t.revolutions);
    EXPECT_LT(v.reference.energyError, 1e-10);
    // Confirmed means the two tolerances agree and the fixed step equals them.
    EXPECT_EQ(v.verdict, Verification::Confirmed) << verificationText(v);
    EXPECT_GT(v.reference.time, 100);
  }
}

// A light second body swings out towards the third: at m2 = 100 it starts
// inside the near limit for the first angles, where the engine counts the
// approach from the first step. The reference counts it from the start too,
// so the fine fixed step is confirmed (counted as a crossing only, four of
// these were called artefacts).
TEST(Reference, AnApproachAtTheStartIsCountedAsTheEngineCountsIt) {
  FieldTexts fields;
  auto tests = fixedSeries({"--m2", "100", "--alpha-end", "90"}, &fields);
  ASSERT_EQ(tests.size(), 11u);
  int startsNear = 0;
  for (const FixedTest& t : tests) {
    SCOPED_TRACE(t.alpha);
    const ReferenceStart start = referenceStart(fields, t.alpha);
    const double d0 = std::hypot(start.x[2] - start.x[0], start.y[2] - start.y[0]);
    const double d1 = std::hypot(start.x[2] - start.x[1], start.y[2] - start.y[1]);
    startsNear += std::min(d0, d1) * std::min(d0, d1) < nearLimit(start.r3start) ? 1 : 0;
    const VerifiedTest v = *verifyOutcome(start, t.end, t.revolutions);
    EXPECT_EQ(v.verdict, Verification::Confirmed) << verificationText(v);
  }
  EXPECT_GE(startsNear, 4);
}

// With equal masses alpha and alpha + 180 are one physical experiment: the
// same end. The start counts a revolution when the start angle rounds below
// its single precision value, which moves the third revolution, where an end
// is adopted, by a period; where both count the start alike the counts and
// the end times agree too.
TEST(Reference, EqualMassesGiveTheSameOutcomeHalfATurnApart) {
  const FieldTexts fields = defaultFieldTexts(); // m2 = 1000, the mass of body 1
  int bothCountTheStartAlike = 0;
  for (double alpha : {5.0, 35.0, 65.0, 95.0, 125.0, 155.0, 17.0, 81.0}) {
    SCOPED_TRACE(alpha);
    const ReferenceOutcome a = integrateReference(referenceStart(fields, alpha));
    const ReferenceOutcome b = integrateReference(referenceStart(fields, alpha + 180));
    auto atStart = [](const ReferenceOutcome& r) {
      return !r.revolutionTimes.empty() && r.revolutionTimes[0] < 1;
    };
    EXPECT_EQ(a.end, b.end);
    if (atStart(a) == atStart(b)) {
      ++bothCountTheStartAlike;
      EXPECT_EQ(a.revolutions, b.revolutions);
      EXPECT_NEAR(a.time, b.time, 1e-6 * a.time);
    }
  }
  EXPECT_GT(bothCountTheStartAlike, 0);
}

TEST(Reference, ThePairAloneKeepsTheKeplerPeriodOfItsCircularOrbit) {
  ReferenceStart s = referenceStart(defaultFieldTexts(), 30);
  // The third body far away, massless and at rest: the pair is alone.
  s.mass[2] = 0;
  s.x[2] = 1e9;
  s.vx[2] = 0;
  const ReferenceOutcome r = integrateReference(s);
  EXPECT_EQ(r.end, EndCode::TenRevolutions);
  ASSERT_EQ(r.revolutionTimes.size(), 10u);
  const double period = 2 * M_PI * std::sqrt(200.0 * 200.0 * 200.0 / 2000.0);
  for (size_t k = 1; k < r.revolutionTimes.size(); ++k)
    EXPECT_NEAR(r.revolutionTimes[k] - r.revolutionTimes[k - 1], period, 1e-8 * period);
  EXPECT_LT(r.energyError, 1e-11);
}

// A reference that would run on (here the pair alone, with no revolution
// reference to pass) ends at its step budget, or at once when its stop flag
// is raised from another thread; a stopped verdict is none at all.
TEST(Reference, EndsAtItsStepBudgetOrWhenStopped) {
  ReferenceStart s = referenceStart(defaultFieldTexts(), 30);
  s.mass[2] = 0;
  s.x[2] = 1e9;
  s.vx[2] = 0;
  s.revref = 400; // never passed: no revolution ends it
  ReferenceSettings budget;
  budget.maxTime = 1e12;
  budget.maxTries = 2000;
  const ReferenceOutcome r = integrateReference(s, budget);
  EXPECT_TRUE(r.gaveUp);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(r.end, EndCode::None);
  EXPECT_LE(r.steps, 2000);
  EXPECT_GT(r.time, 0);
  VerifiedTest v{Verification::Undecided, r};
  EXPECT_NE(verificationText(v).find("undecided: a reference integration gave up after"), std::string::npos)
      << verificationText(v);

  std::atomic<int> stop{0};
  ReferenceSettings endless = budget;
  endless.maxTries = std::numeric_limits<int64_t>::max();
  endless.stop = &stop;
  std::thread raise([&stop] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = 1;
  });
  const ReferenceOutcome stopped = integrateReference(s, endless);
  raise.join();
  EXPECT_TRUE(stopped.stopped);
  EXPECT_FALSE(stopped.gaveUp);
  EXPECT_EQ(stopped.end, EndCode::None);
  EXPECT_FALSE(verifyOutcome(referenceStart(defaultFieldTexts(), 30), EndCode::Escaped, 3, &stop));
}

TEST(Reference, ACoarseStepsWrongOutcomeIsCalledAnArtefact) {
  // At tdelta 0.05 this test escapes after 3 revolutions; the physics, and
  // the fixed step at tdelta 0.0005, is a collision at t = 131.
  FieldTexts fields;
  auto coarse = fixedSeries(
      {"--tdelta", "0.05", "--alpha-start", "43", "--alpha-end", "43", "--init-v3", "0.7"}, &fields);
  ASSERT_EQ(coarse.size(), 1u);
  const ReferenceStart start = referenceStart(fields, 43);
  const VerifiedTest v = *verifyOutcome(start, coarse[0].end, coarse[0].revolutions);
  EXPECT_NE(coarse[0].end, EndCode::Collision);
  EXPECT_EQ(v.verdict, Verification::Artefact);
  EXPECT_EQ(v.reference.end, EndCode::Collision);
  EXPECT_NEAR(v.reference.time, 131.3, 0.1);
  EXPECT_NE(verificationText(v).find(
                "artefact: a reference integration ends with code 1 after 0 revolutions at t = 131"),
            std::string::npos)
      << verificationText(v);
  auto fine =
      fixedSeries({"--tdelta", "0.0005", "--alpha-start", "43", "--alpha-end", "43", "--init-v3", "0.7"});
  EXPECT_EQ(verifyOutcome(start, fine[0].end, fine[0].revolutions)->verdict, Verification::Confirmed);
}

// Events between the ends of long steps are found: the outcome and its time
// do not depend on how long the steps may be.
TEST(Reference, EventsInsideLongStepsAreLocated) {
  FieldTexts fields = defaultFieldTexts();
  for (auto& [control, text] : fields)
    if (control == std::string("Tinitv2")) text = "0.7";
  for (double alpha : {20.0, 43.0, 150.0}) {
    SCOPED_TRACE(alpha);
    const ReferenceStart start = referenceStart(fields, alpha);
    ReferenceSettings shortSteps;
    shortSteps.maxStep = 0.25;
    const ReferenceOutcome a = integrateReference(start), b = integrateReference(start, shortSteps);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.revolutions, b.revolutions);
    EXPECT_NEAR(a.time, b.time, 1e-6 * b.time);
    ASSERT_TRUE(a.closest && b.closest);
    EXPECT_NEAR(*a.closest, *b.closest, 1e-6 * *b.closest);
    EXPECT_LT(a.steps, b.steps / 4);
  }
}

// The verdict compares like with like: the reference counts revolutions by
// the engine's rule. At angle 0 (and 360) the engine counts every step in
// which the pair's direction decreases; a heavy third body that turns the
// pair back ends the test there at every small step, and the reference
// says the same. A negative angle, or one above 360, is judged as the same
// direction in [0, 360): the outcomes and verdicts are those of alpha mod 360.
TEST(Reference, TheWrapAndNegativeAnglesAreCountedAsTheEngineCountsThem) {
  for (const char* m3 : {"1e4", "2000"})
    for (const char* alpha : {"0", "360"}) {
      SCOPED_TRACE(std::string(m3) + " at " + alpha);
      FieldTexts fields;
      const auto tests = fixedSeries(
          {"--alpha-start", alpha, "--alpha-end", alpha, "--m3", m3, "--tdelta", "0.001"}, &fields);
      ASSERT_EQ(tests.size(), 1u);
      const FixedTest& t = tests[0];
      EXPECT_EQ(t.end, EndCode::TenRevolutions);
      const VerifiedTest v = *verifyOutcome(referenceStart(fields, t.alpha), t.end, t.revolutions);
      EXPECT_EQ(v.verdict, Verification::Confirmed) << verificationText(v);
    }
  // A pair turning backwards from the start ends at once under the wrap
  // rule, with the pending end adopted at the third count.
  ReferenceStart back = referenceStart(defaultFieldTexts(), 0);
  for (int i = 0; i < 2; ++i)
    back.vy[i] = -back.vy[i];
  EXPECT_EQ(integrateReference(back).end, EndCode::TenRevolutions);
  EXPECT_EQ(integrateReference(back).time, 0);
  back.wrapRule = false;
  EXPECT_NE(integrateReference(back).time, 0);

  // Negative and wrapped angles against the same directions in [0, 360).
  const std::vector<std::string> same = {"--tdelta", "0.01", "--init-v3", "0.95"};
  auto series = [&](const char* from, const char* to) {
    std::vector<std::string> args = same;
    args.insert(args.end(), {"--alpha-start", from, "--alpha-end", to});
    FieldTexts fields;
    auto tests = fixedSeries(args, &fields);
    std::vector<std::pair<FixedTest, Verification>> judged;
    for (const FixedTest& t : tests)
      judged.push_back({t, verifyOutcome(referenceStart(fields, t.alpha), t.end, t.revolutions)->verdict});
    return judged;
  };
  // (720 would stay 360, a reference never passed: the wrapped series stops short of it.)
  const auto negative = series("-360", "0"), wrapped = series("360", "700"), plain = series("0", "360");
  ASSERT_EQ(negative.size(), plain.size());
  ASSERT_EQ(wrapped.size() + 1, plain.size());
  for (size_t k = 0; k < plain.size(); ++k) {
    SCOPED_TRACE(plain[k].first.alpha);
    for (const auto* other : {&negative[k], k < wrapped.size() ? &wrapped[k] : &negative[k]}) {
      EXPECT_EQ(other->first.end, plain[k].first.end);
      EXPECT_EQ(other->first.revolutions, plain[k].first.revolutions);
      EXPECT_EQ(other->second, plain[k].second);
    }
  }
}

// A third body that never came near the pair has no closest approach: none,
// not a distance of 0 that would read as a direct hit.
TEST(Reference, NoClosestApproachWithoutAnApproach) {
  FieldTexts fields;
  const auto tests = fixedSeries({"--alpha-start", "30", "--alpha-end", "30", "--init-v3", "-5"}, &fields);
  ASSERT_EQ(tests.size(), 1u);
  const VerifiedTest v = *verifyOutcome(referenceStart(fields, 30), tests[0].end, tests[0].revolutions);
  EXPECT_FALSE(v.reference.closest.has_value());
  EXPECT_TRUE(integrateReference(referenceStart(defaultFieldTexts(), 30)).closest.has_value());
  ParseResult p = parseBatchOptions(
      {"--verify", "--alpha-start", "30", "--alpha-end", "30", "--init-v3", "-5", "--format", "jsonl"});
  std::ostringstream out, err;
  runBatch(p.options, out, err, false);
  EXPECT_TRUE(nlohmann::json::parse(out.str())["closest_approach"].is_null()) << out.str();
}

// Every example the windows offer ends as its sentence says at the default
// time step, and the reference agrees: confirmed, or fragile where that is
// the point of the example.
TEST(Reference, TheExamplesEndAsTheySayAndTheReferenceAgrees) {
  ASSERT_GE(examples().size(), 6u);
  for (const Example& e : examples()) {
    SCOPED_TRACE(e.name);
    const FieldTexts fields = exampleFields(e);
    std::vector<std::string> args;
    for (const ParameterField& f : parameterFields())
      for (const auto& [control, text] : fields)
        if (control == f.control) args.insert(args.end(), {f.option, text});
    const auto tests = fixedSeries(args);
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0].end, e.end);
    const VerifiedTest v =
        *verifyOutcome(referenceStart(fields, tests[0].alpha), tests[0].end, tests[0].revolutions);
    EXPECT_EQ(v.verdict, e.fragile ? Verification::Fragile : Verification::Confirmed) << verificationText(v);
  }
}

namespace {

// Two integrations alike in everything an integration reports, to the last bit.
void expectSameBits(const ReferenceOutcome& a, const ReferenceOutcome& b) {
  auto bits = [](double x) { return bitCast<uint64_t>(x); };
  EXPECT_EQ(a.end, b.end);
  EXPECT_EQ(a.revolutions, b.revolutions);
  EXPECT_EQ(a.steps, b.steps);
  EXPECT_EQ(a.gaveUp, b.gaveUp);
  EXPECT_EQ(bits(a.time), bits(b.time));
  EXPECT_EQ(bits(a.energyError), bits(b.energyError));
  EXPECT_EQ(bits(a.closest.value_or(-1)), bits(b.closest.value_or(-1)));
  EXPECT_EQ(bits(a.escapeGap.value_or(-1)), bits(b.escapeGap.value_or(-1)));
  ASSERT_EQ(a.revolutionTimes.size(), b.revolutionTimes.size());
  for (size_t k = 0; k < a.revolutionTimes.size(); ++k)
    EXPECT_EQ(bits(a.revolutionTimes[k]), bits(b.revolutionTimes[k]));
}

// The starts of the default series every 10 degrees and of every example.
std::vector<ReferenceStart> seriesAndExampleStarts() {
  std::vector<ReferenceStart> starts;
  for (double alpha = 0; alpha <= 180; alpha += 10)
    starts.push_back(referenceStart(defaultFieldTexts(), alpha));
  for (const Example& e : examples()) {
    const FieldTexts fields = exampleFields(e);
    for (const auto& [control, text] : fields)
      if (control == controls::Talphastr) starts.push_back(referenceStart(fields, std::stod(text)));
  }
  return starts;
}

} // namespace

// The steps built for AVX2 and the ones built for any processor give the
// same integration to the last bit: every test of the default series at
// both tolerances, and every example (close passes, a light second body),
// compared in everything an integration reports.
TEST(Reference, BothBuildsOfTheStepsGiveTheSameBits) {
  int64_t steps = 0;
  for (const ReferenceStart& start : seriesAndExampleStarts())
    for (double tolerance : {1e-12, 1e-14}) {
      SCOPED_TRACE(std::to_string(start.phi0) + " " + std::to_string(tolerance));
      ReferenceSettings best, plain;
      best.tolerance = plain.tolerance = tolerance;
      plain.plainSteps = true;
      const ReferenceOutcome a = integrateReference(start, best);
      expectSameBits(a, integrateReference(start, plain));
      steps += a.steps;
    }
  EXPECT_GT(steps, 10000);
}

// Integrations side by side on the lanes give each one's integration alone,
// to the last bit: a map point's four (two tolerances, the pair turned both
// ways) for every start, a group the lanes do not fill, one that runs out
// of steps, and a light second body that turns the pair back at once.
TEST(Reference, IntegrationsSideBySideAreEachAsAlone) {
  std::vector<ReferenceStart> starts;
  std::vector<ReferenceSettings> settings;
  ReferenceSettings coarse, fine, budget;
  fine.tolerance = 1e-14;
  budget.maxTries = 20;
  for (const ReferenceStart& s : seriesAndExampleStarts()) {
    for (const auto& [start, how] :
         {std::pair{s, coarse}, {s, fine}, {turnedPair(s, 1e-6), coarse}, {turnedPair(s, -1e-6), coarse}}) {
      starts.push_back(start);
      settings.push_back(how);
    }
  }
  starts.push_back(starts[5]);
  settings.push_back(budget);
  starts.push_back(starts[9]);
  settings.push_back(coarse);
  const std::vector<ReferenceOutcome> together = integrateReferences(starts, settings);
  ASSERT_EQ(together.size(), starts.size());
  int64_t steps = 0;
  bool gaveUp = false;
  for (size_t k = 0; k < starts.size(); ++k) {
    SCOPED_TRACE(k);
    const ReferenceOutcome alone = integrateReference(starts[k], settings[k]);
    expectSameBits(together[k], alone);
    steps += alone.steps;
    gaveUp = gaveUp || alone.gaveUp;
  }
  EXPECT_TRUE(gaveUp);
  EXPECT_GT(steps, 20000);
}

// A lane function's powers x^y of xs (a whole number of lanes' worth, the
// rest left out) equal cr::pow's wherever it gives one, and it gives one for
// more than 99 in 100.
static void expectLanePowers(std::vector<double> xs, void (*lanes)(const double*, double*), double y) {
  xs.resize(xs.size() / rkf78::kLanes * rkf78::kLanes);
  int64_t decided = 0;
  for (size_t at = 0; at < xs.size(); at += rkf78::kLanes) {
    double out[rkf78::kLanes];
    lanes(&xs[at], out);
    for (int l = 0; l < rkf78::kLanes; ++l) {
      if (std::isnan(out[l])) continue;
      ++decided;
      ASSERT_EQ(bitCast<uint64_t>(out[l]), bitCast<uint64_t>(cr::pow(xs[at + l], y))) << xs[at + l];
    }
  }
  EXPECT_GT(decided, static_cast<int64_t>(xs.size()) * 99 / 100);
}

// The lanes' own evaluations of the step control's powers x^(-1/8) and
// x^(-1/6) and of the pair's direction equal cr::pow and the engine's
// angleOf wherever they give a number, and give one almost everywhere: the
// errors a step control sees and every slope of every quadrant, near the
// tables' seams (slopes j/64 and 64/j), the ends of the quick range,
// upright and level pairs.
TEST(Reference, TheLanesPowersAndDirectionsAreTheScalarOnes) {
  std::mt19937_64 random(34);
  std::vector<double> xs;
  std::uniform_real_distribution<double> unit(0, 1);
  for (int k = 0; k < 40000; ++k)
    xs.push_back(std::ldexp(0.5 + 0.5 * unit(random), -static_cast<int>(k % 19))); // 2^-19 .. 1
  for (int k = 0; k < 4000; ++k)
    xs.push_back(std::ldexp(0.5 + 0.5 * unit(random), static_cast<int>(k % 1800) - 900));
  expectLanePowers(xs, rkf78::inverseEighthRoots, -1.0 / 8);

  // The shrinking power x^(-1/6) of a failed try's error, from just above 1
  // to 2^14, and NaN past it.
  std::vector<double> errors;
  for (int k = 0; k < 40000; ++k)
    errors.push_back(std::ldexp(1 + unit(random), k % 14));
  for (double x : {std::nextafter(1.0, 2.0), 1.0 + 0x1p-30, 0x1p14, 1.5, 2.0, 1e3})
    errors.push_back(x);
  expectLanePowers(errors, rkf78::inverseSixthPowers, -1.0 / 6);
  double past[rkf78::kLanes] = {0x1p14 * 1.0001, 1e6, 1.0, 0.5, 1e300, 3e4, 2e4, 1.7e4}, none[rkf78::kLanes];
  rkf78::inverseSixthPowers(past, none);
  for (double v : none)
    EXPECT_TRUE(std::isnan(v));

  // Pair states whose slopes dy/dx cover the cases, with dt 0 so that the
  // step's end is its start.
  std::vector<std::pair<double, double>> slopes;
  for (int j = 0; j <= 64; ++j)
    for (double c : {j / 64.0, 64.0 / std::max(j, 1)})
      for (double eps : {0.0, 1e-15, -1e-15, 1e-9, -1e-9})
        slopes.push_back({1.0, c + eps});
  for (double s : {0x1p-27, 0x1p-28, 0.99 * 0x1p-27, 128.0, 128.000001, 1e6, 0.0})
    slopes.push_back({1.0, s});
  std::uniform_real_distribution<double> any(-1000, 1000);
  for (int k = 0; k < 4000; ++k)
    slopes.push_back({any(random), any(random)});
  slopes.push_back({0.0, 3.0});
  const double pi = ReferenceRun::pi();
  auto lanes = std::make_unique<rkf78::LaneTries>();
  lanes->pi = pi;
  lanes->smallestError = cr::pow(5.0, -8.0);
  int64_t directions = 0, given = 0;
  for (size_t at = 0; at < slopes.size(); at += rkf78::kLanes) {
    for (int l = 0; l < rkf78::kLanes; ++l) {
      // The four quadrants in turn, the pair 300 units apart at most.
      const auto [sx, sy] = slopes[std::min(at + l, slopes.size() - 1)];
      const double fx = (l & 1) ? -1 : 1, fy = (l & 2) ? -1 : 1,
                   scale = 300 / std::max(1.0, std::hypot(sx, sy));
      const double state[12] = {10, -20, 10 + fx * sx * scale, -20 + fy * sy * scale, 400, 400, 0, 1, 0, -1,
                                -1, 0};
      for (int e = 0; e < 12; ++e)
        lanes->x[e][l] = state[e];
      for (int i = 0; i < 3; ++i)
        lanes->m[i][l] = 1000;
      lanes->dt[l] = 0;
      lanes->tolerance[l] = 1e-12;
    }
    rkf78::stepLanes(*lanes);
    for (int l = 0; l < rkf78::kLanes; ++l) {
      const double dx = lanes->out[2][l] - lanes->out[0][l], dy = lanes->out[3][l] - lanes->out[1][l];
      ++directions;
      if (std::isnan(lanes->direction[l])) continue;
      ++given;
      ASSERT_EQ(bitCast<uint64_t>(lanes->direction[l]), bitCast<uint64_t>(angleOf(dx, dy, pi)))
          << dx << " " << dy;
    }
  }
  EXPECT_GT(given, directions * 95 / 100);
  EXPECT_LT(given, directions); // an upright pair and the slopes past the quick range are left to angleOf
}
