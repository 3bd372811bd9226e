// The widgets the windows are made of: form windows, the plot, the result labels, warnings.
#include "forms/qt/widgets.h"
#include "runtime/cr_math.h"

#include "forms/qt/words.h"
#include "runtime/numeric.h"

#include <QMessageBox>

#include <algorithm>
#include <cmath>

#include <QCloseEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace tb {

void warn(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void FormWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose) onClose();
}

ControlWindow::ControlWindow() : menuBar_(new QMenuBar(this)), client_(new QWidget(this)) {
  menuBar_->setNativeMenuBar(false);
}

int ControlWindow::menuHeight() const { return menuBar_->sizeHint().height(); }

void ControlWindow::resizeEvent(QResizeEvent*) {
  const int h = menuHeight();
  menuBar_->setGeometry(0, 0, width(), h);
  client_->setGeometry(0, h, width(), std::max(0, height() - h));
}

PlotWidget::PlotWidget() {
  setAttribute(Qt::WA_OpaquePaintEvent);
  image_ = QImage(1, 1, QImage::Format_RGB32);
  image_.fill(Qt::white);
}

// Clearing also brings the image to the drawing area's size, should a resize
// event still be pending when a test starts.
void PlotWidget::clear() {
  const QSize area = drawingSize();
  if (image_.size() != area && area.width() > 0 && area.height() > 0)
    image_ = QImage(area, QImage::Format_RGB32);
  image_.fill(Qt::white);
  dirty_ = true;
}

void PlotWidget::showPicture(const QImage& picture, std::optional<PlotOverlay> overlay) {
  picture_ = picture;
  pictureOverlay_ = overlay;
  update();
}

void PlotWidget::showLive() {
  if (picture_.isNull()) return;
  picture_ = QImage();
  pictureOverlay_.reset();
  update();
}

std::optional<PlotOverlay> PlotWidget::currentOverlay() const {
  if (!showsLive()) return pictureOverlay_;
  if (!overlayState) return std::nullopt;
  return overlayState();
}

void PlotWidget::flush() {
  if (!dirty_) return;
  dirty_ = false;
  if (showsLive()) update();
}

void PlotWidget::paintNow() {
  dirty_ = false;
  if (showsLive() && isVisible()) repaint();
}

// Where the image goes in the window: centred, as it is when it fills the
// window in one direction (a drawing area laid out inside a window kept at
// its size), else scaled to the window keeping its proportions (the window was
// resized since the test began; the next test draws at the new size).
QRectF PlotWidget::imageRect(const QImage& img) const {
  if (img.size() == size() || img.isNull()) return QRectF(QPointF(0, 0), QSizeF(img.size()));
  QSizeF fitted = QSizeF(img.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
  if (std::abs(fitted.width() - img.width()) < 2 && std::abs(fitted.height() - img.height()) < 2)
    fitted = QSizeF(img.size());
  return QRectF(
      QPointF(std::floor((width() - fitted.width()) / 2), std::floor((height() - fitted.height()) / 2)),
      fitted);
}

double PlotWidget::overlayScale(QSizeF area) {
  // The designed display form's drawing area is about 300 x 400 pixels.
  return std::max(1.0, std::min(area.width() / 300.0, area.height() / 400.0));
}

void PlotWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QImage& img = shown();
  const QRectF target = imageRect(img);
  p.fillRect(rect(), Qt::white);
  if (target.size() == QSizeF(img.size())) {
    p.drawImage(target.topLeft(), img);
  } else {
    // Shrinking smooths, so that one-pixel trails stay visible; growing keeps the dots sharp.
    p.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < img.width());
    p.drawImage(target, img);
  }
  if (overlayOn) paintOverlay(p, target);
}

QImage PlotWidget::shownWithOverlay(bool withOverlay) const {
  QImage out = shown().copy();
  if (withOverlay && overlayOn && currentOverlay()) {
    QPainter p(&out);
    paintOverlay(p, QRectF(QPointF(0, 0), QSizeF(out.size())));
  }
  return out;
}

namespace {
// A scale bar length of 1, 2 or 5 times a power of ten, near a fifth of the width.
double roundLength(double units) {
  double p = cr::decadeOf(units);
  for (double m : {5.0, 2.0, 1.0})
    if (m * p <= units) return m * p;
  return p;
}
} // namespace

namespace {
// How much taller than wide a unit is drawn; 1 when alike, 0 when unknown.
double stretchOf(const PlotOverlay& o) {
  if (!(o.pixelsPerUnit > 0) || !(o.pixelsPerUnitY > 0)) return 0;
  return o.pixelsPerUnitY / o.pixelsPerUnit;
}
} // namespace

QString PlotWidget::stretchNotice() const {
  const std::optional<PlotOverlay> o = currentOverlay();
  if (!o) return {};
  const double s = stretchOf(*o);
  if (s == 0 || std::abs(s - 1) < 0.01) return {};
  return Words::tr("stretched: y drawn %1 \u00d7 x (View > True proportions)").arg(s, 0, 'f', 2);
}

