// threebody: the desktop program. Three windows: the control form with the
// parameters and read-outs, the display form with the trails, and the print
// form with one result line per test.
#include "apps/batch_options.h"
#include "apps/exit_status.h"
#include "apps/launch.h"
#include "forms/app.h"
#include "forms/qt/map_window.h"
#include "forms/qt/qt_forms.h"
#include "forms/qt/words.h"
#include "runtime/controls.h"
#include "runtime/numeric.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Until the windows exist, a display that cannot be opened is reported the
// way a missing one is, instead of the toolkit's abort.
bool gStarted = false;
std::string gDisplayWarning;
std::string gDisplay; // the display tried: -display's, else $DISPLAY
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (gStarted || type == QtDebugMsg || type == QtInfoMsg) {
    if (type != QtDebugMsg && type != QtInfoMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) std::abort();
    return;
  }
  if (type != QtFatalMsg) {
    gDisplayWarning = message.toStdString();
    return;
  }
  const std::string& display = gDisplay;
  std::fprintf(stderr,
               "threebody: cannot open the display%s%s%s%s. Check DISPLAY (or -display), or run "
               "threebody-batch for the same series headless.\n",
               display.empty() ? "" : " ", display.c_str(), gDisplayWarning.empty() ? "" : ": ",
               gDisplayWarning.c_str());
  std::fflush(stderr);
  _exit(tb::kExitNoDisplay);
}

// Saves one window's picture; false (with a message) when it cannot be written.
bool saveWindow(QWidget* w, const QString& path) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QString error =
      w->grab().save(&buffer, "PNG") ? tb::saveWhole(path, png) : "Could not encode " + path + " as PNG.";
  if (error.isEmpty()) return true;
  std::fprintf(stderr, "threebody: --screenshots: %s\n", qPrintable(error));
  return false;
}

// The display form for a room: full screen, thick trails in the colour-blind
// safe palette, one test of the default fields.
bool pictureForARoom(tb::QtForms& forms, const QString& dir) {
  forms.resetFields();
  forms.setText(tb::controls::Talphastr, "40");
  forms.setText(tb::controls::Talphaend, "40");
  forms.setTrailPalette(tb::TrailPalette::ColourBlindSafe);
  forms.setThickTrails(true);
  forms.setFullScreen(true);
  QElapsedTimer settle;
  settle.start();
  while (!forms.window(tb::FormId::Form2)->isFullScreen() && settle.elapsed() < 2000)
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  static_cast<QPushButton*>(forms.control(tb::controls::CommandStart))->click();
  QApplication::processEvents();
  return saveWindow(forms.window(tb::FormId::Form2), dir + "/display-form-full-screen.png");
}

// The middle of the most mixed region a quarter of the map across: where
// the most neighbouring cells ended differently (the first such region from
// the bottom left when several tie).
std::pair<size_t, size_t> mostMixedRegion(const tb::MapWindow& map) {
  const size_t n = map.grid().columns(), m = map.grid().y.values.size();
  const size_t w = std::max<size_t>(1, n / 4), h = std::max<size_t>(1, m / 4);
  // Prefix sums of the cells whose right or upper neighbour ended otherwise.
  std::vector<int> sum((n + 1) * (m + 1), 0);
  for (size_t j = 0; j < m; ++j)
    for (size_t i = 0; i < n; ++i) {
      const tb::MapOutcome o = map.cells()[j * n + i].outcome;
      const bool meets = (i + 1 < n && map.cells()[j * n + i + 1].outcome != o) ||
                         (j + 1 < m && map.cells()[(j + 1) * n + i].outcome != o);
      sum[(j + 1) * (n + 1) + i + 1] =
          (meets ? 1 : 0) + sum[j * (n + 1) + i + 1] + sum[(j + 1) * (n + 1) + i] - sum[j * (n + 1) + i];
    }
  std::pair<size_t, size_t> best{n / 2, m / 2};
  int most = -1;
  for (size_t j = 0; j + h <= m; ++j)
    for (size_t i = 0; i + w <= n; ++i) {
      const int count = sum[(j + h) * (n + 1) + i + w] - sum[j * (n + 1) + i + w] -
                        sum[(j + h) * (n + 1) + i] + sum[j * (n + 1) + i];
      if (count > most) most = count, best = {i + w / 2, j + h / 2};
    }
  return best;
}

