// The outcome map's picture: cells, axes, ticks and legend in a small pixel font.
#include "maps/map_picture.h"
#include "runtime/chars.h"
#include "runtime/cr_math.h"

#include "sim/end_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace tb {

namespace {

// A 5 x 7 pixel font for the map picture's labels: digits, lower-case
// letters and the signs numbers and field names use. Each glyph is seven
// rows, the leftmost pixel in bit 4.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}, {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}}, {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}},
    {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1E, 0x01, 0x01, 0x0E, 0x01, 0x01, 0x1E}}, {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}}, {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}}, {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}}, {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}},
    {'b', {0x10, 0x10, 0x1E, 0x11, 0x11, 0x11, 0x1E}}, {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}},
    {'d', {0x01, 0x01, 0x0F, 0x11, 0x11, 0x11, 0x0F}}, {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},
    {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}}, {'g', {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}},
    {'j', {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}}, {'k', {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}},
    {'l', {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}}, {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}}, {'q', {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}}, {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}}, {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}},
    {'v', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}}, {'w', {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}}, {'y', {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'z', {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}},
};

constexpr int kMarginLeft = 64;   // the y axis' values and name
constexpr int kMarginBottom = 34; // the x axis' values and name
constexpr int kMarginTop = 14;    // the y axis' name above the map
constexpr int kLegendWidth = 118;
constexpr size_t kTickChars = 9; // the longest tick label the left margin holds
constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kGrey = 0x808080;

struct Canvas {
  int width, height;
  std::vector<uint32_t> pixels;
  void set(int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[static_cast<size_t>(y) * width + x] = c;
  }
  void fill(int x0, int y0, int w, int h, uint32_t c) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x)
        set(x, y, c);
  }
  // Text in the 5 x 7 font, 6 pixels a character; unknown characters stay blank.
  void text(int x, int y, const std::string& s, uint32_t c) {
    for (char ch : s) {
      for (const Glyph& g : kGlyphs)
        if (g.c == ch)
          for (int r = 0; r < 7; ++r)
            for (int b = 0; b < 5; ++b)
              if (g.rows[r] & (0x10 >> b)) set(x + b, y + r, c);
      x += 6;
    }
  }
};

int textWidth(const std::string& s) { return static_cast<int>(s.size()) * 6 - 1; }

// A handful of tick positions along an axis of n points of `cell` pixels
// each: both ends and a few between, no closer than `room` pixels, so that
// their labels never overlap (a single tick where even two do not fit).
std::vector<int> ticks(int n, int cell, int room) {
  std::vector<int> t;
  int parts = std::min(4, n - 1);
  // Rounded to cells, neighbours can come one cell closer than the even spacing.
  while (parts > 0 && static_cast<int64_t>(n - 1) * cell < static_cast<int64_t>(parts) * (room + cell))
    --parts;
  for (int k = 0; k <= parts; ++k)
    t.push_back(parts == 0 ? 0 : static_cast<int>(std::lround(static_cast<double>(k) * (n - 1) / parts)));
  t.erase(std::unique(t.begin(), t.end()), t.end());
  return t;
}

} // namespace

// A value's text as a tick shows it: as written when it is short, else with
// fewer digits and its exponent kept, so that it keeps its magnitude.
std::string mapTickText(const std::string& s) {
  if (s.size() <= kTickChars) return s;
  double v = std::strtod(s.c_str(), nullptr);
  std::string best = s;
  for (int digits = 6; digits >= 1; --digits) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    std::string t = buf;
    // e+21 -> e21, e-05 -> e-5
    if (auto e = t.find('e'); e != std::string::npos) {
      std::string mant = t.substr(0, e), exp = t.substr(e + 1);
      bool negative = exp[0] == '-';
      exp = exp.substr(exp[0] == '-' || exp[0] == '+' ? 1 : 0);
      exp.erase(0, std::min(exp.find_first_not_of('0'), exp.size() - 1));
      t = mant + "e" + (negative ? "-" : "") + exp;
    }
    best = t;
    if (t.size() <= kTickChars) break;
  }
  return best;
}

void axisPoints(double start, double end, int count, std::vector<double>& values,
                std::vector<std::string>& texts) {
  values.clear();
  texts.clear();
  for (int i = 0; i < count; ++i) {
    double v = count == 1 ? start : i == count - 1 ? end : start + (end - start) * i / (count - 1);
    char buf[64];
    auto r = toChars(buf, buf + sizeof buf, v);
    values.push_back(v);
    texts.emplace_back(buf, r.ptr);
  }
}

uint32_t mapCellColour(MapOutcome outcome, int64_t steps, int64_t longest) {
  if (outcome.kind() != MapOutcome::Kind::Ended) return outcome.colour();
  // From full colour for the shortest tests to 40 % for the longest, on a
  // logarithmic scale so that short and long tests both show their spread.
  double f = longest > 1 && steps > 1
                 ? cr::log(static_cast<double>(steps)) / cr::log(static_cast<double>(longest))
                 : 0;
  double shade = 1.0 - 0.6 * std::clamp(f, 0.0, 1.0);
  uint32_t c = outcome.colour(), out = 0;
  for (int k = 0; k < 3; ++k)
    out |= static_cast<uint32_t>(std::lround(((c >> (8 * k)) & 0xFF) * shade)) << (8 * k);
  return out;
}

void mapCellOrigin(const MapPicture& map, int i, int j, int* x, int* y) {
  *x = kMarginLeft + i * map.cell;
  *y = kMarginTop + (map.rows - 1 - j) * map.cell; // the y axis points up
}

