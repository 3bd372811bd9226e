// View > Graphs: how a test goes over time. Three panels against time: the
// third body's distance to each body of the pair and the pair's separation;
// the third body's speed against its escape speed; the relative error of the
// total energy. For the running test as it goes, or for an earlier one.
#pragma once

#include "display/palette.h"
#include "sim/trace.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

namespace tb {

// The panels, painted into any rectangle of any paint device.
class GraphPlot : public QWidget {
public:
  explicit GraphPlot(QWidget* parent = nullptr);
  // The samples drawn: `live` is read again at every paint (it grows as the
  // test runs); else a copy of an earlier test's.
  void showLive(const std::vector<TraceSample>* live);
  void showSamples(std::vector<TraceSample> samples);
  const std::vector<TraceSample>& samples() const { return live_ ? *live_ : kept_; }
  TrailPalette palette = TrailPalette::Document;
  // The panels at `size`, on white, as Save image writes them.
  QImage render(QSize size, const QString& title) const;
  void paintGraphs(QPainter& p, const QRect& area, const QString& title) const;

protected:
  void paintEvent(QPaintEvent*) override;

private:
  const std::vector<TraceSample>* live_ = nullptr;
  std::vector<TraceSample> kept_;
};

class GraphWindow : public QWidget {
public:
  GraphWindow();
  GraphPlot* plot() const { return plot_; }
  // The choices of the "Test" box: the running (or last) test first, then
  // the series' earlier tests by their line. Keeps the choice when it stays.
  void setTests(const QStringList& earlier);
  // Which test is chosen: -1 the running one, else the series' test number.
  int chosenTest() const { return choice_->currentIndex() - 1; }
  void chooseTest(int test);
  // The person chose a test in the box (-1: the running one).
  std::function<void(int)> onChoose;
  // What the graphs show, in words (their title).
  void setTitle(const QString& title);
  const QString& title() const { return title_; }
  // The samples as CSV: a header row, then time and the five values at full
  // precision; a value that no longer exists (after a collision) is empty.
  QString csv() const;
  // Each returns an empty string on success, else what went wrong.
  QString saveImage(const QString& path) const;
  QString saveCsv(const QString& path) const;

private:
  GraphPlot* plot_;
  QComboBox* choice_;
  QLabel* heading_;
  QString title_;
};

} // namespace tb
