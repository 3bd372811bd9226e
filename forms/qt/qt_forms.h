// The forms runtime on Qt widgets: the control form with its 39 controls, the
// display form painting from a retained image, and the print form with its 19
// result labels. Beyond the runtime's operations it keeps each test's picture,
// paces a series for watching, and places the windows by their real frames.
#pragma once

#include "display/palette.h"
#include "forms/app.h"
#include "forms/design.h"
#include "forms/examples.h"
#include "forms/qt/graph_window.h"
#include "forms/qt/map_window.h"
#include "forms/qt/results_table.h"
#include "forms/qt/widgets.h"
#include "runtime/forms_runtime.h"
#include "sim/experiment.h"
#include "sim/trace.h"

#include <QAction>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMargins>
#include <QMenu>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tb {

// Numbers in the windows are written with "." whatever the desktop's language:
// shuts the C library's and Qt's number locale out for the whole program.
// Call once, right after the QApplication is made (it sets the C locale from
// the environment).
void useFixedNumberFormat();

// Writes `data` to `path` whole or not at all (a temporary file renamed
// over it when complete). Returns an empty string, or a message that names
// the file and says what went wrong.
QString saveWhole(const QString& path, const QByteArray& data);

// The logic's twips and the windows' pixels.
inline constexpr int kPx = static_cast<int>(kTwipsPerPixel);
inline int twipsToPixels(float twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }
// Drawing-area pixels for an outer size in twips, never negative.
inline int clientPixels(float outer, float frame) { return std::max(0, twipsToPixels(outer - frame)); }

class QtForms : public QObject, public FormsRuntime {
public:
  QtForms();
  ~QtForms() override;

  QWidget* window(FormId f) const { return windows_[static_cast<int>(f)]; }
  // The control form's menu bar, above the client area with the controls.
  QMenuBar* menuBar() const { return controlWindow_->menuBar(); }
  QMenu* examplesMenu() const { return actions_.examples; }
  PlotWidget* plot() const { return plot_; }
  QWidget* control(const QString& name) const { return controls_.value(name); }
  ResultLabel* lmesgLabel(int i) const { return lmesg_[static_cast<size_t>(i)]; }

  // Connects the buttons and the windows' close to the application's
  // handlers; the windows ask it whether a series runs.
  void connectHandlers(Application& app);
  // Follows the experiment's tests: each finished one is recorded (its line,
  // picture and graphs), and its display steps sampled for the graphs.
  void followExperiment(Experiment& experiment);
  // A display step's sample of the running test, for View > Graphs.
  void addTraceSample(const TraceSample& sample);
  // View > Graphs: the running test's graphs as it goes, or an earlier test's.
  void showGraphs();
  GraphWindow* graphWindow() const { return graphs_.get(); }
  // The samples kept of the series' test number `test` (from 0).
  const std::vector<TraceSample>& testTrace(int test) const { return traces_.at(static_cast<size_t>(test)); }

  // Places the display form below the control form and the print form to its
  // right, frames touching, by the frame sizes the window system reports; it
  // does so again as the window manager adds its frames after start-up.
  void arrangeWindows();

  // Watching a series: 0 runs at full speed; a positive pace runs each test
  // at that many simulated time units per wall-clock second. simulatedTime
  // gives the running test's simulated time (nstep * tdelta).
  void setPace(double unitsPerSecond);
  double pace() const { return pace_; }
  std::function<double()> simulatedTime;
  // The paces the Speed menu offers (0 = full speed).
  static constexpr double kPaces[] = {0, 50, 200, 1000};

  float left(FormId f) override;
  float top(FormId f) override;
  float width(FormId f) override;
  float height(FormId f) override;
  void setLeft(FormId f, float v) override;
  void setTop(FormId f, float v) override;
  void setWidth(FormId f, float v) override;
  void setHeight(FormId f, float v) override;
  float scaleWidth(FormId f) override;
  float scaleHeight(FormId f) override;
  void setScaleModePixels(FormId f) override { pixels_[static_cast<int>(f)] = true; }
  void show(FormId f) override;
  void cls(FormId f) override;
  void pset(FormId f, float x, float y, uint32_t colour) override;
  uint32_t bodyColour(int body, uint32_t colour) override { return trailColour(palette_, body, colour); }
  std::string text(std::string_view control) override;
  void setText(std::string_view control, const std::string& s) override;
  std::string caption(std::string_view control) override;
  void setCaption(std::string_view control, const std::string& s) override;
  void setLmesgCaption(int16_t index, const std::string& s) override;
  void setLmesgGeometry(int16_t index, int left, int top, int width, int height) override;
  uint32_t doEvents() override;
  void end() override;
  bool ended() const override { return ended_; }
  double timer() override;
  void fatalError(const std::string& message) override;

