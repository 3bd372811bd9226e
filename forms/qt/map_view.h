// The outcome map as the window paints it: the cells scaled to the widget,
// axes with ticks at round values in the window's own font, a legend of the
// outcomes with the shading for longer tests, the clicked cell marked, and
// what the pointer is over described.
#pragma once

#include "maps/map_grid.h"
#include "maps/map_picture.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tb {

class MapView : public QWidget {
public:
  MapView(const MapGrid& grid, const std::vector<MapCell>& cells, QWidget* parent);
  // Where cell (i, j) is drawn: its rectangle and centre in this widget.
  QRectF cellRect(int i, int j) const;
  QPoint cellCentre(int i, int j) const { return cellRect(i, j).center().toPoint(); }
  // The cell under `at`; false outside the cells.
  bool cellAt(QPointF at, int* i, int* j) const;
  // Marks the cell whose test was run from the map (-1: none).
  void mark(int i, int j);
  // The order the points are computed in (indices of cells), coarse passes
  // first; until a point's finer neighbours come in, its colour stands for
  // the square of cells around it.
  void setOrder(std::shared_ptr<const std::vector<size_t>> order);
  // The first `done` points of the order are computed (the rest not yet):
  // colours the new ones into the view's image of the cells, and all of them
  // again only when the longest test, which sets the shading, has grown. A
  // new map starts again from a smaller `done` or another grid.
  void cellsDone(size_t done);
  // Cells coloured into the image so far, for checking that a paint or a
  // poll with nothing new costs no work per cell.
  int64_t cellsColoured() const { return coloured_; }
  int markedColumn() const { return markI_; }
  int markedRow() const { return markJ_; }
  // A left click on a finished cell.
  std::function<void(int i, int j, QPoint global)> onClick;
  // A rectangle dragged over the cells, or the wheel turned over them: the
  // axes' new ranges (from the first value to the last, in axis values).
  std::function<void(double xFrom, double xTo, double yFrom, double yTo)> onZoom;
  // A drag with Shift held: the map moved by (dx, dy) in axis values.
  std::function<void(double dx, double dy)> onPan;
  // A key without Alt or Ctrl while the map has the focus (a click gives it):
  // true when it was used.
  std::function<bool(int key)> onKey;
  // The axis values at a point of the widget (along the axes, beyond the
  // cells too).
  QPointF valuesAt(QPointF at) const;
  // The pointer over cell (i, j), or off the cells (i = -1).
  std::function<void(int i, int j)> onHover;
  // The tick values along x and y as drawn, for checking that they are round.
  std::vector<double> xTicks() const;
  std::vector<double> yTicks() const;

protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent*) override;

private:
  QRectF plotRect() const;
  int legendWidth() const;
  void colour(size_t from, size_t to);
  const MapGrid& grid_;
  const std::vector<MapCell>& cells_;
  std::shared_ptr<const std::vector<size_t>> order_;
  int markI_ = -1, markJ_ = -1;
  // A drag in progress: where it started, where it is, whether Shift pans.
  std::optional<QPointF> dragFrom_;
  QPointF dragTo_;
  bool panning_ = false;
  // One pixel a cell, row 0 at the top (the y axis points up); the paint
  // scales it to the cells' area.
  QImage image_;
  size_t done_ = 0;           // cells coloured into the image
  int64_t longest_ = 1;       // the longest test among them, as they are shaded
  std::vector<size_t> marks_; // the doubtful cells among them
  int64_t coloured_ = 0;
};

// The outcomes the legend names: a physical map's are not stopped, but may
// be still running at the time limit or have spent the step budget.
std::span<const MapOutcome> legendOutcomes(const MapGrid& grid);

// Round values (1, 2 or 5 times a power of ten) from `from` to `to`, no closer
// than `minStep`; at least the ends when no round value falls between.
std::vector<double> roundTicks(double from, double to, double minStep);

} // namespace tb
