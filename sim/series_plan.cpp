// The series plan: angle steps, test counts and what a test takes over from the one before.
#include "sim/series_plan.h"

#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <algorithm>
#include <cstring>

namespace tb {

double angleStep(double alphastr, double alphaend) {
  double dalpha = (alphaend - alphastr) / 10;
  if (dalpha <= 0) {
    dalpha = 0;
  } else if (dalpha <= 0.1) {
    dalpha = 0.1;
  } else if (dalpha <= 1) {
    dalpha = 1;
  } else if (dalpha <= 10) {
    // unchanged, cut to one decimal below
  } else if (dalpha <= 18) {
    dalpha = 10;
  } else {
    dalpha = 20;
  }
  return Int(dalpha * 10) / 10;
}

long SeriesPlan::count() const {
  long n = 1;
  for (double a = start; a < end; a = a + step) {
    if (a + step == a || n >= 100'000'000) return 0;
    ++n;
  }
  return n;
}

std::vector<double> SeriesPlan::angles(long limit) const {
  std::vector<double> v;
  if (long n = count(); n == 0 || n > limit) return v;
  for (std::optional<double> a = start; a; a = angleAfter(*a))
    v.push_back(*a);
  return v;
}

std::vector<std::pair<std::string, std::string>>
fieldsAt(std::vector<std::pair<std::string, std::string>> fields, double angle) {
  for (auto& [control, text] : fields)
    if (control == controls::Talphastr || control == controls::Talphaend) text = exactText(angle);
  return fields;
}

namespace {

// The read-outs a display step writes (Talpha and Trev are written at the
// start of every test and as it turns).
bool writtenByDisplayStep(const std::string& control) {
  for (const char* c :
       {controls::Tcycle, controls::Tr1, controls::Tr2, controls::Tr3, controls::Tvesc, controls::Tv3,
        controls::Tv3max, controls::Tdist01, controls::Tdist01min, controls::Tdist01max, controls::Tphi})
    if (control == c) return true;
  return false;
}

} // namespace

void takeOverFromTestBefore(TestReport& r, Readouts& readouts, const TestReport* before,
                            const Readouts* readoutsBefore, float& seriesMax) {
  if (before && !r.displayed) {
    r.v3 = before->v3;
    r.vesc = before->vesc;
    r.r3 = before->r3;
    r.line = resultLine(r);
  }
  if (before && readoutsBefore && !r.readoutsWritten)
    for (auto& [control, text] : readouts)
      if (writtenByDisplayStep(control))
        for (const auto& [c, t] : *readoutsBefore)
          if (c == control) text = t;
  const float earlier = seriesMax, own = r.v3max;
  seriesMax = std::max(earlier, own);
  r.v3max = seriesMax;
  // Run apart, the test did not see the greater v3 of the tests before it.
  if (earlier > own)
    for (auto& [control, text] : readouts)
      if (control == controls::Tv3max) text = StrSingle(cut3(earlier));
}

} // namespace tb