// The physical map of the default ranges, then three zooms into a boundary,
// each a quarter of the view before across, into its most mixed region;
// each view saved once it is complete. Then the display form for a room,
// and quits.
void pictureTheZooms(tb::QtForms& forms, tb::MapWindow* map, const QString& dir) {
  map->resize(1000, 720);
  map->setIntegration(1);
  map->showView("alpha=0:360:121", "init-v3=0.5:1.5:61");
  auto* wait = new QTimer(map);
  auto step = std::make_shared<int>(0);
  auto saved = std::make_shared<bool>(true);
  auto coarse = std::make_shared<bool>(false);
  QObject::connect(wait, &QTimer::timeout, [&forms, map, wait, dir, step, saved, coarse] {
    // The first view once, while it is still coarse.
    if (!*coarse && map->computedPoints() > 0 && map->computedPoints() < map->cells().size() / 4) {
      *coarse = true;
      *saved = saveWindow(map, dir + "/map-coarse.png") && *saved;
    }
    if (!map->finished()) return;
    map->view()->onHover(-1, -1);
    QApplication::processEvents();
    *saved = saveWindow(map, dir + QString("/map-zoom-%1.png").arg(*step)) && *saved;
    if ((*step)++ < 3) {
      const auto [i, j] = mostMixedRegion(*map);
      const tb::MapAxis &x = map->grid().x, &y = map->grid().y;
      const double w = (x.values.back() - x.values.front()) / 8, h = (y.values.back() - y.values.front()) / 8;
      map->zoomTo(x.values[i] - w, x.values[i] + w, y.values[j] - h, y.values[j] + h);
      return;
    }
    wait->stop();
    map->hide();
    const bool room = pictureForARoom(forms, dir);
    forms.end();
    QApplication::exit(room && *saved ? 0 : 1);
  });
  wait->start(100);
}

// Opens the outcome map of the fields as they stand and, once it is complete,
// saves it with the pointer's read-out over one cell; then the zooms.
void pictureTheMap(tb::QtForms& forms, const QString& dir) {
  forms.openMap();
  tb::MapWindow* map = forms.mapWindow();
  auto* wait = new QTimer(map);
  QObject::connect(wait, &QTimer::timeout, [&forms, map, wait, dir] {
    if (!map->finished()) return;
    wait->stop();
    map->view()->onHover(8, 4); // alpha 80, init v3 0.9
    map->view()->mark(8, 4);
    QApplication::processEvents();
    if (!saveWindow(map, dir + "/map-window.png")) {
      forms.end();
      QApplication::exit(1);
      return;
    }
    map->view()->mark(-1, -1);
    pictureTheZooms(forms, map, dir);
  });
  wait->start(100);
}

