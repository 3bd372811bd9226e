// The test driver: one series of tests, one per start angle of the pair, and a
// result line per test in the print form.
#include "format/usingx.h"
#include "runtime/controls.h"
#include "runtime/cr_math.h"
#include "runtime/numeric.h"
#include "sim/experiment.h"
#include "sim/series_plan.h"

#include <cmath>

namespace tb {

void Experiment::seriesSetup() {
  // The driver's own values start from 0 at every Start: a test stopped before
  // its first display step in the first test of a series reports zeros, not
  // what an earlier series left.
  l_ = SeriesLocals{};
  s_.pi = 4 * cr::atan(1.0);
  s_.alphastr = readField(controls::Talphastr);
  s_.alphaend = readField(controls::Talphaend);
  l_.dalpha = SeriesPlan::of(s_.alphastr, s_.alphaend).step;
  RESIZE(forms_, s_.plot, 1);
  s_.alpha = s_.alphastr;
  s_.pendcode = EndCode::None;
  s_.lmesgidx = 0;
}

std::string resultLine(const TestReport& t) {
  std::string r = "Alpha ";
  USINGX(t.alpha, "###", r);
  r += " v3 ";
  USINGX(t.v3, "##.###", r);
  r += " vesc ";
  USINGX(t.vesc, "##.###", r);
  r += " r3 ";
  USINGX(t.r3, "####", r);
  r += " dist12 ";
  USINGX(t.dist12min, "####.#", r);
  r += " ";
  USINGX(t.dist12mean, "####.#", r);
  r += " ";
  USINGX(t.dist12max, "####.#", r);
  r += " time ";
  USINGX(t.time, "####", r);
  r += " end ";
  USINGX(endNumber(t.end), "##", r);
  return r;
}

// What the finished test leaves: the values of its result line and the
// drift of the conserved quantities.
TestReport Experiment::testReport(int index) const {
  TestReport t;
  t.index = index;
  t.alpha = s_.alpha;
  t.steps = s_.nstep;
  t.revolutions = s_.rev;
  t.end = s_.endcode;
  t.v3 = l_.v3;
  t.vesc = l_.vesc;
  t.v3max = l_.v3max;
  t.r3 = l_.r3;
  t.dist12min = l_.dist12min;
  t.dist12mean = l_.dist12sum / static_cast<double>(s_.nstep);
  t.dist12max = l_.dist12max;
  t.time = static_cast<double>(s_.nstep) * s_.tdelta;
  t.displayed = l_.displayed;
  t.readoutsWritten = l_.readoutsWritten;
  if (s_.nstars == 2) {
    Conserved now = conservedNow(s_);
    auto drift = [](double start, double end) -> std::optional<double> {
      double d = (end - start) / std::fabs(start);
      if (start == 0 || !std::isfinite(d)) return std::nullopt;
      return d;
    };
    t.energyDrift = drift(atStart_.energy, now.energy);
    t.angularMomentumDrift = drift(atStart_.angularMomentum, now.angularMomentum);
  }
  t.line = resultLine(t);
  return t;
}

// A test up to its first pass.
void Experiment::beginTest() {
  INITIALISE();
  l_.displayed = false;
  l_.readoutsWritten = false;
  l_.col0 = QBColor(12);
  l_.col1 = QBColor(10);
  l_.col2 = QBColor(0);
  forms_.setText(controls::Talpha, Str(s_.alpha));
  s_.nstars = s_.nstars - 1; // from the number of bodies to the highest body number
  s_.nstep = 0;
  s_.stopflag = 0;
  s_.endcode = EndCode::None;
  startupPhase();
  atStart_ = conservedAtStart(s_);
  yieldBudget_ = 1;
}

// The finished test's line in the print form and to onTestEnd.
void Experiment::finishTest(int index) {
  TestReport t = testReport(index);
  l_.resline = t.line;
  forms_.setLmesgCaption(static_cast<int16_t>(s_.lmesgidx), t.line);
  if (onTestEnd) onTestEnd(t);
  s_.lmesgidx = s_.lmesgidx + 1;
  if (s_.lmesgidx > 18) s_.lmesgidx = 18;
}

void Experiment::runTest(int index) {
  beginTest();
  mainLoop();
  finishTest(index);
}

bool Experiment::beginSolo() {
  lastFault_.clear();
  try {
    seriesSetup();
    beginTest();
    return true;
  } catch (const ArithmeticFault& fault) {
    endSoloWithFault(fault);
    return false;
  }
}

void Experiment::finishSolo() {
  phiNow();
  finishTest(0);
  seriesEnd();
}

void Experiment::endSoloWithFault(const ArithmeticFault& fault) {
  phiNow();
  lastFault_ = fault.what();
  forms_.fatalError(lastFault_);
  seriesEnd();
}

void Experiment::seriesEnd() {
  forms_.setCaption(controls::LMesg, "NEXT TEST ? ");
  forms_.setCaption(controls::CommandEnd, "End");
}

void Experiment::RunSeries() {
  lastFault_.clear();
  try {
    seriesSetup();
    const SeriesPlan plan{s_.alphastr, s_.alphaend, l_.dalpha};
    for (int index = 0;; ++index) {
      runTest(index);
      std::optional<double> next = plan.angleAfter(s_.alpha);
      if (!next) break;
      s_.alpha = *next;
      if (!SeriesPlan::goesOnAfter(s_.endcode, s_.stopflag)) break;
    }
  } catch (const ApplicationEnded&) {
    return; // the windows are gone: touch nothing
  } catch (const ArithmeticFault& fault) {
    // The series ends; every line already written stays.
    lastFault_ = fault.what();
    if (forms_.ended()) return;
    forms_.fatalError(lastFault_);
    if (forms_.ended()) return;
  }
  seriesEnd();
}

} // namespace tb
