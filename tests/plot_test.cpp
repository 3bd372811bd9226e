#include "display/palette.h"
#include "display/plot.h"
#include "forms/design.h"
#include "forms/headless.h"

#include "runtime/numeric.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>

using namespace tb;

namespace {
PlotWindow window500(float xp = 300, float yp = 400) {
  PlotWindow w;
  w.xmin = -500;
  w.xmax = 500;
  w.ymin = -500;
  w.ymax = 500;
  w.xpixels = xp;
  w.ypixels = yp;
  return w;
}
} // namespace

TEST(PointCalc, MapsWorldToPixelsWithoutClamping) {
  struct Case {
    double xin, yin, x, y;
  } cases[] = {
      {-500, -500, 0, 0}, {0, 0, 150, 200},   {500, 500, 300, 400},
      {-501, 0, -1, 200}, {0, 100, 150, 240}, {0.9999, 0, 150, 200},
  };
  PlotWindow w = window500();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.xin) + "," + std::to_string(c.yin));
    double x, y;
    PointCalc(w, c.xin, c.yin, x, y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
  }
}

TEST(PointSet, DrawsOneFourOrNinePixels) {
  auto forms = newMemoryForms();
  forms->setScaleModePixels(FormId::Form2);
  // A drawing area of at least 300 x 400 pixels.
  forms->setWidth(FormId::Form2, 320 * 15 + 120);
  forms->setHeight(FormId::Form2, 420 * 15 + 510);
  PlotWindow w = window500();
  struct Case {
    double size;
    int pixels;
  } cases[] = {{0, 1}, {-2, 1}, {1, 1}, {1.5, 4}, {2, 4}, {3, 9}, {7, 9}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    forms->cls(FormId::Form2);
    int64_t before = forms->psetCalls();
    PointSet(*forms, w, 0, 0, 0x123456, c.size);
    EXPECT_EQ(forms->psetCalls() - before, c.pixels);
    int set = 0;
    for (int y = 195; y < 205; ++y)
      for (int x = 145; x < 155; ++x)
        set += forms->pixel(x, y) == 0x123456;
    EXPECT_EQ(set, c.pixels);
    EXPECT_EQ(forms->pixel(150, 200), 0x123456u);
    if (c.pixels >= 4) {
      EXPECT_EQ(forms->pixel(151, 201), 0x123456u);
    }
    if (c.pixels == 9) {
      EXPECT_EQ(forms->pixel(149, 199), 0x123456u);
    }
  }
}

TEST(RESIZE, GivesTheDrawingAreaThreeByFourAndNeverGrows) {
  struct Case {
    float width, height, newWidth, newHeight;
  } cases[] = {
      {4800, 6345, 4645, 6543},
      {6000, 5000, 4569, 6442},
      {4645, 6543, 4644, 6542},
      {100, 6000, 120, 510}, // narrower than its frame: no drawing area
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    auto forms = newMemoryForms();
    forms->setScaleModePixels(FormId::Form2);
    for (int16_t i = 0; i <= 18; ++i)
      forms->setLmesgCaption(i, "old line");
    forms->setWidth(FormId::Form2, c.width);
    forms->setHeight(FormId::Form2, c.height);
    PlotWindow w;
    RESIZE(*forms, w, 1);
    EXPECT_EQ(forms->width(FormId::Form2), c.newWidth);
    EXPECT_EQ(forms->height(FormId::Form2), c.newHeight);
    EXPECT_EQ(w.xpixels, forms->scaleWidth(FormId::Form2));
    EXPECT_EQ(w.ypixels, forms->scaleHeight(FormId::Form2));
    for (int i = 0; i <= 18; ++i)
      EXPECT_EQ(forms->lmesg(i), "");
  }
}

