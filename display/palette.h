// The trails' colours. The engine draws each body in the sixteen-colour
// palette's entries: body 1 light red (even revolutions of the pair) or dark
// red (odd), body 2 light or dark green, the third body black while slower
// than its escape speed and light red while faster. A window may draw them in
// a palette that stays apart for people with a colour-vision deficiency.
#pragma once

#include <array>
#include <cstdint>

namespace tb {

enum class TrailPalette {
  Document,       // the colours the engine chose
  ColourBlindSafe // hues that stay apart under protanopia, deuteranopia and tritanopia
};

// Body 0 and 1 (the pair) in their two shades, body 2 in its two states,
// colours as the engine passes them (red in bits 0-7).
struct TrailColours {
  uint32_t pairEven[2]; // bodies 0 and 1, even revolutions
  uint32_t pairOdd[2];  // and odd ones
  uint32_t slower;      // the third body below its escape speed
  uint32_t faster;      // and above it
};

const TrailColours& trailColours(TrailPalette palette);

// The colour `body` (0 to 2) is drawn in when the engine asks for
// `documentColour`. Colours the engine never gives that body stay as they are.
uint32_t trailColour(TrailPalette palette, int body, uint32_t documentColour);

} // namespace tb
