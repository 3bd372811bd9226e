// The outcome map in the windows: the current fields mapped over alpha and
// init v3, computed on worker threads while the other windows stay as quick
// as ever, painted as points come in. A click on a cell runs that point's test.
#pragma once

#include "forms/map_grid.h"
#include "forms/ordered_tests.h"
#include "results/map_picture.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tb {

class MapWindow : public QWidget {
public:
  // Maps `fields` (control name, text) over alpha 0 to 350 by 10 and init v3
  // 0.5 to 1.5 by 0.1; starts computing at once.
  explicit MapWindow(FieldTexts fields);
  ~MapWindow() override;

  // A click on a finished cell: that point's alpha and init v3 texts.
  // Returns an empty string when the point's test runs, else why it cannot
  // now, which the window shows beside the pointer.
  std::function<std::string(const std::string& alpha, const std::string& initv3)> onPick;
  // What the last click that was refused was told; empty when none was.
  const QString& refusal() const { return refusal_; }

  bool finished() const { return done_ == picture_.cells.size(); }
  const MapPicture& picture() const { return picture_; }
  // The cell's centre in window coordinates.
  QPoint cellCentre(int i, int j) const;
  // Stops the workers; the cells computed so far stay.
  void stop();

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void start();
  void collect();

  MapGrid grid_;
  MapPicture picture_;
  QImage image_;
  size_t done_ = 0;
  QTimer poll_;
  QString refusal_;
  std::unique_ptr<OrderedTests<MapCell>> points_;
};

} // namespace tb
