// threebody: the desktop program. Three windows: the control form with the
// parameters and read-outs, the display form with the trails, and the print
// form with one result line per test.
#include "forms/app.h"
#include "forms/qt/qt_forms.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <cstdio>

namespace {

// Runs one series with the fields as they stand, then saves a picture of each
// window into `dir` and quits (the README's pictures).
void takeScreenshots(tb::QtForms& forms, tb::Application& app, const QString& dir) {
  app.CommandStart_Click();
  QApplication::processEvents();
  QDir().mkpath(dir);
  const char* names[] = {"control-form.png", "display-form.png", "print-form.png"};
  for (int i = 0; i < 3; ++i)
    forms.window(static_cast<tb::FormId>(i))->grab().save(dir + "/" + names[i]);
  QApplication::quit();
}

// The command line: --help and --version are answered without a display.
void describeOptions(QCommandLineParser& parser, const QCommandLineOption& shots) {
  parser.setApplicationDescription("Gravitational motion of three point masses: a pair circles its centre\n"
                                   "of mass while a third body falls in. Without a display, use\n"
                                   "threebody-batch for the same series headless.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(shots);
}

} // namespace

int main(int argc, char** argv) {
  QCommandLineOption shots("screenshots", "Run one series, save the windows as PNGs into DIR, quit.", "DIR");
  for (int i = 1; i < argc; ++i) {
    QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == "--help" || arg == "-h" || arg == "--version" || arg == "-v") {
      QCoreApplication core(argc, argv);
      QCoreApplication::setApplicationName("threebody");
      QCoreApplication::setApplicationVersion(THREEBODY_VERSION);
      QCommandLineParser parser;
      describeOptions(parser, shots);
      parser.process(core);
      return 0;
    }
  }

  // Without a display the toolkit would abort; say what to do instead.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "threebody: no display found (DISPLAY and WAYLAND_DISPLAY are unset). Run "
                         "threebody-batch for the same series headless.\n");
    return 1;
  }
  QApplication qapp(argc, argv);
  QApplication::setApplicationName("threebody");
  QApplication::setApplicationVersion(THREEBODY_VERSION);
  QGuiApplication::setDesktopFileName("threebody");
  QApplication::setWindowIcon(QIcon::fromTheme("threebody"));
  QCommandLineParser parser;
  describeOptions(parser, shots);
  parser.process(qapp);

  tb::QtForms forms;
  tb::Experiment experiment(forms);
  tb::Application app(forms, experiment);
  experiment.onTestEnd = [&](const tb::TestReport& r) { forms.recordTest(r); };
  forms.connectHandlers([&] { app.CommandStart_Click(); }, [&] { app.CommandEnd_Click(); });
  app.Form_Load();
  forms.show(tb::FormId::Form1);
  if (parser.isSet(shots)) QTimer::singleShot(200, [&] { takeScreenshots(forms, app, parser.value(shots)); });
  return QApplication::exec();
}
