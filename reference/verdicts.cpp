// The verdicts on a fixed-step outcome: the reference integration at two
// tolerances and with the pair turned a little, and what each verdict means.
#include "reference/reference.h"

#include "runtime/words.h"

#include <cstdio>

namespace tb {

const char* verificationName(Verification v) {
  switch (v) {
  case Verification::Confirmed: return TB_WORDS("threebody", "confirmed");
  case Verification::Artefact: return TB_WORDS("threebody", "artefact");
  case Verification::Fragile: return TB_WORDS("threebody", "fragile");
  case Verification::Undecided: return TB_WORDS("threebody", "undecided");
  }
  return "";
}

std::optional<Verification> verificationNamed(std::string_view name) {
  for (Verification v :
       {Verification::Confirmed, Verification::Artefact, Verification::Fragile, Verification::Undecided})
    if (name == verificationName(v)) return v;
  return std::nullopt;
}

std::optional<VerifiedTest> verifyOutcome(const ReferenceStart& start, EndCode fixedEnd, int fixedRevolutions,
                                          const std::atomic<int>* stop) {
  VerifiedTest v;
  ReferenceSettings coarse;
  coarse.stop = stop;
  ReferenceSettings fine = coarse;
  fine.tolerance = 1e-14;
  // The two tolerances side by side: a reference that gives up leaves the
  // outcome undecided, whatever the check says.
  const std::vector<ReferenceOutcome> both = integrateReferences({start, start}, {coarse, fine});
  v.reference = both[0];
  if (v.reference.stopped) return std::nullopt;
  if (v.reference.gaveUp) {
    v.verdict = Verification::Undecided;
    return v;
  }
  const ReferenceOutcome& check = both[1];
  if (check.stopped) return std::nullopt;
  auto same = [](const ReferenceOutcome& a, EndCode end, int revolutions) {
    return a.end == end && a.revolutions == revolutions;
  };
  if (check.gaveUp || !same(check, v.reference.end, v.reference.revolutions)) {
    v.verdict = Verification::Undecided;
  } else if (same(v.reference, fixedEnd, fixedRevolutions)) {
    v.verdict = Verification::Confirmed;
  } else {
    v.verdict = Verification::Artefact;
    const std::vector<ReferenceOutcome> turns =
        integrateReferences({turnedPair(start, 1e-6), turnedPair(start, -1e-6)}, {coarse, coarse});
    for (const ReferenceOutcome& turned : turns) {
      if (turned.stopped) return std::nullopt;
      if (turned.gaveUp) {
        v.verdict = Verification::Undecided;
        return v;
      }
      if (!same(turned, v.reference.end, v.reference.revolutions)) v.verdict = Verification::Fragile;
    }
  }
  return v;
}

std::string verificationText(const VerifiedTest& v) {
  char buf[200];
  const ReferenceOutcome& r = v.reference;
  if (r.gaveUp)
    std::snprintf(buf, sizeof buf,
                  "%s: a reference integration gave up after %lld steps at t = %.0f, close passes it cannot "
                  "follow",
                  verificationName(v.verdict), static_cast<long long>(kReferenceStepBudget), r.time);
  else if (r.end == EndCode::None)
    std::snprintf(buf, sizeof buf, "%s: a reference integration does not end by t = %.0f",
                  verificationName(v.verdict), r.time);
  else
    std::snprintf(buf, sizeof buf, "%s: a reference integration ends with code %d after %s at t = %.0f",
                  verificationName(v.verdict), endNumber(r.end), revolutionsText(r.revolutions).c_str(),
                  r.time);
  return buf;
}

std::string revolutionsText(int n) { return std::to_string(n) + (n == 1 ? " revolution" : " revolutions"); }

} // namespace tb
