#include "display/plot.h"
#include "forms/design.h"
#include "forms/headless.h"

#include <gtest/gtest.h>

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
