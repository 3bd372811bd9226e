#include "forms/qt/qt_forms.h"
#include "runtime/controls.h"

#include "results/export.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <stdexcept>

namespace tb {

namespace {

constexpr int kPx = static_cast<int>(kTwipsPerPixel);

int twipsToPixels(float twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

// Drawing-area pixels for an outer size in twips, never negative.
int clientPixels(float outer, float frame) {
  int px = twipsToPixels(outer - frame);
  return px < 0 ? 0 : px;
}

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// A warning whose text is shown as typed: a field's text in it is never read
// as markup.
void warn(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

} // namespace

void useFixedNumberFormat() {
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
}

QtForms::QtForms() {
  windows_[0] = new FormWindow;
  plot_ = new PlotWidget;
  windows_[1] = plot_;
  windows_[2] = new FormWindow;
  const char* captions[] = {kForm1Caption, kForm2Caption, kForm3Caption};
  // The forms' default font: small and slightly condensed, so that the
  // captions and read-outs fit the designed control sizes and a whole result
  // line fits the print form's width.
  QFont formFont = QApplication::font();
  formFont.setPixelSize(11);
  formFont.setStretch(QFont::SemiCondensed);
  for (int i = 0; i < 3; ++i) {
    windows_[i]->setFont(formFont);
    windows_[i]->setWindowTitle(captions[i]);
    windows_[i]->resize(clientPixels(kWindowDesigns[i].clientWidth, 0),
                        clientPixels(kWindowDesigns[i].clientHeight, 0));
  }
  buildControlForm();
  buildPrintForm();
  addMenus();
  addSpeedMenu();
  auto* mapAction = new QAction("Outcome map...", windows_[0]);
  QObject::connect(mapAction, &QAction::triggered, [this] { openMap(); });
  windows_[0]->addAction(mapAction);
  windows_[0]->setContextMenuPolicy(Qt::ActionsContextMenu);
  for (auto* w : windows_)
    w->installEventFilter(this);
}

// Context menus that keep results: the plot as a PNG, the result lines on the
// clipboard, the series as CSV. The designed controls and layout stay as they are.
void QtForms::addMenus() {
  auto* saveImageAction = new QAction("Save image...", plot_);
  saveImageAction->setShortcut(QKeySequence::Save);
  saveImageAction->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(saveImageAction, &QAction::triggered, [this] {
    QString path = QFileDialog::getSaveFileName(plot_, "Save image", "threebody.png", "PNG images (*.png)");
    if (path.isEmpty()) return;
    QString error = saveImage(path);
    if (!error.isEmpty()) warn(plot_, "Save image", error);
  });
  plot_->addAction(saveImageAction);
  plot_->setContextMenuPolicy(Qt::ActionsContextMenu);

  QWidget* print = windows_[2];
  auto* copyAction = new QAction("Copy lines", print);
  copyAction->setShortcut(QKeySequence::Copy);
  copyAction->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(copyAction, &QAction::triggered, [this] { copyLines(); });
  auto* saveAction = new QAction("Save results...", print);
  saveAction->setShortcut(QKeySequence::Save);
  saveAction->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(saveAction, &QAction::triggered, [this, print] {
    QString path = QFileDialog::getSaveFileName(print, "Save results", "threebody.csv", "CSV files (*.csv)");
    if (path.isEmpty()) return;
    QString error = saveResults(path);
    if (!error.isEmpty()) warn(print, "Save results", error);
  });
  print->addAction(copyAction);
  print->addAction(saveAction);
  print->setContextMenuPolicy(Qt::ActionsContextMenu);
  for (QLabel* label : lmesg_)
    label->setContextMenuPolicy(Qt::NoContextMenu);
}

void QtForms::recordTest(const TestReport& report) {
  if (report.index == 0) {
    results_.clear();
    pictures_.fill(QImage());
  }
  results_.push_back(report);
  // The picture belongs to the label the line went to: from the 19th test on
  // that is always the last one.
  pictures_[static_cast<size_t>(std::min(report.index, 18))] = plot_->image().copy();
  plot_->paintNow();
}

void QtForms::showTestPicture(int index) {
  const QImage& picture = pictures_.at(static_cast<size_t>(index));
  if (picture.isNull()) return;
  if (shownTest_ >= 0) lmesg_[static_cast<size_t>(shownTest_)]->setMarked(false);
  shownTest_ = index;
  lmesg_[static_cast<size_t>(index)]->setMarked(true);
  plot_->showPicture(picture);
}

void QtForms::openMap() {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& f : parameterFields())
    fields.emplace_back(f.control, text(f.control));
  map_ = std::make_unique<MapWindow>(std::move(fields));
  map_->onPick = [this](const std::string& alpha, const std::string& initv3) -> std::string {
    // The running series reads the fields test by test: they stay as they are.
    if (runState() != RunState::Idle)
      return "A series is running: press Stop, then click the cell again to run its test.";
    setText(controls::Talphastr, alpha);
    setText(controls::Talphaend, alpha);
    setText(controls::Tinitv2, initv3);
    static_cast<QPushButton*>(control(controls::CommandStart))->click();
    return std::string();
  };
  map_->move(windows_[2]->frameGeometry().left(), windows_[2]->frameGeometry().bottom() + 1);
  map_->show();
}

void QtForms::showLivePlot() {
  if (shownTest_ >= 0) lmesg_[static_cast<size_t>(shownTest_)]->setMarked(false);
  shownTest_ = -1;
  plot_->showLive();
}

QString QtForms::resultLines() const {
  QString text;
  for (const auto& r : results_)
    text += QString::fromStdString(r.line) + "\n";
  return text;
}

void QtForms::copyLines() const { QGuiApplication::clipboard()->setText(resultLines()); }

// Writes through a temporary file that replaces `path` only when complete: a
// full disk leaves an earlier file as it was and no temporary behind. The
// size on disk is checked too, as a write cut short by the file system is not
// always reported as an error.
QString saveWhole(const QString& path, const QByteArray& data) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly))
    return "Could not open " + path + " for writing: " + file.errorString();
  bool whole = file.write(data) == data.size() && file.flush() && file.size() == data.size();
  if (!whole || !file.commit()) {
    QString why = file.error() != QFileDevice::NoError
                      ? file.errorString()
                      : QString("only %1 of %2 bytes could be written (is the disk full?)")
                            .arg(file.size())
                            .arg(data.size());
    file.cancelWriting();
    return "Could not write " + path + ": " + why + ". Any earlier file of that name is unchanged.";
  }
  return {};
}

