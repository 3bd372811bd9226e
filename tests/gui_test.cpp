// The desktop program's windows, driven as a user drives them: typing into the
// fields and clicking the buttons, on the offscreen platform.
#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "apps/launch.h"
#include "forms/app.h"
#include "forms/qt/qt_forms.h"
#include "maps/map_order.h"
#include "maps/map_outcome.h"
#include "results/export.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTranslator>
#include <QWheelEvent>
#include <QXmlStreamReader>

#include <clocale>
#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace tb;

namespace {

struct Program {
  QtForms forms;
  Experiment exp{forms};
  Application app{forms, exp};
  Program() {
    forms.followExperiment(exp);
    forms.connectHandlers(app);
    forms.onTrueProportions = [this](bool on) { exp.trueProportions = on; };
    app.Form_Load();
    forms.show(FormId::Form1);
  }
  QPushButton* button(const char* name) { return qobject_cast<QPushButton*>(forms.control(name)); }
  QLineEdit* field(const char* name) { return qobject_cast<QLineEdit*>(forms.control(name)); }
  void type(const char* name, const QString& text) {
    QLineEdit* e = field(name);
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
  }
  void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
  QString line(int i) { return forms.lmesgLabel(i)->text(); }
  QString caption(const char* name) { return QString::fromStdString(forms.caption(name)); }
};

// Reads and closes the message box the series is about to show, as soon as
// it is there, however long that takes on a loaded machine.
void acceptMessageBoxSoon(QString& shown) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, &shown] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown = box->text();
      box->accept();
      poll->stop();
      poll->deleteLater();
    }
  });
  poll->start(10);
}

std::string gLocaleDecimalPoint;

long residentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// The result lines threebody-batch prints for the given options.
QStringList batchLines(const std::vector<std::string>& args) {
  ParseResult p = parseBatchOptions(args);
  std::ostringstream out, err;
  runBatch(p.options, out, err, false);
  return QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
}

