// The outcome map window: points computed in order while the other windows
// stay quick; the axes and resolution chosen in the window; saved as a
// picture or as the map tool's CSV.
#include "forms/qt/map_window.h"

#include "api/bridge.h"

#include "forms/qt/qt_forms.h"
#include "forms/qt/widgets.h"
#include "forms/qt/words.h"
#include "maps/basin_entropy.h"
#include "maps/map_order.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"
#include "runtime/parameters.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <thread>
#include <tuple>

namespace tb {

namespace {

// The control an axis field sets (alpha sets the series' start and end).
std::vector<const char*> axisControls(const std::string& field) {
  if (field == "alpha") return {controls::Talphastr, controls::Talphaend};
  if (field == "init-v3") return {controls::Tinitv2};
  if (field == "m2") return {controls::Tm2};
  if (field == "m3") return {controls::Tm3};
  return {controls::Ttdelta};
}

bool onAxis(const MapGrid& g, const char* control) {
  for (const MapAxis* a : {&g.x, &g.y})
    for (const char* c : axisControls(a->field))
      if (std::string_view(c) == control) return true;
  return false;
}

} // namespace

MapWindow::MapWindow(FieldTexts fields) {
  setWindowTitle(Words::tr("Outcome Map"));
  grid_.fields = std::move(fields);
  readAxis("alpha=0:350:36", grid_.x);
  readAxis("init-v3=0.5:1.5:11", grid_.y);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(axisRow("x", xIn_));
  layout->addWidget(axisRow("y", yIn_));
  auto* buttons = new QHBoxLayout;
  auto* compute = new QPushButton(Words::tr("Compute"), this);
  compute->setToolTip(Words::tr(
      "Map the two axes as given, with the control form's other fields as they were when the map opened"));
  auto* saveImage = new QPushButton(Words::tr("Save image..."), this);
  auto* saveCsv = new QPushButton(Words::tr("Save CSV..."), this);
  auto* restore = new QPushButton(Words::tr("Restore the fields"), this);
  back_ = new QPushButton(Words::tr("Back"), this);
  back_->setToolTip(Words::tr("The view before this one (Alt+Left)"));
  forward_ = new QPushButton(Words::tr("Forward"), this);
  forward_->setToolTip(Words::tr("The view after this one (Alt+Right)"));
  auto* copy = new QPushButton(Words::tr("Copy command"), this);
  copy->setToolTip(Words::tr("Copy the threebody-map command that computes this view"));
  restore->setToolTip(Words::tr("Put back the fields the last click on a cell changed (Ctrl+Z)"));
  status_ = new QLabel(this);
  integration_ = new QComboBox(this);
  integration_->addItems(
      {Words::tr("fixed step"), Words::tr("physical (reference)"), Words::tr("fixed step, verified")});
  integration_->setToolTip(
      Words::tr("fixed step: each point a test as the control form runs it; physical: each point "
                "integrated by the reference alone; verified: the fixed step with artefacts dotted "
                "black and fragile points white"));
  buttons->addWidget(integration_);
  for (QWidget* w :
       {static_cast<QWidget*>(compute), static_cast<QWidget*>(back_), static_cast<QWidget*>(forward_),
        static_cast<QWidget*>(saveImage), static_cast<QWidget*>(saveCsv), static_cast<QWidget*>(copy),
        static_cast<QWidget*>(restore)})
    buttons->addWidget(w);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  // The progress, then the finished map in numbers, on a line of its own.
  status_->setWordWrap(true);
  status_->setToolTip(Words::tr(kBasinEntropyInWords));
  layout->addWidget(status_);
  fixed_ = new QLabel(this);
  fixed_->setWordWrap(true);
  layout->addWidget(fixed_);
  view_ = new MapView(grid_, cells_, this);
  layout->addWidget(view_, 1);
  readout_ = new QLabel(" ", this);
  readout_->setTextFormat(Qt::PlainText);
  layout->addWidget(readout_);

  QObject::connect(compute, &QPushButton::clicked, [this] {
    auto given = [](const AxisInput& in) {
      return (in.field->currentText() + "=" + in.from->text() + ":" + in.to->text() + ":" + in.count->text())
          .toStdString();
    };
    // A slip in a field is answered in the window's words, naming the field.
    for (const auto& [axis, in] :
         {std::pair{Words::tr("x axis"), &xIn_}, std::pair{Words::tr("y axis"), &yIn_}})
      for (const auto& [label, e, count] :
           {std::tuple{Words::tr("from"), in->from, false}, std::tuple{Words::tr("to"), in->to, false},
            std::tuple{Words::tr("points"), in->count, true}})
        if (const QString problem = axisValueProblem(e->text(), count); !problem.isEmpty()) {
          warn(this, Words::tr("Outcome map"), QString("%1, %2: %3").arg(axis, label, problem));
          return;
        }
    setIntegration(integration_->currentIndex());
    std::string error = showView(given(xIn_), given(yIn_));
    if (!error.empty()) warn(this, Words::tr("Outcome map"), QString::fromStdString(error));
  });
  QObject::connect(saveImage, &QPushButton::clicked, [this] {
    QString path = QFileDialog::getSaveFileName(this, Words::tr("Save image"), "threebody-map.png",
                                                Words::tr("PNG images (*.png)"));
    if (path.isEmpty()) return;
    if (QString error = this->saveImage(path); !error.isEmpty()) warn(this, Words::tr("Save image"), error);
  });
  QObject::connect(saveCsv, &QPushButton::clicked, [this] {
    QString path = QFileDialog::getSaveFileName(this, Words::tr("Save CSV"), "threebody-map.csv",
                                                Words::tr("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    if (QString error = this->saveCsv(path); !error.isEmpty()) warn(this, Words::tr("Save CSV"), error);
  });
  QObject::connect(back_, &QPushButton::clicked, [this] { back(); });
  QObject::connect(forward_, &QPushButton::clicked, [this] { forward(); });
  QObject::connect(copy, &QPushButton::clicked,
                   [this] { QApplication::clipboard()->setText(QString::fromStdString(mapCommand())); });
  for (auto [key, step] : {std::pair{QKeySequence::Back, -1}, std::pair{QKeySequence::Forward, 1}}) {
    auto* go = new QAction(this);
    go->setShortcut(key);
    go->setShortcutContext(Qt::WindowShortcut);
    addAction(go);
    QObject::connect(go, &QAction::triggered, [this, step = step] { step < 0 ? back() : forward(); });
  }
  auto* undo = new QAction(Words::tr("Restore the fields"), this);
  undo->setShortcut(QKeySequence::Undo);
  undo->setShortcutContext(Qt::WindowShortcut);
  addAction(undo);
  QObject::connect(restore, &QPushButton::clicked, undo, &QAction::trigger);
  QObject::connect(undo, &QAction::triggered, [this] {
    if (!onRestore) return;
    refusal_ = QString::fromStdString(onRestore());
    if (!refusal_.isEmpty())
      status_->setText(refusal_);
    else
      view_->mark(-1, -1);
  });
  view_->onHover = [this](int i, int j) { describe(i, j); };
  view_->onClick = [this](int i, int j, QPoint global) { pick(i, j, global); };
  // A view the axes refuse (a mass below zero, say) leaves the map as it
  // was, and says why under it.
  auto refused = [this](const std::string& e) {
    if (!e.empty()) readout_->setText(QString::fromStdString(e));
  };
  view_->onZoom = [this, refused](double x0, double x1, double y0, double y1) {
    refused(zoomTo(x0, x1, y0, y1));
  };
  view_->onPan = [this, refused](double dx, double dy) { refused(pan(dx, dy)); };
  view_->onKey = [this](int k) { return key(k); };
  QObject::connect(&poll_, &QTimer::timeout, this, [this] { collect(); });
  resize(640, 520);
  // Fields the map cannot use leave it empty, saying why.
  if (const std::string e = showView(grid_.x.given, grid_.y.given); !e.empty()) {
    clearCells();
    status_->setText(QString::fromStdString(e));
  }
}

// The workers end before what stops them goes.
MapWindow::~MapWindow() {
  stop();
  job_.reset();
}

// The workers read the grid: the choice waits for the next remap, which stops them first.
void MapWindow::setIntegration(int choice) {
  integrationChoice_ = choice;
  if (integration_->currentIndex() != choice) integration_->setCurrentIndex(choice);
}

std::string MapWindow::remap(const std::string& x, const std::string& y) {
  MapAxis ax, ay;
  auto words = [](const QString& w) { return w.toStdString(); };
  if (std::string e = readAxis(x, ax); !e.empty())
    return words(Words::tr("x axis: %1").arg(QString::fromStdString(e)));
  if (std::string e = readAxis(y, ay); !e.empty())
    return words(Words::tr("y axis: %1").arg(QString::fromStdString(e)));
  if (ax.field == ay.field)
    return words(Words::tr("the x and y axes are both %1; choose two different fields")
                     .arg(QString::fromStdString(ax.field)));
  if (integrationChoice_ == 1 && (ax.field == "tdelta" || ay.field == "tdelta"))
    return words(Words::tr(
        "a physical map does not use tdelta: the reference chooses its own steps; map another field, or "
        "choose the fixed step"));
  if (ax.values.size() * ay.values.size() > 1000000)
    return words(Words::tr("the map would have more than 1000000 points; choose fewer points on an axis"));
  MapRun next = grid_;
  next.integrator = integrationChoice_ == 1 ? MapIntegrator::Reference : MapIntegrator::Fixed;
  next.verify = integrationChoice_ == 2;
  next.x = std::move(ax);
  next.y = std::move(ay);
  // The points in the order of refinement, on lanes and threads. One core
  // stays with the windows, so Start, Stop and End answer as ever.
  next.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency() - 1));
  auto order =
      std::make_shared<const std::vector<size_t>>(refinementOrder(next.columns(), next.y.values.size()));
  // A field the library refuses (a mass that is not a number) leaves the map as it was.
  std::unique_ptr<threebody::MapJob> job;
  try {
    job = std::make_unique<threebody::MapJob>(threebody::experimentOf(next.fields),
                                              threebody::mapOptionsOf(next, threebody::StopToken()), *order);
  } catch (const threebody::Error& e) {
    return e.what();
  }
  stop();
  job_ = std::move(job);
  grid_ = std::move(next);
  order_ = std::move(order);
  setInputs(grid_.x, xIn_);
  setInputs(grid_.y, yIn_);
  view_->setOrder(order_);
  clearCells();
  view_->mark(-1, -1);
  readout_->setText(" "); // it told of a cell of the map before
  // The fields every point shares, as the control form names them.
  QStringList fixed;
  for (const auto& f : parameterFields())
    if (!onAxis(grid_, f.control))
      for (const auto& [control, text] : grid_.fields)
        if (control == f.control) fixed << QString("%1 %2").arg(f.label, QString::fromStdString(text));
  fixed_->setText(Words::tr("Fixed: %1. Each point is one test at its alpha.").arg(fixed.join(", ")));
  collect();
  poll_.start(100);
  return "";
}

void MapWindow::stop() {
  poll_.stop();
  if (job_) job_->stop(); // the running points are dropped at once
}

// On the windows' thread: takes the points finished in order and paints them.
void MapWindow::clearCells() {
  cells_.assign(grid_.points(), MapCell{});
  times_.assign(grid_.points(), 0);
  rows_.assign(grid_.points(), std::string());
  verdicts_.assign(grid_.points(), std::string());
  done_ = 0;
  view_->cellsDone(0);
}

void MapWindow::collect() {
  if (!job_) return;
  for (std::optional<threebody::MapPoint> point; done_ < cells_.size() && (point = job_->poll()); ++done_) {
    const size_t k = (*order_)[done_];
    PointRow p = threebody::pointRow(*point);
    cells_[k] = MapCell{p.outcome, p.steps, p.mark};
    times_[k] = p.time;
    rows_[k] = std::move(p.csv);
    verdicts_[k] = std::move(p.verdictText);
  }
  status_->setText(finished() ? finishedText() : Words::tr("%1 of %2 points").arg(done_).arg(cells_.size()));
  setWindowTitle(finished() ? Words::tr("Outcome Map")
                            : Words::tr("Outcome Map (%1 of %2 points)").arg(done_).arg(cells_.size()));
  if (finished()) poll_.stop();
  view_->cellsDone(done_);
}

// A finished map in numbers: its points by outcome, its doubtful points,
// and its basin entropy, as the map tool prints them.
QString MapWindow::finishedText() const {
  int64_t outcomes[MapOutcome::kSlots] = {};
  int artefacts = 0, doubtful = 0;
  std::vector<uint8_t> bySlot(cells_.size());
  for (size_t k = 0; k < cells_.size(); ++k) {
    const int slot = cells_[k].outcome.slot();
    ++outcomes[slot];
    bySlot[k] = static_cast<uint8_t>(slot);
    artefacts += cells_[k].mark == MapMark::Artefact ? 1 : 0;
    doubtful += cells_[k].mark == MapMark::Fragile ? 1 : 0;
  }
  QStringList parts;
  for (const MapOutcome o : legendOutcomes(grid_))
    if (outcomes[o.slot()] > 0) parts << QString("%1 %2").arg(outcomes[o.slot()]).arg(Words::core(o.name()));
  QString text = Words::tr("%1 points: %2").arg(cells_.size()).arg(parts.join(", "));
  if (grid_.verify)
    text += (artefacts == 1 ? Words::tr("; %1 artefact") : Words::tr("; %1 artefacts")).arg(artefacts);
  if (grid_.verify || grid_.integrator == MapIntegrator::Reference)
    text += Words::tr("; %1 fragile or undecided").arg(doubtful);
  const BasinEntropy e = basinEntropy(bySlot, grid_.columns(), cells_.size() / grid_.columns());
  if (e.boxes > 0)
    text +=
        Words::tr("; basin entropy %1, boundary %2: %3")
            .arg(e.sb, 0, 'f', 3)
            .arg(e.sbb, 0, 'f', 3)
            .arg(e.fractal() ? Words::tr("fractal (where outcomes meet, nearby points still end differently)")
                             : Words::tr("not fractal"));
  else if (e.wholeBoxes > 0)
    text += Words::tr("; no basin entropy: every box of 5 x 5 points holds one without an outcome");
  return text;
}

void MapWindow::describe(int i, int j) {
  if (i < 0) {
    readout_->setText(" ");
    return;
  }
  const size_t k = static_cast<size_t>(j) * grid_.columns() + static_cast<size_t>(i);
  const MapCell& c = cells_[k];
  QString at = QString("%1 %2, %3 %4: ")
                   .arg(QString::fromStdString(grid_.x.field),
                        QString::fromStdString(grid_.x.texts[static_cast<size_t>(i)]),
                        QString::fromStdString(grid_.y.field),
                        QString::fromStdString(grid_.y.texts[static_cast<size_t>(j)]));
  if (c.outcome.kind() == MapOutcome::Kind::Ended)
    at += Words::tr("%1 (end %2), %3 steps, time %4")
              .arg(Words::core(c.outcome.name()))
              .arg(endNumber(c.outcome.end()))
              .arg(c.steps)
              .arg(times_[k], 0, 'g', 6);
  else
    at += Words::core(c.outcome.name());
  if (!verdicts_[k].empty()) at += QString("; %1").arg(Words::core(verdicts_[k].c_str()));
  readout_->setText(at);
}

void MapWindow::pick(int i, int j, QPoint global) {
  const MapCell& c = cells_[static_cast<size_t>(j) * grid_.columns() + static_cast<size_t>(i)];
  if (c.outcome == MapOutcome::notYet() || !onPick) return;
  FieldTexts changes;
  for (const char* control : axisControls(grid_.x.field))
    changes.emplace_back(control, grid_.x.texts[static_cast<size_t>(i)]);
  for (const char* control : axisControls(grid_.y.field))
    changes.emplace_back(control, grid_.y.texts[static_cast<size_t>(j)]);
  std::string why = onPick(changes);
  refusal_ = QString::fromStdString(why);
  if (!why.empty())
    QToolTip::showText(global, refusal_, this);
  else
    view_->mark(i, j);
}

void MapWindow::closeEvent(QCloseEvent* event) {
  stop();
  event->accept();
}

} // namespace tb
