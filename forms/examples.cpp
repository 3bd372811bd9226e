// The examples: found on the outcome maps of the default fields (the
// physical map for the fragile one) and checked with --verify.
#include "forms/examples.h"

#include "runtime/controls.h"
#include "runtime/words.h"

namespace tb {

namespace {

constexpr Example kExamples[] = {
    {TB_WORDS("threebody", "A quick collision"),
     TB_WORDS("threebody",
              "Body 3 comes in fast and hits a pair body at t = 76, before the pair has turned once."),
     "111", "1.5", "1000", "1", EndCode::Collision, false},
    {TB_WORDS("threebody", "An escape after a close pass"),
     TB_WORDS(
         "threebody",
         "Body 3 passes 3.17 from a pair body, just outside the collision distance 3.16, and is flung out "
         "faster than its escape speed."),
     "264", "0.975", "1000", "1", EndCode::Escaped, false},
    {TB_WORDS("threebody", "Far but bound"),
     TB_WORDS(
         "threebody",
         "Slow body 3 swings past the pair and goes far out, but slower than its escape speed: it would come "
         "back."),
     "9", "0.5", "1000", "1", EndCode::FarBound, false},
    {TB_WORDS("threebody", "Ten full revolutions"),
     TB_WORDS("threebody", "Body 3 stays near the pair while the pair turns ten times (t = 3577); watch the "
                           "trails change shade "
                           "with each turn."),
     "126", "0.55", "1000", "1", EndCode::TenRevolutions, false},
    {TB_WORDS("threebody", "On a chaotic boundary"),
     TB_WORDS("threebody",
              "The pair turns ten times here, but turning it by a millionth of a radian changes the outcome: "
              "Run > Verify outcomes marks it ~ fragile."),
     "90", "0.55", "1000", "1", EndCode::TenRevolutions, true},
    {TB_WORDS("threebody", "A heavy third body"),
     TB_WORDS(
         "threebody",
         "Body 3 of mass 300 tears the pair apart: its separation swings between 65 and 534 before body 3 "
         "escapes."),
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
