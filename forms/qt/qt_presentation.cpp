// The display form for a room: full screen, a size the person chose kept at
// Start with the drawing area laid out inside it, thick trails, and the
// colour-blind safe palette.
#include "forms/qt/qt_forms.h"

namespace tb {

bool QtForms::keepsDisplaySize() const {
  if (plot_->isMaximized() || plot_->isFullScreen()) return true;
  return placedDisplay_.isValid() && plot_->size() != placedDisplay_;
}

// The largest area of the asked proportions inside the window, or the window
// itself when it was shaped as asked.
QSize QtForms::displayArea() const {
  if (!keepsDisplaySize()) return plot_->size();
  const QSize ask = requestedDisplay_;
  if (ask.width() <= 0 || ask.height() <= 0) return QSize(0, 0);
  return ask.scaled(plot_->size(), Qt::KeepAspectRatio);
}

void QtForms::setThickTrails(bool on) {
  thick_ = on;
  if (actions_.thick && actions_.thick->isChecked() != on) actions_.thick->setChecked(on);
}

void QtForms::setTrailPalette(TrailPalette palette) {
  palette_ = palette;
  plot_->palette = palette;
  if (graphs_) {
    graphs_->plot()->palette = palette;
    graphs_->plot()->update();
  }
  const bool safe = palette == TrailPalette::ColourBlindSafe;
  if (actions_.palette && actions_.palette->isChecked() != safe) actions_.palette->setChecked(safe);
  plot_->update();
}

void QtForms::setFullScreen(bool on) {
  if (on == plot_->isFullScreen()) return;
  if (on) {
    plot_->showFullScreen();
    plot_->raise();
    plot_->activateWindow();
  } else {
    plot_->showNormal();
  }
  if (actions_.fullScreen) actions_.fullScreen->setChecked(on);
}

} // namespace tb
