// The trails' colours in the document's palette and in a colour-blind safe one.
#include "display/palette.h"

#include "runtime/numeric.h"

namespace tb {

namespace {
constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
} // namespace

const TrailColours& trailColours(TrailPalette palette) {
  static const TrailColours document{
      {QBColor(12), QBColor(10)}, {QBColor(4), QBColor(2)}, QBColor(0), QBColor(12)};
  // Two hue families far apart on the blue-yellow axis that every common
  // deficiency keeps (orange and blue), each in a light shade for even and a
  // dark one for odd revolutions; the fast third body reddish purple, which
  // keeps its distance from both families and from black.
  static const TrailColours safe{{rgb(240, 160, 0), rgb(86, 180, 233)},
                                 {rgb(170, 70, 0), rgb(0, 80, 160)},
                                 rgb(0, 0, 0),
                                 rgb(204, 121, 167)};
  return palette == TrailPalette::ColourBlindSafe ? safe : document;
}

uint32_t trailColour(TrailPalette palette, int body, uint32_t documentColour) {
  if (palette == TrailPalette::Document) return documentColour;
  const TrailColours& from = trailColours(TrailPalette::Document);
  const TrailColours& to = trailColours(palette);
  if (body == 0 || body == 1) {
    if (documentColour == from.pairEven[body]) return to.pairEven[body];
    if (documentColour == from.pairOdd[body]) return to.pairOdd[body];
  } else if (body == 2) {
    if (documentColour == from.slower) return to.slower;
    if (documentColour == from.faster) return to.faster;
  }
  return documentColour;
}

} // namespace tb