// The display form as the screen shows it: the window system's copy of what
// was painted, not the image the program keeps.
QImage painted(QtForms& forms) {
  QWidget* w = forms.window(FormId::Form2);
  return w->screen()->grabWindow(w->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// What threebody-batch --plot draws for `args` at the given size.
QImage batchPlot(std::vector<std::string> args, QSize size) {
  QString path = QDir::temp().filePath(QString("threebody_gui_batch_%1.png").arg(getpid()));
  args.insert(args.end(), {"--plot", path.toStdString(), "--plot-size",
                           std::to_string(size.width()) + "x" + std::to_string(size.height())});
  ParseResult p = parseBatchOptions(args);
  std::ostringstream out, err;
  runBatch(p.options, out, err, false);
  QImage img(path);
  QFile::remove(path);
  return img.convertToFormat(QImage::Format_RGB32);
}

int differingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

// Runs the desktop program with `args` and the given environment changes.
struct ProgramRun {
  int status;
  QString err;
};
ProgramRun runProgram(const QStringList& args, const QStringList& env = {}) {
  QProcess proc;
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  e.remove("WAYLAND_DISPLAY");
  for (const QString& kv : env) {
    QString key = kv.section('=', 0, 0), value = kv.section('=', 1);
    if (value.isEmpty())
      e.remove(key);
    else
      e.insert(key, value);
  }
  proc.setProcessEnvironment(e);
  proc.start(THREEBODY_EXE, args);
  proc.waitForFinished(60000);
  return {proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1,
          QString::fromUtf8(proc.readAllStandardError())};
}
} // namespace

class GuiTest : public QObject {
  Q_OBJECT

private slots:
  void controlFormHasEveryDesignedControl() {
    Program p;
    QCOMPARE(p.forms.window(FormId::Form1)->windowTitle(), QString("Control Form"));
    QCOMPARE(p.forms.window(FormId::Form2)->windowTitle(), QString("Display Form"));
    QCOMPARE(p.forms.window(FormId::Form3)->windowTitle(), QString("Print Form"));
    QCOMPARE(static_cast<int>(form1Controls().size()), 39);
    for (const auto& c : form1Controls()) {
      QWidget* w = p.forms.control(c.name);
      QVERIFY2(w, c.name);
      QCOMPARE(w->window(), p.forms.window(FormId::Form1));
      QCOMPARE(w->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
      QVERIFY(w->isEnabled() && w->isVisibleTo(w->parentWidget()));
      QCOMPARE(QString::fromStdString(p.forms.text(c.name)), QString(c.text));
    }
    QCOMPARE(p.forms.control("LMesg")->font().pointSizeF(), 9.75);
    // A name the form does not have fails in every build, not only in debug ones.
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.forms.text("Tdleta"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.forms.setCaption("CommandStrat", "x"));
  }

  void tabOrderFollowsTheDesign() {
    Program p;
    std::vector<std::pair<int, QWidget*>> expected;
    for (const auto& c : form1Controls())
      if (c.kind != ControlKind::Label) expected.emplace_back(c.tabIndex, p.forms.control(c.name));
    std::sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.first < b.first; });
    QWidget* w = expected.front().second;
    for (size_t i = 1; i < expected.size(); ++i) {
      w = w->nextInFocusChain();
      while (!expected.empty() && qobject_cast<QLabel*>(w))
        w = w->nextInFocusChain();
      QCOMPARE(w, expected[i].second);
    }
  }

  void windowsArePlacedBesideTheControlForm() {
    Program p;
    auto& f = p.forms;
    QCOMPARE(f.left(FormId::Form1), 0.0f);
    QCOMPARE(f.top(FormId::Form1), 0.0f);
    QCOMPARE(f.top(FormId::Form2), f.top(FormId::Form1) + f.height(FormId::Form1));
    QCOMPARE(f.left(FormId::Form2), f.left(FormId::Form1));
    QCOMPARE(f.width(FormId::Form2), f.width(FormId::Form1));
    QCOMPARE(f.top(FormId::Form3), f.top(FormId::Form1));
    QCOMPARE(f.left(FormId::Form3), f.left(FormId::Form1) + f.width(FormId::Form1));
    for (int i = 0; i < 19; ++i)
      QCOMPARE(p.line(i), QString());
  }

  void shortSeriesWritesTheSameLinesAsTheBatchTool() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0.2");
    p.click("CommandStart");
    QStringList expected = batchLines({"--tdelta", "0.01", "--alpha-end", "0.2"});
    QCOMPARE(expected.size(), 3);
    for (int i = 0; i < 3; ++i)
      QCOMPARE(p.line(i), expected[i]);
    QCOMPARE(p.line(3), QString());
    QCOMPARE(p.caption("LMesg"), QString("NEXT TEST ? "));
    QCOMPARE(p.caption("CommandEnd"), QString("End"));
    // The plot: RESIZE gave it a 3:4 drawing area and the trails are on it.
    QCOMPARE(p.forms.plot()->width() * 4, p.forms.plot()->height() * 3);
    QImage img = p.forms.plot()->image();
    int coloured = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        coloured += img.pixel(x, y) != qRgb(255, 255, 255);
    QVERIFY(coloured > 100);
  }

  void defaultSeriesInTheWindowsMatchesTheBatchTool() {
    Program p;
    p.click("CommandStart");
    QStringList expected = batchLines({});
    QCOMPARE(expected.size(), 19);
    for (int i = 0; i < 19; ++i)
      QCOMPARE(p.line(i), expected[i]);
    QCOMPARE(p.caption("LMesg"), QString("NEXT TEST ? "));
  }

  void stopWritesTheRunningTestsLineAndEndsTheSeries() {
    Program p;
    p.type("Ttdelta", "1E-300"); // a step too small to move: an endless test
    QTimer::singleShot(150, [&] {
      QCOMPARE(p.caption("CommandEnd"), QString("Stop"));
      p.click("CommandEnd");
    });
    p.click("CommandStart");
    QVERIFY(p.line(0).endsWith("end  0"));
    QCOMPARE(p.line(1), QString());
    QCOMPARE(p.caption("LMesg"), QString("NEXT TEST ? "));
    QCOMPARE(p.caption("CommandEnd"), QString("End"));
    QVERIFY(!p.forms.ended());

    // A second Start blanks the 19 lines before writing its own.
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    p.type("Talphastr", "20");
    p.click("CommandStart");
    QVERIFY(p.line(0).startsWith("Alpha  20"));
  }

  void endWhenIdleEndsTheProgram() {
    Program p;
    p.click("CommandEnd");
    QVERIFY(p.forms.ended());
    QVERIFY(!p.forms.window(FormId::Form1)->isVisible());
  }

  void endDuringASeriesEndsAtOnce() {
    Program p;
    p.type("Ttdelta", "1E-300");
    QTimer::singleShot(100, [&] {
      p.click("CommandEnd"); // Stop
      // End, before the series has finished (it waits in this handler), but
      // later than the second click of a double click would come.
      QTest::qWait(QApplication::doubleClickInterval() + 50);
      p.click("CommandEnd");
    });
    p.click("CommandStart");
    QVERIFY(p.forms.ended());
    QCOMPARE(p.line(0), QString());
  }

  void doubleClickOnStopStopsButDoesNotEnd() {
    Program p;
    p.type("Ttdelta", "1E-300");
    QTimer::singleShot(100, [&] {
      p.click("CommandEnd"); // Stop: the button now reads End ...
      p.click("CommandEnd"); // ... and the second click of the double click lands on it
    });
    p.click("CommandStart");
    QVERIFY(!p.forms.ended());
    QVERIFY(p.line(0).endsWith("end  0"));
    QCOMPARE(p.caption("CommandEnd"), QString("End"));
    // A deliberate click on End later still ends the program.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    p.click("CommandEnd");
    QVERIFY(p.forms.ended());
  }

  // Closing the print or display form hides it and keeps its results; the
  // control form's menu shows both again. Closing the control form is End.
  void closingThePrintFormHidesItAndKeepsTheResults() {
    Program p;
    p.forms.show(FormId::Form2);
    p.forms.show(FormId::Form3);
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "10");
    p.click("CommandStart");
    const QString first = p.line(0);
    QVERIFY(first.startsWith("Alpha"));
    p.forms.window(FormId::Form3)->close();
    p.forms.window(FormId::Form2)->close();
    QVERIFY(!p.forms.ended());
    QVERIFY(!p.forms.window(FormId::Form3)->isVisible());
    QVERIFY(p.forms.window(FormId::Form1)->isVisible());
    QAction* show = nullptr;
    for (QAction* a : p.forms.window(FormId::Form1)->actions())
      if (a->text() == "Show the display and print forms") show = a;
    QVERIFY(show);
    show->trigger();
    QVERIFY(p.forms.window(FormId::Form3)->isVisible());
    QVERIFY(p.forms.window(FormId::Form2)->isVisible());
    QCOMPARE(p.line(0), first);
    // F1 opens the help, which names every field and the end codes.
    QTest::keyClick(p.forms.window(FormId::Form1), Qt::Key_F1);
    QDialog* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QDialog*>(w); d && d->windowTitle() == "threebody help") shown = d;
    QVERIFY(shown && shown->isVisible());
    const QString text = shown->findChild<QTextBrowser*>()->toPlainText();
    for (const char* word : {"tdelta", "init v3", "Lcycle", "Phi", "far but bound", "ten revolutions", "F5"})
      QVERIFY2(text.contains(word), word);
    shown->close();
  }

  // The menu bar sits above the designed client area, whose controls keep
  // their places, and its items do what the context menus do.
  void menuBarOffersEveryActionAboveTheDesignedControls() {
    Program p;
    QMenuBar* bar = p.forms.menuBar();
    QWidget* form = p.forms.window(FormId::Form1);
    QStringList titles;
    for (QAction* a : bar->actions())
      titles << a->text().remove('&');
    QCOMPARE(titles, QStringList({"File", "Run", "Examples", "View", "Tools", "Help"}));
    const int menu = bar->geometry().bottom() + 1;
    QVERIFY(menu > 10);
    for (const auto& c : form1Controls()) {
      QWidget* w = p.forms.control(c.name);
      QCOMPARE(w->mapTo(form, QPoint(0, 0)), QPoint(c.left / 15, c.top / 15 + menu));
    }
    QCOMPARE(form->height(), static_cast<int>(kWindowDesigns[0].clientHeight / 15) + menu);
    auto item = [bar](const QString& menuTitle, const QString& text) -> QAction* {
      for (QAction* m : bar->actions())
        if (m->text().remove('&') == menuTitle)
          for (QAction* a : m->menu()->actions())
            if (a->text() == text) return a;
      return nullptr;
    };
    for (auto [m, t] : {std::pair{"File", "Save image..."},
                        {"File", "Save results..."},
                        {"File", "Quit"},
                        {"Run", "Start"},
                        {"Run", "Stop"},
                        {"Run", "Speed"},
                        {"View", "Results table"},
                        {"View", "Show the display and print forms"},
                        {"Help", "Help"},
                        {"Help", "About threebody"}})
      QVERIFY2(item(m, t), t);
    // Run > Start runs the series; File > Copy lines copies its lines.
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "4");
    item("Run", "Start")->trigger();
    QCOMPARE(p.forms.results().size(), size_t(5)); // alpha 0 to 4 by 1
    QGuiApplication::clipboard()->clear();
    item("File", "Copy lines")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(testsToTsv(p.forms.results())));
    // View > Show overlay is the display form's own toggle.
    QAction* overlay = item("View", "Show overlay");
    QVERIFY(overlay && overlay->isCheckable() && overlay->isChecked());
    overlay->trigger();
    QVERIFY(!p.forms.overlayShown());
    item("Tools", "Outcome map...")->trigger();
    QVERIFY(p.forms.mapWindow() && p.forms.mapWindow()->isVisible());
    p.forms.mapWindow()->stop();
    item("File", "Quit")->trigger();
    QVERIFY(p.forms.ended());
  }

  void closingTheControlFormDuringASeriesActsAsEnd() {
    Program p;
    p.type("Ttdelta", "1E-300");
    QTimer::singleShot(100, [&] { p.forms.window(FormId::Form1)->close(); });
    p.click("CommandStart");
    QVERIFY(p.forms.ended());
    QCOMPARE(p.line(0), QString());
    for (int i = 0; i < 3; ++i)
      QVERIFY(!p.forms.window(static_cast<FormId>(i))->isVisible());
  }

  void startWhileRunningIsIgnored() {
    Program p;
    p.type("Ttdelta", "1E-300");
    int series = 0;
    QObject::connect(p.button("CommandStart"), &QPushButton::clicked, [&] { ++series; });
    QTimer::singleShot(100, [&] {
      p.click("CommandStart");
      QCOMPARE(p.caption("CommandStart"), QString("Start"));
      QTimer::singleShot(100, [&] { p.click("CommandEnd"); });
    });
    p.click("CommandStart");
    QCOMPARE(series, 2);           // both clicks arrived ...
    QVERIFY(!p.line(0).isEmpty()); // ... but only one series ran: one line
    QCOMPARE(p.line(1), QString());
  }

  void fatalErrorShowsAMessageAndTheProgramStaysUsable() {
    Program p;
    p.type("Tm2", "-1000");
    p.type("Talphaend", "0");
    QString shown;
    acceptMessageBoxSoon(shown);
    p.click("CommandStart");
    QVERIFY2(shown.contains("m2"), qPrintable(shown));
    QVERIFY(shown.contains("total mass of 0"));
    QCOMPARE(p.caption("LMesg"), QString("NEXT TEST ? "));
    QCOMPARE(p.caption("CommandEnd"), QString("End"));
    p.type("Tm2", "1000");
    p.type("Ttdelta", "0.01");
    p.click("CommandStart");
    QVERIFY(p.line(0).startsWith("Alpha   0"));
  }

  void hugeNumberTypedIntoAFieldGetsAMessageNamingIt() {
    Program p;
    p.type("Tm3", QString(400, '9'));
    QString shown;
    acceptMessageBoxSoon(shown);
    p.click("CommandStart");
    QVERIFY2(shown.contains("m3") && shown.contains("too large"), qPrintable(shown));
    QCOMPARE(p.line(0), QString());
  }

  void savedImageHasTheDotsWherePointCalcPutsThem() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    p.click("CommandStart");
    QString path = QDir::temp().filePath("threebody_gui_plot.png");
    QCOMPARE(p.forms.saveImage(path), QString());
    QImage saved(path);
    QCOMPARE(saved.size(), p.forms.plot()->image().size());
    // The last display step's dots: body 1 and body 2 of the screen, relative to the pair's centre.
    const SimState& s = p.exp.state();
    const SeriesLocals& l = p.exp.locals();
    for (int body = 0; body < 2; ++body) {
      double x, y;
      PointCalc(s.plot, s.xpos[body] - l.xcm, l.ycm - s.ypos[body], x, y);
      uint32_t c = body == 0 ? l.col0 : l.col1;
      QCOMPARE(saved.pixel(static_cast<int>(x) + 1, static_cast<int>(y) + 1),
               qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    }
    // threebody-batch --plot at the same size draws the very same picture.
    QString batchPath = QDir::temp().filePath("threebody_batch_plot.png");
    std::string size = std::to_string(saved.width()) + "x" + std::to_string(saved.height());
    ParseResult opts = parseBatchOptions(
        {"--tdelta", "0.01", "--alpha-end", "0", "--plot", batchPath.toStdString(), "--plot-size", size});
    std::ostringstream out, err;
    QCOMPARE(runBatch(opts.options, out, err, false), 0);
    QImage batchImage(batchPath);
    QCOMPARE(batchImage.convertToFormat(QImage::Format_RGB32), saved.convertToFormat(QImage::Format_RGB32));
  }

  void printFormCopiesAndSavesTheResults() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0.2");
    p.click("CommandStart");
    QWidget* print = p.forms.window(FormId::Form3);
    QStringList menu;
    for (QAction* a : print->actions())
      menu << a->text() + " " + a->shortcut().toString();
    QCOMPARE(menu, QStringList({"Copy lines Ctrl+C", "Save results... Ctrl+S", "Results table "}));
    QCOMPARE(p.forms.plot()->actions().first()->text(), QString("Save image..."));

    // Copied as tab-separated columns under a header row, so that a
    // spreadsheet splits them: the same columns and values as the CSV.
    // A line's tooltip tells it in words.
    QVERIFY2(p.forms.lmesgLabel(0)->toolTip().startsWith("alpha 0: body 3 escaped"),
             qPrintable(p.forms.lmesgLabel(0)->toolTip()));
    print->actions().first()->trigger();
    const QStringList copied = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(copied.size(), 4);
    QCOMPARE(copied[0], QString::fromStdString(csvHeader(false, false)).replace(',', '\t'));
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(copied[i + 1].count('\t'), copied[0].count('\t'));
      QVERIFY(copied[i + 1].split('\t').contains(p.line(i)));
    }

    QString path = QDir::temp().filePath("threebody_gui_results.csv");
    QCOMPARE(p.forms.saveResults(path), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList rows = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 4);
    // Every row names the series it came from, as the fields were at its Start.
    // and says how each test ended in words.
    QCOMPARE(rows[0].toStdString(), csvHeader(false, true) + ",end_in_words");
    QVERIFY(rows[0].endsWith(",alpha_start,alpha_end,tdelta,init_v3,m2,m3,disp_max,end_in_words"));
    for (int i = 0; i < 3; ++i) {
      QVERIFY(rows[i + 1].contains("\"" + p.line(i) + "\","));
      const QString words = endName(p.forms.results()[static_cast<size_t>(i)].end);
      QVERIFY2(rows[i + 1].endsWith(",0,0.2,0.01,0.9,1000,1,500," + words), qPrintable(rows[i + 1]));
    }
    QVERIFY(!p.forms.saveResults("/nonexistent/dir/r.csv").isEmpty());
  }

  // A full disk, as a file size limit makes it: the earlier files stay as
  // they were, no temporary is left, and the message says what happened.
  void savingToAFullDiskKeepsTheEarlierFiles() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0.2");
    p.click("CommandStart");
    QDir dir(QDir::temp().filePath("threebody_full_disk"));
    dir.removeRecursively();
    QVERIFY(QDir().mkpath(dir.path()));
    const QString csv = dir.filePath("r.csv"), png = dir.filePath("p.png");
    for (const QString& f : {csv, png}) {
      QFile old(f);
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("earlier results");
    }
    struct rlimit before {};
    getrlimit(RLIMIT_FSIZE, &before);
    struct rlimit small = before;
    small.rlim_cur = 200;
    signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString csvError = p.forms.saveResults(csv);
    QString pngError = p.forms.saveImage(png);
    setrlimit(RLIMIT_FSIZE, &before);
    QVERIFY2(csvError.contains("Could not write") && csvError.contains("unchanged"),
             qPrintable("[" + csvError + "]" + pngError));
    QVERIFY2(pngError.contains("Could not write"), qPrintable(pngError));
    for (const QString& f : {csv, png}) {
      QFile kept(f);
      QVERIFY(kept.open(QIODevice::ReadOnly));
      QCOMPARE(kept.readAll(), QByteArray("earlier results"));
    }
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 2);
    // Room again: both are replaced whole.
    QCOMPARE(p.forms.saveResults(csv), QString());
    QCOMPARE(p.forms.saveImage(png), QString());
    QCOMPARE(QImage(png).size(), p.forms.plot()->image().size());
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 2);
    dir.removeRecursively();
  }

  // A negative step and one that reads as 0 (a test that could never end)
  // are refused at Start with a message naming the field.
  void nonPositiveTimeStepIsRefusedNamingTheField() {
    for (auto [typed, message] :
         {std::pair{"-0.001", "tdelta = -.001 is negative"}, std::pair{"abc", "tdelta reads as 0"}}) {
      Program p;
      p.type("Ttdelta", typed);
      p.type("Talphaend", "0");
      QString shown;
      acceptMessageBoxSoon(shown);
      p.click("CommandStart");
      QVERIFY2(shown.startsWith(message), qPrintable(shown));
      QCOMPARE(p.line(0), QString());
    }
  }

  // Examples > an example types its fields in and says what to watch; its
  // test ends as the example says; Reset fields puts the defaults back.
  void examplesFillTheFieldsAndResetPutsTheDefaultsBack() {
    Program p;
    QMenu* menu = nullptr;
    for (QAction* m : p.forms.menuBar()->actions())
      if (m->text() == "&Examples") menu = m->menu();
    QVERIFY(menu);
    QStringList names;
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) names << a->text();
    QCOMPARE(names.size(), static_cast<int>(examples().size()) + 1);
    QCOMPARE(names.back(), QString("Reset fields"));
    const Example& quick = examples()[0];
    menu->actions()[0]->trigger();
    QCOMPARE(p.forms.exampleNote(), QString(quick.watch));
    QCOMPARE(p.field("Talphastr")->text(), QString(quick.alpha));
    QCOMPARE(p.field("Tinitv2")->text(), QString(quick.initv3));
    p.click("CommandStart");
    QVERIFY2(p.line(0).endsWith("end  " + QString::number(endNumber(quick.end))), qPrintable(p.line(0)));
    QCOMPARE(p.line(1), QString());
    menu->actions().back()->trigger();
    for (const ParameterField& f : parameterFields())
      QCOMPARE(p.field(f.control)->text(), QString(f.defaultText));
  }

  // Pause holds a running series, Step lets it run one display step (100
  // passes) further, and the lines are those of a series never held.
  void pauseAndStepKeepTheLines() {
    Program p;
    p.type("Talphaend", "20");
    QVERIFY(!p.forms.paused());
    int64_t held = -1, stepped = -1, later = -1;
    QTimer::singleShot(0, [&] {
      p.forms.setPaused(true); // taken at the next yield
      QTimer::singleShot(30, [&] {
        held = p.exp.state().nstep;
        p.forms.stepPaused();
        QTimer::singleShot(30, [&] {
          stepped = p.exp.state().nstep;
          QTimer::singleShot(30, [&] {
            later = p.exp.state().nstep; // still held
            p.forms.setPaused(false);
          });
        });
      });
    });
    p.click("CommandStart");
    QVERIFY(held > 0);
    QCOMPARE(stepped - held, int64_t{100});
    QCOMPARE(later, stepped);
    const QStringList lines = batchLines({"--alpha-end", "20"});
    QCOMPARE(lines.size(), 11); // alpha 0 to 20 by 2
    QCOMPARE(p.forms.results().size(), size_t(11));
    for (int k = 0; k < 11; ++k)
      QCOMPARE(p.line(k), lines[k]);
    QVERIFY(!p.forms.paused());
  }

  // A Start the engine refuses is answered before anything is touched: the
  // last series' lines, and the plot with its overlay, stay as they were.
  void aRefusedStartLeavesTheLastSeriesAsItWas() {
    Program p;
    p.type("Ttdelta", "0.05");
    p.type("Talphaend", "20");
    p.click("CommandStart");
    const QStringList lines{p.line(0), p.line(1), p.line(2)};
    QVERIFY(!lines[2].isEmpty());
    const QImage before = painted(p.forms);
    for (const char* typed : {"0,01", "-1"}) {
      p.type("Ttdelta", typed);
      QString shown;
      acceptMessageBoxSoon(shown);
      p.click("CommandStart");
      QVERIFY2(shown.contains("tdelta"), qPrintable(shown));
      for (int k = 0; k < 3; ++k)
        QCOMPARE(p.line(k), lines[k]);
      QCOMPARE(painted(p.forms), before);
      QCOMPARE(p.app.state(), RunState::Idle);
    }
  }

  // --- what a person sees -------------------------------------------------

  // The overlay is painted over the plot and never into it: the grabbed
  // window shows the numbered bodies, the legend, the scale and the time; the
  // kept image does not; switched off, the window shows the image alone, and
  // "Save image" keeps or leaves out the overlay as asked.
  void overlayIsPaintedButNotStored() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    p.click("CommandStart");
    PlotWidget* plot = p.forms.plot();
    PlotOverlay o;
    o.running = true;
    o.body[0] = QPointF(100, 200);
    o.body[1] = QPointF(150, 200);
    o.body[2] = QPointF(200, 300);
    o.present[0] = o.present[1] = o.present[2] = true;
    o.colour[0] = o.colour[1] = o.colour[2] = Qt::blue;
    o.pixelsPerUnit = 0.3;
    o.time = 12.5;
    p.forms.setOverlayState([o] { return o; });
    const QImage kept = plot->image().copy();
    auto grabbed = [&] { return plot->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    const QImage with = grabbed();
    QCOMPARE(plot->image(), kept); // nothing drawn into the plot's image
    auto blueAround = [](const QImage& img, QPointF at) {
      int n = 0;
      for (int dy = -8; dy <= 8; ++dy)
        for (int dx = -8; dx <= 8; ++dx) {
          QColor c = img.pixelColor(static_cast<int>(at.x()) + dx, static_cast<int>(at.y()) + dy);
          if (c.blue() > 150 && c.red() < 100 && c.green() < 100) ++n;
        }
      return n;
    };
    for (const QPointF& at : o.body)
      QVERIFY(blueAround(with, at) > 10); // a ring round each body
    QVERIFY(with != kept.convertToFormat(QImage::Format_RGB32));
    // Drawn at one scale: no notice. Stretched: an upright scale bar and a
    // notice are painted too.
    PlotOverlay alike = o, stretched = o;
    alike.pixelsPerUnitY = 0.3;
    stretched.pixelsPerUnitY = 0.39;
    p.forms.setOverlayState([alike] { return alike; });
    QCOMPARE(plot->stretchNotice(), QString());
    QCOMPARE(grabbed(), with);
    p.forms.setOverlayState([stretched] { return stretched; });
    QCOMPARE(plot->stretchNotice(),
             QString::fromUtf8("stretched: y drawn 1.30 \u00d7 x (View > True proportions)"));
    QVERIFY(grabbed() != with);
    p.forms.setOverlayState([o] { return o; });
    p.forms.showOverlay(false);
    QCOMPARE(grabbed(), kept.convertToFormat(QImage::Format_RGB32));
    p.forms.showOverlay(true);
    const QString dir = QDir::temp().filePath("threebody_overlay");
    QVERIFY(QDir().mkpath(dir));
    QCOMPARE(p.forms.saveImage(dir + "/with.png"), QString());
    QCOMPARE(p.forms.saveImage(dir + "/without.png", false), QString());
    QCOMPARE(QImage(dir + "/without.png").convertToFormat(QImage::Format_RGB32),
             kept.convertToFormat(QImage::Format_RGB32));
    QVERIFY(blueAround(QImage(dir + "/with.png"), o.body[2]) > 10);
    // The saved picture names the experiment of the series it shows.
    QVERIFY2(QImage(dir + "/with.png").text("Parameters").contains("alpha-end=0 tdelta=0.01"),
             qPrintable(QImage(dir + "/with.png").text("Parameters")));
    QDir(dir).removeRecursively();
  }

  // True proportions draw world x and y at one scale: the circular orbit of
  // the pair is as tall as it is wide on the screen; the default keeps the
  // square world window in the 3:4 drawing area.
  // A resized display form shows the whole drawing at its new size; the
  // sizing at the next Start keeps every window on the screen, the display
  // form below the control form.
  void resizedDisplayFormFollowsAndStaysOnTheScreen() {
    Program p;
    p.forms.showOverlay(false);
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    p.click("CommandStart");
    QWidget* display = p.forms.window(FormId::Form2);
    auto inked = [](const QImage& img) {
      QRect box;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
          if (img.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
      return box;
    };
    const QImage drawn = p.forms.plot()->image();
    const QRect before = inked(drawn);
    QVERIFY(before.width() > 50);
    display->resize(drawn.width() * 2, drawn.height() * 2);
    QApplication::processEvents();
    QCOMPARE(p.forms.plot()->image().size(), drawn.size()); // what was drawn stays
    const QRect after = inked(painted(p.forms));
    QVERIFY2(std::abs(after.width() - 2 * before.width()) <= 3, qPrintable(QString::number(after.width())));
    QVERIFY(std::abs(after.height() - 2 * before.height()) <= 3);

    // Sized by hand, wide and low below the control form: the next Start
    // keeps the window as it is and lays the 3:4 drawing area inside it, as
    // high as the window.
    const QRect screen = display->screen()->availableGeometry();
    const QRect control = p.forms.window(FormId::Form1)->frameGeometry();
    display->setGeometry(0, control.bottom() + 1, screen.width() - 20,
                         screen.bottom() - control.bottom() - 40);
    const QSize byHand = display->size();
    p.click("CommandStart");
    QCOMPARE(display->size(), byHand);
    QVERIFY(screen.contains(display->frameGeometry()));
    const QSize area = p.forms.plot()->image().size();
    QCOMPARE(area.height(), display->height());
    QVERIFY2(std::abs(area.width() * 4 - area.height() * 3) <= 4, qPrintable(QString::number(area.width())));
    QCOMPARE(p.line(0), batchLines({"--tdelta", "0.01", "--alpha-end", "0"}).value(0));
  }

  // F11 and Esc: a full-screen display form keeps its size over two Starts,
  // the 3:4 drawing area centred in it and the overlay grown with it; left
  // again, the window is shaped by the plot's arithmetic as before.
  void fullScreenDisplayKeepsItsSizeOverStarts() {
    // The overlay's grey text in the top-left quarter (legend and notice):
    // trails are black or coloured, never grey.
    auto legendHeight = [](const QImage& img) {
      int top = img.height(), bottom = -1;
      for (int y = 0; y < img.height() / 2; ++y)
        for (int x = 0; x < img.width() / 2; ++x) {
          const QColor c = img.pixelColor(x, y);
          if (c.red() == c.green() && c.green() == c.blue() && c.red() > 0 && c.red() < 200)
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
      return bottom - top;
    };
    QSize asPlaced;
    QString line;
    int designedLegend = 0;
    {
      Program placed; // gone before F11, which only one program may claim
      placed.forms.setOverlayState([] { return PlotOverlay{}; }); // the legend
      placed.type("Ttdelta", "0.01");
      placed.type("Talphaend", "0");
      placed.click("CommandStart");
      asPlaced = placed.forms.window(FormId::Form2)->size();
      designedLegend = legendHeight(placed.forms.plot()->shownWithOverlay(true));
      line = placed.line(0);
    }

    Program p;
    p.forms.setOverlayState([] { return PlotOverlay{}; });
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    QWidget* display = p.forms.window(FormId::Form2);
    QTest::keyClick(p.forms.window(FormId::Form1), Qt::Key_F11);
    QTRY_VERIFY(display->isFullScreen() && display->height() > asPlaced.height());
    const QSize full = display->size();
    QVERIFY(full.height() > asPlaced.height());
    for (int start = 0; start < 2; ++start) {
      p.click("CommandStart");
      QCOMPARE(display->size(), full);
      const QSize area = p.forms.plot()->image().size();
      QVERIFY(area.width() <= full.width() && area.height() <= full.height());
      QVERIFY(area.width() == full.width() || area.height() == full.height());
      QVERIFY2(std::abs(area.width() * 4 - area.height() * 3) <= 4,
               qPrintable(QString::number(area.width())));
      QCOMPARE(p.line(0), line);
    }
    const double grown = PlotWidget::overlayScale(QSizeF(p.forms.plot()->image().size()));
    QVERIFY(grown > 1.2);
    const int fullLegend = legendHeight(p.forms.plot()->shownWithOverlay(true));
    QVERIFY2(fullLegend > designedLegend * (grown - 0.15),
             qPrintable(QString("%1 against %2").arg(fullLegend).arg(designedLegend)));
    // The painted window: the drawing centred, white on both sides.
    const QImage shown = painted(p.forms);
    const int margin = (full.width() - p.forms.plot()->image().width()) / 2;
    QVERIFY(margin > 10);
    QCOMPARE(shown.pixelColor(margin / 2, full.height() / 2), QColor(Qt::white));

    QTest::keyClick(display, Qt::Key_Escape);
    QTRY_VERIFY(!display->isFullScreen() && display->size() != full);
    p.click("CommandStart");
    QCOMPARE(display->size(), asPlaced);
  }

  // Thick trails and the colour-blind safe palette change what is drawn,
  // never the lines.
  void thickTrailsAndSafePaletteDrawTheSameTest() {
    auto run = [](bool thick, TrailPalette palette, QImage& img) {
      Program p;
      p.forms.showOverlay(false);
      p.forms.setThickTrails(thick);
      p.forms.setTrailPalette(palette);
      p.type("Ttdelta", "0.01");
      p.type("Talphaend", "0");
      p.click("CommandStart");
      img = p.forms.plot()->image();
      return p.line(0);
    };
    auto count = [](const QImage& img, auto&& pick) {
      int n = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
          n += pick(img.pixel(x, y)) ? 1 : 0;
      return n;
    };
    auto inked = [](QRgb c) { return c != qRgb(255, 255, 255); };
    QImage plain, thick, safe;
    const QString line = run(false, TrailPalette::Document, plain);
    QCOMPARE(run(true, TrailPalette::Document, thick), line);
    QCOMPARE(run(false, TrailPalette::ColourBlindSafe, safe), line);
    QVERIFY2(count(thick, inked) > 2 * count(plain, inked),
             qPrintable(QString("%1 against %2").arg(count(thick, inked)).arg(count(plain, inked))));
    // Every dot of the document's light red and light green is drawn in the
    // safe palette's colours instead, and nothing else moves.
    const TrailColours& doc = trailColours(TrailPalette::Document);
    const TrailColours& cb = trailColours(TrailPalette::ColourBlindSafe);
    auto is = [](uint32_t engine) { return [engine](QRgb c) { return c == engineColour(engine).rgb(); }; };
    QVERIFY(count(plain, is(doc.pairEven[0])) > 0);
    QCOMPARE(count(safe, is(doc.pairEven[0])), 0);
    QCOMPARE(count(safe, is(doc.pairEven[1])), 0);
    // (the fast third body shares body 1's light red in the document's palette)
    QVERIFY(count(safe, is(cb.faster)) > 0);
    QCOMPARE(count(safe, is(cb.pairEven[0])) + count(safe, is(cb.faster)), count(plain, is(doc.pairEven[0])));
    QCOMPARE(count(safe, is(cb.pairEven[1])), count(plain, is(doc.pairEven[1])));
    QCOMPARE(count(safe, inked), count(plain, inked));
  }

  // A German desktop: the program's own words in German (menus, tooltips,
  // Help, the overlay), the document's captions, the result lines and every
  // number as they are.
  void germanDesktopGetsGermanWordsAndTheSameLines() {
    QTranslator german;
    QVERIFY(german.load(QLocale(QLocale::German, QLocale::Germany), "threebody", "_", ":/i18n"));
    QCoreApplication::installTranslator(&german);
    struct Uninstall {
      QTranslator* t;
      ~Uninstall() { QCoreApplication::removeTranslator(t); }
    } uninstall{&german};
    Program p;
    QStringList menus;
    for (QAction* a : p.forms.menuBar()->actions())
      menus << a->text();
    QCOMPARE(menus, QStringList({"&Datei", "&Ablauf", "&Beispiele", "&Ansicht", "E&xtras", "&Hilfe"}));
    QCOMPARE(p.caption("CommandStart"), QString("Start"));
    QCOMPARE(p.caption("CommandEnd"), QString("End"));
    QVERIFY2(p.field("Ttdelta")->toolTip().contains("Zeitschritt der Integration"),
             qPrintable(p.field("Ttdelta")->toolTip()));
    p.forms.showHelp();
    const QString help = p.forms.helpWindow()->findChild<QTextBrowser*>()->toPlainText();
    QVERIFY(help.contains("Das Modell") && help.contains("NEXT TEST ?") && help.contains("G = 1"));
    p.forms.helpWindow()->hide();
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    p.click("CommandStart");
    QCOMPARE(p.line(0), batchLines({"--tdelta", "0.01", "--alpha-end", "0"}).value(0));
    // The line in words, its numbers as the line writes them.
    const QString words = p.forms.lmesgLabel(0)->toolTip();
    QVERIFY2(words.startsWith("alpha 0: ") &&
                 words.contains("Abstand im Paar blieb zwischen 198.3 und 201.3"),
             qPrintable(words));
    QVERIFY(p.forms.plot()->stretchNotice().isEmpty() ||
            p.forms.plot()->stretchNotice().startsWith("gestreckt"));
    PlotOverlay stretched;
    stretched.pixelsPerUnit = 1;
    stretched.pixelsPerUnitY = 1.5;
    p.forms.setOverlayState([stretched] { return stretched; });
    QCOMPARE(p.forms.plot()->stretchNotice(),
             QString("gestreckt: y gezeichnet 1.50 \u00d7 x (Ansicht > Wahre Proportionen)"));
  }

  // Every translation keeps its source's placeholders and markup, so that no
  // number or emphasis is lost in another language.
  void translationsKeepPlaceholdersAndMarkup() {
    QFile ts(TRANSLATIONS_DIR "/threebody_de.ts");
    QVERIFY(ts.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&ts);
    QString source;
    int messages = 0;
    auto marks = [](const QString& text) {
      QStringList found;
      static const QRegularExpression mark(R"(%\d|</?[a-z]+>|&nbsp;|\\n|\n)");
      for (auto m = mark.globalMatch(text); m.hasNext();)
        found << m.next().captured();
      found.sort();
      return found;
    };
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == u"source") source = xml.readElementText();
      if (xml.name() != u"translation") continue;
      const bool unfinished = xml.attributes().value("type") == u"unfinished";
      const QString translation = xml.readElementText();
      ++messages;
      QVERIFY2(!unfinished && !translation.isEmpty(), qPrintable("not translated: " + source));
      QVERIFY2(marks(translation) == marks(source), qPrintable(source));
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 150);
  }

  void trueProportionsDrawCirclesRound() {
    auto pairExtent = [](Program& p) {
      const QImage img = p.forms.plot()->image();
      int left = img.width(), right = -1, top = img.height(), bottom = -1;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
          const QColor c = img.pixelColor(x, y);
          if (c.green() > 100 && c.red() < 100 && c.blue() < 100) { // body 2's green trail
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
          }
        }
      return std::pair<double, double>(right - left, bottom - top);
    };
    Program plain, round;
    for (Program* p : {&plain, &round}) {
      p->forms.show(FormId::Form2);
      p->type("Ttdelta", "0.01");
      p->type("Talphaend", "0");
      p->type("Tinitv2", "-1"); // the third body flies off: the pair turns undisturbed
    }
    QAction* toggle = nullptr;
    for (QAction* a : round.forms.plot()->actions())
      if (a->text().startsWith("True proportions")) toggle = a;
    QVERIFY(toggle);
    toggle->setChecked(true);
    QVERIFY(round.exp.trueProportions);
    plain.click("CommandStart");
    round.click("CommandStart");
    const auto [pw, ph] = pairExtent(plain);
    const auto [rw, rh] = pairExtent(round);
    QVERIFY2(pw > 20 && rw > 20, qPrintable(QString("%1 %2").arg(pw).arg(rw)));
    QVERIFY2(std::abs(rh / rw - 1) < 0.1,
             qPrintable(QString("plain %1 x %2, round %3 x %4").arg(pw).arg(ph).arg(rw).arg(rh)));
    QVERIFY2(ph / pw > 1.2, qPrintable(QString("plain %1 x %2").arg(pw).arg(ph)));
  }

  // Every read-out shows its whole text, up to the longest value it takes:
  // in the painted field, the text ends before the field's edge.
  void readoutsShowTheirWholeText() {
    Program p;
    const std::pair<const char*, const char*> longest[] = {
        {"Tcycle", " 5318189000"}, {"Tvesc", " 100.555"},     {"Tv3", " 2589.604"},
        {"Tv3max", " 2589.604"},   {"Tphi", " 2589.6"},       {"Tdist01", " 2589.6"},
        {"Tdist01min", " 2589.6"}, {"Tdist01max", " 2589.6"}, {"Trev", " 10"},
        {"Talpha", " 359.99"}};
    for (const auto& [control, text] : longest) {
      p.forms.setText(control, text);
      QLineEdit* e = p.field(control);
      const QImage painted = e->grab().toImage();
      // The columns with text ink, inside the frame: as wide as the whole
      // text in the field's face, and clear of the far edge.
      int first = -1, last = -1;
      for (int x = 2; x < painted.width() - 2; ++x)
        for (int y = 3; y < painted.height() - 3; ++y)
          if (qGray(painted.pixel(x, y)) < 110) {
            if (first < 0) first = x;
            last = x;
          }
      const int whole = e->fontMetrics().horizontalAdvance(e->text().trimmed());
      QVERIFY2(first >= 0 && last - first + 3 >= whole,
               qPrintable(QString("%1: ink %2 to %3, text %4").arg(control).arg(first).arg(last).arg(whole)));
      QVERIFY2(last < painted.width() - 2, control);
      QVERIFY2(e->fontMetrics().horizontalAdvance(e->text()) <= e->contentsRect().width(), control);
    }
    // r1, r2 and r3 hold 15 significant digits in 41 pixels: they get the
    // smallest legible face, as many digits as it holds, and the whole text in
    // their tooltip.
    for (const char* control : {"Tr1", "Tr2", "Tr3"}) {
      p.forms.setText(control, " 2589.60402376634");
      QLineEdit* e = p.field(control);
      QVERIFY(e->font() != e->property("designedFont").value<QFont>());
      QVERIFY(e->fontMetrics().horizontalAdvance(" 2589.604") <= e->contentsRect().width());
      QCOMPARE(e->toolTip(), QString(" 2589.60402376634"));
    }
    // A short value keeps the designed face.
    p.forms.setText("Tcycle", " 12");
    QCOMPARE(p.field("Tcycle")->font(), p.field("Tcycle")->property("designedFont").value<QFont>());
  }

  // A text that is not wholly a number is marked as it is typed, painted so,
  // with a tooltip saying how it reads, and the control form's title names
  // it; a Start still runs with what the fields read.
  void misreadFieldsAreMarkedAsTyped() {
    Program p;
    QLineEdit* v3 = p.field("Tinitv2");
    const QImage plain = v3->grab().toImage();
    p.type("Tinitv2", "1,5");
    QCOMPARE(QString::fromStdString(p.forms.misread("Tinitv2")),
             QString("reads as 1: a ',' ends the number; write 1.5"));
    QVERIFY2(v3->toolTip().contains("write 1.5"), qPrintable(v3->toolTip()));
    QVERIFY(p.forms.window(FormId::Form1)->windowTitle().contains("read differently: init v3"));
    const QImage marked = v3->grab().toImage();
    QCOMPARE(marked.size(), plain.size());
    const QColor inside = marked.pixelColor(marked.width() - 6, marked.height() / 2);
    QVERIFY2(inside.red() > inside.blue() + 20, qPrintable(inside.name()));
    QVERIFY(inside != plain.pixelColor(plain.width() - 6, plain.height() / 2));
    p.type("Ttdelta", "");
    QVERIFY(p.forms.misread("Ttdelta").find("the field is empty") != std::string::npos);
    QVERIFY(p.forms.window(FormId::Form1)->windowTitle().contains("tdelta, init v3"));
    // Mended, the marks go.
    p.type("Tinitv2", "1.5");
    p.type("Ttdelta", "0.01");
    QVERIFY(p.forms.misread("Tinitv2").empty());
    const QImage mended = v3->grab().toImage();
    QCOMPARE(mended.pixelColor(mended.width() - 6, mended.height() / 2),
             plain.pixelColor(plain.width() - 6, plain.height() / 2));
    QCOMPARE(p.forms.window(FormId::Form1)->windowTitle(), QString("Control Form"));
    QVERIFY(v3->toolTip().startsWith("init v3: "));
  }

  void screenShowsEveryTestsEndAfterTheSeriesStopAndExpose() {
    Program p;
    // One test that ends in a collision within milliseconds, run twice: the
    // first series gives the window its size, which repaints it anyway.
    p.type("Talphastr", "60");
    p.type("Talphaend", "60");
    p.click("CommandStart");
    QVERIFY(QTest::qWaitForWindowExposed(p.forms.window(FormId::Form2)));
    QTest::qWait(50);
    p.click("CommandStart");
    QApplication::processEvents();
    QSize size = p.forms.plot()->size();
    QImage expected = batchPlot({"--alpha-start", "60", "--alpha-end", "60"}, size);
    QCOMPARE(differingPixels(painted(p.forms), expected), 0);

    // Hidden and shown again, it still shows the whole picture.
    p.forms.window(FormId::Form2)->hide();
    p.forms.window(FormId::Form2)->show();
    QApplication::processEvents();
    QCOMPARE(differingPixels(painted(p.forms), expected), 0);

    // A series ended by Stop shows its last dots, as the image holds them.
    p.type("Ttdelta", "1E-300");
    QTimer::singleShot(150, [&] { p.click("CommandEnd"); });
    p.click("CommandStart");
    QApplication::processEvents();
    QCOMPARE(differingPixels(painted(p.forms), p.forms.plot()->image().convertToFormat(QImage::Format_RGB32)),
             0);
  }

  void decimalCommaLocaleLeavesEveryNumberAsTheBatchToolWritesIt() {
    // Run under LC_ALL=de_DE.UTF-8 by the locale test entry, which sets
    // THREEBODY_EXPECT_COMMA so that a missing locale cannot pass unnoticed.
    if (qEnvironmentVariableIsSet("THREEBODY_EXPECT_COMMA")) QCOMPARE(gLocaleDecimalPoint, std::string(","));
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0.2");
    p.click("CommandStart");
    QStringList expected = batchLines({"--tdelta", "0.01", "--alpha-end", "0.2"});
    QCOMPARE(expected.size(), 3);
    for (int i = 0; i < 3; ++i)
      QCOMPARE(p.line(i), expected[i]);
    for (const char* readout : {"Tdist01", "Tv3", "Tvesc", "Tr1", "Tphi"}) {
      QString text = QString::fromStdString(p.forms.text(readout));
      QVERIFY2(!text.contains(','), qPrintable(QString(readout) + " " + text));
    }
  }

  void longResultLinesKeepTheirEndCodeInView() {
    Program p;
    ResultLabel* label = p.forms.lmesgLabel(0);
    QWidget* print = p.forms.window(FormId::Form3);
    // Ninety characters fit the window, in digits and blanks of one width,
    // so the columns of the lines stand under each other.
    QFontMetrics fm(label->font());
    QVERIFY(fm.horizontalAdvance(QString(90, '0')) <= print->width());
    QCOMPARE(fm.horizontalAdvance("1"), fm.horizontalAdvance(" "));
    QCOMPARE(fm.horizontalAdvance("7"), fm.horizontalAdvance("."));

    p.type("Tm2", "100");
    p.type("Tinitv2", "10");
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "0");
    p.click("CommandStart");
    QCOMPARE(p.line(0).size(), 85);
    QCOMPARE(label->drawnText(), p.line(0));
    // Not elided: the tooltip is the line in words alone.
    QVERIFY2(label->toolTip().startsWith("alpha 0: "), qPrintable(label->toolTip()));
    QVERIFY(!label->toolTip().contains(p.line(0)));

    // A longer line is cut in the middle, never at its end code.
    p.forms.setLmesgCaption(1, p.line(0).toStdString() + "  and some more text to exceed");
    ResultLabel* longer = p.forms.lmesgLabel(1);
    QString drawn = longer->drawnText();
    QVERIFY2(drawn.contains(QChar(0x2026)) && drawn.endsWith("to exceed"), qPrintable(drawn));
    QVERIFY(drawn.startsWith("Alpha"));
    QCOMPARE(longer->toolTip(), longer->text());
  }

  // --- watching a series ----------------------------------------------------

  void pacedTestsWriteTheSameLinesAndTakeTheirTime() {
    QStringList expected = batchLines({"--alpha-start", "60", "--alpha-end", "60"});
    QCOMPARE(expected.size(), 1);
    QVERIFY(expected[0].contains("time  113")); // 113 time units
    for (double pace : {1000.0, 200.0}) {
      Program p;
      p.forms.simulatedTime = [&p] {
        return static_cast<double>(p.exp.state().nstep) * p.exp.state().tdelta;
      };
      p.forms.setPace(pace);
      p.type("Talphastr", "60");
      p.type("Talphaend", "60");
      QElapsedTimer clock;
      clock.start();
      p.click("CommandStart");
      QCOMPARE(p.line(0), expected[0]);
      QVERIFY2(clock.elapsed() >= 0.9 * 113 / pace * 1000, qPrintable(QString::number(clock.elapsed())));
    }
  }

  // View > Graphs (Ctrl+G) follows the running test as it goes; after the
  // series each test's graphs come back, and save as CSV at full precision.
  void graphsFollowTheRunningTestAndKeepEachTests() {
    Program p;
    p.forms.setPace(1000); // 113 time units take about a tenth of a second
    p.type("Talphastr", "60");
    p.type("Talphaend", "80");
    QTest::keyClick(p.forms.window(FormId::Form1), Qt::Key_G, Qt::ControlModifier);
    GraphWindow* g = p.forms.graphWindow();
    QVERIFY(g && g->isVisible());
    QVERIFY(g->plot()->samples().empty());
    // Looked at from the pacing's own look at the time, 20 time units into
    // the first test: while it runs, however fast the machine.
    size_t during = 0;
    double timeDuring = 0;
    QImage drawnDuring;
    p.forms.simulatedTime = [&] {
      const double t = static_cast<double>(p.exp.state().nstep) * p.exp.state().tdelta;
      if (t >= 20 && during == 0) {
        during = g->plot()->samples().size();
        if (during) timeDuring = g->plot()->samples().back().time;
        drawnDuring = g->plot()->grab().toImage().convertToFormat(QImage::Format_RGB32);
      }
      return t;
    };
    p.click("CommandStart");
    const auto& results = p.forms.results();
    QVERIFY(results.size() >= 2);
    QVERIFY2(during > 0 && timeDuring < results[0].time, qPrintable(QString::number(during)));
    // What was painted while the test ran: the distance to body 1 and the
    // escape speed curves in their colours.
    auto pixels = [](const QImage& img, uint32_t engine) {
      int n = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
          n += img.pixel(x, y) == engineColour(engine).rgb();
      return n;
    };
    const TrailColours& colours = trailColours(TrailPalette::Document);
    QVERIFY(pixels(drawnDuring, colours.pairEven[0]) > 20);
    QVERIFY(pixels(drawnDuring, colours.faster) > 20);
    // The live view keeps the last test; each test's own come back by choice
    // and by a click on its line.
    QCOMPARE(g->plot()->samples().back().time, results.back().time);
    p.forms.lmesgLabel(0)->onClick();
    QCOMPARE(g->chosenTest(), 0);
    QCOMPARE(g->plot()->samples().back().time, results[0].time);
    QCOMPARE(g->plot()->samples().size(), p.forms.testTrace(0).size());
    QVERIFY(g->title().contains(QString::fromStdString(results[0].line)));
    // The CSV: a header and a row per sample; a collision leaves the third
    // body's distances empty in the last row.
    QTemporaryDir dir;
    const QString path = dir.filePath("graphs.csv");
    QCOMPARE(g->saveCsv(path), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.front(), QString("time,dist13,dist23,dist12,v3,vesc,energy_error"));
    QCOMPARE(rows.size() - 1, static_cast<qsizetype>(p.forms.testTrace(0).size()));
    const QStringList last = rows.back().split(',');
    QCOMPARE(last[0].toDouble(), results[0].time);
    if (results[0].end == EndCode::Collision) QCOMPARE(last[1], QString());
    QCOMPARE(static_cast<float>(last[4].toDouble()), results[0].v3);
    const QString image = dir.filePath("graphs.png");
    QCOMPARE(g->saveImage(image), QString());
    QVERIFY(QImage(image).width() >= 900);
  }

  void stopAndEndAnswerAtOnceWhilePaced() {
    Program p;
    // Stop is clicked once the paced test has reached 2 time units; at 50 a
    // second the test would otherwise run on for 24 seconds.
    // Run > Start and Run > Stop are offered only when they can act.
    QAction *start = nullptr, *stop = nullptr;
    for (QAction* m : p.forms.menuBar()->actions())
      for (QAction* a : m->menu() ? m->menu()->actions() : QList<QAction*>())
        (a->text() == "Start" ? start : a->text() == "Stop" ? stop : a) = a;
    QVERIFY(start && stop);
    QVERIFY(start->isEnabled() && !stop->isEnabled());
    bool clicked = false, startWhileRunning = true, stopWhileRunning = false;
    p.forms.simulatedTime = [&] {
      double t = static_cast<double>(p.exp.state().nstep) * p.exp.state().tdelta;
      if (t >= 2 && !clicked) {
        clicked = true;
        startWhileRunning = start->isEnabled();
        stopWhileRunning = stop->isEnabled();
        QTimer::singleShot(0, [&] { p.click("CommandEnd"); });
      }
      return t;
    };
    p.forms.setPace(50);
    p.type("Talphaend", "20");
    p.click("CommandStart");
    // The test ended within a fraction of a time unit of the click.
    QVERIFY2(p.line(0).endsWith("time    2 end  0"), qPrintable(p.line(0)));
    QCOMPARE(p.line(1), QString());
    QVERIFY(!startWhileRunning && stopWhileRunning);
    QVERIFY(start->isEnabled() && !stop->isEnabled());
  }

  void speedMenuSetsThePace() {
    Program p;
    QMenu* speed = nullptr;
    for (QAction* a : p.forms.plot()->actions())
      if (a->menu() && a->text() == "Speed") speed = a->menu();
    QVERIFY(speed);
    QStringList names;
    for (QAction* a : speed->actions())
      names << a->text();
    QCOMPARE(names, QStringList({"Full speed", "50 time units a second", "200 time units a second",
                                 "1000 time units a second"}));
    QVERIFY(speed->actions()[0]->isChecked());
    speed->actions()[2]->trigger();
    QCOMPARE(p.forms.pace(), 200.0);
    QVERIFY(speed->actions()[2]->isChecked() && !speed->actions()[0]->isChecked());
  }

  void clickingALineShowsThatTestsPicture() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "20"); // tests at 0, 2, 4, ... 20
    p.click("CommandStart");
    QSize size = p.forms.plot()->size();
    ResultLabel* line3 = p.forms.lmesgLabel(3);
    QVERIFY(line3->text().startsWith("Alpha   6"));
    QTest::mouseClick(line3, Qt::LeftButton);
    QApplication::processEvents();
    QCOMPARE(p.forms.shownTest(), 3);
    QVERIFY(line3->marked() && !p.forms.lmesgLabel(10)->marked());
    QImage expected = batchPlot({"--tdelta", "0.01", "--alpha-start", "6", "--alpha-end", "6"}, size);
    QCOMPARE(differingPixels(painted(p.forms), expected), 0);
    // "Save image..." saves what is shown.
    QString path = QDir::temp().filePath("threebody_gui_selected.png");
    QCOMPARE(p.forms.saveImage(path), QString());
    QCOMPARE(differingPixels(QImage(path).convertToFormat(QImage::Format_RGB32), expected), 0);
    QFile::remove(path);

    // Start returns to the live plot.
    p.type("Talphaend", "0");
    p.click("CommandStart");
    QApplication::processEvents();
    QCOMPARE(p.forms.shownTest(), -1);
    QVERIFY(!line3->marked());
    QImage live = batchPlot({"--tdelta", "0.01", "--alpha-end", "0"}, size);
    QCOMPARE(differingPixels(painted(p.forms), live), 0);
  }

  // An earlier test's picture is shown and saved with the overlay it ended
  // with: its own alpha, time, bodies and scale.
  void anEarlierTestKeepsItsOwnOverlay() {
    Program p;
    p.forms.setOverlayState([&p] {
      PlotOverlay o;
      o.running = true;
      o.alpha = p.field("Talpha")->text().toDouble();
      o.time = static_cast<double>(p.exp.state().nstep) * p.exp.state().tdelta;
      o.pixelsPerUnit = 0.3;
      return o;
    });
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "4");
    p.click("CommandStart");
    QTest::mouseClick(p.forms.lmesgLabel(1), Qt::LeftButton);
    QApplication::processEvents();
    QCOMPARE(p.forms.shownTest(), 1);
    const auto shown = p.forms.plot()->currentOverlay();
    QVERIFY(shown.has_value());
    QCOMPARE(shown->alpha, 1.0); // alpha 0 to 4 by 1
    QCOMPARE(static_cast<int>(shown->time),
             p.line(1).mid(p.line(1).indexOf("time") + 4, 5).trimmed().toInt());
    const QString dir = QDir::temp().filePath("threebody_kept_overlay");
    QVERIFY(QDir().mkpath(dir));
    QCOMPARE(p.forms.saveImage(dir + "/with.png"), QString());
    QCOMPARE(p.forms.saveImage(dir + "/without.png", false), QString());
    QVERIFY(QImage(dir + "/with.png") != QImage(dir + "/without.png"));
    QDir(dir).removeRecursively();
  }

  // Every test of the series, also those past the nineteenth label, with the
  // CSV's columns; sorted as numbers; a row brings back that test's picture.
  void resultsTableHoldsEveryTestAndShowsItsPicture() {
    Program p;
    p.type("Ttdelta", "0.01");
    p.type("Talphaend", "480"); // 25 tests, alpha 0 to 480 by 20
    p.click("CommandStart");
    QCOMPARE(p.forms.results().size(), size_t(25));
    p.forms.showResultsTable();
    ResultsTable* t = p.forms.resultsTable();
    QVERIFY(t && t->isVisible());
    QTableWidget* table = t->table();
    QCOMPARE(table->rowCount(), 25);
    for (QString name : QString::fromStdString(csvHeader()).split(','))
      QVERIFY2(t->column(name) >= 0, qPrintable(name));
    const int words = t->column("end in words"), end = t->column("end"), alpha = t->column("alpha");
    for (int r = 0; r < 25; ++r) {
      const QString code = table->item(r, end)->text();
      QVERIFY(!code.isEmpty());
      QCOMPARE(table->item(r, words)->text(),
               QString(MapOutcome::ended(static_cast<EndCode>(code.toInt())).name()));
    }
    // Sorted by time as numbers, not as texts ("795" before "1191").
    const int time = t->column("time");
    table->sortItems(time, Qt::AscendingOrder);
    for (int r = 1; r < 25; ++r)
      QVERIFY(table->item(r - 1, time)->text().toDouble() <= table->item(r, time)->text().toDouble());
    // A test no label holds any more: the 21st, alpha 400.
    int row = -1;
    for (int r = 0; r < 25; ++r)
      if (table->item(r, alpha)->text() == "400") row = r;
    QVERIFY(row >= 0);
    const QSize size = p.forms.plot()->size();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(row, alpha)).center());
    QApplication::processEvents();
    QImage expected = batchPlot({"--tdelta", "0.01", "--alpha-start", "400", "--alpha-end", "400"}, size);
    QCOMPARE(differingPixels(painted(p.forms), expected), 0);
    QCOMPARE(p.forms.shownTest(), -1); // no label is marked for it
    // Ctrl+A then Ctrl+C copies every row, in the order shown, as
    // tab-separated text under the header.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    const QStringList rows = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 26);
    QVERIFY(rows[0].startsWith("test\t"));
    for (const QString& r : rows)
      QCOMPARE(r.count('\t'), table->columnCount() - 1);
    QCOMPARE(rows[1].split('\t')[time], table->item(0, time)->text());
    // A new series starts a new table.
    p.type("Talphaend", "0.5");
    p.click("CommandStart");
    QCOMPARE(table->rowCount(), static_cast<int>(p.forms.results().size()));
    QCOMPARE(table->rowCount(), 6);
  }

  // Run > Verify outcomes marks each line after it, on a worker thread, and
  // the tooltip says what the reference found; the lines stay as they are.
  void verifyOutcomesMarksEachLineWithTheReferencesVerdict() {
    Program p;
    QAction* verify = nullptr;
    for (QAction* m : p.forms.menuBar()->actions())
      for (QAction* a : m->menu()->actions())
        if (a->text() == "Verify outcomes") verify = a;
    QVERIFY(verify && verify->isCheckable());
    verify->trigger();
    QVERIFY(p.forms.verifyOutcomes());
    p.type("Ttdelta", "0.05");
    p.type("Tinitv2", "0.7");
    p.type("Talphastr", "42");
    p.type("Talphaend", "44");
    p.click("CommandStart");
    QTRY_COMPARE_WITH_TIMEOUT(p.forms.verificationsRunning(), 0, 60000);
    QStringList lines =
        batchLines({"--tdelta", "0.05", "--init-v3", "0.7", "--alpha-start", "42", "--alpha-end", "44"});
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 3; ++i)
      QCOMPARE(p.line(i), lines[i]);
    // Alpha 43 escapes at this step; the reference ends it in a collision.
    ResultLabel* artefact = p.forms.lmesgLabel(1);
    QCOMPARE(artefact->verdictMark(), QString::fromUtf8("\u2717"));
    QVERIFY2(artefact->toolTip().contains(
                 "artefact: a reference integration ends with code 1 after 0 revolutions"),
             qPrintable(artefact->toolTip()));
    QCOMPARE(p.forms.lmesgLabel(0)->verdictMark(), QString::fromUtf8("\u2713"));
    // The mark is painted after the line, in red.
    QImage shot = artefact->grab().toImage();
    int red = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x)
        red += qRed(shot.pixel(x, y)) > 150 && qGreen(shot.pixel(x, y)) < 80;
    QVERIFY(red > 3);
    // The verdicts are saved with the results, as the batch tool writes them,
    // and the results table shows them (also when opened before they came).
    const QString csv = QDir::temp().filePath("tb_verified_results.csv");
    QCOMPARE(p.forms.saveResults(csv), QString());
    QFile saved(csv);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QStringList batchCsv = batchLines({"--tdelta", "0.05", "--init-v3", "0.7", "--alpha-start", "42",
                                       "--alpha-end", "44", "--verify", "--format", "csv"});
    // (and the end in words last).
    QStringList savedRows = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(savedRows.size(), batchCsv.size());
    QCOMPARE(savedRows[0], batchCsv[0] + ",end_in_words");
    for (qsizetype i = 1; i < savedRows.size(); ++i) {
      const QString words = endName(p.forms.results()[static_cast<size_t>(i - 1)].end);
      QCOMPARE(savedRows[i], batchCsv[i] + "," + words);
    }
    p.forms.showResultsTable();
    ResultsTable* table = p.forms.resultsTable();
    QVERIFY(table->column("verdict") >= 0);
    QCOMPARE(table->table()->item(1, table->column("verdict"))->text(), QString("artefact"));
    QCOMPARE(table->table()->item(1, table->column("reference_end"))->text(), QString("1"));
    // Off, a new series has no marks, and its results no verify columns.
    verify->trigger();
    p.click("CommandStart");
    QCOMPARE(p.forms.lmesgLabel(1)->verdictMark(), QString());
    QCOMPARE(table->column("verdict"), -1);
    QCOMPARE(p.forms.saveResults(csv), QString());
    saved.close();
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(!QString::fromUtf8(saved.readLine()).contains("verdict"));
    saved.remove();
  }

  void outcomeMapFillsAndAClickRunsThatPoint() {
    Program p;
    p.type("Ttdelta", "0.05"); // a quick map
    QAction* open = nullptr;
    for (QAction* a : p.forms.window(FormId::Form1)->actions())
      if (a->text() == "Outcome map...") open = a;
    QVERIFY(open);
    open->trigger();
    MapWindow* map = p.forms.mapWindow();
    QVERIFY(map && map->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(map->finished(), 120000);
    QTest::qWait(150);      // the last rows painted
    const int i = 7, j = 3; // alpha 70, init v3 0.8
    const std::string alpha = map->grid().x.texts[i], speed = map->grid().y.texts[j];
    QCOMPARE(QString::fromStdString(alpha + " " + speed), QString("70 0.8"));
    QStringList expected =
        batchLines({"--tdelta", "0.05", "--alpha-start", alpha, "--alpha-end", alpha, "--init-v3", speed});
    QCOMPARE(expected.size(), 1);
    const MapCell& cell = map->cells()[static_cast<size_t>(j) * map->grid().columns() + i];
    QCOMPARE(endNumber(cell.outcome.end()), expected[0].right(2).trimmed().toInt());
    // What is painted there is that outcome's colour.
    int64_t longest = 1;
    for (const MapCell& c : map->cells())
      longest = std::max(longest, c.steps);
    uint32_t colour = mapCellColour(cell.outcome, cell.steps, longest);
    MapView* view = map->view();
    QCOMPARE(view->grab().toImage().pixel(view->cellCentre(i, j)),
             qRgb(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16));
    // The pointer over the cell: its values, the end in words, its steps.
    QTest::mouseMove(view, view->cellCentre(i, j));
    QTRY_VERIFY(map->readout().startsWith("alpha 70, init-v3 0.8: "));
    QVERIFY2(map->readout().contains(QString("%1 steps").arg(cell.steps)), qPrintable(map->readout()));
    QVERIFY(map->readout().contains(cell.outcome.name()));
    // The parameters every point shares are stated; the axes' are not.
    QVERIFY2(map->fixedText().contains("tdelta 0.05") && !map->fixedText().contains("init v3"),
             qPrintable(map->fixedText()));
    // A click runs that point's test in the display form and marks the cell.
    QTest::mouseClick(view, Qt::LeftButton, {}, view->cellCentre(i, j));
    QCOMPARE(p.line(0), expected[0]);
    QCOMPARE(QString::fromStdString(p.forms.text("Tinitv2")), QString("0.8"));
    QVERIFY(map->refusal().isEmpty());
    QCOMPARE(view->markedColumn(), i);
    QCOMPARE(view->markedRow(), j);
    // Ctrl+Z in the map puts back the fields the click changed.
    QTest::keyClick(map, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(QString::fromStdString(p.forms.text("Tinitv2")), QString("0.9"));
    QCOMPARE(QString::fromStdString(p.forms.text("Talphaend")), QString("180"));
    QCOMPARE(view->markedColumn(), -1);
    QTest::keyClick(map, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(map->refusal().contains("No click"));
    QTest::mouseClick(view, Qt::LeftButton, {}, view->cellCentre(i, j));

    // During a series a click is refused with a word, and the running
    // series keeps its fields: every line has the series' own init v3.
    p.type("Talphastr", "0");
    p.type("Talphaend", "4");
    p.type("Tinitv2", "1.2");
    const QStringList series = batchLines({"--tdelta", "0.05", "--alpha-end", "4", "--init-v3", "1.2"});
    // The click comes from the pacing's own look at the time, where the
    // series serves events: while it runs, however fast the machine.
    bool clicked = false;
    p.forms.simulatedTime = [&] {
      double t = static_cast<double>(p.exp.state().nstep) * p.exp.state().tdelta;
      if (t >= 1 && !clicked) {
        clicked = true;
        QTest::mouseClick(view, Qt::LeftButton, {}, view->cellCentre(i, j));
      }
      return t;
    };
    p.forms.setPace(100000); // paced, so that the click comes while the series runs
    p.click("CommandStart");
    p.forms.setPace(0);
    QVERIFY(clicked);
    QVERIFY2(map->refusal().contains("press Stop"), qPrintable(map->refusal()));
    QCOMPARE(QString::fromStdString(p.forms.text("Tinitv2")), QString("1.2"));
    QCOMPARE(QString::fromStdString(p.forms.text("Talphastr")), QString("0"));
    for (int k = 0; k < series.size(); ++k)
      QCOMPARE(p.line(k), series[k]);
    map->close();
    QVERIFY(!map->isVisible());
  }

  // The map window marks a slip in an axis field as it is typed, and a
  // Compute with one is answered in the window's words, naming the field.
  void mapWindowAnswersSlipsInItsOwnWords() {
    FieldTexts fields = defaultFieldTexts();
    for (auto& [control, text] : fields)
      if (control == std::string("Ttdelta")) text = "0.05";
    MapWindow map(fields);
    map.show();
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 60000);
    const QList<QLineEdit*> edits = map.findChildren<QLineEdit*>();
    QCOMPARE(edits.size(), 6); // from, to and points of x, then of y
    QLineEdit* points = edits[2];
    QVERIFY(points->styleSheet().isEmpty());
    points->setText("abc");
    QVERIFY(!points->styleSheet().isEmpty());
    QCOMPARE(points->toolTip(), axisValueProblem("abc", true));
    QVERIFY(points->toolTip().contains("type a whole number from 1 to 100000"));
    edits[4]->setText("1,5");
    QVERIFY(edits[4]->toolTip().contains("is not a number"));
    QPushButton* compute = nullptr;
    for (QPushButton* b : map.findChildren<QPushButton*>())
      if (b->text() == "Compute") compute = b;
    QVERIFY(compute);
    QString shown;
    acceptMessageBoxSoon(shown);
    compute->click();
    QCOMPARE(shown, "x axis, points: " + axisValueProblem("abc", true));
    QCOMPARE(static_cast<int>(map.grid().x.values.size()), 36); // the map stands as it was
    points->setText("36");
    QVERIFY(points->styleSheet().isEmpty());
    // The basin entropy is explained in plain words.
    QVERIFY(map.statusText().contains("basin entropy"));

    // A control form's field that is not a number: the map computes nothing
    // and says which field to change.
    for (auto& [control, text] : fields)
      if (control == std::string("Tm3")) text = "abc";
    MapWindow refused(fields);
    QVERIFY2(refused.statusText().contains("--m3") && refused.statusText().contains("abc"),
             qPrintable(refused.statusText()));
    QVERIFY(!refused.finished());
    QCOMPARE(refused.cells().size(), size_t{36 * 11});
    QTest::qWait(300); // nothing comes in, and nothing breaks
    QCOMPARE(refused.cells()[0].outcome, MapOutcome::notYet());
  }

  // A map of a million points: its view keeps an image of the cells and
  // colours only what came in, so that a paint or a poll with nothing new
  // costs no work per cell and the window answers while the map fills.
  void aMillionPointMapPaintsOnlyWhatCameIn() {
    FieldTexts fields = defaultFieldTexts();
    for (auto& [control, text] : fields)
      if (control == std::string("Ttdelta")) text = "0.5";
    MapWindow map(fields);
    map.resize(900, 700);
    map.show();
    QCOMPARE(QString::fromStdString(map.remap("alpha=0:360:1000", "init-v3=0.5:1.5:1000")), QString());
    MapView* view = map.view();
    QTRY_VERIFY_WITH_TIMEOUT(map.computedPoints() >= 1000, 60000);
    map.stop();
    const int64_t coloured = view->cellsColoured();
    const size_t done = map.computedPoints();
    QVERIFY(done < map.cells().size());
    view->repaint();
    view->cellsDone(done);
    QCOMPARE(view->cellsColoured(), coloured);
    // The cells no point computed so far stands for are painted white (the
    // first pass, every 8th point, has not reached row 896 yet).
    QCOMPARE(view->grab().toImage().pixel(view->cellCentre(500, 900)), qRgb(255, 255, 255));
    // A new map starts from a clean image: each cell in its own colour.
    QCOMPARE(QString::fromStdString(map.remap("alpha=0:360:4", "init-v3=0.5:1.5:3")), QString());
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 60000);
    int64_t longest = 1;
    for (const MapCell& c : map.cells())
      longest = std::max(longest, c.steps);
    const QImage shown = view->grab().toImage();
    for (int k = 0; k < 12; ++k) {
      const MapCell& c = map.cells()[static_cast<size_t>(k)];
      const uint32_t colour = mapCellColour(c.outcome, c.steps, longest);
      QCOMPARE(shown.pixel(view->cellCentre(k % 4, k / 4)),
               qRgb(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16));
    }
  }

  // Exploring the map: a dragged rectangle, the wheel and the arrow keys make
  // new views at the same resolution, each computed coarse first and then
  // refined, point for point the map computed at once; back and forward
  // return to the views; the command reproduces the view.
  void mapWindowZoomsPansAndGoesBack() {
    FieldTexts fields = defaultFieldTexts();
    for (auto& [control, text] : fields)
      if (control == std::string("Ttdelta")) text = "0.05";
    MapWindow map(fields);
    map.resize(900, 700);
    map.show();
    QCOMPARE(QString::fromStdString(map.showView("alpha=0:360:33", "init-v3=0.5:1.5:17")), QString());
    // At any moment the points computed are the first of the refinement
    // order: the coarse pass (every 8th point both ways) first.
    const std::vector<size_t> order = refinementOrder(33, 17);
    QCOMPARE(order.size(), size_t(33 * 17));
    QTRY_VERIFY_WITH_TIMEOUT(map.computedPoints() >= 1, 60000);
    for (size_t e = 0; e < order.size(); ++e)
      QCOMPARE(map.cells()[order[e]].outcome.kind() == MapOutcome::Kind::NotYet, e >= map.computedPoints());
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 120000);
    MapView* view = map.view();
    auto near = [](double a, double b, double within) { return std::abs(a - b) <= within; };

    // A rectangle from cell (8, 4) to (16, 12): alpha 90 to 180, init v3 0.75 to 1.25.
    QTest::mousePress(view, Qt::LeftButton, {}, view->cellCentre(8, 4));
    QTest::mouseMove(view, view->cellCentre(16, 12));
    QTest::mouseRelease(view, Qt::LeftButton, {}, view->cellCentre(16, 12));
    const MapAxis& x = map.grid().x;
    const MapAxis& y = map.grid().y;
    QVERIFY2(near(x.values.front(), 90, 6) && near(x.values.back(), 180, 6), x.given.c_str());
    QVERIFY2(near(y.values.front(), 0.75, 0.04) && near(y.values.back(), 1.25, 0.04), y.given.c_str());
    QCOMPARE(x.values.size(), size_t(33));
    QCOMPARE(y.values.size(), size_t(17));
    const std::string zoomedX = x.given, zoomedY = y.given;
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 120000);
    // The same view computed at once, in row order, on one thread.
    MapRun once;
    static_cast<MapGrid&>(once) = map.grid();
    once.jobs = 1;
    std::vector<MapCell> atOnce(map.cells().size());
    computePoints(
        once, atOnce.size(), [](size_t k) { return k; },
        [&](size_t k, PointRow& r) {
          atOnce[k] = MapCell{r.outcome, r.steps, r.mark};
          return true;
        });
    for (size_t k = 0; k < atOnce.size(); ++k) {
      QVERIFY(map.cells()[k].outcome == atOnce[k].outcome);
      QCOMPARE(map.cells()[k].steps, atOnce[k].steps);
    }
    // What is painted at the end is each cell's own colour, not a coarse block's.
    QTest::qWait(150);
    int64_t longest = 1;
    for (const MapCell& c : map.cells())
      longest = std::max(longest, c.steps);
    const QImage shown = view->grab().toImage();
    for (auto [i, j] : {std::pair{1, 1}, std::pair{9, 3}, std::pair{31, 15}}) {
      const MapCell& c = map.cells()[static_cast<size_t>(j) * 33 + static_cast<size_t>(i)];
      const uint32_t colour = mapCellColour(c.outcome, c.steps, longest);
      QCOMPARE(shown.pixel(view->cellCentre(i, j)), qRgb(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16));
    }
    QVERIFY(QString::fromStdString(map.mapCommand())
                .startsWith(QString::fromStdString("threebody-map --x '" + zoomedX + "'")));

    // Back (Alt+Left) to the first view, forward (Alt+Right) to the zoomed one.
    QTest::keyClick(&map, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(map.grid().x.given, std::string("alpha=0:360:33"));
    QCOMPARE(map.viewIndex(), size_t(1)); // after the window's first view
    QTest::keyClick(&map, Qt::Key_Right, Qt::AltModifier);
    QCOMPARE(map.grid().x.given, zoomedX);
    QCOMPARE(map.grid().y.given, zoomedY);

    // The arrow key moves the view right by a quarter of its range; a new
    // view drops the views after the current one.
    const double from = map.grid().x.values.front(), width = map.grid().x.values.back() - from;
    QVERIFY(map.back());
    QVERIFY(map.forward());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right);
    QVERIFY(near(map.grid().x.values.front(), from + width / 4, width / 1000));
    QCOMPARE(map.grid().y.given, zoomedY);
    QCOMPARE(map.views().size(), size_t(4));
    QVERIFY(!map.forward());

    // A notch of the wheel halves both ranges about the pointer.
    const QPointF at = view->cellCentre(16, 8);
    const QPointF centre = view->valuesAt(at);
    const double xSpan = map.grid().x.values.back() - map.grid().x.values.front();
    QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    const double newSpan = map.grid().x.values.back() - map.grid().x.values.front();
    QVERIFY(near(newSpan, xSpan / 2, xSpan / 1000));
    QVERIFY(map.grid().x.values.front() < centre.x() && centre.x() < map.grid().x.values.back());
    QCOMPARE(map.views().size(), size_t(5));
    // Back through every view to the window's first, and no further.
    while (map.back()) {
    }
    QCOMPARE(map.viewIndex(), size_t(0));
    QCOMPARE(map.grid().x.given, std::string("alpha=0:350:36"));
    map.stop();
  }

  // --- the program's command line ------------------------------------------

  // The map follows its window, ticks sit at round values apart, any two
  // fields can be mapped, and its CSV is one threebody-map --resume continues.
  void mapWindowScalesMapsOtherAxesAndSaves() {
    FieldTexts fields = defaultFieldTexts();
    for (auto& [control, text] : fields)
      if (control == std::string("Ttdelta")) text = "0.05";
    MapWindow map(fields);
    map.show();
    MapView* view = map.view();
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 120000);
    // Ticks: round values, labels clear of each other.
    for (const std::vector<double>& ticks : {view->xTicks(), view->yTicks()}) {
      QVERIFY(ticks.size() >= 3);
      const double step = ticks[1] - ticks[0];
      const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
      QVERIFY2(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 ||
                   std::abs(mantissa - 5) < 1e-9,
               qPrintable(QString::number(step)));
    }
    const std::vector<double> xt = view->xTicks();
    QCOMPARE(xt.front(), 0.0);
    QVERIFY(xt.back() <= 350);
    const QRectF small = view->cellRect(0, 0);
    map.resize(map.width() * 2, map.height() * 2);
    QApplication::processEvents();
    QVERIFY(view->cellRect(0, 0).width() > 1.8 * small.width());
    QVERIFY(view->cellRect(0, 0).height() > 1.5 * small.height());

    // Refused axes leave the map as it was.
    QVERIFY(map.remap("m2=1:2:3", "m2=1:2:3").find("both m2") != std::string::npos);
    QVERIFY(!map.remap("m2=a:2:3", "tdelta=0.05:0.1:2").empty());
    QCOMPARE(map.grid().x.field, std::string("alpha"));
    QCOMPARE(map.remap("m2=500:1500:3", "tdelta=0.05:0.1:2"), std::string());
    QCOMPARE(map.cells().size(), size_t(6));
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 120000);
    // The point m2 1500, tdelta 0.1 is the batch tool's test at those values.
    QStringList expected = batchLines({"--m2", "1500", "--tdelta", "0.1", "--alpha-end", "0"});
    QCOMPARE(endNumber(map.cells()[5].outcome.end()), expected.value(0).right(2).trimmed().toInt());

    QTemporaryDir dir;
    const QString csv = dir.filePath("map.csv"), png = dir.filePath("map.png");
    QCOMPARE(map.saveCsv(csv), QString());
    QCOMPARE(map.saveImage(png), QString());
    QImage saved(png);
    QCOMPARE(saved.size(), map.size());
    QVERIFY(saved.text("Software").startsWith("threebody "));
    QVERIFY(saved.text("Map").startsWith("threebody-map --x 'm2=500:1500:3'"));
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    f.close();
    QCOMPARE(whole.count('\n'), 4 + 1 + 6); // the head's lines, the column names, a row a point
    // Cut after two rows, as a map stopped part-way leaves it; the map tool continues it.
    QByteArray cut = whole.left(static_cast<int>(whole.indexOf('\n', whole.indexOf("\n1,0,")) + 1));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(cut);
    f.close();
    // The command as a shell reads it, with this build's tool.
    QString command = QString::fromStdString(map.mapCommand());
    QVERIFY(command.startsWith("threebody-map "));
    command.replace(0, 13, MAP_EXE);
    QProcess tool;
    tool.start("/bin/sh", {"-c", command + " --csv '" + csv + "' --resume"});
    QVERIFY(tool.waitForFinished(120000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), whole);
    f.close();

    // The physical map, and the fixed step verified: its CSV is the map
    // tool's too, and the verified map dots the artefacts.
    map.setIntegration(1);
    QCOMPARE(map.remap("alpha=40:49:10", "init-v3=0.6:0.8:5"), std::string());
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 120000);
    QCOMPARE(map.saveCsv(csv), QString());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray physical = f.readAll();
    f.close();
    QVERIFY(physical.contains("\n# integrator reference\n"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(physical.left(static_cast<int>(physical.indexOf('\n', physical.indexOf("\n3,0,")) + 1)));
    f.close();
    command = QString::fromStdString(map.mapCommand()).replace(0, 13, MAP_EXE);
    QVERIFY(command.contains("--integrator reference"));
    QProcess physicalTool;
    physicalTool.start("/bin/sh", {"-c", command + " --csv '" + csv + "' --resume"});
    QVERIFY(physicalTool.waitForFinished(120000));
    QVERIFY2(physicalTool.exitCode() == 0, physicalTool.readAllStandardError().constData());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), physical);
    f.close();
    map.setIntegration(2);
    QCOMPARE(map.remap("alpha=40:49:10", "init-v3=0.6:0.8:5"), std::string());
    QTRY_VERIFY_WITH_TIMEOUT(map.finished(), 120000);
    int dotted = -1;
    for (size_t k = 0; k < map.cells().size(); ++k)
      if (map.cells()[k].mark == MapMark::Artefact) dotted = static_cast<int>(k);
    QVERIFY(dotted >= 0); // tdelta 0.05 is too coarse for some of these points
    // The legend names the dots in full: nothing is painted up to the view's right edge.
    const QImage painted = view->grab().toImage();
    for (int y = 0; y < painted.height(); ++y)
      QCOMPARE(painted.pixel(painted.width() - 1, y), painted.pixel(painted.width() - 1, 0));
    QTest::mouseMove(view, view->cellCentre(dotted % 10, dotted / 10));
    QTRY_VERIFY(map.readout().contains("artefact: a reference integration ends with code"));
    // The finished map's numbers are the map tool's for the same command.
    command = QString::fromStdString(map.mapCommand()).replace(0, 13, MAP_EXE);
    QVERIFY(command.contains("--verify"));
    QProcess summaryTool;
    summaryTool.start("/bin/sh", {"-c", command + " --summary '" + csv + ".json' >/dev/null"});
    QVERIFY(summaryTool.waitForFinished(120000));
    QVERIFY2(summaryTool.exitCode() == 0, summaryTool.readAllStandardError().constData());
    QFile summaryFile(csv + ".json");
    QVERIFY(summaryFile.open(QIODevice::ReadOnly));
    const QJsonObject summary = QJsonDocument::fromJson(summaryFile.readAll()).object();
    summaryFile.remove();
    const QJsonObject entropy = summary["basin_entropy"].toObject();
    QCOMPARE(entropy["boxes"].toInt(), 2);
    const QString counted =
        QString("50 points: %1 collision").arg(summary["outcomes"].toObject()["collision"].toInt());
    QVERIFY2(map.statusText().startsWith(counted), qPrintable(map.statusText()));
    const int artefacts = summary["verdicts"].toObject()["artefact"].toInt();
    QVERIFY2(map.statusText().contains(
                 QString(artefacts == 1 ? "; %1 artefact;" : "; %1 artefacts;").arg(artefacts)),
             qPrintable(map.statusText()));
    QVERIFY2(map.statusText().contains(QString("; basin entropy %1, boundary %2")
                                           .arg(entropy["S_b"].toDouble(), 0, 'f', 3)
                                           .arg(entropy["S_bb"].toDouble(), 0, 'f', 3)),
             qPrintable(map.statusText()));
  }

  void commandLineFillsTheFieldsWithTheBatchGrammar() {
    Launch launch;
    QCOMPARE(QString::fromStdString(
                 readLaunch({"--m2", "500", "--tdelta=0.01", "--pace", "200", "--start"}, launch)),
             QString());
    QCOMPARE(launch.fields,
             (std::vector<std::pair<std::string, std::string>>{{"Ttdelta", "0.01"}, {"Tm2", "500"}}));
    QCOMPARE(launch.pace, 200.0);
    QVERIFY(launch.start);
    for (const char* bad : {"--m2=abc", "--pace=0", "--pace=fast", "--start=yes", "--tdelta"}) {
      Launch l;
      QVERIFY2(!readLaunch({bad}, l).empty(), bad);
    }
    ProgramRun r = runProgram({"--m2", "12abc"}, {"QT_QPA_PLATFORM=offscreen"});
    QCOMPARE(r.status, 2);
    QVERIFY2(r.err.contains("--m2: \"12abc\" is not a number"), qPrintable(r.err));
  }

  void displayAndScreenshotFailuresAreMessages() {
    // A display nobody serves: the same message and status as no display.
    ProgramRun noServer = runProgram({}, {"QT_QPA_PLATFORM=", "DISPLAY=:737"});
    QCOMPARE(noServer.status, 1);
    QVERIFY2(noServer.err.startsWith("threebody: cannot open the display :737"), qPrintable(noServer.err));
    ProgramRun unset = runProgram({}, {"QT_QPA_PLATFORM=", "DISPLAY="});
    QCOMPARE(unset.status, 1);
    QVERIFY(unset.err.contains("threebody-batch"));

    ProgramRun shots = runProgram({"--screenshots", "/dev/null/pictures"}, {"QT_QPA_PLATFORM=offscreen"});
    QCOMPARE(shots.status, 1);
    QVERIFY2(shots.err.contains("cannot write into the folder /dev/null/pictures"), qPrintable(shots.err));

    // The display tried is the one -display names.
    ProgramRun named = runProgram({"-display", ":738"}, {"QT_QPA_PLATFORM=", "DISPLAY="});
    QCOMPARE(named.status, 1);
    QVERIFY2(named.err.startsWith("threebody: cannot open the display :738"), qPrintable(named.err));

    // Pictures too large for a file-size limit (a nearly full disk): each
    // failure is named, every file left is a whole picture, no temporary stays.
    QTemporaryDir dir;
    QProcess proc;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("QT_QPA_PLATFORM", "offscreen");
    proc.setProcessEnvironment(e);
    proc.start(
        "sh",
        {"-c",
         QString("ulimit -f 30; trap '' XFSZ; exec '%1' --screenshots '%2'").arg(THREEBODY_EXE, dir.path())});
    QVERIFY(proc.waitForFinished(60000));
    QCOMPARE(proc.exitCode(), 1);
    const QString err = QString::fromUtf8(proc.readAllStandardError());
    const QStringList all{"examples-menu.png",      "control-form.png",          "display-form.png",
                          "print-form.png",         "display-form-selected.png", "print-form-selected.png",
                          "display-form-paced.png", "control-form-paced.png"};
    int failed = 0;
    for (const QString& name : all) {
      QFile f(dir.path() + "/" + name);
      if (!f.exists()) {
        ++failed;
        // The paced pictures come after the others, and only when those were saved.
        if (!name.contains("paced"))
          QVERIFY2(err.contains(dir.path() + "/" + name), qPrintable(name + ": " + err));
        continue;
      }
      QVERIFY(f.open(QIODevice::ReadOnly));
      QVERIFY2(f.readAll().endsWith(QByteArray("IEND\xae\x42\x60\x82", 8)), qPrintable(name));
    }
    QVERIFY2(failed >= 2, qPrintable(err)); // the print form's pictures are the largest
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), all.size() - failed);
  }

  // Under a window manager (the test entry that runs openbox on Xvfb): the
  // frames touch and nothing overlaps or leaves the screen.
  void windowsDoNotOverlapUnderAWindowManager() {
    if (QGuiApplication::platformName() != "xcb") QSKIP("needs an X server with a window manager");
    Program p;
    QWidget* control = p.forms.window(FormId::Form1);
    QWidget* display = p.forms.window(FormId::Form2);
    QWidget* print = p.forms.window(FormId::Form3);
    QTRY_VERIFY_WITH_TIMEOUT(control->frameGeometry() != control->geometry(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(display->frameGeometry().top(), control->frameGeometry().bottom() + 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(print->frameGeometry().left(), control->frameGeometry().right() + 1, 5000);
    QCOMPARE(display->frameGeometry().left(), control->frameGeometry().left());
    QCOMPARE(print->frameGeometry().top(), control->frameGeometry().top());
    QRect screen = control->screen()->availableGeometry();
    QWidget* all[] = {control, display, print};
    for (int i = 0; i < 3; ++i) {
      QVERIFY(screen.contains(all[i]->frameGeometry()));
      for (int j = i + 1; j < 3; ++j)
        QVERIFY(!all[i]->frameGeometry().intersects(all[j]->frameGeometry()));
    }
  }

  void longSeriesKeepsThePlotAndMemoryFlat() {
    Program p;
    p.type("Talphaend", "700");
    p.type("Ttdelta", "0.005");
    QSize plotSize;
    long first = 0;
    int tests = 0;
    p.exp.onTestEnd = [&](const TestReport& r) {
      p.forms.recordTest(r);
      // From the 19th test on, each new line replaces the last label's; the
      // pictures are kept compressed.
      if (++tests == 19) {
        plotSize = p.forms.plot()->image().size();
        first = residentBytes();
      }
    };
    p.click("CommandStart");
    QCOMPARE(tests, 36);
    QCOMPARE(p.forms.plot()->image().size(), plotSize);
#if !defined(__SANITIZE_ADDRESS__) // its quarantine keeps freed memory resident on purpose
    QVERIFY(residentBytes() - first < 5L * 1024 * 1024);
#endif
    QVERIFY(p.line(18).startsWith("Alpha 700"));
  }
};

int main(int argc, char** argv) {
  // Offscreen unless a test entry chose a real X server.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // What the desktop's locale asked for, before the program shuts it out.
  gLocaleDecimalPoint = std::localeconv()->decimal_point;
  useFixedNumberFormat();
  GuiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "gui_test.moc"