QString QtForms::saveImage(const QString& path) const {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!shownImage().save(&buffer, "PNG")) return "Could not encode the picture as PNG.";
  return saveWhole(path, png);
}

QString QtForms::saveResults(const QString& path) const {
  std::string csv = testsToCsv(results_);
  return saveWhole(path, QByteArray(csv.data(), static_cast<qsizetype>(csv.size())));
}

QtForms::~QtForms() {
  for (auto* w : windows_)
    delete w;
}

void QtForms::buildControlForm() {
  QWidget* form = windows_[0];
  std::vector<std::pair<int, QWidget*>> focusOrder;
  for (const auto& c : form1Controls()) {
    QWidget* w = nullptr;
    switch (c.kind) {
    case ControlKind::Button: w = new QPushButton(c.text, form); break;
    case ControlKind::Label: w = new QLabel(c.text, form); break;
    case ControlKind::TextBox: {
      auto* edit = new QLineEdit(c.text, form);
      edit->setCursorPosition(0);
      w = edit;
      break;
    }
    }
    w->setObjectName(c.name);
    w->setGeometry(c.left / kPx, c.top / kPx, c.width / kPx, c.height / kPx);
    controls_.insert(c.name, w);
    if (c.kind != ControlKind::Label) focusOrder.emplace_back(c.tabIndex, w);
  }
  // A caption wider than its designed label gets a narrower face rather than
  // being cut off.
  for (QWidget* w : controls_) {
    auto* label = qobject_cast<QLabel*>(w);
    if (!label || label->fontMetrics().horizontalAdvance(label->text()) <= label->width()) continue;
    QFont narrow = label->font();
    narrow.setStretch(QFont::Condensed);
    label->setFont(narrow);
  }
  // The parameter fields explain themselves on hover.
  for (const auto& f : parameterFields())
    controls_.value(f.control)->setToolTip(
        QString("%1: %2 (default %3)").arg(f.label, f.what, f.defaultText));
  QFont mesgFont("MS Sans Serif");
  mesgFont.setPointSizeF(9.75);
  mesgFont.setWeight(QFont::Normal);
  controls_.value(controls::LMesg)->setFont(mesgFont);
  std::sort(focusOrder.begin(), focusOrder.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 1; i < focusOrder.size(); ++i)
    QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
}

