// The widgets the windows are made of: form windows, the plot, the result labels, warnings.
#include "forms/qt/widgets.h"

#include <QMessageBox>

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

void PlotWidget::showPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void PlotWidget::showLive() {
  if (picture_.isNull()) return;
  picture_ = QImage();
  update();
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

void PlotWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QImage& img = shown();
  p.drawImage(0, 0, img);
  // A kept picture smaller than the window (the window was resized since)
  // stands on white.
  if (img.width() < width()) p.fillRect(img.width(), 0, width() - img.width(), height(), Qt::white);
  if (img.height() < height()) p.fillRect(0, img.height(), width(), height() - img.height(), Qt::white);
}

// The image follows the drawing area and keeps what was drawn.
void PlotWidget::resizeEvent(QResizeEvent*) {
  if (image_.size() == size() || width() <= 0 || height() <= 0) return;
  QImage next(size(), QImage::Format_RGB32);
  next.fill(Qt::white);
  QPainter p(&next);
  p.drawImage(0, 0, image_);
  p.end();
  image_ = next;
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

QString ResultLabel::drawnText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, visibleWidth());
}

void ResultLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (marked_) p.fillRect(0, 0, visibleWidth(), height(), palette().color(QPalette::Highlight));
  p.setPen(palette().color(marked_ ? QPalette::HighlightedText : QPalette::WindowText));
  QString drawn = drawnText();
  p.drawText(QRect(0, 0, visibleWidth(), height()), Qt::AlignLeft | Qt::AlignVCenter, drawn);
}

void ResultLabel::setLine(const QString& line) {
  setText(line);
  setToolTip(drawnText() != line ? line : QString());
}

void ResultLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onClick && !text().isEmpty()) onClick();
  QLabel::mousePressEvent(event);
}

} // namespace tb
