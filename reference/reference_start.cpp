// Where a reference integration starts: a test's bodies as the fixed-step
// engine sets them up, and the same with the pair turned.
#include "reference/reference.h"

#include "runtime/bit_cast.h"
#include "runtime/controls.h"
#include "runtime/cr_math.h"
#include "runtime/memory_forms.h"
#include "sim/experiment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tb {

namespace {

// The engine's pi, 4 atan 1, as its start takes it.
const double kEnginePi = 4 * cr::atan(1.0);

} // namespace

ReferenceStart referenceStart(const FieldTexts& fields, double alpha) {
  std::vector<std::pair<std::string, std::string>> texts = fields;
  texts.emplace_back(controls::LMesg, "");
  texts.emplace_back(controls::Trev, "0");
  MemoryForms forms(std::move(texts),
                    {WindowDesign{4440, 4080}, WindowDesign{4680, 5835}, WindowDesign{6420, 6420}});
  Experiment e(forms);
  e.state().pi = kEnginePi;
  e.state().alpha = alpha;
  e.INITIALISE();
  const SimState& s = e.state();
  ReferenceStart r;
  for (int i = 0; i < 3; ++i) {
    r.mass[i] = s.mass[i];
    r.x[i] = s.xstart[i];
    r.y[i] = s.ystart[i];
    r.vx[i] = s.vxstart[i];
    r.vy[i] = s.vystart[i];
  }
  r.revref = s.revref;
  r.wrapRule = s.revref == 0;
  r.phi0 = s.phi;
  r.r3start = s.r3start;
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (cr::hypot(r.x[j] - r.x[i], r.y[j] - r.y[i]) < 1) r.closeAtStart = true;
  return r;
}

ReferenceStart turnedPair(ReferenceStart s, double radians) {
  // A map turns every point by the same two angles: their cosines and sines
  // are kept rather than computed again.
  struct Turn {
    double radians = NAN, c = 0, s = 0;
  };
  thread_local Turn kept[2];
  thread_local int next = 0;
  // The same bits (a turn by -0 is not one by +0).
  auto same = [radians](const Turn& t) { return bitCast<uint64_t>(t.radians) == bitCast<uint64_t>(radians); };
  Turn* turn = same(kept[0]) ? &kept[0] : same(kept[1]) ? &kept[1] : nullptr;
  if (!turn) {
    turn = &kept[next];
    next ^= 1;
    *turn = {radians, cr::cos(radians), cr::sin(radians)};
  }
  const double c = turn->c, sn = turn->s;
  for (int i = 0; i < 2; ++i) {
    const double x = s.x[i], y = s.y[i], vx = s.vx[i], vy = s.vy[i];
    s.x[i] = c * x - sn * y;
    s.y[i] = sn * x + c * y;
    s.vx[i] = c * vx - sn * vy;
    s.vy[i] = sn * vx + c * vy;
  }
  // The revolution reference turns with the pair, and so does its start
  // direction, so that whether the start counts a revolution stays as it
  // was; the rule the engine counts by stays too.
  const double degrees = radians * 180 / kEnginePi;
  s.phi0 += degrees;
  s.revref += degrees;
  return s;
}

} // namespace tb