// Runs one series with the fields as they stand and saves each window, the
// results table and the help; then shows an earlier test's picture, a paced
// test half-way and the outcome map (the README's pictures), and quits with
// status 1 if any picture could not be written.
void takeScreenshots(tb::QtForms& forms, const QString& dir) {
  if (!QDir().mkpath(dir) || access(QFile::encodeName(dir).constData(), W_OK) != 0) {
    std::fprintf(stderr, "threebody: --screenshots: cannot write into the folder %s\n", qPrintable(dir));
    QApplication::exit(1);
    return;
  }
  auto* start = static_cast<QPushButton*>(forms.control(tb::controls::CommandStart));
  // The Examples menu, open below its title.
  bool ok = true;
  {
    QMenu* examples = forms.examplesMenu();
    QWidget* form = forms.window(tb::FormId::Form1);
    examples->popup(form->mapToGlobal(forms.menuBar()->actionGeometry(examples->menuAction()).bottomLeft()));
    QApplication::processEvents();
    ok = saveWindow(examples, dir + "/examples-menu.png");
    examples->hide();
  }
  start->click();
  QApplication::processEvents();
  // Each picture is tried, and each failure named.
  ok = saveWindow(forms.window(tb::FormId::Form1), dir + "/control-form.png") && ok;
  ok = saveWindow(forms.window(tb::FormId::Form2), dir + "/display-form.png") && ok;
  ok = saveWindow(forms.window(tb::FormId::Form3), dir + "/print-form.png") && ok;
  forms.showResultsTable();
  forms.resultsTable()->resize(900, 250);
  QApplication::processEvents();
  ok = saveWindow(forms.resultsTable(), dir + "/results-table.png") && ok;
  forms.resultsTable()->hide();
  forms.showHelp();
  QApplication::processEvents();
  ok = saveWindow(forms.helpWindow(), dir + "/help.png") && ok;
  forms.helpWindow()->hide();
  // An earlier test, chosen by a click on its line.
  forms.showTestPicture(3);
  QApplication::processEvents();
  ok = saveWindow(forms.window(tb::FormId::Form2), dir + "/display-form-selected.png") && ok;
  ok = saveWindow(forms.window(tb::FormId::Form3), dir + "/print-form-selected.png") && ok;
  if (!ok) {
    QApplication::exit(1);
    return;
  }
  // One test at 200 time units a second, pictured half-way: its time is 1190.
  forms.setText(tb::controls::Talphastr, "0");
  forms.setText(tb::controls::Talphaend, "0");
  forms.setPace(200);
  forms.showGraphs();
  QTimer::singleShot(2975, [&forms, dir] {
    bool saved = saveWindow(forms.window(tb::FormId::Form2), dir + "/display-form-paced.png");
    saved = saveWindow(forms.window(tb::FormId::Form1), dir + "/control-form-paced.png") && saved;
    saved = saveWindow(forms.graphWindow(), dir + "/graphs.png") && saved;
    forms.graphWindow()->hide();
    if (!saved) {
      forms.end();
      QApplication::exit(1);
      return;
    }
    // The map of the default fields, once the paced test is over.
    forms.setPace(0);
    QTimer::singleShot(0, [&forms, dir] { pictureTheMap(forms, dir); });
  });
  start->click();
}

// What the overlay shows of the experiment now: the bodies where the plot
// puts them (relative to the pair's centre of mass, y turned over, as the
// trails are drawn), the scale, the time and alpha, and a collision.
tb::PlotOverlay overlayOf(const tb::SimState& s, bool running) {
  tb::PlotOverlay o;
  const double extent = s.plot.xmax - s.plot.xmin, total = s.mass[0] + s.mass[1];
  o.running = (running || s.nstep > 0) && extent != 0 && total != 0 && s.nstars >= 1;
  if (!o.running) return o;
  const double xcm = s.xpos[0] + (s.xpos[1] - s.xpos[0]) * s.mass[1] / total;
  const double ycm = s.ypos[0] + (s.ypos[1] - s.ypos[0]) * s.mass[1] / total;
  for (int b = 0; b < 3; ++b) {
    double x = 0, y = 0;
    tb::PointCalc(s.plot, s.xpos[b] - xcm, ycm - s.ypos[b], x, y);
    o.body[b] = QPointF(x, y);
    o.present[b] = std::isfinite(x) && std::isfinite(y) && (b < 2 || s.nstars >= 2);
  }
  auto qb = [](int n) {
    const uint32_t c = tb::QBColor(n);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  };
  const bool odd = s.rev % 2 == 1;
  o.colour[0] = qb(odd ? 4 : 12);
  o.colour[1] = qb(odd ? 2 : 10);
  o.colour[2] = qb(0);
  o.pixelsPerUnit = s.plot.xpixels / extent;
  if (s.plot.ymax != s.plot.ymin) o.pixelsPerUnitY = s.plot.ypixels / (s.plot.ymax - s.plot.ymin);
  o.time = static_cast<double>(s.nstep) * s.tdelta;
  o.collided = s.endcode == tb::EndCode::Collision;
  return o;
}

} // namespace

