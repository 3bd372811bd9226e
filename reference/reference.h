// A reference integration of the experiment: the Newtonian equations of the
// three bodies (G = 1) from a test's own start configuration, integrated by
// Runge-Kutta-Fehlberg 7(8) with error control, the end conditions evaluated
// on the continuous trajectory with the thresholds the fixed-step engine uses.
// It tells which fixed-step outcomes are physics and which are artefacts of
// the step size.
#pragma once

#include "runtime/parameters.h"
#include "sim/end_rules.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// Where a test starts: the three bodies' masses, positions and velocities as
// the fixed-step engine sets them up, and what its rules compare with.
struct ReferenceStart {
  double mass[3] = {};
  double x[3] = {}, y[3] = {}, vx[3] = {}, vy[3] = {};
  double revref = 0; // the direction the engine's revolution count compares with, degrees
  double phi0 = 0;   // the pair's start direction, degrees, as the engine computes it
  // The engine's reference is 0: besides the passes up through 0 it counts a
  // revolution in every step in which the pair's direction decreases (its
  // wrap correction takes any decrease for a wrap), which ends the test
  // within ten steps of the direction's first turning back.
  bool wrapRule = false;
  double r3start = 500;
  bool closeAtStart = false; // two bodies nearer than 1 unit: the engine ends the test at once
};

// The start of the test at angle `alpha` of a series with these fields (the
// texts as typed), exactly as the fixed-step engine builds it. Throws
// ArithmeticFault for fields the engine refuses.
ReferenceStart referenceStart(const FieldTexts& fields, double alpha);
// The same start with the pair turned by `radians` about the origin.
ReferenceStart turnedPair(ReferenceStart s, double radians);

struct ReferenceOutcome {
  EndCode end = EndCode::None; // None: no end within the time limit
  int revolutions = 0;
  double time = 0;               // when the test ended
  std::optional<double> closest; // least distance of body 3 to the pair after its approach (none without one)
  std::optional<double> escapeGap; // (v3 - vesc) / vesc where the escape verdict was last made
  double energyError = 0;          // relative change of the total energy at the end
  int64_t steps = 0;               // accepted integration steps
  std::vector<double> revolutionTimes;
  bool gaveUp = false;  // the step budget ran out first (end None, time where it stopped)
  bool stopped = false; // the stop flag was raised first
};

// The most steps, accepted or not, one reference integration takes: a
// thousand times what the hardest point of the default map needs, a second
// or two. Close passes the error control cannot follow at its tolerance end
// there rather than hold a verdict, a map or the program's exit for minutes.
inline constexpr int64_t kReferenceStepBudget = 1'000'000;

struct ReferenceSettings {
  double tolerance = 1e-12; // absolute and relative error per step
  double maxStep = 10;      // time units, and at most a twentieth of the pair's period
  double maxTime = 1e5;     // a test that has not ended by then is reported without an end
  int64_t maxTries = kReferenceStepBudget;
  const std::atomic<int>* stop = nullptr; // nonzero: the integration ends at its next step
  // The steps built for any processor even where the AVX2 build runs (the
  // same bits: the tests compare the two).
  bool plainSteps = false;
};

ReferenceOutcome integrateReference(const ReferenceStart& start, const ReferenceSettings& settings = {});
// Several integrations at once, their steps side by side on vector lanes,
// each with its own step size, a lane taking the next integration when its
// own ends: each outcome bit for bit the one integrateReference gives it
// alone, in a fraction of the time.
std::vector<ReferenceOutcome> integrateReferences(const std::vector<ReferenceStart>& starts,
                                                  const std::vector<ReferenceSettings>& settings);

// The verdict on a fixed-step outcome.
enum class Verification {
  Confirmed, // end code and revolutions equal the reference's
  Artefact,  // the reference agrees with itself at two tolerances and the fixed step differs
  Fragile,   // differs, and the reference itself changes when the pair is turned by 1e-6 radian
  Undecided, // the reference at 1e-12 and 1e-14 disagree
};
const char* verificationName(Verification v);
// The verdict a name stands for ("confirmed" ...), as a CSV holds it.
std::optional<Verification> verificationNamed(std::string_view name);

struct VerifiedTest {
  Verification verdict = Verification::Undecided;
  ReferenceOutcome reference; // at 1e-12
};

// Runs the reference at 1e-12 and 1e-14 (and, for an outcome that differs,
// with the pair turned by +-1e-6 radian) and judges the fixed-step outcome.
// A reference that gives up leaves the outcome undecided; nothing comes back
// when `stop` was raised meanwhile.
std::optional<VerifiedTest> verifyOutcome(const ReferenceStart& start, EndCode fixedEnd, int fixedRevolutions,
                                          const std::atomic<int>* stop = nullptr);

// Tests or map points by verdict (a physical map's stable points count as
// confirmed); `none` counts those without one: a stopped test, a fault.
struct VerdictTally {
  int64_t counts[4] = {};
  int64_t none = 0;
  void add(std::optional<Verification> v) {
    if (v)
      ++counts[static_cast<int>(*v)];
    else
      ++none;
  }
};
// What the verdict says in words, for tooltips and summaries:
// "artefact: a reference integration ends with code 3 after 8 revolutions at t = 2781".
std::string verificationText(const VerifiedTest& v);
// "1 revolution", "3 revolutions".
std::string revolutionsText(int n);

} // namespace tb
