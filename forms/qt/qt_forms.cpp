#include "forms/qt/qt_forms.h"

#include "apps/export.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QSaveFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

#include <cmath>

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

void FormWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose) onClose();
}

PlotWidget::PlotWidget() {
  setAttribute(Qt::WA_OpaquePaintEvent);
  image_ = QImage(1, 1, QImage::Format_RGB32);
  image_.fill(Qt::white);
}

// Clearing also brings the image to the drawing area's size, should a resize
// event still be pending when a test starts.
void PlotWidget::clear() {
  if (image_.size() != size() && width() > 0 && height() > 0) image_ = QImage(size(), QImage::Format_RGB32);
  image_.fill(Qt::white);
  dirty_ = true;
}

void PlotWidget::flush() {
  if (!dirty_) return;
  dirty_ = false;
  update();
}

void PlotWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, image_);
}

// The image follows the drawing area and keeps what was drawn.
void PlotWidget::resizeEvent(QResizeEvent*) {
  if (image_.size() == size() || width() <= 0 || height() <= 0) return;
  QImage next(size(), QImage::Format_RGB32);
  next.fill(Qt::white);
  QPainter p(&next);
  p.drawImage(0, 0, image_);
  p.end();
  image_ = next;
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
  if (report.index == 0) results_.clear();
  results_.push_back(report);
}

QString QtForms::resultLines() const {
  QString text;
  for (const auto& r : results_)
    text += QString::fromStdString(r.line) + "\n";
  return text;
}

void QtForms::copyLines() const { QGuiApplication::clipboard()->setText(resultLines()); }

namespace {

// Writes through a temporary file that replaces `path` only when complete: a
// full disk leaves an earlier file as it was and no temporary behind. The
// size on disk is checked too, as a write cut short by the file system is not
// always reported as an error.
QString saveWhole(const QString& path, const QByteArray& data) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return "Could not open " + path + " for writing: " + file.errorString();
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

} // namespace

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
  controls_.value("LMesg")->setFont(mesgFont);
  std::sort(focusOrder.begin(), focusOrder.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 1; i < focusOrder.size(); ++i)
    QWidget::setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
}

void QtForms::buildPrintForm() {
  QWidget* form = windows_[2];
  for (int i = 0; i < 19; ++i) {
    auto* label = new QLabel(form);
    label->setObjectName(QString("Lmesg%1").arg(i));
    lmesg_[static_cast<size_t>(i)] = label;
  }
}

void QtForms::connectHandlers(std::function<void()> start, std::function<void()> end) {
  QObject::connect(static_cast<QPushButton*>(controls_.value("CommandStart")), &QPushButton::clicked,
                   [start] { start(); });
  QObject::connect(static_cast<QPushButton*>(controls_.value("CommandEnd")), &QPushButton::clicked,
                   [end] { end(); });
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

QWidget* QtForms::named(std::string_view control) const {
  QWidget* w = controls_.value(qstr(control));
  Q_ASSERT(w);
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
  lmesg_.at(static_cast<size_t>(index))->setText(QString::fromStdString(s));
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
  return yieldBatch;
}

void QtForms::end() {
  if (ended_) return;
  ended_ = true;
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
  warn(windows_[0], "threebody: the series was stopped", QString::fromStdString(message));
}

} // namespace tb