bool mapCellAt(const MapPicture& map, int x, int y, int* i, int* j) {
  if (x < kMarginLeft || y < kMarginTop) return false;
  int ci = (x - kMarginLeft) / map.cell, row = (y - kMarginTop) / map.cell;
  if (ci >= map.columns || row >= map.rows) return false;
  *i = ci;
  *j = map.rows - 1 - row;
  return true;
}

void mapPictureSize(int64_t columns, int64_t rows, int cell, int64_t* width, int64_t* height) {
  *width = kMarginLeft + columns * cell + kLegendWidth;
  *height = std::max<int64_t>(kMarginTop + rows * cell + kMarginBottom, 6 * 12 + 20);
}

std::vector<uint32_t> drawMap(const MapPicture& map, int* width, int* height) {
  const int plotW = map.columns * map.cell, plotH = map.rows * map.cell;
  int64_t w = 0, h = 0;
  mapPictureSize(map.columns, map.rows, map.cell, &w, &h);
  // A physical map's legend has a row more; a map with doubtful points is
  // tall enough for the dots' legend too.
  const int extra = map.physical ? 1 : 0;
  h = std::max<int64_t>(h, (6 + extra) * 12 + 20);
  if (std::any_of(map.cells.begin(), map.cells.end(),
                  [](const MapCell& m) { return m.mark != MapMark::None; }))
    h = std::max<int64_t>(h, kMarginTop + (8 + extra) * 12 + 5);
  Canvas c{static_cast<int>(w), static_cast<int>(h), {}};
  c.pixels.assign(static_cast<size_t>(c.width) * c.height, kWhite);
  int64_t longest = 1;
  for (const MapCell& m : map.cells)
    longest = std::max(longest, m.steps);
  for (int j = 0; j < map.rows; ++j)
    for (int i = 0; i < map.columns; ++i) {
      const MapCell& m = map.cells[static_cast<size_t>(j) * map.columns + i];
      int x, y;
      mapCellOrigin(map, i, j, &x, &y);
      c.fill(x, y, map.cell, map.cell, mapCellColour(m.outcome, m.steps, longest));
      // A verified map marks its doubtful points with a dot in the cell's middle.
      if (m.mark != MapMark::None) {
        const int d = std::max(1, map.cell / 2), at = (map.cell - d) / 2;
        c.fill(x + at, y + at, d, d, m.mark == MapMark::Artefact ? kBlack : kWhite);
      }
    }
  bool artefacts = false, fragile = false;
  for (const MapCell& m : map.cells) {
    artefacts = artefacts || m.mark == MapMark::Artefact;
    fragile = fragile || m.mark == MapMark::Fragile;
  }
  const int legendX = kMarginLeft + plotW + 8;
  // Axes: ticks at cell centres, the values below and to the left, the names.
  const int bottom = kMarginTop + plotH;
  size_t widest = 0;
  for (int i = 0; i < map.columns; ++i)
    widest = std::max(widest, mapTickText(map.xTexts[static_cast<size_t>(i)]).size());
  for (int i : ticks(map.columns, map.cell, textWidth(std::string(widest, '0')) + 6)) {
    int x = kMarginLeft + i * map.cell + map.cell / 2;
    c.fill(x, bottom, 1, 4, kBlack);
    std::string t = mapTickText(map.xTexts[static_cast<size_t>(i)]);
    // Centred under its tick, but never into the legend.
    c.text(std::max(0, std::min(x - textWidth(t) / 2, legendX - 6 - textWidth(t))), bottom + 6, t, kBlack);
  }
  c.text(kMarginLeft + plotW / 2 - textWidth(map.xName) / 2, bottom + 18, map.xName, kBlack);
  for (int j : ticks(map.rows, map.cell, 9)) {
    int y = kMarginTop + (map.rows - 1 - j) * map.cell + map.cell / 2;
    c.fill(kMarginLeft - 4, y, 4, 1, kBlack);
    std::string t = mapTickText(map.yTexts[static_cast<size_t>(j)]);
    c.text(kMarginLeft - 6 - textWidth(t), std::max(0, y - 3), t, kBlack);
  }
  c.text(2, 2, map.yName, kBlack);
  // The legend: one swatch per outcome, and what the shades mean.
  const int lx = legendX;
  int y = kMarginTop - 8;
  const std::span<const MapOutcome> legend =
      map.physical ? std::span<const MapOutcome>(kPhysicalLegendOutcomes) : kLegendOutcomes;
  for (MapOutcome o : legend) {
    c.fill(lx, y, 9, 9, mapCellColour(o, 1, longest));
    c.text(lx + 13, y + 1, o.name(), kBlack);
    y += 12;
  }
  const int rows = static_cast<int>(legend.size());
  c.text(lx, kMarginTop + rows * 12 - 6, "darker: longer", kGrey);
  // The dots' legend, for the marks the map has.
  int row = rows + 1;
  if (artefacts && kMarginTop + row * 12 + 4 < c.height) {
    c.fill(lx + 2, kMarginTop + row * 12 - 6, 4, 4, kBlack);
    c.text(lx + 13, kMarginTop + row * 12 - 8, "dot: artefact", kBlack);
    ++row;
  }
  if (fragile && kMarginTop + row * 12 + 4 < c.height) {
    c.fill(lx + 1, kMarginTop + row * 12 - 7, 6, 6, kBlack);
    c.fill(lx + 2, kMarginTop + row * 12 - 6, 4, 4, kWhite);
    c.text(lx + 13, kMarginTop + row * 12 - 8, "dot: fragile", kBlack);
  }
  *width = c.width;
  *height = c.height;
  return std::move(c.pixels);
}

} // namespace tb