void PlotWidget::paintOverlay(QPainter& p, const QRectF& target) const {
  const std::optional<PlotOverlay> current = currentOverlay();
  if (!current) return;
  PlotOverlay o = *current;
  // The bodies and the scale follow the image where it is drawn.
  const QImage& img = shown();
  const double scale = img.width() > 0 ? target.width() / img.width() : 1;
  for (QPointF& at : o.body)
    at = target.topLeft() + at * scale;
  o.pixelsPerUnit *= scale;
  o.pixelsPerUnitY *= img.height() > 0 ? target.height() / img.height() : 1;
  // Lengths at the designed size, grown with the drawing area.
  const double k = overlayScale(target.size());
  auto u = [k](double designed) { return static_cast<int>(std::lround(designed * k)); };
  const int left = static_cast<int>(target.left() + 0.5), topEdge = static_cast<int>(target.top() + 0.5);
  const int right = static_cast<int>(target.right() + 0.5), bottom = static_cast<int>(target.bottom() + 0.5);
  p.setRenderHint(QPainter::Antialiasing);
  QFont small = font();
  small.setPixelSize(u(11));
  p.setFont(small);
  const QFontMetrics fm(small);
  const QColor ink(40, 40, 40), paper(255, 255, 255, 215);
  // The legend, top left, on a pale box, in the palette the trails are drawn in.
  const TrailColours& tc = trailColours(palette);
  struct Entry {
    uint32_t colour;
    QString text;
  };
  const Entry legend[] = {{tc.pairEven[0], Words::tr("1  pair, even revolutions")},
                          {tc.pairOdd[0], Words::tr("1  pair, odd revolutions")},
                          {tc.pairEven[1], Words::tr("2  pair, even revolutions")},
                          {tc.pairOdd[1], Words::tr("2  pair, odd revolutions")},
                          {tc.slower, Words::tr("3  slower than escape speed")},
                          {tc.faster, Words::tr("3  faster than escape speed")}};
  const int line = fm.height();
  int boxW = 0;
  for (const Entry& e : legend)
    boxW = std::max(boxW, fm.horizontalAdvance(e.text));
  boxW += u(22);
  p.fillRect(QRect(left + u(4), topEdge + u(4), boxW, line * 6 + u(6)), paper);
  for (int k6 = 0; k6 < 6; ++k6) {
    const int y = topEdge + u(7) + k6 * line;
    p.fillRect(QRect(left + u(8), y + line / 2 - u(3), u(8), u(6)), engineColour(legend[k6].colour));
    p.setPen(ink);
    p.drawText(QPoint(left + u(20), y + fm.ascent()), legend[k6].text);
  }
  if (!o.running) return;
  // Time and alpha, top right.
  const QString status = QString("t = %1   alpha = %2").arg(o.time, 0, 'f', 1).arg(o.alpha, 0, 'g', 6);
  const int sw = fm.horizontalAdvance(status) + u(8);
  p.fillRect(QRect(right - sw - u(4), topEdge + u(4), sw, line + u(4)), paper);
  p.setPen(ink);
  p.drawText(QPoint(right - sw, topEdge + u(6) + fm.ascent()), status);
  // The scale bar, bottom left.
  if (o.pixelsPerUnit > 0 && std::isfinite(o.pixelsPerUnit)) {
    const double units = roundLength(target.width() / 5.0 / o.pixelsPerUnit);
    const int px = static_cast<int>(std::lround(units * o.pixelsPerUnit));
    const int y = bottom - u(10), x0 = left + u(10);
    const QString label = Words::tr("%1 units").arg(units, 0, 'g', 6);
    p.fillRect(
        QRect(x0 - u(4), y - line - u(4), std::max(px, fm.horizontalAdvance(label)) + u(8), line + u(10)),
        paper);
    p.setPen(QPen(ink, u(2)));
    p.drawLine(x0, y, x0 + px, y);
    p.drawLine(x0, y - u(4), x0, y + u(2));
    p.drawLine(x0 + px, y - u(4), x0 + px, y + u(2));
    p.drawText(QPoint(x0, y - u(5)), label);
    // Drawn stretched: the same length upright beside it, and a word on it
    // under the legend.
    const QString notice = stretchNotice();
    if (!notice.isEmpty()) {
      const int py = static_cast<int>(std::lround(units * o.pixelsPerUnitY));
      const int x = x0 + std::max(px, fm.horizontalAdvance(label)) + u(18);
      p.fillRect(
          QRect(x + u(4), y - py / 2 - line / 2 - u(2), fm.horizontalAdvance(label) + u(4), line + u(4)),
          paper);
      p.setPen(QPen(ink, u(2)));
      p.drawLine(x, y, x, y - py);
      p.drawLine(x - u(3), y, x + u(3), y);
      p.drawLine(x - u(3), y - py, x + u(3), y - py);
      p.drawText(QPoint(x + u(6), y - py / 2 + fm.ascent() / 2), label);
      // On two lines when one is too narrow for it: the way to true
      // proportions on the second.
      const int room = std::max(0, right - left - u(16));
      QStringList lines{notice};
      if (fm.horizontalAdvance(notice) > room && notice.contains(" ("))
        lines = QStringList{notice.section(" (", 0, 0), "(" + notice.section(" (", 1)};
      int top = topEdge + u(4) + line * 6 + u(10);
      for (const QString& text : lines) {
        const QString words = fm.elidedText(text, Qt::ElideRight, room);
        p.fillRect(QRect(left + u(4), top, fm.horizontalAdvance(words) + u(8), line + u(4)), paper);
        p.drawText(QPoint(left + u(8), top + u(2) + fm.ascent()), words);
        top += line;
      }
    }
  }
  // The bodies now: a ring in the trail's colour and the body's number.
  const double ring = 6 * k;
  for (int b = 0; b < 3; ++b) {
    if (!o.present[b]) continue;
    const QPointF at = o.body[b];
    const QColor c = o.colour[b];
    const uint32_t engine = static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
                            (static_cast<uint32_t>(c.blue()) << 16);
    p.setPen(QPen(Qt::white, 4 * k));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, ring, ring);
    p.setPen(QPen(engineColour(trailColour(palette, b, engine)), 2 * k));
    p.drawEllipse(at, ring, ring);
    const QString n = QString::number(b + 1);
    const QRectF label(at.x() + ring + 1, at.y() - ring - 1 - line, fm.horizontalAdvance(n) + u(4), line);
    p.fillRect(label, paper);
    p.setPen(ink);
    p.drawText(label, Qt::AlignCenter, n);
  }
  // A collision: a cross where the third body met the pair.
  if (o.collided) {
    const QPointF at = o.body[2];
    const double arm = 7 * k;
    p.setPen(QPen(QColor(200, 0, 0), 3 * k));
    p.drawLine(at + QPointF(-arm, -arm), at + QPointF(arm, arm));
    p.drawLine(at + QPointF(-arm, arm), at + QPointF(arm, -arm));
  }
}