void QtForms::buildPrintForm() {
  QWidget* form = windows_[2];
  const QFont lineFont = ResultLabel::lineFont(form->width());
  for (int i = 0; i < 19; ++i) {
    auto* label = new ResultLabel(form);
    label->setObjectName(QString("Lmesg%1").arg(i));
    label->setFont(lineFont);
    label->onClick = [this, i] { showTestPicture(i); };
    lmesg_[static_cast<size_t>(i)] = label;
  }
}

void QtForms::connectHandlers(Application& app) {
  app_ = &app;
  QObject::connect(static_cast<QPushButton*>(controls_.value(controls::CommandStart)), &QPushButton::clicked,
                   [this] {
                     showLivePlot();
                     app_->CommandStart_Click();
                     // The series ended (last test, Stop or a fault): show its last dots.
                     if (!ended_) plot_->update();
                   });
  QObject::connect(
      static_cast<QPushButton*>(controls_.value(controls::CommandEnd)), &QPushButton::clicked, [this] {
        // Stop turns the button into End: the second click of a
        // double click on Stop must not end the program.
        auto now = std::chrono::steady_clock::now();
        if (runState() == RunState::Running) {
          stopClickedAt_ = now;
        } else if (now - stopClickedAt_ < std::chrono::milliseconds(QApplication::doubleClickInterval())) {
          return;
        }
        app_->CommandEnd_Click();
      });
  // Closing any window acts as End.
  for (auto* w : windows_)
    w->onClose = [this] {
      if (!ended_) this->end();
    };
}

float QtForms::left(FormId f) { return static_cast<float>(window(f)->x() * kPx); }
float QtForms::top(FormId f) { return static_cast<float>(window(f)->y() * kPx); }
float QtForms::width(FormId f) { return static_cast<float>(window(f)->width() * kPx) + kFrameWidthTwips; }
float QtForms::height(FormId f) { return static_cast<float>(window(f)->height() * kPx) + kFrameHeightTwips; }
void QtForms::setLeft(FormId f, float v) { window(f)->move(twipsToPixels(v), window(f)->y()); }
void QtForms::setTop(FormId f, float v) { window(f)->move(window(f)->x(), twipsToPixels(v)); }
void QtForms::setWidth(FormId f, float v) {
  window(f)->resize(clientPixels(v, kFrameWidthTwips), window(f)->height());
}
void QtForms::setHeight(FormId f, float v) {
  window(f)->resize(window(f)->width(), clientPixels(v, kFrameHeightTwips));
}
float QtForms::scaleWidth(FormId f) {
  int px = window(f)->width();
  return pixels_[static_cast<int>(f)] ? static_cast<float>(px) : static_cast<float>(px * kPx);
}
float QtForms::scaleHeight(FormId f) {
  int px = window(f)->height();
  return pixels_[static_cast<int>(f)] ? static_cast<float>(px) : static_cast<float>(px * kPx);
}
void QtForms::show(FormId f) { window(f)->show(); }

void QtForms::cls(FormId f) {
  if (f == FormId::Form2) plot_->clear();
}

void QtForms::pset(FormId f, float x, float y, uint32_t colour) {
  if (f != FormId::Form2 || !std::isfinite(x) || !std::isfinite(y)) return;
  if (x < 0 || y < 0 || x >= 65536 || y >= 65536) return;
  plot_->setPixel(static_cast<int>(x), static_cast<int>(y), colour);
}

// Every build refuses a name the control form does not have.
QWidget* QtForms::named(std::string_view control) const {
  QWidget* w = controls_.value(qstr(control));
  if (!w) throw std::out_of_range("no control named " + std::string(control));
  return w;
}

std::string QtForms::text(std::string_view control) {
  if (auto* e = qobject_cast<QLineEdit*>(named(control))) return e->text().toStdString();
  return caption(control);
}

