// The context menus: save the image, copy and save the lines, the speed to
// watch a test at, and the outcome map. The designed controls stay as they are.
#include "forms/qt/qt_forms.h"

#include "forms/qt/widgets.h"
#include "forms/qt/words.h"
#include "runtime/controls.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolTip>

namespace tb {

// Context menus that keep results: the plot as a PNG, the result lines on the
// clipboard, the series as CSV. The designed controls and layout stay as they are.
void QtForms::addMenus() {
  // Save image as shown (the overlay too), or the plot alone.
  auto saveImageAs = [this](bool withOverlay) {
    QString path = QFileDialog::getSaveFileName(plot_, Words::tr("Save image"), "threebody.png",
                                                Words::tr("PNG images (*.png)"));
    if (path.isEmpty()) return;
    QString error = saveImage(path, withOverlay);
    if (!error.isEmpty()) warn(plot_, Words::tr("Save image"), error);
  };
  auto*& saveImageAction = actions_.saveImage;
  saveImageAction = new QAction(Words::tr("Save image..."), plot_);
  saveImageAction->setShortcut(QKeySequence::Save);
  saveImageAction->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(saveImageAction, &QAction::triggered, [saveImageAs] { saveImageAs(true); });
  plot_->addAction(saveImageAction);
  auto*& savePlainAction = actions_.savePlain;
  savePlainAction = new QAction(Words::tr("Save image without overlay..."), plot_);
  QObject::connect(savePlainAction, &QAction::triggered, [saveImageAs] { saveImageAs(false); });
  plot_->addAction(savePlainAction);
  actions_.overlay = new QAction(Words::tr("Show overlay"), plot_);
  actions_.overlay->setCheckable(true);
  actions_.overlay->setChecked(plot_->overlayOn);
  QObject::connect(actions_.overlay, &QAction::toggled, [this](bool on) { showOverlay(on); });
  plot_->addAction(actions_.overlay);
  auto*& proportions = actions_.proportions;
  proportions = new QAction(Words::tr("True proportions (from the next test)"), plot_);
  proportions->setCheckable(true);
  QObject::connect(proportions, &QAction::toggled, [this](bool on) {
    if (onTrueProportions) onTrueProportions(on);
  });
  plot_->addAction(proportions);
  // For a room: the plot on the whole screen, trails a projector shows, and
  // colours that stay apart for everyone.
  actions_.fullScreen = new QAction(Words::tr("Full screen"), plot_);
  actions_.fullScreen->setCheckable(true);
  actions_.fullScreen->setShortcut(QKeySequence(Qt::Key_F11));
  actions_.fullScreen->setShortcutContext(Qt::ApplicationShortcut);
  QObject::connect(actions_.fullScreen, &QAction::triggered, [this](bool on) { setFullScreen(on); });
  plot_->addAction(actions_.fullScreen);
  actions_.thick = new QAction(Words::tr("Thick trails"), plot_);
  actions_.thick->setCheckable(true);
  QObject::connect(actions_.thick, &QAction::toggled, [this](bool on) { setThickTrails(on); });
  plot_->addAction(actions_.thick);
  actions_.palette = new QAction(Words::tr("Colour-blind safe palette"), plot_);
  actions_.palette->setCheckable(true);
  QObject::connect(actions_.palette, &QAction::toggled, [this](bool on) {
    setTrailPalette(on ? TrailPalette::ColourBlindSafe : TrailPalette::Document);
  });
  plot_->addAction(actions_.palette);
  plot_->setContextMenuPolicy(Qt::ActionsContextMenu);

  QWidget* print = windows_[2];
  auto*& copyAction = actions_.copyLines;
  copyAction = new QAction(Words::tr("Copy lines"), print);
  copyAction->setShortcut(QKeySequence::Copy);
  copyAction->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(copyAction, &QAction::triggered, [this] { copyLines(); });
  auto*& saveAction = actions_.saveResults;
  saveAction = new QAction(Words::tr("Save results..."), print);
  saveAction->setShortcut(QKeySequence::Save);
  saveAction->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(saveAction, &QAction::triggered, [this, print] {
    QString path = QFileDialog::getSaveFileName(print, Words::tr("Save results"), "threebody.csv",
                                                Words::tr("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    QString error = saveResults(path);
    if (!error.isEmpty()) warn(print, Words::tr("Save results"), error);
  });
  actions_.results = new QAction(Words::tr("Results table"), print);
  QObject::connect(actions_.results, &QAction::triggered, [this] { showResultsTable(); });
  print->addAction(copyAction);
  print->addAction(saveAction);
  print->addAction(actions_.results);
  print->setContextMenuPolicy(Qt::ActionsContextMenu);
  for (QLabel* label : lmesg_)
    label->setContextMenuPolicy(Qt::NoContextMenu);
}

// Words::tr("Speed") in the display form's context menu: full speed, or a pace to watch.
void QtForms::addSpeedMenu() {
  auto* menu = actions_.speed = new QMenu(Words::tr("Speed"), plot_);
  auto* group = new QActionGroup(menu);
  for (double pace : kPaces) {
    QString name = pace == 0 ? Words::tr("Full speed") : Words::tr("%1 time units a second").arg(pace);
    QAction* a = menu->addAction(name);
    a->setCheckable(true);
    a->setData(pace);
    a->setChecked(pace == pace_);
    group->addAction(a);
    QObject::connect(a, &QAction::triggered, [this, pace] { setPace(pace); });
    speedActions_.push_back(a);
  }
  plot_->addAction(menu->menuAction());
}

void QtForms::openMap() {
  FieldTexts fields;
  for (const auto& f : parameterFields())
    fields.emplace_back(f.control, text(f.control));
  map_ = std::make_unique<MapWindow>(std::move(fields));
  map_->onPick = [this](const FieldTexts& changes) -> std::string {
    // The running series reads the fields test by test: they stay as they are.
    if (runState() != RunState::Idle)
      return Words::tr("A series is running: press Stop, then click the cell again to run its test.")
          .toStdString();
    // What the click changes can be put back ("Restore the fields").
    FieldTexts before;
    for (const auto& [control, value] : changes)
      before.emplace_back(control, text(control));
    fieldsBeforePick_.push_back(std::move(before));
    for (const auto& [control, value] : changes)
      setText(control, value);
    static_cast<QPushButton*>(control(controls::CommandStart))->click();
    return std::string();
  };
  map_->onRestore = [this]() -> std::string {
    if (runState() != RunState::Idle)
      return Words::tr("A series is running: press Stop, then restore the fields.").toStdString();
    if (fieldsBeforePick_.empty())
      return Words::tr("No click on the map has changed the fields.").toStdString();
    for (const auto& [control, value] : fieldsBeforePick_.back())
      setText(control, value);
    fieldsBeforePick_.pop_back();
    return std::string();
  };
  map_->move(windows_[2]->frameGeometry().left(), windows_[2]->frameGeometry().bottom() + 1);
  map_->show();
}

void QtForms::useExample(const Example& e) {
  // The running series reads the fields test by test: they stay as they are.
  if (runState() != RunState::Idle) return;
  for (const auto& [control, value] : exampleFields(e))
    setText(control, value);
  exampleNote_ = Words::core(e.watch);
  QWidget* start = control(controls::CommandStart);
  QToolTip::showText(start->mapToGlobal(QPoint(0, start->height())), exampleNote_, start, {}, 8000);
}

void QtForms::resetFields() {
  if (runState() != RunState::Idle) return;
  for (const auto& [control, value] : defaultFieldTexts())
    setText(control, value);
  exampleNote_.clear();
}

void QtForms::showOverlay(bool on) {
  plot_->overlayOn = on;
  if (actions_.overlay && actions_.overlay->isChecked() != on) actions_.overlay->setChecked(on);
  plot_->update();
}

// Actions of the whole program, with shortcuts that answer in any of its
// windows and never clash with typing in a field: F5 Start, Shift+F5 Stop,
// F1 help, Ctrl+Q quit; and the display and print forms shown again.
void QtForms::addWindowActions() {
  QWidget* form = windows_[0];
  auto add = [form](const QString& text, const QKeySequence& key, auto&& run) {
    auto* a = new QAction(text, form);
    if (!key.isEmpty()) {
      a->setShortcut(key);
      a->setShortcutContext(Qt::ApplicationShortcut);
    }
    QObject::connect(a, &QAction::triggered, run);
    form->addAction(a);
    return a;
  };
  actions_.start = add(Words::tr("Start"), QKeySequence(Qt::Key_F5),
                       [this] { static_cast<QPushButton*>(control(controls::CommandStart))->click(); });
  actions_.stop = add(Words::tr("Stop"), QKeySequence(Qt::SHIFT | Qt::Key_F5), [this] {
    if (runState() == RunState::Running) app_->CommandEnd_Click();
  });
  actions_.stop->setEnabled(false); // nothing runs yet
  // Pause holds the running series at its next yield; Step lets it run one
  // display step (100 passes) and holds it again. Only while a series runs,
  // so that Space still presses a focused button otherwise.
  actions_.pause = add(Words::tr("Pause"), QKeySequence(Qt::Key_Space), [this](bool on) { setPaused(on); });
  actions_.pause->setCheckable(true);
  actions_.pause->setEnabled(false);
  actions_.step = add(Words::tr("Step"), QKeySequence(Qt::Key_Period), [this] { stepPaused(); });
  actions_.step->setEnabled(false);
  actions_.showForms = add(Words::tr("Show the display and print forms"), QKeySequence(), [this] {
    for (int f : {1, 2}) {
      windows_[static_cast<size_t>(f)]->show();
      windows_[static_cast<size_t>(f)]->raise();
    }
  });
  actions_.graphs = add(Words::tr("Graphs"), QKeySequence(Qt::CTRL | Qt::Key_G), [this] { showGraphs(); });
  actions_.help = add(Words::tr("Help"), QKeySequence(Qt::Key_F1), [this] { showHelp(); });
  actions_.about = add(Words::tr("About threebody"), QKeySequence(), [this] { showAbout(); });
  actions_.quit = add(Words::tr("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] {
    if (!ended_) end();
  });
}

} // namespace tb

namespace tb {

// The control form's menu bar: every action of the program by its kind. The
// display and print forms' actions whose shortcuts answer in their own window
// (Save image Ctrl+S there, Save results Ctrl+S here) are offered through
// items that trigger them, so that no shortcut is claimed twice in one window.
void QtForms::addMenuBar() {
  QMenuBar* bar = controlWindow_->menuBar();
  auto through = [](QMenu* menu, QAction* original) {
    QAction* item = menu->addAction(original->text());
    QObject::connect(item, &QAction::triggered, original, &QAction::trigger);
    return item;
  };
  QMenu* file = bar->addMenu(Words::tr("&File"));
  through(file, actions_.saveImage);
  through(file, actions_.savePlain);
  through(file, actions_.saveResults);
  through(file, actions_.copyLines);
  file->addSeparator();
  file->addAction(actions_.quit);
  QMenu* run = bar->addMenu(Words::tr("&Run"));
  run->addAction(actions_.start);
  run->addAction(actions_.stop);
  run->addAction(actions_.pause);
  run->addAction(actions_.step);
  run->addMenu(actions_.speed);
  run->setToolTipsVisible(true);
  actions_.verify = run->addAction(Words::tr("Verify outcomes"));
  actions_.verify->setCheckable(true);
  actions_.verify->setToolTip(
      Words::tr("Judge each test's outcome by a reference integration: \u2713 confirmed, "
                "\u2717 artefact of the step size, ~ fragile, ? undecided"));
  QObject::connect(actions_.verify, &QAction::toggled, [this](bool on) { setVerifyOutcomes(on); });
  // Experiments to start from, each with what to watch; and the way back.
  QMenu* examplesMenu = actions_.examples = bar->addMenu(Words::tr("&Examples"));
  examplesMenu->setToolTipsVisible(true);
  for (const Example& e : examples()) {
    QAction* a = examplesMenu->addAction(Words::core(e.name));
    a->setToolTip(Words::core(e.watch));
    a->setStatusTip(Words::core(e.watch));
    QObject::connect(a, &QAction::triggered, [this, &e] { useExample(e); });
  }
  examplesMenu->addSeparator();
  actions_.reset = examplesMenu->addAction(Words::tr("Reset fields"));
  actions_.reset->setToolTip(Words::tr("Put every field back to its default"));
  QObject::connect(actions_.reset, &QAction::triggered, [this] { resetFields(); });
  QMenu* view = bar->addMenu(Words::tr("&View"));
  view->addAction(actions_.overlay);
  view->addAction(actions_.proportions);
  view->addAction(actions_.fullScreen);
  view->addAction(actions_.thick);
  view->addAction(actions_.palette);
  view->addSeparator();
  view->addAction(actions_.showForms);
  if (actions_.results) view->addAction(actions_.results);
  view->addAction(actions_.graphs);
  QMenu* tools = bar->addMenu(Words::tr("&Tools"));
  tools->addAction(actions_.map);
  QMenu* help = bar->addMenu(Words::tr("&Help"));
  help->addAction(actions_.help);
  help->addAction(actions_.about);
}

} // namespace tb
