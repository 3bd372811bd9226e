// The graph window: a test's distances, speeds and energy error over time.
#include "forms/qt/graph_window.h"
#include "runtime/cr_math.h"

#include "forms/qt/qt_forms.h"
#include "forms/qt/widgets.h"
#include "forms/qt/words.h"

#include <QAction>
#include <QBuffer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tb {

namespace {

struct Series {
  QString name;
  double TraceSample::*value;
  QColor colour;
  Qt::PenStyle style;
};

struct Panel {
  QString axis; // the quantity and its unit, up the left side
  std::vector<Series> series;
  bool fromZero; // distances and speeds are drawn from 0 up
};

std::vector<Panel> panels(TrailPalette palette) {
  const TrailColours& c = trailColours(palette);
  return {
      {Words::tr("distance (units)"),
       {{Words::tr("body 3 to body 1"), &TraceSample::dist13, engineColour(c.pairEven[0]), Qt::SolidLine},
        {Words::tr("body 3 to body 2"), &TraceSample::dist23, engineColour(c.pairEven[1]), Qt::DashLine},
        {Words::tr("body 1 to body 2 (the pair)"), &TraceSample::dist12, QColor(90, 90, 90), Qt::DotLine}},
       true},
      {Words::tr("speed (units per time unit)"),
       {{Words::tr("speed of body 3"), &TraceSample::v3, engineColour(c.slower), Qt::SolidLine},
        {Words::tr("its escape speed from the pair"), &TraceSample::vesc, engineColour(c.faster),
         Qt::DashLine}},
       true},
      {Words::tr("relative energy error"),
       {{Words::tr("(E - E at the start) / |E at the start|"), &TraceSample::energyError, QColor(0, 90, 200),
         Qt::SolidLine}},
       false},
  };
}

// Tick values: 1, 2 or 5 times a power of ten, about `count` of them over [lo, hi].
std::vector<double> ticks(double lo, double hi, int count) {
  std::vector<double> out;
  const double span = hi - lo;
  if (!(span > 0) || !std::isfinite(span)) return out;
  const double raw = span / count;
  const double power = cr::decadeOf(raw);
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= raw) {
      step = m * power;
      break;
    }
  for (double v = std::ceil(lo / step) * step; v <= hi + step * 1e-9; v += step)
    out.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
  return out;
}

QString tickText(double v) { return QString::number(v, 'g', 4); }

} // namespace

GraphPlot::GraphPlot(QWidget* parent) : QWidget(parent) {
  setMinimumSize(360, 420);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphPlot::showLive(const std::vector<TraceSample>* live) {
  live_ = live;
  kept_.clear();
  update();
}

void GraphPlot::showSamples(std::vector<TraceSample> samples) {
  live_ = nullptr;
  kept_ = std::move(samples);
  update();
}

void GraphPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  paintGraphs(p, rect(), QString());
}

QImage GraphPlot::render(QSize size, const QString& title) const {
  QImage out(size, QImage::Format_RGB32);
  QPainter p(&out);
  p.setFont(font());
  paintGraphs(p, out.rect(), title);
  return out;
}