  // Keeps each finished test of the current series for Copy lines and Save
  // results (a new series starts a new list), and the test's picture for its
  // result line.
  void recordTest(const TestReport& report);
  // Run > Verify outcomes: each finished test is judged by the reference
  // integration on a worker thread, and its line marked with the verdict.
  void setVerifyOutcomes(bool on);
  bool verifyOutcomes() const { return verify_; }
  // Verdicts still being worked out.
  int verificationsRunning() const { return verificationsRunning_; }
  // Shows the picture of the test whose line is in Lmesg(index) and marks the
  // line; showLivePlot returns to what the engine draws.
  void showTestPicture(int index);
  // Shows the picture of the series' test number `test` (from 0); false when
  // it is not kept.
  bool showTest(int test);
  // View > Results table: every test of the last series.
  void showResultsTable();
  ResultsTable* resultsTable() const { return resultsTable_.get(); }
  void showLivePlot();
  int shownTest() const { return shownTest_; }
  // "Outcome map..." in the control form's context menu: the current fields
  // mapped over alpha and init v3 in a window of its own. A click on a cell
  // puts its alpha and init v3 into the fields and runs that test.
  void openMap();
  MapWindow* mapWindow() const { return map_.get(); }

  // Paints what the series drew, at the end of a test or a series.
  void paintPlotNow() { plot_->paintNow(); }
  const std::vector<TestReport>& results() const { return results_; }
  // The result lines of the last series, one per line (every test, also
  // those beyond the nineteenth label).
  QString resultLines() const;
  void copyLines() const;
  // The picture the display form shows.
  const QImage& shownImage() const { return plot_->shown(); }
  // Each returns an empty string on success, else what went wrong.
  QString saveImage(const QString& path, bool withOverlay = true) const;
  // What the overlay over the plot shows, and whether it is shown.
  void setOverlayState(std::function<PlotOverlay()> state) { plot_->overlayState = std::move(state); }
  void showOverlay(bool on);
  // Run > Pause: holds the running series at its next yield (the windows
  // stay live, Stop and End answer); off, it goes on. Run > Step, while
  // paused: one display step more, then held again. The lines are the same
  // as without pausing: only the wall-clock time changes.
  void setPaused(bool on);
  void stepPaused();
  bool paused() const { return paused_; }
  // Examples > an example: its fields typed in (not while a series runs),
  // what to watch shown by the Start button and kept in exampleNote().
  void useExample(const Example& e);
  // Examples > Reset fields: every field back to its default.
  void resetFields();
  const QString& exampleNote() const { return exampleNote_; }
  // View > Full screen (F11; Esc leaves it): the display form fills the
  // screen and keeps that size at Start.
  void setFullScreen(bool on);
  // Whether a Start lays the drawing area out inside the display form as it
  // stands (maximised, full screen, or sized by the person) rather than
  // reshaping the window by the plot's arithmetic.
  bool keepsDisplaySize() const;
  // The drawing area the next Start maps the plot onto, in pixels.
  QSize displayArea() const;
  // View > Thick trails: every dot drawn 3 x 3 pixels, for a projector. The
  // picture of a test is drawn so from the next dot on.
  void setThickTrails(bool on);
  bool thickTrails() const { return thick_; }
  // View > Colour-blind safe palette: the trails from the next dot on, and
  // the legend and the bodies' rings at once.
  void setTrailPalette(TrailPalette palette);
  TrailPalette trailPalette() const { return palette_; }
  // "True proportions" in the display form's menu: called with the choice.
  std::function<void(bool)> onTrueProportions;
  // F1: what every field, read-out and end code means; the About box.
  void showHelp();
  QWidget* helpWindow() const { return help_.get(); }
  void showAbout();
  bool overlayShown() const { return plot_->overlayOn; }
  QString saveResults(const QString& path) const;

  // Wall time between two rounds of event processing during a series.
  std::chrono::microseconds pumpInterval{15000};
  // Yields the engine may skip between two looks at the clock.
  uint32_t yieldBatch = 4096;

