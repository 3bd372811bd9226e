// The forms runtime: the small set of window and control operations the logic
// uses, in plain std types. The desktop program implements it on Qt widgets;
// the batch tool and the tests use the in-memory implementation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tb {

enum class FormId { Form1, Form2, Form3 };

// Twips per pixel for the geometry conversions of both implementations.
inline constexpr float kTwipsPerPixel = 15.0f;
// The frame the logic assumes around a window's drawing area, in twips.
inline constexpr float kFrameWidthTwips = 120.0f;
inline constexpr float kFrameHeightTwips = 510.0f;

// A window's designed drawing area, in twips.
struct WindowDesign {
  float clientWidth;
  float clientHeight;
};

class FormsRuntime {
public:
  virtual ~FormsRuntime() = default;

  // Window geometry in twips (outer size), single precision.
  virtual float left(FormId f) = 0;
  virtual float top(FormId f) = 0;
  virtual float width(FormId f) = 0;
  virtual float height(FormId f) = 0;
  virtual void setLeft(FormId f, float v) = 0;
  virtual void setTop(FormId f, float v) = 0;
  virtual void setWidth(FormId f, float v) = 0;
  virtual void setHeight(FormId f, float v) = 0;
  // Drawing area in the window's scale unit (pixels once set so).
  virtual float scaleWidth(FormId f) = 0;
  virtual float scaleHeight(FormId f) = 0;
  virtual void setScaleModePixels(FormId f) = 0;
  virtual void show(FormId f) = 0;

  // Drawing on the display form.
  virtual void cls(FormId f) = 0;
  virtual void pset(FormId f, float x, float y, uint32_t colour) = 0;
  // The colour a trail of `body` (0 and 1 the pair, 2 the third body) is
  // drawn in, for the colour the logic chose: a window may draw the bodies in
  // a palette of its own. Asked once per body and display step.
  virtual uint32_t bodyColour(int /*body*/, uint32_t colour) { return colour; }

  // Controls of the control form, reached by name.
  virtual std::string text(std::string_view control) = 0;
  virtual void setText(std::string_view control, const std::string& s) = 0;
  virtual std::string caption(std::string_view control) = 0;
  virtual void setCaption(std::string_view control, const std::string& s) = 0;

  // The print form's label array Lmesg(0..18).
  virtual void setLmesgCaption(int16_t index, const std::string& s) = 0;
  virtual void setLmesgGeometry(int16_t index, int left, int top, int width, int height) = 0;

  // The yield. Serves pending events, running their handlers nested, and
  // returns how many further yields the caller may skip before calling again
  // (at least 1). An implementation that has to see every yield returns 1.
  virtual uint32_t doEvents() = 0;

  // Ends the application at once. Implementations do not return to the
  // caller's code path in a way that lets a series go on: after end(),
  // ended() is true and the logic unwinds without touching the windows.
  virtual void end() = 0;
  virtual bool ended() const = 0;

  // Seconds from a monotonic clock (the read-out throttle).
  virtual double timer() = 0;

  // A fatal arithmetic error ended the series; the message says what happened
  // and which field to change.
  virtual void fatalError(const std::string& message) = 0;
};

} // namespace tb
