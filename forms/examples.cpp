// The examples: found on the outcome maps of the default fields (the
// physical map for the fragile one) and checked with --verify.
#include "forms/examples.h"

#include "runtime/controls.h"

namespace tb {

namespace {

constexpr Example kExamples[] = {
    {"A quick collision",
     "Body 3 comes in fast and hits a pair body at t = 76, before the pair has turned once.", "111", "1.5",
     "1000", "1", EndCode::Collision, false},
    {"An escape after a close pass",
     "Body 3 passes 3.17 from a pair body, just outside the collision distance 3.16, and is flung out "
     "faster than its escape speed.",
     "264", "0.975", "1000", "1", EndCode::Escaped, false},
    {"Far but bound",
     "Slow body 3 swings past the pair and goes far out, but slower than its escape speed: it would come "
     "back.",
     "9", "0.5", "1000", "1", EndCode::FarBound, false},
    {"Ten full revolutions",
     "Body 3 stays near the pair while the pair turns ten times (t = 3577); watch the trails change shade "
     "with each turn.",
     "126", "0.55", "1000", "1", EndCode::TenRevolutions, false},
    {"On a chaotic boundary",
     "The pair turns ten times here, but turning it by a millionth of a radian changes the outcome: "
     "Run > Verify outcomes marks it ~ fragile.",
     "90", "0.55", "1000", "1", EndCode::TenRevolutions, true},
    {"A heavy third body",
     "Body 3 of mass 300 tears the pair apart: its separation swings between 65 and 534 before body 3 "
     "escapes.",
     "45", "0.9", "1000", "300", EndCode::Escaped, false},
};

} // namespace

std::span<const Example> examples() { return kExamples; }

FieldTexts exampleFields(const Example& e) {
  FieldTexts f = defaultFieldTexts();
  for (auto& [control, text] : f) {
    if (control == controls::Talphastr || control == controls::Talphaend) text = e.alpha;
    if (control == controls::Tinitv2) text = e.initv3;
    if (control == controls::Tm2) text = e.m2;
    if (control == controls::Tm3) text = e.m3;
  }
  return f;
}

} // namespace tb
