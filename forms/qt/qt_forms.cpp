// The forms runtime on widgets: the three windows built as designed, and the
// texts, captions, sizes and dots the program reads and writes through it.
#include "forms/qt/qt_forms.h"

#include "forms/qt/words.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <stdexcept>

namespace tb {

namespace {

QString qstr(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

void useFixedNumberFormat() {
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());
}

QtForms::QtForms() {
  controlWindow_ = new ControlWindow;
  windows_[0] = controlWindow_;
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
  actions_.map = new QAction(Words::tr("Outcome map..."), windows_[0]);
  QObject::connect(actions_.map, &QAction::triggered, [this] { openMap(); });
  windows_[0]->addAction(actions_.map);
  addWindowActions();
  windows_[0]->setContextMenuPolicy(Qt::ActionsContextMenu);
  addMenuBar();
  // The menu bar comes on top of the designed client area.
  windows_[0]->resize(windows_[0]->width(), windows_[0]->height() + controlWindow_->menuHeight());
  for (auto* w : windows_)
    w->installEventFilter(this);
}

QtForms::~QtForms() {
  // No verdict may come back to windows that are gone; the running
  // references end at their next step rather than hold the exit.
  *stopVerifying_ = 1;
  QThreadPool::globalInstance()->waitForDone();
  for (auto* w : windows_)
    delete w;
}

void QtForms::buildControlForm() {
  QWidget* form = controlWindow_->client();
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
  // The parameter fields explain themselves on hover, and a text that is not
  // wholly a number is marked as it is typed.
  for (const auto& f : parameterFields()) {
    auto* edit = static_cast<QLineEdit*>(controls_.value(f.control));
    QObject::connect(edit, &QLineEdit::textChanged, [this, &f] { markField(f); });
    markField(f);
  }
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
                     // Fields the engine refuses: said at once, and the last
                     // series' lines, picture and read-outs stay as they were.
                     if (runState() == RunState::Idle)
                       if (const auto refusal = app_->startRefusal()) {
                         fatalError(*refusal);
                         setCaption(controls::LMesg, "NEXT TEST ? "); // ready, as after any series
                         return;
                       }
                     showLivePlot();
                     // What Save image names as the experiment it shows.
                     if (runState() == RunState::Idle) {
                       seriesFields_.clear();
                       for (const auto& f : parameterFields())
                         seriesFields_.emplace_back(f.control, text(f.control));
                     }
                     app_->CommandStart_Click();
                     if (!ended_ && actions_.start && runState() == RunState::Idle)
                       actions_.start->setEnabled(true);
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
  // Closing the control form acts as End; the display and print forms are
  // only hidden, with the results they hold, and come back from the control
  // form's menu.
  windows_[0]->onClose = [this] {
    if (!ended_) this->end();
  };
}

float QtForms::left(FormId f) { return static_cast<float>(window(f)->x() * kPx); }
float QtForms::top(FormId f) { return static_cast<float>(window(f)->y() * kPx); }
float QtForms::width(FormId f) { return static_cast<float>(window(f)->width() * kPx) + kFrameWidthTwips; }
float QtForms::height(FormId f) { return static_cast<float>(window(f)->height() * kPx) + kFrameHeightTwips; }
void QtForms::setLeft(FormId f, float v) { window(f)->move(twipsToPixels(v), window(f)->y()); }
void QtForms::setTop(FormId f, float v) { window(f)->move(window(f)->x(), twipsToPixels(v)); }
void QtForms::show(FormId f) { window(f)->show(); }

void QtForms::cls(FormId f) {
  if (f == FormId::Form2) plot_->clear();
}

void QtForms::pset(FormId f, float x, float y, uint32_t colour) {
  if (f != FormId::Form2 || !std::isfinite(x) || !std::isfinite(y)) return;
  if (x < 0 || y < 0 || x >= 65536 || y >= 65536) return;
  const int px = static_cast<int>(x), py = static_cast<int>(y);
  if (!thick_) {
    plot_->setPixel(px, py, colour);
    return;
  }
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      plot_->setPixel(px + dx, py + dy, colour);
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

// A read-out shows its whole text within its designed width: a narrower face,
// then a smaller one, as far as the text needs and a face stays legible (six
// points). Fifteen digits of r1, r2 and r3 do not fit 41 pixels at any legible
// size: those show as many as they can, and the tooltip holds the whole text.
void QtForms::fitReadout(QLineEdit* e) {
  const QString t = e->text();
  QFont f = e->property("designedFont").value<QFont>();
  if (!e->property("designedFont").isValid()) {
    f = e->font();
    e->setProperty("designedFont", f);
  }
  // The room inside the frame, less the line edit's own margin of 2 pixels a side.
  QStyleOptionFrame option;
  option.initFrom(e);
  option.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, e);
  const int room = e->style()->subElementRect(QStyle::SE_LineEditContents, &option, e).width() -
                   e->textMargins().left() - e->textMargins().right() - 4;
  auto fits = [&] { return QFontMetrics(f).horizontalAdvance(t) <= room; };
  if (!fits()) f.setStretch(QFont::Condensed);
  // Faces given in points shrink by half points to 6, in pixels by pixels to 8.
  if (f.pointSizeF() > 0)
    for (double size = f.pointSizeF(); size > 6 && !fits();)
      f.setPointSizeF(size -= 0.5);
  else
    for (int size = f.pixelSize(); size > 8 && !fits();)
      f.setPixelSize(--size);
  if (f != e->font()) e->setFont(f);
}

bool QtForms::isParameterField(std::string_view control) {
  for (const auto& f : parameterFields())
    if (control == f.control) return true;
  return false;
}

void QtForms::markField(const ParameterField& f) {
  auto* edit = static_cast<QLineEdit*>(controls_.value(f.control));
  const std::string reading = howTextReads(edit->text().toStdString(), f.defaultText);
  misread_[f.control] = reading;
  if (reading.empty()) {
    edit->setStyleSheet(QString());
    edit->setToolTip(Words::tr("%1: %2 (default %3)").arg(f.label, Words::core(f.what), f.defaultText));
  } else {
    // A colour and a frame every style shows.
    edit->setStyleSheet(kMisreadFieldStyle);
    edit->setToolTip(QString("%1 %2").arg(f.label, QString::fromStdString(reading)));
  }
  // The control form's title says which fields a Start reads differently.
  QStringList misread;
  for (const auto& g : parameterFields())
    if (!misread_[g.control].empty()) misread << g.label;
  windows_[0]->setWindowTitle(
      misread.isEmpty() ? QString(kForm1Caption)
                        : Words::tr("%1 - read differently: %2").arg(kForm1Caption, misread.join(", ")));
}

void QtForms::setText(std::string_view control, const std::string& s) {
  if (auto* e = qobject_cast<QLineEdit*>(named(control))) {
    QString t = QString::fromStdString(s);
    e->setText(t);
    // Show the start of a long read-out; the whole text is in the tooltip
    // (a parameter field's tooltip says what it means, or how it reads).
    e->setCursorPosition(0);
    if (!isParameterField(control)) {
      e->setToolTip(t);
      fitReadout(e);
    }
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
  // Run > Start and Run > Stop are offered only when they can act: the End
  // button reads "Stop" exactly while a series runs that a click stops.
  if (control == controls::CommandEnd && actions_.start && actions_.stop) {
    const bool running = s == "Stop";
    actions_.stop->setEnabled(running);
    if (running) actions_.start->setEnabled(false);
    if (actions_.pause) {
      actions_.pause->setEnabled(running);
      if (!running) setPaused(false); // a new series starts unpaused
      actions_.step->setEnabled(running && paused_);
    }
  }
}

void QtForms::setLmesgCaption(int16_t index, const std::string& s) {
  lmesg_.at(static_cast<size_t>(index))->setLine(QString::fromStdString(s));
}

void QtForms::setLmesgGeometry(int16_t index, int left, int top, int width, int height) {
  lmesg_.at(static_cast<size_t>(index))->setGeometry(left, top, width, height);
}

void QtForms::end() {
  if (ended_) return;
  ended_ = true;
  if (map_) map_->close();
  if (graphs_) graphs_->close();
  if (resultsTable_) resultsTable_->close();
  for (auto* w : windows_)
    w->hide();
  QCoreApplication::quit();
}

double QtForms::timer() { return monotonicSeconds(); }

void QtForms::fatalError(const std::string& message) {
  if (ended_) return;
  // The picture up to the fault stays in view beside the message.
  plot_->paintNow();
  warn(windows_[0], Words::tr("threebody: the series was stopped"), QString::fromStdString(message));
}

} // namespace tb
