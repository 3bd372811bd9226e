// The widgets the windows are made of: form windows, the plot, the result labels, warnings.
#include "forms/qt/widgets.h"

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
  if (image_.size() != size() && width() > 0 && height() > 0) image_ = QImage(size(), QImage::Format_RGB32);
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

// Where the image goes in the window: as it is when the sizes agree, else
// scaled to the window keeping its proportions, centred on white (the window
// was resized since the test began; the next test draws at the new size).
QRectF PlotWidget::imageRect(const QImage& img) const {
  if (img.size() == size() || img.isNull()) return QRectF(QPointF(0, 0), QSizeF(img.size()));
  QSizeF fitted = QSizeF(img.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
  return QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
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
  double p = std::pow(10.0, std::floor(std::log10(units)));
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
  return QString("stretched: y drawn %1 \u00d7 x (View > True proportions)").arg(s, 0, 'f', 2);
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
  const int right = static_cast<int>(target.right() + 0.5), bottom = static_cast<int>(target.bottom() + 0.5);
  p.setRenderHint(QPainter::Antialiasing);
  QFont small = font();
  small.setPixelSize(11);
  p.setFont(small);
  const QFontMetrics fm(small);
  const QColor ink(40, 40, 40);
  // The legend, top left, on a pale box.
  struct Entry {
    QColor colour;
    const char* text;
  };
  auto qb = [](int n) {
    const uint32_t c = QBColor(n);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  };
  const Entry legend[] = {{qb(12), "1  pair, even revolutions"},  {qb(4), "1  pair, odd revolutions"},
                          {qb(10), "2  pair, even revolutions"},  {qb(2), "2  pair, odd revolutions"},
                          {qb(0), "3  slower than escape speed"}, {qb(12), "3  faster than escape speed"}};
  const int line = fm.height();
  const int boxW = fm.horizontalAdvance("3  faster than escape speed") + 22;
  p.fillRect(QRect(4, 4, boxW, line * 6 + 6), QColor(255, 255, 255, 215));
  for (int k = 0; k < 6; ++k) {
    const int y = 7 + k * line;
    p.fillRect(QRect(8, y + line / 2 - 3, 8, 6), legend[k].colour);
    p.setPen(ink);
    p.drawText(QPoint(20, y + fm.ascent()), legend[k].text);
  }
  if (!o.running) return;
  // Time and alpha, top right.
  const QString status = QString("t = %1   alpha = %2").arg(o.time, 0, 'f', 1).arg(o.alpha, 0, 'g', 6);
  const int sw = fm.horizontalAdvance(status) + 8;
  p.fillRect(QRect(right - sw - 4, 4, sw, line + 4), QColor(255, 255, 255, 215));
  p.setPen(ink);
  p.drawText(QPoint(right - sw, 6 + fm.ascent()), status);
  // The scale bar, bottom left.
  if (o.pixelsPerUnit > 0 && std::isfinite(o.pixelsPerUnit)) {
    const double units = roundLength(target.width() / 5.0 / o.pixelsPerUnit);
    const int px = static_cast<int>(std::lround(units * o.pixelsPerUnit));
    const int y = bottom - 10;
    p.fillRect(QRect(6, y - line - 4, px + 8, line + 10), QColor(255, 255, 255, 215));
    p.setPen(QPen(ink, 2));
    p.drawLine(10, y, 10 + px, y);
    p.drawLine(10, y - 4, 10, y + 2);
    p.drawLine(10 + px, y - 4, 10 + px, y + 2);
    p.drawText(QPoint(10, y - 5), QString("%1 units").arg(units, 0, 'g', 6));
    // Drawn stretched: the same length upright beside it, and a word on it
    // under the legend.
    const QString notice = stretchNotice();
    if (!notice.isEmpty()) {
      const int py = static_cast<int>(std::lround(units * o.pixelsPerUnitY));
      const QString label = QString("%1 units").arg(units, 0, 'g', 6);
      const int x = 10 + px + 18;
      p.fillRect(QRect(x - 6, y - py - 6, fm.horizontalAdvance(label) + 18, py + 12),
                 QColor(255, 255, 255, 215));
      p.setPen(QPen(ink, 2));
      p.drawLine(x, y, x, y - py);
      p.drawLine(x - 3, y, x + 3, y);
      p.drawLine(x - 3, y - py, x + 3, y - py);
      p.drawText(QPoint(x + 6, y - py / 2 + fm.ascent() / 2), label);
      const QString words = fm.elidedText(notice, Qt::ElideRight, std::max(0, right - 16));
      const int top = 4 + line * 6 + 10;
      p.fillRect(QRect(4, top, fm.horizontalAdvance(words) + 8, line + 4), QColor(255, 255, 255, 215));
      p.drawText(QPoint(8, top + 2 + fm.ascent()), words);
    }
  }
  // The bodies now: a ring in the trail's colour and the body's number.
  for (int b = 0; b < 3; ++b) {
    if (!o.present[b]) continue;
    const QPointF at = o.body[b];
    p.setPen(QPen(Qt::white, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(at, 6, 6);
    p.setPen(QPen(o.colour[b], 2));
    p.drawEllipse(at, 6, 6);
    const QString n = QString::number(b + 1);
    const QRectF label(at.x() + 7, at.y() - 7 - line, fm.horizontalAdvance(n) + 4, line);
    p.fillRect(label, QColor(255, 255, 255, 215));
    p.setPen(ink);
    p.drawText(label, Qt::AlignCenter, n);
  }
  // A collision: a cross where the third body met the pair.
  if (o.collided) {
    const QPointF at = o.body[2];
    p.setPen(QPen(QColor(200, 0, 0), 3));
    p.drawLine(at + QPointF(-7, -7), at + QPointF(7, 7));
    p.drawLine(at + QPointF(-7, 7), at + QPointF(7, -7));
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
