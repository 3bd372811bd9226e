// The checks of a series' outcomes: the same series at half the time step,
// and each test's verdict by the reference integration.
#include "series/series_checks.h"

#include "reference/reference.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <limits>

namespace tb {

namespace {

// Gives each test of `first` its verdict from the series at half the time
// step: the same end code and revolution count or not. Only a test that the
// check run finished gets one; the last test of an interrupted check run was
// cut short and the ones after it never ran.
void markStability(SeriesResult& first, const SeriesResult* half) {
  size_t finished = 0;
  if (half) finished = half->tests.size() - (half->interrupted && !half->tests.empty() ? 1 : 0);
  for (size_t i = 0; i < first.tests.size(); ++i) {
    ExportedTest& t = first.tests[i];
    if (i >= finished) {
      t.verdict = Verdict::Unchecked;
      continue;
    }
    const TestReport& h = half->tests[i].report;
    bool same = h.end == t.report.end && h.revolutions == t.report.revolutions;
    t.verdict = same ? Verdict::Same : Verdict::Differs;
  }
}

// The check run's stop step: twice the first run's, as many steps of half the
// size reach the same time. A step beyond any count reached stays unreached.
int64_t doubledStep(int64_t n) {
  return n > std::numeric_limits<int64_t>::max() / 2 ? std::numeric_limits<int64_t>::max() : n * 2;
}

} // namespace

// The check: the same series at half the time step, its verdicts marked on
// `result`. Returns the half step's text, or nullopt when the program was
// ended meanwhile.
std::optional<std::string> runCheck(const SeriesSetup& setup, SeriesResult& result) {
  std::string halfStep;
  bool ran = !result.interrupted && result.fault.empty();
  SeriesResult second;
  if (ran) {
    SeriesSetup half = setup;
    half.onTest = nullptr;
    half.keepPlot = false;
    half.plotSize.reset(); // the picture is the first run's; the check needs none
    for (auto& [control, text] : half.fields)
      if (control == controls::Ttdelta) {
        halfStep = exactText(Val(text) / 2);
        text = halfStep;
      }
    if (setup.stopAtStep) half.stopAtStep = doubledStep(*setup.stopAtStep);
    second = runSeries(half);
    if (second.ended) return std::nullopt;
    result.interrupted = result.interrupted || second.interrupted;
  }
  markStability(result, ran ? &second : nullptr);
  return halfStep;
}

void verifyTest(const FieldTexts& fields, ExportedTest& t, const std::atomic<int>* stop) {
  t.verifyAsked = true;
  if (t.report.end == EndCode::None) return;
  t.verified =
      verifyOutcome(referenceStart(fields, t.report.alpha), t.report.end, t.report.revolutions, stop);
}

} // namespace tb
