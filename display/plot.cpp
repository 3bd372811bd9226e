// The plot's world-to-pixel mapping and its dots.
#include "display/plot.h"

#include "runtime/numeric.h"

#include <cmath>

namespace tb {

void PointCalc(const PlotWindow& w, double xin, double yin, double& x, double& y) {
  x = Int((xin - w.xmin) / (w.xmax - w.xmin) * static_cast<double>(w.xpixels));
  y = Int((yin - w.ymin) / (w.ymax - w.ymin) * static_cast<double>(w.ypixels));
}

void PointSet(FormsRuntime& forms, const PlotWindow& w, double xin, double yin, uint32_t color, double size) {
  double x, y;
  PointCalc(w, xin, yin, x, y);
  auto set = [&](double px, double py) {
    forms.pset(FormId::Form2, static_cast<float>(px), static_cast<float>(py), color);
  };
  set(x, y);
  if (size > 1) {
    set(x, y + 1);
    set(x + 1, y);
    set(x + 1, y + 1);
  }
  if (size > 2) {
    set(x - 1, y - 1);
    set(x - 1, y);
    set(x - 1, y + 1);
    set(x, y - 1);
    set(x + 1, y - 1);
  }
}

void RESIZE(FormsRuntime& forms, PlotWindow& w, double a) {
  float outerW = forms.width(FormId::Form2) - kFrameWidthTwips;
  float outerH = forms.height(FormId::Form2) - kFrameHeightTwips;
  double t = static_cast<double>(outerW) * a * static_cast<double>(outerH) * 3 / 4;
  // A window smaller than its frame in one direction would ask for the root
  // of a negative area; it gets no drawing area instead.
  if (!(t > 0)) t = 0;
  double wpx = Int(std::sqrt(t));
  double hpx = Int(wpx * 4 / 3 / a);
  forms.setWidth(FormId::Form2, static_cast<float>(wpx + kFrameWidthTwips));
  forms.setHeight(FormId::Form2, static_cast<float>(hpx + kFrameHeightTwips));
  w.xpixels = forms.scaleWidth(FormId::Form2);
  w.ypixels = forms.scaleHeight(FormId::Form2);
  for (int16_t i = 0; i <= 18; ++i)
    forms.setLmesgCaption(i, "");
}

} // namespace tb
