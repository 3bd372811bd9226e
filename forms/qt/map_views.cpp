// The map window's views: zoomed into, panned, and the history of them,
// which Back and Forward go through.
#include "forms/qt/map_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tb {

namespace {

// A value of a zoomed or moved axis as the axis fields show it: plain
// decimals, enough of them to tell the view's points apart.
std::string axisNumber(double v, double span) {
  const int decimals =
      std::clamp(static_cast<int>(std::ceil(-std::log10(std::max(span, 1e-300)))) + 4, 0, 15);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string t = buf;
  if (t.find('.') != std::string::npos) {
    t.erase(t.find_last_not_of('0') + 1);
    if (t.back() == '.') t.pop_back();
  }
  return t == "-0" ? "0" : t;
}

std::string axisText(const MapAxis& a, double from, double to) {
  const double span = std::abs(to - from);
  return a.field + "=" + axisNumber(from, span) + ":" + axisNumber(to, span) + ":" +
         std::to_string(a.values.size());
}

} // namespace

std::string MapWindow::showView(const std::string& x, const std::string& y) {
  std::string e = remap(x, y);
  if (!e.empty()) return e;
  if (!views_.empty()) views_.resize(viewIndex_ + 1);
  views_.emplace_back(grid_.x.given, grid_.y.given);
  viewIndex_ = views_.size() - 1;
  showHistory();
  return "";
}

std::string MapWindow::zoomTo(double xFrom, double xTo, double yFrom, double yTo) {
  // A point's axis keeps its single value.
  if (grid_.x.values.size() == 1) xFrom = xTo = grid_.x.values.front();
  if (grid_.y.values.size() == 1) yFrom = yTo = grid_.y.values.front();
  return showView(axisText(grid_.x, xFrom, xTo), axisText(grid_.y, yFrom, yTo));
}

std::string MapWindow::pan(double dx, double dy) {
  const MapAxis &x = grid_.x, &y = grid_.y;
  return zoomTo(x.values.front() + dx, x.values.back() + dx, y.values.front() + dy, y.values.back() + dy);
}

bool MapWindow::back() {
  if (viewIndex_ == 0) return false;
  if (!remap(views_[viewIndex_ - 1].first, views_[viewIndex_ - 1].second).empty()) return false;
  --viewIndex_;
  showHistory();
  return true;
}

bool MapWindow::forward() {
  if (viewIndex_ + 1 >= views_.size()) return false;
  if (!remap(views_[viewIndex_ + 1].first, views_[viewIndex_ + 1].second).empty()) return false;
  ++viewIndex_;
  showHistory();
  return true;
}

void MapWindow::showHistory() {
  back_->setEnabled(viewIndex_ > 0);
  forward_->setEnabled(viewIndex_ + 1 < views_.size());
}

// The arrow keys move the view by a quarter of its ranges; + and - zoom
// about its middle. False for other keys.
bool MapWindow::key(int key) {
  const MapAxis &x = grid_.x, &y = grid_.y;
  const double w = x.values.back() - x.values.front(), h = y.values.back() - y.values.front();
  const double cx = (x.values.front() + x.values.back()) / 2, cy = (y.values.front() + y.values.back()) / 2;
  std::string e;
  switch (key) {
  case Qt::Key_Left: e = pan(-w / 4, 0); break;
  case Qt::Key_Right: e = pan(w / 4, 0); break;
  case Qt::Key_Up: e = pan(0, h / 4); break;
  case Qt::Key_Down: e = pan(0, -h / 4); break;
  case Qt::Key_Plus:
  case Qt::Key_Equal: e = zoomTo(cx - w / 4, cx + w / 4, cy - h / 4, cy + h / 4); break;
  case Qt::Key_Minus: e = zoomTo(cx - w, cx + w, cy - h, cy + h); break;
  default: return false;
  }
  if (!e.empty()) readout_->setText(QString::fromStdString(e));
  return true;
}

} // namespace tb
