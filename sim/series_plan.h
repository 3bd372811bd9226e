// The plan of a series: the angles of its tests, when it ends, and what a
// test takes over from the tests before it. The driver runs a series by it
// one test at a time; the batch tool runs its tests apart (on lanes and
// threads) and puts them together by the same rules.
#pragma once

#include "sim/end_rules.h"
#include "sim/experiment.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tb {

// The angle step between the tests of a series from its start and end angle.
double angleStep(double alphastr, double alphaend);

struct SeriesPlan {
  double start = 0; // alphastr
  double end = 0;   // alphaend
  double step = 0;  // dalpha

  static SeriesPlan of(double alphastr, double alphaend) {
    return SeriesPlan{alphastr, alphaend, angleStep(alphastr, alphaend)};
  }
  // The angle of the test after the one at `alpha`; none when that test was
  // at or past the end angle.
  std::optional<double> angleAfter(double alpha) const {
    if (!(alpha < end)) return std::nullopt;
    return alpha + step;
  }
  // Whether the series goes on after a test that ended with `code` while
  // the stop flag was `stopflag`: not after Stop, nor after a test that
  // ended without an end code.
  static bool goesOnAfter(EndCode code, int stopflag) { return stopflag != 1 && code != EndCode::None; }
  // How many tests the series runs when every test ends by an end code; 0
  // when the angles never reach the end angle (or not within 100 million tests).
  long count() const;
  // Their angles in order; empty when there are none or more than `limit`.
  std::vector<double> angles(long limit) const;
};

// The field texts of the one-test series at `angle` (start and end angle
// both `angle`, written so that they read back as exactly it): how a test of
// a series runs apart.
std::vector<std::pair<std::string, std::string>>
fieldsAt(std::vector<std::pair<std::string, std::string>> fields, double angle);

// The read-outs of the control form as (control name, text).
using Readouts = std::vector<std::pair<std::string, std::string>>;

// What a test run apart cannot know and takes over from the test before it
// in the series (`before`, none for the first test), as one test at a time
// leaves it: a test without a display step (stopped before its first) shows
// the third body's speeds and r3 as the test before left them, one that did
// not write the read-outs the read-outs the test before left; the greatest v3
// runs through the series (`seriesMax`: the greatest v3 of the tests before,
// updated here).
void takeOverFromTestBefore(TestReport& test, Readouts& readouts, const TestReport* before,
                            const Readouts* readoutsBefore, float& seriesMax);

} // namespace tb