void QtForms::setText(std::string_view control, const std::string& s) {
  if (auto* e = qobject_cast<QLineEdit*>(named(control))) {
    QString t = QString::fromStdString(s);
    e->setText(t);
    // Show the start of a long read-out; the whole text is in the tooltip.
    e->setCursorPosition(0);
    e->setToolTip(t);
    return;
  }
  setCaption(control, s);
}

std::string QtForms::caption(std::string_view control) {
  QWidget* w = named(control);
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  return text(control);
}

void QtForms::setCaption(std::string_view control, const std::string& s) {
  QWidget* w = named(control);
  if (auto* b = qobject_cast<QPushButton*>(w))
    b->setText(QString::fromStdString(s));
  else if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(QString::fromStdString(s));
}

void QtForms::setLmesgCaption(int16_t index, const std::string& s) {
  lmesg_.at(static_cast<size_t>(index))->setLine(QString::fromStdString(s));
}

void QtForms::setLmesgGeometry(int16_t index, int left, int top, int width, int height) {
  lmesg_.at(static_cast<size_t>(index))->setGeometry(left, top, width, height);
}

uint32_t QtForms::doEvents() {
  auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ >= pumpInterval) {
    plot_->flush();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastPump_ = std::chrono::steady_clock::now();
  }
  if (pace_ <= 0 || !simulatedTime) return yieldBatch;
  holdPace();
  return pacedBatch_;
}

void QtForms::setPace(double unitsPerSecond) {
  pace_ = unitsPerSecond > 0 ? unitsPerSecond : 0;
  paceStartWall_ = 0; // anchored again at the next yield
  pacedBatch_ = 1;
  for (QAction* a : speedActions_)
    a->setChecked(a->data().toDouble() == pace_);
}

// Holds the running test back until its simulated time is due at the chosen
// pace, serving events meanwhile, so Stop and End answer at once.
void QtForms::holdPace() {
  const double sim = simulatedTime();
  double now = timer();
  // A new test restarts its time at 0: it starts on time.
  if (paceStartWall_ == 0 || sim < lastSimTime_) paceStartWall_ = now - sim / pace_;
  // Adjust how many yields pass between two looks so that each covers about
  // one event-processing interval of simulated time.
  const double wanted = pace_ * std::chrono::duration<double>(pumpInterval).count();
  const double advanced = sim - lastSimTime_;
  double next = advanced > 0 ? pacedBatch_ * wanted / advanced : pacedBatch_ * 2.0;
  pacedBatch_ = static_cast<uint32_t>(std::clamp(next, 1.0, static_cast<double>(yieldBatch)));
  lastSimTime_ = sim;

  const double due = paceStartWall_ + sim / pace_;
  while (now < due && !ended_ && runState() == RunState::Running && pace_ > 0) {
    plot_->flush();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    double wait = std::min(due - now, 0.01);
    if (wait > 0) QThread::usleep(static_cast<unsigned long>(wait * 1e6));
    now = timer();
  }
  lastPump_ = std::chrono::steady_clock::now();
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
  if (display->isVisible()) place(display, QPoint(cf.left(), cf.bottom() + 1));
  if (print->isVisible()) place(print, QPoint(cf.right() + 1, cf.top()));
}

// A window manager adds its frames some time after a window is shown, and
// reports them as moves: place the windows again whenever a frame changes.
bool QtForms::eventFilter(QObject* watched, QEvent* event) {
  auto type = event->type();
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

// "Speed" in the display form's context menu: full speed, or a pace to watch.
void QtForms::addSpeedMenu() {
  auto* menu = new QMenu("Speed", plot_);
  auto* group = new QActionGroup(menu);
  for (double pace : kPaces) {
    QString name = pace == 0 ? QString("Full speed") : QString("%1 time units a second").arg(pace);
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

void QtForms::end() {
  if (ended_) return;
  ended_ = true;
  if (map_) map_->close();
  for (auto* w : windows_)
    w->hide();
  QCoreApplication::quit();
}

double QtForms::timer() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void QtForms::fatalError(const std::string& message) {
  if (ended_) return;
  // The picture up to the fault stays in view beside the message.
  plot_->paintNow();
  warn(windows_[0], "threebody: the series was stopped", QString::fromStdString(message));
}

} // namespace tb
