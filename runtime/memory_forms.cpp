// The forms runtime in memory: texts, captions, result labels and the plot as pixels.
#include "runtime/memory_forms.h"

#include "runtime/numeric.h"

#include <cmath>
#include <stdexcept>

namespace tb {

MemoryForms::MemoryForms(std::vector<std::pair<std::string, std::string>> controls,
                         std::array<WindowDesign, 3> designs) {
  for (auto& [name, initial] : controls)
    texts_[name] = initial;
  for (int i = 0; i < 3; ++i) {
    windows_[i].width = designs[i].clientWidth + kFrameWidthTwips;
    windows_[i].height = designs[i].clientHeight + kFrameHeightTwips;
  }
  resizePlot();
}

void MemoryForms::setWidth(FormId f, float v) {
  win(f).width = v;
  if (f == FormId::Form2) resizePlot();
}

void MemoryForms::setHeight(FormId f, float v) {
  win(f).height = v;
  if (f == FormId::Form2) resizePlot();
}

namespace {
// Drawing-area size of an outer size, in pixels, never negative.
float clientPixels(float outer, float frame) {
  float client = outer - frame;
  if (client < 0) client = 0;
  return std::round(client / kTwipsPerPixel);
}
} // namespace

void MemoryForms::forcePlotSize(int width, int height) {
  forcedW_ = width;
  forcedH_ = height;
  resizePlot();
}

float MemoryForms::scaleWidth(FormId f) {
  const Window& w = win(f);
  if (f == FormId::Form2 && forcedW_ >= 0) return static_cast<float>(forcedW_);
  return w.pixels ? clientPixels(w.width, kFrameWidthTwips) : w.width - kFrameWidthTwips;
}

float MemoryForms::scaleHeight(FormId f) {
  const Window& w = win(f);
  if (f == FormId::Form2 && forcedH_ >= 0) return static_cast<float>(forcedH_);
  return w.pixels ? clientPixels(w.height, kFrameHeightTwips) : w.height - kFrameHeightTwips;
}

// The plot image follows the display form's drawing area; a resize keeps
// nothing (a run clears it before its first dot anyway). Its pixels are
// made when the first dot is drawn or the whole image is asked for: a test
// that draws nothing (a physical map's point, stopped at its first pass)
// costs no image.
void MemoryForms::resizePlot() {
  const Window& w = windows_[static_cast<int>(FormId::Form2)];
  int pw = forcedW_ >= 0 ? forcedW_ : static_cast<int>(clientPixels(w.width, kFrameWidthTwips));
  int ph = forcedH_ >= 0 ? forcedH_ : static_cast<int>(clientPixels(w.height, kFrameHeightTwips));
  if (pw == plotW_ && ph == plotH_) return;
  plotW_ = pw;
  plotH_ = ph;
  plot_.clear();
}

// An empty image stands for one all in the background colour.
void MemoryForms::cls(FormId f) {
  if (f == FormId::Form2) plot_.clear();
}

void MemoryForms::makePlot() const {
  const size_t size = static_cast<size_t>(plotW_) * static_cast<size_t>(plotH_);
  if (plot_.size() != size) plot_.assign(size, kBackground);
}

void MemoryForms::pset(FormId f, float x, float y, uint32_t colour) {
  ++psetCalls_;
  if (f != FormId::Form2) return;
  // Positions outside the drawing area are ignored, as on screen.
  if (!(x >= 0 && y >= 0 && x < static_cast<float>(plotW_) && y < static_cast<float>(plotH_))) return;
  if (plot_.empty()) makePlot();
  plot_[static_cast<size_t>(y) * static_cast<size_t>(plotW_) + static_cast<size_t>(x)] = colour;
}

uint32_t MemoryForms::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= plotW_ || y >= plotH_ || plot_.empty()) return kBackground;
  return plot_[static_cast<size_t>(y) * static_cast<size_t>(plotW_) + static_cast<size_t>(x)];
}

std::string MemoryForms::text(std::string_view control) {
  auto it = texts_.find(control);
  if (it == texts_.end()) throw std::out_of_range("no control named " + std::string(control));
  return it->second;
}

void MemoryForms::setText(std::string_view control, const std::string& s) {
  auto it = texts_.find(control);
  if (it == texts_.end()) throw std::out_of_range("no control named " + std::string(control));
  it->second = s;
}

void MemoryForms::setLmesgCaption(int16_t index, const std::string& s) {
  lmesg_.at(static_cast<size_t>(index)) = s;
}

void MemoryForms::setLmesgGeometry(int16_t index, int, int, int, int) {
  (void)lmesg_.at(static_cast<size_t>(index));
}

uint32_t MemoryForms::doEvents() {
  if (onPoll) onPoll();
  if (interruptFlag) {
    int now = interruptFlag->load(std::memory_order_relaxed);
    if (now != lastInterrupt_) {
      lastInterrupt_ = now;
      if (onInterrupt) onInterrupt(now);
    }
  }
  if (onYield) {
    onYield();
    return 1;
  }
  return yieldBatch;
}

// Asked at every display step of every test headless: the coarse clock
// serves the read-outs' tenth of a second at a fraction of the cost.
double MemoryForms::monotonic() { return coarseMonotonicSeconds(); }

} // namespace tb
