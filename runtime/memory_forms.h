// In-memory forms runtime: holds every text and caption, the 19 result labels
// and the plot as a pixel buffer. Used by the batch tool and the tests; a test
// can script events at chosen yields.
#pragma once

#include "runtime/forms_runtime.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tb {

class MemoryForms : public FormsRuntime {
public:
  static constexpr uint32_t kBackground = 0xFFFFFF;
  static constexpr int kLabels = 19;

  struct Window {
    float left = 0, top = 0, width = 0, height = 0; // twips, outer
    bool pixels = false;
    bool visible = false;
  };

  // Initial texts and captions of the controls, and the three windows' designs.
  MemoryForms(std::vector<std::pair<std::string, std::string>> controls, std::array<WindowDesign, 3> designs);

  float left(FormId f) override { return win(f).left; }
  float top(FormId f) override { return win(f).top; }
  float width(FormId f) override { return win(f).width; }
  float height(FormId f) override { return win(f).height; }
  void setLeft(FormId f, float v) override { win(f).left = v; }
  void setTop(FormId f, float v) override { win(f).top = v; }
  void setWidth(FormId f, float v) override;
  void setHeight(FormId f, float v) override;
  float scaleWidth(FormId f) override;
  float scaleHeight(FormId f) override;
  void setScaleModePixels(FormId f) override { win(f).pixels = true; }
  void show(FormId f) override { win(f).visible = true; }

  void cls(FormId f) override;
  void pset(FormId f, float x, float y, uint32_t colour) override;

  std::string text(std::string_view control) override;
  void setText(std::string_view control, const std::string& s) override;
  std::string caption(std::string_view control) override { return text(control); }
  void setCaption(std::string_view control, const std::string& s) override { setText(control, s); }

  void setLmesgCaption(int16_t index, const std::string& s) override;
  void setLmesgGeometry(int16_t index, int left, int top, int width, int height) override;

  uint32_t doEvents() override;
  void end() override { ended_ = true; }
  bool ended() const override { return ended_; }
  double timer() override { return clock_ ? clock_() : monotonic(); }
  void fatalError(const std::string& message) override { fatalMessages.push_back(message); }

  // Gives the display form's drawing area this size in pixels whatever the
  // window's size (the batch tool's --plot-size).
  void forcePlotSize(int width, int height);

  // --- inspection and scripting for the batch tool and the tests ---
  const Window& window(FormId f) const { return windows_[static_cast<int>(f)]; }
  const std::string& lmesg(int i) const { return lmesg_.at(static_cast<size_t>(i)); }
  // Pixel of the plot, or kBackground outside it.
  uint32_t pixel(int x, int y) const;
  int plotWidth() const { return plotW_; }
  int plotHeight() const { return plotH_; }
  const std::vector<uint32_t>& plot() const {
    makePlot();
    return plot_;
  }
  // Hands over the plot's pixels without a copy; the plot is empty after it.
  std::vector<uint32_t> takePlot() {
    makePlot();
    plotW_ = plotH_ = 0;
    return std::move(plot_);
  }
  int64_t psetCalls() const { return psetCalls_; }

  // Called at every yield while set (doEvents then returns 1, so the caller
  // yields each time); it may click buttons, type into fields or end.
  std::function<void()> onYield;
  // Called at every doEvents call without making the caller yield more often
  // (progress reports).
  std::function<void()> onPoll;
  // Checked at every doEvents call; when it reads true, onInterrupt runs once
  // per change (the batch tool's Ctrl-C).
  const std::atomic<int>* interruptFlag = nullptr;
  std::function<void(int)> onInterrupt;
  // Yields the engine may skip between doEvents calls when nothing is scripted.
  uint32_t yieldBatch = 1u << 14;
  // Replaces the monotonic clock (tests of the read-out throttle).
  std::function<double()> clock_;

  std::vector<std::string> fatalMessages;

private:
  Window& win(FormId f) { return windows_[static_cast<int>(f)]; }
  void resizePlot();
  static double monotonic();

  std::array<Window, 3> windows_{};
  std::map<std::string, std::string, std::less<>> texts_;
  std::array<std::string, kLabels> lmesg_{};
  // Row by row, plotW_ x plotH_ pixels; empty while all is background.
  mutable std::vector<uint32_t> plot_;
  void makePlot() const;
  int plotW_ = 0, plotH_ = 0;
  int forcedW_ = -1, forcedH_ = -1;
  int64_t psetCalls_ = 0;
  int lastInterrupt_ = 0;
  bool ended_ = false;
};

} // namespace tb
