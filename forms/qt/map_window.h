// The outcome map in the windows: the current fields mapped over two of
// alpha, init v3, m2, m3 and tdelta, computed on worker threads while the
// other windows stay as quick as ever, painted as points come in, a coarse
// picture first that sharpens. The cells follow the window's size; the
// pointer's cell is described; a click on a cell runs that point's test,
// and the fields it changed can be restored. A dragged rectangle or the
// wheel zooms in, a Shift drag or the arrow keys pan, and the views shown
// can be gone back and forward through.
#pragma once

#include "forms/qt/map_view.h"
#include "maps/map_grid.h"
#include "maps/map_run.h"
#include <threebody/threebody.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tb {

// What is wrong with a value typed into an axis field (a start or end value,
// or with `count` the number of points), in the window's own words; empty
// when nothing is.
QString axisValueProblem(const QString& text, bool count);

// The basin entropy in plain words, for the map window's tooltip and Help.
inline constexpr const char* kBasinEntropyInWords = QT_TRANSLATE_NOOP(
    "Words",
    "Basin entropy says how unpredictable the map is. In each square of 5 x 5 neighbouring points it "
    "measures how mixed the outcomes are: 0 when all 25 end alike, more the more evenly several outcomes "
    "mix (it is -sum p ln p, p the share of each outcome). The map's value is the mean over its squares; "
    "'boundary' is the mean over the squares where outcomes meet. A boundary above ln 2 = 0.693 is called "
    "fractal: however closely you look there, neighbouring points still end differently, so the outcome "
    "cannot be foretold from nearby points.");

class MapWindow : public QWidget {
public:
  // Maps `fields` (control name, text) over alpha 0 to 350 in 36 points and
  // init v3 0.5 to 1.5 in 11; starts computing at once.
  explicit MapWindow(FieldTexts fields);
  ~MapWindow() override;

  // A click on a finished cell: the fields to set for that point's test.
  // Returns an empty string when the point's test runs, else why it cannot
  // now, which the window shows beside the pointer.
  std::function<std::string(const FieldTexts& changes)> onPick;
  // "Restore the fields" (Ctrl+Z): puts back the fields the last click
  // changed; returns what went wrong, or an empty string.
  std::function<std::string()> onRestore;
  // What the last click or restore that was refused was told; empty when none was.
  const QString& refusal() const { return refusal_; }

  // Maps over the two axes given as FIELD=START:END:COUNT, as threebody-map
  // takes them. Returns an empty string, or what is wrong (then the map
  // stands as it was).
  std::string remap(const std::string& x, const std::string& y);
  // Shows the map of these axes as a new view: remap, and on success the
  // view goes into the history (the views after the current one go).
  std::string showView(const std::string& x, const std::string& y);
  // A view of the same resolution over these ranges of the axes' fields
  // (a dragged rectangle, the wheel, + and -).
  std::string zoomTo(double xFrom, double xTo, double yFrom, double yTo);
  // The view moved by (dx, dy) in axis values (a Shift drag, the arrow keys).
  std::string pan(double dx, double dy);
  // Back and forward through the views (Alt+Left, Alt+Right); false at either end.
  bool back();
  bool forward();
  // The views shown so far, as the axes' texts, and which is shown now.
  const std::vector<std::pair<std::string, std::string>>& views() const { return views_; }
  size_t viewIndex() const { return viewIndex_; }
  // How many points are computed so far (coarse ones first).
  size_t computedPoints() const { return done_; }
  // How the points are computed: 0 the fixed step, 1 the reference alone
  // (the physical map), 2 the fixed step verified by the reference (doubtful
  // points dotted). Takes effect at the next Compute.
  void setIntegration(int choice);
  bool finished() const { return done_ == cells_.size(); }
  const MapGrid& grid() const { return grid_; }
  const std::vector<MapCell>& cells() const { return cells_; }
  MapView* view() const { return view_; }
  // What the read-out under the map says now.
  QString readout() const { return readout_->text(); }
  // The fixed parameters, as the window states them.
  QString fixedText() const { return fixed_->text(); }
  QString statusText() const { return status_->text(); }
  // Each returns an empty string on success, else what went wrong. The CSV
  // holds the rows in point order up to the first point not computed yet:
  // threebody-map --resume with the same axes and fields continues it.
  QString saveImage(const QString& path);
  QString saveCsv(const QString& path) const;
  // The threebody-map command that computes this map.
  std::string mapCommand() const;
  // Stops the workers; the cells computed so far stay.
  void stop();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  struct AxisInput {
    QComboBox* field;
    QLineEdit *from, *to, *count;
  };
  QWidget* axisRow(const char* name, AxisInput& in);
  void setInputs(const MapAxis& a, AxisInput& in);
  void collect();
  // Every cell not computed yet, for the grid as it stands.
  void clearCells();
  void describe(int i, int j);
  void pick(int i, int j, QPoint global);
  QString finishedText() const;
  void showHistory();
  bool key(int key);

  MapRun grid_; // with the threads
  std::vector<MapCell> cells_;
  std::vector<double> times_;     // each finished point's simulated time
  std::vector<std::string> rows_; // each finished point's CSV row
  size_t done_ = 0;
  QTimer poll_;
  QString refusal_;
  MapView* view_;
  QLabel* readout_;
  QLabel* fixed_;
  QLabel* status_;
  AxisInput xIn_{}, yIn_{};
  QComboBox* integration_ = nullptr;
  int integrationChoice_ = 0;
  std::vector<std::string> verdicts_;      // each point's verdict in words, when verified or physical
  std::unique_ptr<threebody::MapJob> job_; // the points being computed
  // The order the points are computed in: coarse passes first.
  std::shared_ptr<const std::vector<size_t>> order_;
  std::vector<std::pair<std::string, std::string>> views_; // (x, y) of each view shown
  size_t viewIndex_ = 0;
  QPushButton *back_ = nullptr, *forward_ = nullptr;
};

} // namespace tb