  // The parameter fields whose text is not wholly a number, and how each
  // reads (empty for the others).
  const std::string& misread(const char* control) { return misread_[control]; }

private:
  static bool isParameterField(std::string_view control);
  QSize largestClient(FormId f) const;
  static void fitReadout(QLineEdit* e);
  void markField(const ParameterField& f);
  RunState runState() const { return app_ ? app_->state() : RunState::Idle; }
  QWidget* named(std::string_view control) const;
  void buildControlForm();
  void buildPrintForm();
  void addMenus();
  void addSpeedMenu();
  void addWindowActions();
  void holdPace();
  bool eventFilter(QObject* watched, QEvent* event) override;

  void addMenuBar();

  // The program's actions: the context menus and the control form's menu bar
  // offer the same ones.
  struct Actions {
    QAction *saveImage = nullptr, *savePlain = nullptr, *overlay = nullptr, *proportions = nullptr;
    QAction *copyLines = nullptr, *saveResults = nullptr, *map = nullptr, *results = nullptr;
    QAction *start = nullptr, *stop = nullptr, *showForms = nullptr, *help = nullptr, *about = nullptr,
            *quit = nullptr, *verify = nullptr, *reset = nullptr, *pause = nullptr, *step = nullptr;
    QAction *fullScreen = nullptr, *thick = nullptr, *palette = nullptr, *graphs = nullptr;
    QMenu *speed = nullptr, *examples = nullptr;
  } actions_;

  std::array<FormWindow*, 3> windows_{};
  ControlWindow* controlWindow_ = nullptr;
  PlotWidget* plot_ = nullptr;
  QHash<QString, QWidget*> controls_;
  std::array<ResultLabel*, 19> lmesg_{};
  int labelTest(int label) const;
  std::vector<QByteArray> pictures_;                 // each test's picture as PNG, empty once dropped
  std::vector<std::optional<PlotOverlay>> overlays_; // the overlay each test ended with
  size_t pictureBytes_ = 0;
  static constexpr size_t kMaxPictureBytes = 256u << 20;
  // The running test's samples, and each finished test's; the oldest go
  // first should a very long series fill kMaxTraceBytes.
  Trace liveTrace_;
  bool liveTraceEnded_ = false; // the next sample starts a new test's
  std::vector<std::vector<TraceSample>> traces_;
  size_t traceBytes_ = 0;
  static constexpr size_t kMaxTraceBytes = 64u << 20;
  std::unique_ptr<GraphWindow> graphs_;
  void showTestGraphs(int test);
  void listGraphTests();
  std::unique_ptr<ResultsTable> resultsTable_;
  int shownTest_ = -1;
  double pace_ = 0;
  double paceStartWall_ = 0; // wall time at which the running test's time 0 is due
  double lastSimTime_ = 0;
  uint32_t pacedBatch_ = 1;
  std::vector<QAction*> speedActions_;
  std::chrono::steady_clock::time_point stopClickedAt_{};
  std::array<QMargins, 3> frames_{}; // the frames last seen around each window
  std::unique_ptr<MapWindow> map_;
  std::vector<FieldTexts> fieldsBeforePick_; // what each click on the map changed, to put back
  std::array<bool, 3> pixels_{};
  QSize requestedDisplay_; // the drawing area the plot's arithmetic last asked for
  QSize placedDisplay_;    // the display form's size as this program last set it
  bool thick_ = false;
  TrailPalette palette_ = TrailPalette::Document;
  QString exampleNote_;
  bool paused_ = false, stepOnce_ = false;
  uint32_t holdWhilePaused();
  std::vector<TestReport> results_;
  // Each test's verdict once its reference came back; verifyAsked_: some
  // test of the series was sent to be verified, so saving writes the
  // verify columns.
  std::vector<std::optional<VerifiedTest>> verified_;
  bool verifyAsked_ = false;
  std::chrono::steady_clock::time_point lastPump_{};
  Application* app_ = nullptr; // whose buttons these are
  std::unique_ptr<QDialog> help_;
  FieldTexts seriesFields_; // the fields as the last series started
  std::map<std::string, std::string> misread_;
  bool ended_ = false;
  bool verify_ = false;
  int series_ = 0; // counts the series, so that a late verdict finds its own
  int verificationsRunning_ = 0;
  // Raised when a new series starts or the windows close: the last series'
  // reference integrations end at their next step.
  std::shared_ptr<std::atomic<int>> stopVerifying_ = std::make_shared<std::atomic<int>>(0);
  void verifyInBackground(const TestReport& report);
};

} // namespace tb
