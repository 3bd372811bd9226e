// The plot: world window to pixel mapping, dots of three sizes, and the sizing
// of the display form's drawing area at the start of a series.
#pragma once

#include "runtime/forms_runtime.h"

#include <cstdint>

namespace tb {

// The world rectangle shown on the display form and the drawing area's size.
struct PlotWindow {
  double xmin = 0;   // world x at pixel column 0
  double xmax = 0;   // world x at the right edge
  double ymin = 0;   // world y at pixel row 0 (the top)
  double ymax = 0;   // world y at the bottom edge
  float xpixels = 0; // drawing area width in pixels
  float ypixels = 0; // drawing area height in pixels
};

// World position to pixel column and row (floored, not clamped). The caller
// guarantees a world window of non-zero extent.
void PointCalc(const PlotWindow& w, double xin, double yin, double& x, double& y);

// Draws a dot: one pixel for size up to 1, a 2 x 2 block up to 2, 3 x 3 above.
void PointSet(FormsRuntime& forms, const PlotWindow& w, double xin, double yin, uint32_t color, double size);

// Gives the display form a drawing area 3a wide for every 4 high of about the
// same area, records its pixel size in `w`, and blanks the 19 result labels.
void RESIZE(FormsRuntime& forms, PlotWindow& w, double a);

} // namespace tb