// The trail palettes seen through the three common colour-vision
// deficiencies, simulated at full severity by the linear-RGB matrices of the
// physiologically based model of colour-vision deficiency (2009); colours
// compared by their CIE 1976 distance in L*a*b*. Two trails, or a trail and
// the white paper, at least 15 apart read as different colours.
namespace {
struct Lab {
  double L, a, b;
};
Lab seenAs(uint32_t engine, const double (&m)[3][3]) {
  auto linear = [](uint32_t c) {
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  const double in[3] = {linear(engine & 0xFF), linear((engine >> 8) & 0xFF), linear((engine >> 16) & 0xFF)};
  double s[3];
  for (int i = 0; i < 3; ++i)
    s[i] = std::clamp(m[i][0] * in[0] + m[i][1] * in[1] + m[i][2] * in[2], 0.0, 1.0);
  const double X = 0.4124 * s[0] + 0.3576 * s[1] + 0.1805 * s[2];
  const double Y = 0.2126 * s[0] + 0.7152 * s[1] + 0.0722 * s[2];
  const double Z = 0.0193 * s[0] + 0.1192 * s[1] + 0.9505 * s[2];
  auto f = [](double t) { return t > 216.0 / 24389 ? std::cbrt(t) : (24389.0 / 27 * t + 16) / 116; };
  const double fx = f(X / 0.95047), fy = f(Y), fz = f(Z / 1.08883);
  return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

struct Vision {
  const char* name;
  double m[3][3];
};
const Vision kVisions[] = {
    {"normal", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
    {"protanopia",
     {{0.152286, 1.052583, -0.204868}, {0.114503, 0.786281, 0.099216}, {-0.003882, -0.048116, 1.051998}}},
    {"deuteranopia",
     {{0.367322, 0.860646, -0.227968}, {0.280085, 0.672501, 0.047413}, {-0.011820, 0.042940, 0.968881}}},
    {"tritanopia",
     {{1.255528, -0.076749, -0.178779}, {-0.078411, 0.930809, 0.147602}, {0.004733, 0.691367, 0.303900}}},
};

// The closest two of the six trail colours and white, as `v` sees them.
double closestPair(TrailPalette palette, const Vision& v, std::string& which) {
  const TrailColours& c = trailColours(palette);
  const std::pair<const char*, uint32_t> colours[] = {{"body 1 even", c.pairEven[0]},
                                                      {"body 1 odd", c.pairOdd[0]},
                                                      {"body 2 even", c.pairEven[1]},
                                                      {"body 2 odd", c.pairOdd[1]},
                                                      {"body 3 slow", c.slower},
                                                      {"body 3 fast", c.faster},
                                                      {"paper", 0xFFFFFF}};
  double closest = 1e9;
  for (size_t i = 0; i < std::size(colours); ++i)
    for (size_t j = i + 1; j < std::size(colours); ++j) {
      const Lab a = seenAs(colours[i].second, v.m), b = seenAs(colours[j].second, v.m);
      const double d = std::hypot(a.L - b.L, a.a - b.a, a.b - b.b);
      if (d < closest) closest = d, which = std::string(colours[i].first) + " / " + colours[j].first;
    }
  return closest;
}
} // namespace

TEST(TrailPalette, SafePaletteStaysApartUnderEveryCommonDeficiency) {
  for (const Vision& v : kVisions) {
    std::string which;
    EXPECT_GE(closestPair(TrailPalette::ColourBlindSafe, v, which), 15.0) << v.name << ": " << which;
  }
  // The document's own palette draws body 1 and the fast third body alike,
  // and protanopia brings body 1's light red close to body 2's dark green.
  std::string which;
  EXPECT_EQ(closestPair(TrailPalette::Document, kVisions[0], which), 0.0);
  const TrailColours& doc = trailColours(TrailPalette::Document);
  const Lab red = seenAs(doc.pairEven[0], kVisions[1].m), green = seenAs(doc.pairOdd[1], kVisions[1].m);
  EXPECT_LT(std::hypot(red.L - green.L, red.a - green.a, red.b - green.b), 15.0);
}

TEST(TrailPalette, MapsEachBodysColoursAndLeavesTheRest) {
  const TrailColours& doc = trailColours(TrailPalette::Document);
  const TrailColours& safe = trailColours(TrailPalette::ColourBlindSafe);
  // Body 1's light red and the fast third body's are one colour in the
  // document's palette: which body is drawn decides.
  EXPECT_EQ(doc.pairEven[0], doc.faster);
  EXPECT_EQ(trailColour(TrailPalette::ColourBlindSafe, 0, doc.pairEven[0]), safe.pairEven[0]);
  EXPECT_EQ(trailColour(TrailPalette::ColourBlindSafe, 2, doc.faster), safe.faster);
  EXPECT_NE(safe.pairEven[0], safe.faster);
  for (int body = 0; body < 2; ++body) {
    EXPECT_EQ(trailColour(TrailPalette::ColourBlindSafe, body, doc.pairOdd[body]), safe.pairOdd[body]);
    EXPECT_EQ(trailColour(TrailPalette::Document, body, doc.pairOdd[body]), doc.pairOdd[body]);
  }
  EXPECT_EQ(trailColour(TrailPalette::ColourBlindSafe, 2, doc.slower), safe.slower);
  // The centre of mass's black and colours a body never has stay.
  EXPECT_EQ(trailColour(TrailPalette::ColourBlindSafe, -1, QBColor(0)), QBColor(0));
  EXPECT_EQ(trailColour(TrailPalette::ColourBlindSafe, 1, QBColor(12)), QBColor(12));
}