void GraphPlot::paintGraphs(QPainter& p, const QRect& area, const QString& title) const {
  p.fillRect(area, Qt::white);
  p.setRenderHint(QPainter::Antialiasing);
  const QFontMetrics fm = p.fontMetrics();
  const int line = fm.height();
  const QColor ink(40, 40, 40), grid(225, 225, 225);
  QRect room = area.adjusted(8, 6, -12, -6);
  if (!title.isEmpty()) {
    p.setPen(ink);
    p.drawText(QRect(room.left(), room.top(), room.width(), line), Qt::AlignHCenter, title);
    room.setTop(room.top() + line + 4);
  }
  const std::vector<TraceSample>& s = samples();
  if (s.empty()) {
    p.setPen(ink);
    p.drawText(room, Qt::AlignCenter | Qt::TextWordWrap,
               "No test to show yet. Press Start: the graphs follow the running test.");
    return;
  }
  double tmax = s.back().time;
  if (!(tmax > 0)) tmax = 1;
  const std::vector<Panel> all = panels(palette);
  // Room for the upright axis names and the tick labels on the left, the
  // time axis below the last panel.
  const int left = room.left() + 2 * line + 4 + fm.horizontalAdvance("-0.0000e-00") + 6;
  const int bottomAxis = 2 * line + 8;
  const int gap = line / 2 + 4;
  const int n = static_cast<int>(all.size());
  const int panelH = (room.height() - bottomAxis - gap * (n - 1)) / n;
  if (panelH < 3 * line || room.right() - left < 60) return;
  const std::vector<double> timeTicks = ticks(0, tmax, std::max(2, (room.right() - left) / 90));
  for (int k = 0; k < n; ++k) {
    const Panel& panel = all[static_cast<size_t>(k)];
    const QRect box(left, room.top() + k * (panelH + gap), room.right() - left, panelH);
    double lo = panel.fromZero ? 0 : INFINITY, hi = -INFINITY;
    for (const Series& series : panel.series)
      for (const TraceSample& t : s) {
        const double v = t.*series.value;
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
      }
    if (!std::isfinite(lo) || !std::isfinite(hi)) lo = -1, hi = 1;
    if (hi - lo <= std::abs(hi) * 1e-12) {
      const double pad = hi == 0 ? 1 : std::abs(hi) * 0.5;
      lo -= panel.fromZero ? 0 : pad, hi += pad;
    }
    hi += (hi - lo) * 0.05;
    auto X = [&](double t) { return box.left() + t / tmax * box.width(); };
    auto Y = [&](double v) { return box.bottom() - (v - lo) / (hi - lo) * box.height(); };
    // Grid and ticks.
    p.setPen(QPen(grid, 1));
    for (double t : timeTicks)
      p.drawLine(QPointF(X(t), box.top()), QPointF(X(t), box.bottom()));
    const std::vector<double> valueTicks = ticks(lo, hi, std::max(2, panelH / (2 * line)));
    for (double v : valueTicks) {
      p.setPen(QPen(grid, 1));
      p.drawLine(QPointF(box.left(), Y(v)), QPointF(box.right(), Y(v)));
      p.setPen(ink);
      const QString label = tickText(v);
      p.drawText(QPointF(box.left() - 4 - fm.horizontalAdvance(label), Y(v) + fm.ascent() / 2.0 - 1), label);
    }
    p.setPen(QPen(ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    // The axis name, upright along the left edge; its unit on a second line
    // when the panel is too low for both on one.
    QStringList lines{panel.axis};
    if (fm.horizontalAdvance(panel.axis) > box.height() && panel.axis.contains(" ("))
      lines = QStringList{panel.axis.section(" (", 0, 0), "(" + panel.axis.section(" (", 1)};
    p.save();
    p.translate(room.left() + fm.ascent() + (lines.size() - 1) * line, box.center().y());
    p.rotate(-90);
    for (int l = 0; l < lines.size(); ++l) {
      const QString axis = fm.elidedText(lines[l], Qt::ElideRight, box.height());
      p.drawText(QPointF(-fm.horizontalAdvance(axis) / 2.0, (l - (lines.size() - 1)) * line), axis);
    }
    p.restore();
    // The curves: a value that no longer exists breaks the line.
    p.save();
    p.setClipRect(box.adjusted(0, -1, 1, 1));
    for (const Series& series : panel.series) {
      QPainterPath path;
      bool drawing = false;
      for (const TraceSample& t : s) {
        const double v = t.*series.value;
        if (!std::isfinite(v)) {
          drawing = false;
          continue;
        }
        const QPointF at(X(t.time), Y(v));
        if (drawing)
          path.lineTo(at);
        else
          path.moveTo(at);
        drawing = true;
      }
      p.setPen(QPen(series.colour, 2, series.style));
      p.drawPath(path);
    }
    p.restore();
    // The legend, top right inside the panel, each curve with its line.
    int legendW = 0;
    for (const Series& series : panel.series)
      legendW = std::max(legendW, fm.horizontalAdvance(series.name));
    legendW += 40;
    const int legendH = static_cast<int>(panel.series.size()) * line + 6;
    const QRect legend(box.right() - legendW - 6, box.top() + 6, legendW, legendH);
    p.fillRect(legend, QColor(255, 255, 255, 225));
    for (size_t j = 0; j < panel.series.size(); ++j) {
      const Series& series = panel.series[j];
      const int y = legend.top() + 3 + static_cast<int>(j) * line + line / 2;
      p.setPen(QPen(series.colour, 2, series.style));
      p.drawLine(legend.left() + 6, y, legend.left() + 32, y);
      p.setPen(ink);
      p.drawText(QPoint(legend.left() + 38, y + fm.ascent() / 2 - 1), series.name);
    }
    // Time labels under the last panel.
    if (k == n - 1) {
      p.setPen(ink);
      for (double t : timeTicks) {
        const QString label = tickText(t);
        p.drawText(QPointF(X(t) - fm.horizontalAdvance(label) / 2.0, box.bottom() + 4 + fm.ascent()), label);
      }
      const QString axis = Words::tr("time (time units)");
      p.drawText(
          QPointF(box.center().x() - fm.horizontalAdvance(axis) / 2.0, box.bottom() + 6 + line + fm.ascent()),
          axis);
    }
  }
}

GraphWindow::GraphWindow()
    : plot_(new GraphPlot), choice_(new QComboBox), heading_(new QLabel),
      title_(Words::tr("The running test")) {
  setWindowTitle(Words::tr("threebody graphs"));
  auto* save = new QPushButton(Words::tr("Save image..."));
  auto* saveCsvButton = new QPushButton(Words::tr("Save CSV..."));
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(Words::tr("Test:")));
  top->addWidget(choice_, 1);
  top->addWidget(save);
  top->addWidget(saveCsvButton);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(heading_);
  layout->addWidget(plot_, 1);
  heading_->setText(title_);
  choice_->addItem(Words::tr("The running test (or the last one)"));
  choice_->setToolTip(
      "Which test the graphs show: the running one as it goes, or an earlier one of the series");
  QObject::connect(choice_, &QComboBox::activated, [this](int index) {
    if (onChoose) onChoose(index - 1);
  });
  auto ask = [this](const QString& caption, const QString& name, const QString& filter, auto&& save) {
    const QString path = QFileDialog::getSaveFileName(this, caption, name, filter);
    if (path.isEmpty()) return;
    const QString error = save(path);
    if (!error.isEmpty()) warn(this, caption, error);
  };
  QObject::connect(save, &QPushButton::clicked, [this, ask] {
    ask(Words::tr("Save image"), "threebody-graphs.png", Words::tr("PNG images (*.png)"),
        [this](const QString& path) { return saveImage(path); });
  });
  QObject::connect(saveCsvButton, &QPushButton::clicked, [this, ask] {
    ask(Words::tr("Save CSV"), "threebody-graphs.csv", Words::tr("CSV files (*.csv)"),
        [this](const QString& path) { return saveCsv(path); });
  });
  // Ctrl+W closes the window, as in the other windows the program opens.
  auto* close = new QAction(this);
  close->setShortcut(QKeySequence::Close);
  QObject::connect(close, &QAction::triggered, this, &QWidget::close);
  addAction(close);
  resize(620, 640);
}

void GraphWindow::setTests(const QStringList& earlier) {
  const int chosen = choice_->currentIndex();
  while (choice_->count() > 1)
    choice_->removeItem(1);
  choice_->addItems(earlier);
  choice_->setCurrentIndex(chosen < choice_->count() ? chosen : 0);
}

void GraphWindow::chooseTest(int test) {
  if (test + 1 < choice_->count()) choice_->setCurrentIndex(test + 1);
}

void GraphWindow::setTitle(const QString& title) {
  title_ = title;
  heading_->setText(title);
}

QString GraphWindow::csv() const {
  QString out = "time,dist13,dist23,dist12,v3,vesc,energy_error\n";
  auto number = [](double v) { return std::isfinite(v) ? QString::number(v, 'g', 17) : QString(); };
  for (const TraceSample& t : plot_->samples()) {
    const double values[] = {t.time, t.dist13, t.dist23, t.dist12, t.v3, t.vesc, t.energyError};
    QStringList row;
    for (double v : values)
      row << number(v);
    out += row.join(',') + "\n";
  }
  return out;
}

QString GraphWindow::saveImage(const QString& path) const {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  const QImage image =
      plot_->render(QSize(std::max(900, plot_->width()), std::max(900, plot_->height())), title_);
  if (!image.save(&buffer, "PNG")) return Words::tr("Could not encode the graphs as PNG.");
  return saveWhole(path, png);
}

QString GraphWindow::saveCsv(const QString& path) const { return saveWhole(path, csv().toUtf8()); }

} // namespace tb