ResultLabel::ResultLabel(QWidget* parent) : QLabel(parent) { setMouseTracking(false); }

QFont ResultLabel::lineFont(int width) {
  QFont f("DejaVu Sans Mono");
  f.setStyleHint(QFont::Monospace);
  f.setFixedPitch(true);
  f.setPixelSize(11);
  // Narrow the face until the longest line that must fit does.
  const QString longest(kFittingCharacters, QLatin1Char('0'));
  for (int stretch = 100; stretch >= 50; --stretch) {
    f.setStretch(stretch);
    if (QFontMetrics(f).horizontalAdvance(longest) <= width) break;
  }
  return f;
}

void ResultLabel::setMarked(bool marked) {
  if (marked_ == marked) return;
  marked_ = marked;
  update();
}

// The part of the label inside its window: the labels are wider than the
// print form, which clips them.
int ResultLabel::visibleWidth() const {
  int inWindow = parentWidget() ? parentWidget()->width() - x() : width();
  return std::max(0, std::min(width(), inWindow));
}

int ResultLabel::markWidth() const {
  return verdictMark_.isEmpty() ? 0 : fontMetrics().horizontalAdvance(" " + verdictMark_);
}

QString ResultLabel::drawnText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(0, visibleWidth() - markWidth()));
}

void ResultLabel::setVerdictMark(const QString& mark, const QColor& colour, const QString& tooltip) {
  verdictMark_ = mark;
  verdictColour_ = colour;
  verdictTip_ = tooltip;
  updateToolTip();
  update();
}

void ResultLabel::setWords(const QString& words) {
  words_ = words;
  updateToolTip();
}

// The whole line where it is elided, then the line in words, then the verdict.
void ResultLabel::updateToolTip() {
  QStringList parts;
  if (drawnText() != text()) parts << text();
  for (const QString& p : {words_, verdictTip_})
    if (!p.isEmpty()) parts << p;
  setToolTip(parts.join("\n"));
}

void ResultLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (marked_) p.fillRect(0, 0, visibleWidth(), height(), palette().color(QPalette::Highlight));
  p.setPen(palette().color(marked_ ? QPalette::HighlightedText : QPalette::WindowText));
  QString drawn = drawnText();
  p.drawText(QRect(0, 0, visibleWidth(), height()), Qt::AlignLeft | Qt::AlignVCenter, drawn);
  if (!verdictMark_.isEmpty()) {
    const int x = fontMetrics().horizontalAdvance(drawn + " ");
    p.setPen(marked_ ? palette().color(QPalette::HighlightedText) : verdictColour_);
    p.drawText(QRect(x, 0, std::max(0, visibleWidth() - x), height()), Qt::AlignLeft | Qt::AlignVCenter,
               verdictMark_);
  }
}

void ResultLabel::setLine(const QString& line) {
  verdictMark_.clear();
  words_.clear();
  verdictTip_.clear();
  setText(line);
  updateToolTip();
}

void ResultLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onClick && !text().isEmpty()) onClick();
  QLabel::mousePressEvent(event);
}

} // namespace tb
