// The outcome map window: points computed in order while the other windows stay quick.
#include "forms/qt/map_window.h"

#include "runtime/controls.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace tb {

namespace {
constexpr int kCell = 8;
} // namespace

MapWindow::MapWindow(FieldTexts fields) {
  setWindowTitle("Outcome Map");
  grid_.fields = std::move(fields);
  readAxis("alpha=0:350:36", grid_.x);
  readAxis("init-v3=0.5:1.5:11", grid_.y);
  picture_.cell = kCell;
  picture_.xName = "alpha";
  picture_.yName = "init v3";
  picture_.xTexts = grid_.x.texts;
  picture_.yTexts = grid_.y.texts;
  picture_.columns = static_cast<int>(grid_.x.values.size());
  picture_.rows = static_cast<int>(grid_.y.values.size());
  picture_.cells.assign(grid_.points(), MapCell{});
  int w = 0, h = 0;
  drawMap(picture_, &w, &h);
  resize(w, h);
  start();
  collect();
  QObject::connect(&poll_, &QTimer::timeout, this, [this] { collect(); });
  poll_.start(100);
}

MapWindow::~MapWindow() { stop(); }

void MapWindow::stop() {
  poll_.stop();
  if (points_) points_->abandon(); // the running tests are dropped at once
}

// The points in order, row by row from the bottom, on lanes and threads. One
// core stays with the windows, so Start, Stop and End answer as ever.
void MapWindow::start() {
  HeadlessTestsSetup setup;
  setup.jobs = std::max(1u, std::thread::hardware_concurrency() - 1);
  auto input = [this](size_t k) { return grid_.pointTest(k); };
  auto keep = [](size_t, HeadlessTest& t, MemoryForms&) -> std::optional<MapCell> { return mapCell(t); };
  points_ = std::make_unique<OrderedTests<MapCell>>(picture_.cells.size(), input, keep, setup);
}

// On the windows' thread: takes the points finished in order and paints them.
void MapWindow::collect() {
  for (std::optional<MapCell> c; done_ < picture_.cells.size() && points_->poll(done_, c) && c; ++done_)
    picture_.cells[done_] = *c;
  int w = 0, h = 0;
  std::vector<uint32_t> pixels = drawMap(picture_, &w, &h);
  image_ = QImage(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t c = pixels[static_cast<size_t>(y) * w + x];
      image_.setPixel(x, y, qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    }
  setWindowTitle(finished() ? "Outcome Map"
                            : QString("Outcome Map (%1 of %2 points)").arg(done_).arg(picture_.cells.size()));
  if (finished()) poll_.stop();
  update();
}

QPoint MapWindow::cellCentre(int i, int j) const {
  int x, y;
  mapCellOrigin(picture_, i, j, &x, &y);
  return QPoint(x + kCell / 2, y + kCell / 2);
}

void MapWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.drawImage(0, 0, image_);
}

void MapWindow::mousePressEvent(QMouseEvent* event) {
  int i, j;
  QPoint at = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !mapCellAt(picture_, at.x(), at.y(), &i, &j)) return;
  if (picture_.cells[static_cast<size_t>(j) * picture_.columns + i].outcome == MapOutcome::notYet()) return;
  if (!onPick) return;
  std::string why = onPick(picture_.xTexts[static_cast<size_t>(i)], picture_.yTexts[static_cast<size_t>(j)]);
  refusal_ = QString::fromStdString(why);
  if (!why.empty()) QToolTip::showText(event->globalPosition().toPoint(), refusal_, this);
}

void MapWindow::closeEvent(QCloseEvent* event) {
  stop();
  event->accept();
}

} // namespace tb
