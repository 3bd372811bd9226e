// The forms runtime on Qt widgets: the control form with its 39 controls, the
// display form painting from a retained image, and the print form with its 19
// result labels.
#pragma once

#include "forms/design.h"
#include "runtime/forms_runtime.h"
#include "sim/experiment.h"

#include <QHash>
#include <QImage>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <array>
#include <chrono>
#include <functional>
#include <vector>

namespace tb {

// A top-level window whose close acts like the End button.
class FormWindow : public QWidget {
public:
  std::function<void()> onClose;

protected:
  void closeEvent(QCloseEvent* event) override;
};

// The display form: every dot goes into a retained image, so covered and
// uncovered windows still show their trails.
class PlotWidget : public FormWindow {
public:
  PlotWidget();
  void clear();
  void setPixel(int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
    reinterpret_cast<uint32_t*>(image_.scanLine(y))[x] =
        0xFF000000u | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
    dirty_ = true;
  }
  const QImage& image() const { return image_; }
  // Schedules a repaint when dots were drawn since the last one.
  void flush();

protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

private:
  QImage image_;
  bool dirty_ = false;
};

class QtForms : public FormsRuntime {
public:
  QtForms();
  ~QtForms() override;

  QWidget* window(FormId f) const { return windows_[static_cast<int>(f)]; }
  PlotWidget* plot() const { return plot_; }
  QWidget* control(const QString& name) const { return controls_.value(name); }
  QLabel* lmesgLabel(int i) const { return lmesg_[static_cast<size_t>(i)]; }

  // Connects the buttons and the windows' close to the application's handlers.
  void connectHandlers(std::function<void()> start, std::function<void()> end);

  float left(FormId f) override;
  float top(FormId f) override;
  float width(FormId f) override;
  float height(FormId f) override;
  void setLeft(FormId f, float v) override;
  void setTop(FormId f, float v) override;
  void setWidth(FormId f, float v) override;
  void setHeight(FormId f, float v) override;
  float scaleWidth(FormId f) override;
  float scaleHeight(FormId f) override;
  void setScaleModePixels(FormId f) override { pixels_[static_cast<int>(f)] = true; }
  void show(FormId f) override;
  void cls(FormId f) override;
  void pset(FormId f, float x, float y, uint32_t colour) override;
  std::string text(std::string_view control) override;
  void setText(std::string_view control, const std::string& s) override;
  std::string caption(std::string_view control) override;
  void setCaption(std::string_view control, const std::string& s) override;
  void setLmesgCaption(int16_t index, const std::string& s) override;
  void setLmesgGeometry(int16_t index, int left, int top, int width, int height) override;
  uint32_t doEvents() override;
  void end() override;
  bool ended() const override { return ended_; }
  double timer() override;
  void fatalError(const std::string& message) override;

  // Keeps each finished test of the current series for Copy lines and Save
  // results (a new series starts a new list).
  void recordTest(const TestReport& report);
  const std::vector<TestReport>& results() const { return results_; }
  // The result lines of the last series, one per line (every test, also
  // those beyond the nineteenth label).
  QString resultLines() const;
  void copyLines() const;
  // The picture the display form shows.
  const QImage& shownImage() const { return plot_->image(); }
  // Each returns an empty string on success, else what went wrong.
  QString saveImage(const QString& path) const;
  QString saveResults(const QString& path) const;

  // Wall time between two rounds of event processing during a series.
  std::chrono::microseconds pumpInterval{15000};
  // Yields the engine may skip between two looks at the clock.
  uint32_t yieldBatch = 4096;

private:
  QWidget* named(std::string_view control) const;
  void buildControlForm();
  void buildPrintForm();
  void addMenus();

  std::array<FormWindow*, 3> windows_{};
  PlotWidget* plot_ = nullptr;
  QHash<QString, QWidget*> controls_;
  std::array<QLabel*, 19> lmesg_{};
  std::array<bool, 3> pixels_{};
  std::vector<TestReport> results_;
  std::chrono::steady_clock::time_point lastPump_{};
  bool ended_ = false;
};

} // namespace tb