// The windows, filled from the command line, until the program ends.
int runWindows(const tb::Launch& launch) {
  tb::QtForms forms;
  tb::Experiment experiment(forms);
  tb::Application app(forms, experiment);
  forms.followExperiment(experiment);
  forms.connectHandlers(app);
  forms.setOverlayState([&] {
    tb::PlotOverlay o = overlayOf(experiment.state(), app.state() != tb::RunState::Idle);
    // The angle of the test drawn, as its read-out shows it: after a Stop the
    // driver has already stepped to the next angle.
    o.alpha = tb::Val(forms.text(tb::controls::Talpha));
    return o;
  });
  forms.showOverlay(!launch.noOverlay);
  forms.setVerifyOutcomes(launch.verify);
  forms.onTrueProportions = [&](bool on) { experiment.trueProportions = on; };
  app.Form_Load();
  for (const auto& [control, text] : launch.fields)
    forms.setText(control, text);
  forms.setPace(launch.pace);
  forms.show(tb::FormId::Form1);
  if (!launch.screenshots.empty())
    QTimer::singleShot(200, [&] { takeScreenshots(forms, QString::fromStdString(launch.screenshots)); });
  else if (launch.start)
    QTimer::singleShot(
        0, [&] { static_cast<QPushButton*>(forms.control(tb::controls::CommandStart))->click(); });
  return QApplication::exec();
}

// --help and --version are answered without a display.
int answerWithoutDisplay(const tb::Launch& launch) {
  if (launch.help)
    std::fputs(tb::launchUsage().c_str(), stdout);
  else
    std::printf("threebody %s\n", THREEBODY_VERSION);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

int main(int argc, char** argv) {
  tb::Launch launch;
  if (std::string error = tb::readLaunch(std::vector<std::string>(argv + 1, argv + argc), launch);
      !error.empty()) {
    std::fprintf(stderr, "threebody: %s\n", error.c_str());
    return tb::kExitBadOption;
  }
  if (launch.help || launch.version) return answerWithoutDisplay(launch);

  // Without a display the toolkit would abort; say what to do instead.
  const bool toolkitChooses =
      std::find_if(launch.toolkit.begin(), launch.toolkit.end(), [](const std::string& a) {
        return a == "-display" || a == "-platform";
      }) != launch.toolkit.end();
  if (!toolkitChooses && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "threebody: no display found (DISPLAY and WAYLAND_DISPLAY are unset). Run "
                         "threebody-batch for the same series headless.\n");
    return tb::kExitNoDisplay;
  }
  gDisplay = launch.display.empty() ? qEnvironmentVariable("DISPLAY").toStdString() : launch.display;
  qInstallMessageHandler(startupMessages);
  // The toolkit sees only its own options.
  std::vector<char*> qtArgs{argv[0]};
  for (auto& a : launch.toolkit)
    qtArgs.push_back(const_cast<char*>(a.c_str()));
  int qtArgc = static_cast<int>(qtArgs.size());
  qtArgs.push_back(nullptr);
  QApplication qapp(qtArgc, qtArgs.data());
  gStarted = true;
  qInstallMessageHandler(nullptr);
  tb::useFixedNumberFormat();
  tb::useDesktopLanguage();
  QApplication::setApplicationName("threebody");
  QApplication::setApplicationVersion(THREEBODY_VERSION);
  QGuiApplication::setDesktopFileName("threebody");
  QApplication::setWindowIcon(QIcon::fromTheme("threebody"));
  return runWindows(launch);
}
