// The windows' sizes as the logic sets them, and where the three windows go
// once the window system reports their frames.
#include "forms/qt/qt_forms.h"

#include <QEvent>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace tb {

// The display form as the person left it (maximised, full screen or sized by
// hand) keeps its size: the plot's arithmetic only says the drawing area's
// proportions then, laid out inside the window.
void QtForms::setWidth(FormId f, float v) {
  if (f == FormId::Form2) {
    requestedDisplay_.setWidth(clientPixels(v, kFrameWidthTwips));
    if (keepsDisplaySize()) return;
  }
  window(f)->resize(std::min(clientPixels(v, kFrameWidthTwips), largestClient(f).width()),
                    window(f)->height());
  if (f == FormId::Form2) placedDisplay_ = plot_->size();
}
void QtForms::setHeight(FormId f, float v) {
  if (f == FormId::Form2) {
    requestedDisplay_.setHeight(clientPixels(v, kFrameHeightTwips));
    if (keepsDisplaySize()) return;
  }
  window(f)->resize(window(f)->width(),
                    std::min(clientPixels(v, kFrameHeightTwips), largestClient(f).height()));
  if (f == FormId::Form2) placedDisplay_ = plot_->size();
}

// The largest client area whose frame fits the screen's available area from
// where the window stands, so that it never has to be moved up (under the
// control form, for the display form). A window standing too low for a
// useful height gets the screen's whole height.
QSize QtForms::largestClient(FormId f) const {
  QWidget* w = window(f);
  QScreen* screen = w->screen();
  if (!screen) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  const QRect avail = screen->availableGeometry();
  const QRect frame = w->frameGeometry(), inner = w->geometry();
  const int frameW = frame.width() - inner.width(), frameH = frame.height() - inner.height();
  const int top = std::clamp(frame.top(), avail.top(), avail.bottom());
  const int left = std::clamp(frame.left(), avail.left(), avail.right());
  int height = avail.bottom() + 1 - top - frameH;
  if (height < 100) height = avail.height() - frameH;
  return QSize(std::max(1, avail.right() + 1 - left - frameW), std::max(1, height));
}
float QtForms::scaleWidth(FormId f) {
  if (f == FormId::Form2 && pixels_[1]) {
    plot_->setDrawingSize(displayArea());
    return static_cast<float>(plot_->drawingSize().width());
  }
  int px = window(f)->width();
  return pixels_[static_cast<int>(f)] ? static_cast<float>(px) : static_cast<float>(px * kPx);
}
float QtForms::scaleHeight(FormId f) {
  if (f == FormId::Form2 && pixels_[1]) {
    plot_->setDrawingSize(displayArea());
    return static_cast<float>(plot_->drawingSize().height());
  }
  int px = window(f)->height();
  return pixels_[static_cast<int>(f)] ? static_cast<float>(px) : static_cast<float>(px * kPx);
}

// The logic placed the windows taking every frame as 120 x 510 twips. Once the
// window system reports the real frames, the display form goes right below
// the control form's frame and the print form right beside it, each kept on
// the screen. Without frames (no window manager) the logic's placement stands.
void QtForms::arrangeWindows() {
  QWidget* control = windows_[0];
  QWidget* display = windows_[1];
  QWidget* print = windows_[2];
  auto framed = [](QWidget* w) { return w->isVisible() && w->frameGeometry() != w->geometry(); };
  if (!framed(control)) return;
  const QRect cf = control->frameGeometry();
  const QRect screen = control->screen() ? control->screen()->availableGeometry() : QRect();
  auto place = [&](QWidget* w, QPoint at) {
    QSize frame = w->frameGeometry().size();
    if (screen.isValid()) {
      at.setX(std::max(screen.left(), std::min(at.x(), screen.right() + 1 - frame.width())));
      at.setY(std::max(screen.top(), std::min(at.y(), screen.bottom() + 1 - frame.height())));
    }
    if (w->frameGeometry().topLeft() != at) w->move(at);
  };
  // A display form maximised or full screen stays where the window system put it.
  const bool placed = !display->isMaximized() && !display->isFullScreen();
  if (display->isVisible() && placed) place(display, QPoint(cf.left(), cf.bottom() + 1));
  if (print->isVisible()) place(print, QPoint(cf.right() + 1, cf.top()));
}

// A window manager adds its frames some time after a window is shown, and
// reports them as moves: place the windows again whenever a frame changes.
bool QtForms::eventFilter(QObject* watched, QEvent* event) {
  auto type = event->type();
  // Esc leaves full screen; the menu's check follows the window's state
  // however it changed.
  if (watched == plot_ && type == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && plot_->isFullScreen()) {
    setFullScreen(false);
    return true;
  }
  if (watched == plot_ && type == QEvent::WindowStateChange && actions_.fullScreen)
    actions_.fullScreen->setChecked(plot_->isFullScreen());
  if (type != QEvent::Move && type != QEvent::Resize && type != QEvent::Show) return false;
  bool changed = false;
  for (size_t i = 0; i < windows_.size(); ++i) {
    QWidget* w = windows_[i];
    QRect f = w->frameGeometry(), g = w->geometry();
    QMargins m(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    if (m != frames_[i]) changed = true;
    frames_[i] = m;
  }
  if (changed) QTimer::singleShot(0, this, [this] { arrangeWindows(); });
  return QObject::eventFilter(watched, event);
}

} // namespace tb
