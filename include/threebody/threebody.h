/// @file threebody.h
/// The threebody library: gravitational scattering of a third body on a
/// circling pair, computed exactly as the threebody tools and windows compute
/// it (the same result lines, bit for bit).
///
/// A pair of bodies circles its centre of mass; a third body falls in from
/// far out. An Experiment holds the seven parameters; runSeries() runs one
/// test per start angle of the pair, runTest() one test with its trajectory,
/// runMap() an outcome map over two parameters. Every call keeps its state to
/// itself: several may run at once on different threads. A StopToken ends a
/// call early; it then returns what it had finished.
///
/// @code
/// threebody::Experiment e;
/// e.set("tdelta", "0.01");
/// threebody::runSeries(e, {}, [](const threebody::TestResult& t) { std::puts(t.line.c_str()); });
/// @endcode
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__GNUC__)
#define THREEBODY_API __attribute__((visibility("default")))
#else
#define THREEBODY_API
#endif

namespace threebody {

/// The library's version, "major.minor.patch".
THREEBODY_API const char* version();

/// An experiment the engine refuses, or a call given what it cannot use.
/// what() is the message the tools print for it: what is wrong, and what to
/// change.
class THREEBODY_API Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// A request to stop, shared by the caller and a running call. Copies share
/// one request. requestStop() only increments an atomic counter, so a signal
/// handler may call it; a call that sees it ends its running tests where they
/// stand and returns what it had finished.
class THREEBODY_API StopToken {
public:
  StopToken();
  /// A token that watches a counter the caller keeps (a signal handler's, say)
  /// instead of one of its own; the counter must outlive every copy.
  static StopToken watching(std::atomic<int>& counter);
  /// Asks every call holding this token (or a copy) to stop.
  void requestStop() const noexcept;
  /// Whether a stop was asked for.
  bool stopRequested() const noexcept;
  /// The counter the engine watches: a change stops it.
  const std::atomic<int>* counter() const noexcept { return counter_.get(); }

private:
  std::shared_ptr<std::atomic<int>> counter_;
};

/// The seven parameters of an experiment, as texts with the control form's
/// grammar: a number with an optional sign and at most one ".", written with
/// a "." whatever the locale. A text that is not wholly a number is refused.
struct THREEBODY_API Experiment {
  std::string alpha_start = "0"; ///< start angle of the series, degrees
  std::string alpha_end = "180"; ///< end angle of the series, degrees
  std::string tdelta = "0.001";  ///< time step of the integration
  std::string init_v3 = "0.9";   ///< third body's start speed, fraction of its escape speed
  std::string m2 = "1000";       ///< mass of the second body (the first: 1000)
  std::string m3 = "1";          ///< mass of the third body
  std::string disp_max = "500";  ///< half-width of the plotted square

  /// The same experiment from numbers, each written with the fewest digits
  /// that read back as the same double.
  static Experiment fromNumbers(double alpha_start, double alpha_end, double tdelta, double init_v3,
                                double m2, double m3, double disp_max);
  /// Sets one parameter by its name as the CSV columns name it (`init_v3`)
  /// or as the tools' option does (`init-v3`, `--init-v3`). Throws Error for
  /// an unknown name or a text that is not a number.
  void set(std::string_view name, std::string_view text);
  /// The text of one parameter, named as set() takes it.
  const std::string& get(std::string_view name) const;
  /// Throws Error with the tools' message when a parameter's text is not a
  /// number, or the engine refuses the experiment's first test (a time step of
  /// 0, masses that leave no escape speed ...).
  void check() const;
};

/// One finished test.
struct THREEBODY_API TestResult {
  int index = 0;        ///< 0 for the first test of the series
  double alpha = 0;     ///< start angle, degrees
  int end = 0;          ///< end code: 1 collision, 2 escaped, 3 far but bound, 4 ten revolutions, 0 stopped
  std::string end_name; ///< the end in words ("collision" ...)
  int revolutions = 0;  ///< the pair's revolutions counted
  int64_t steps = 0;    ///< integration steps
  double time = 0;      ///< simulated time, steps times tdelta
  std::string line;     ///< the result line, as the print form shows it
  /// Every column of the tools' CSV by name (alpha, steps, ..., line), each
  /// as the CSV writes it: the fewest digits that read back as the value.
  std::vector<std::pair<std::string, std::string>> columns;
  /// With SeriesOptions::check: whether the test ends the same (end code and
  /// revolutions) with half the time step; empty when it was not checked.
  std::optional<bool> same_at_half_step;
  /// With SeriesOptions::verify: the reference integration's verdict
  /// ("confirmed", "artefact", "fragile" or "undecided"); empty for a
  /// stopped test or one whose verification was stopped.
  std::optional<std::string> verdict;
};

/// What a result column holds (TestResult::columns), so that a front end
/// can give each column its type without guessing from the texts.
enum class ColumnType {
  Integer,  ///< a whole number (steps, revolutions, the end code)
  Single,   ///< a single precision value, written with the fewest digits that read back as that float
  Double,   ///< a double, written with the fewest digits that read back as that double
  Optional, ///< a double, or an empty text where it is not known (a drift once the bodies merged)
  Text,     ///< the result line
};

/// One result column: its name as in the CSV and what it holds.
struct THREEBODY_API ColumnInfo {
  std::string name; ///< as in the CSV's header and TestResult::columns
  ColumnType type;  ///< how to read its text
};

/// The columns of TestResult::columns, in the same order.
THREEBODY_API std::vector<ColumnInfo> resultColumns();

/// How a series runs.
struct THREEBODY_API SeriesOptions {
  int threads = 1; ///< worker threads, 1 to 1024; 0: one per core; any other count is an Error
  int lanes = 1;   ///< tests side by side on each thread; 1: one at a time; 0: the widest vectors
  bool check =
      false; ///< run the series again at half the time step and compare (TestResult::same_at_half_step)
  bool verify = false; ///< judge each outcome by the reference integration (TestResult::verdict)
  StopToken stop;      ///< ends the series after the tests finished so far
};

/// What a series did.
struct THREEBODY_API SeriesSummary {
  size_t tests = 0;     ///< tests handed to the callback
  bool stopped = false; ///< the stop token ended it early
  std::string
      fault; ///< the fault that ended it (an arithmetic fault and which field to change); empty if none
};

/// How far a running series has come (Series::onProgress).
struct THREEBODY_API SeriesProgress {
  size_t finished = 0;  ///< tests finished
  size_t tests = 0;     ///< tests the series will run; 0 when not known ahead
  bool running = false; ///< tests run one at a time: the fields below tell of the running one
  double alpha = 0;     ///< its start angle
  int64_t steps = 0;    ///< its steps so far
  int revolutions = 0;  ///< its revolutions so far
};

/// A test as Series gives it: its result, and the batch tool's outputs of it.
struct THREEBODY_API SeriesTest {
  TestResult result; ///< as runSeries() gives it
  /// The line as the batch tool's text output writes it: with check, " *"
  /// after a test that ends differently at half the step and " ?" after one
  /// not checked; with verify, the verdict in brackets.
  std::string text;
  std::string json; ///< the test as the batch tool's JSON lines write it (no newline)
  std::string csv;  ///< the test's row of the batch tool's CSV for these options (no newline)
};

/// A series with more to choose than runSeries() takes: its plot kept as a
/// picture, a step to stop each test at, a stop for the verification alone,
/// and its progress, for a tool that draws the trails and reports as it goes.
/// runSeries() runs on it.
class THREEBODY_API Series {
public:
  /// Throws Error for a parameter text that is not a number or a thread
  /// count out of range; an experiment the engine refuses is the summary's
  /// fault, as the batch tool reports it.
  Series(const Experiment& experiment, const SeriesOptions& options);
  /// Frees the kept plot; a run has ended by the time run() returns.
  ~Series();
  Series(const Series&) = delete;
  Series& operator=(const Series&) = delete;

  /// Draws the plot `width` x `height` pixels rather than at the display
  /// form's own size.
  void plotSize(int width, int height);
  /// Keeps the plot as the series leaves it (plot()).
  void keepPlot();
  /// Stops each test at this step, as a click on Stop would (the check's
  /// run at half the step at twice it).
  void stopAtStep(int64_t step);
  /// A stop for the verification alone. The options' stop then ends the
  /// series while the tests finished are still verified, unless this one
  /// is asked too; once the series is over, either ends the verification.
  void verifyStop(const StopToken& stop);
  /// Called at most every 0.1 s while tests run.
  void onProgress(std::function<void(const SeriesProgress&)> progress);
  /// Runs the series once, giving each test to `onTest` as runSeries() does;
  /// `onTest` returns false to stop it (a reader that went away).
  SeriesSummary run(const std::function<bool(const SeriesTest&)>& onTest);
  /// After run(): whether a stop cut the last test short (its line ends "end 0").
  bool interrupted() const;
  /// After run(): whether repeated stops ended it outright; the tests given are all there is.
  bool ended() const;
  /// After run() with check: the half time step the check ran at; empty when it did not run.
  std::string checkTdelta() const;
  /// The plot kept: a value a pixel, row by row from the top, red in bits
  /// 0-7, green in 8-15, blue in 16-23; empty unless keepPlot() was asked.
  const std::vector<uint32_t>& plot() const;
  int plotWidth() const;  ///< the kept plot's width in pixels
  int plotHeight() const; ///< and its height
  /// The batch tool's CSV head for these options: the columns' names (no newline).
  std::string csvHead() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Runs the experiment's series: one test per start angle from alpha_start
/// to alpha_end, in the steps the control form takes. Calls `onTest` with
/// each test in series order (with check, once the whole series and its
/// check are done). Throws Error when the experiment is refused.
THREEBODY_API SeriesSummary runSeries(const Experiment& experiment, const SeriesOptions& options,
                                      const std::function<void(const TestResult&)>& onTest);

/// The bodies at one display step (every 100 steps and at the end).
struct THREEBODY_API TrajectoryPoint {
  double time = 0;           ///< simulated time
  double x[3] = {};          ///< each body's position relative to the pair's centre of mass, x
  double y[3] = {};          ///< and y (as computed; the display turns y over)
  bool third_present = true; ///< false once the third body has merged with the pair in a collision
  double dist13 = 0;         ///< the third body's distance to body 1
  double dist23 = 0;         ///< and to body 2
  double dist12 = 0;         ///< the pair's separation
  double v3 = 0;             ///< the third body's speed
  double vesc = 0;           ///< its escape speed from the pair
  double energy_error = 0;   ///< (E - E at the start) / |E at the start|; NaN once merged
};

/// One test and how it went.
struct THREEBODY_API Trajectory {
  std::vector<TrajectoryPoint> points; ///< every display step, in time order
  TestResult result;                   ///< the test's result, as runSeries gives it
};

/// Runs the one test of the experiment at start angle `alpha` (alpha_start
/// and alpha_end are ignored) and keeps the bodies at every display step.
/// Throws Error when the experiment is refused.
THREEBODY_API Trajectory runTest(const Experiment& experiment, double alpha, const StopToken& stop = {});

/// One axis of a map: a parameter ("alpha", "init-v3", "m2", "m3" or
/// "tdelta") over `points` values from `from` to `to`.
struct THREEBODY_API MapAxis {
  std::string field = "alpha"; ///< the parameter along the axis
  double from = 0;             ///< its first value
  double to = 360;             ///< its last value
  int points = 73;             ///< how many values, evenly spaced (1 to 100000)
  /// The axis as the map tool's --x and --y write it, "alpha=0:360:73".
  std::string text() const;
};

/// How each point of a map is computed.
enum class Integrator {
  Fixed,     ///< each point a test, as the control form runs it
  Reference, ///< the reference integration alone: the physics, whatever the step
};

/// How a map runs.
struct THREEBODY_API MapOptions {
  MapAxis x{"alpha", 0, 360, 73};            ///< across
  MapAxis y{"init-v3", 0.5, 1.5, 11};        ///< up
  Integrator integrator = Integrator::Fixed; ///< how each point is computed
  bool verify = false;                       ///< a fixed-step map judged by the reference (MapPoint::verdict)
  int threads = 0; ///< worker threads, 1 to 1024; 0: one per core; any other count is an Error
  int lanes = 0;   ///< points side by side on each thread; 0: the widest vectors
  StopToken stop;  ///< ends the map after the points finished so far
};

/// One point of a map.
struct THREEBODY_API MapPoint {
  size_t i = 0; ///< its column (along x)
  size_t j = 0; ///< its row (along y)
  double x = 0; ///< the x axis's value there
  double y = 0; ///< the y axis's value there
  std::string
      outcome;  ///< "collision", "escaped", "far but bound", "ten revolutions", "stopped", "fault", ...
  int end = -1; ///< the end code, or -1 for a point without one (a fault, a reference that never ended)
  int revolutions = 0;                ///< the pair's revolutions counted
  double time = 0;                    ///< the simulated time the test (or the reference) ran
  int64_t steps = 0;                  ///< integration steps (the reference's in a physical map)
  std::optional<std::string> verdict; ///< a verified or physical map's verdict
  std::string text;                   ///< the line the map tool prints for it (after the axis values)
  std::string csv;                    ///< its row of the map tool's CSV, newline included
  std::string json;                   ///< its object as the map tool's --jsonl writes it (no newline)
  std::string verdict_text;           ///< the verdict explained in words, for a tooltip; empty without one
};

/// What a map did.
struct THREEBODY_API MapSummary {
  size_t points = 0;    ///< the grid's points
  size_t done = 0;      ///< handed to the callback, in point order
  bool stopped = false; ///< the stop token ended it before every point was done
  /// Points by outcome, named as MapPoint::outcome names them.
  std::vector<std::pair<std::string, int64_t>> outcomes;
  std::optional<double> basin_entropy;          ///< S_b over boxes of 5 x 5 points; none without a whole box
  std::optional<double> boundary_basin_entropy; ///< S_bb over the boxes where outcomes meet
  bool fractal = false;                         ///< S_bb above ln 2
  std::string csv_head;                         ///< the map tool's CSV head for this map
  std::string json;                             ///< the map tool's --summary object
};

/// Computes the outcome map of the experiment over two axes (the other
/// parameters as they stand), on worker threads; calls `onPoint` with each
/// point in point order (row by row from y's first value, x fastest) as it
/// and the ones before it are final, and `onProgress` with the points done
/// and in all. Throws Error for an axis or experiment the map tool refuses.
THREEBODY_API MapSummary runMap(const Experiment& experiment, const MapOptions& options,
                                const std::function<void(const MapPoint&)>& onPoint,
                                const std::function<void(size_t done, size_t total)>& onProgress = {});

/// A map computed on worker threads in the background, its points taken as
/// they finish: a window takes them from its timer with poll() and never
/// waits, a tool or a script waits for each with next(). Its points come in
/// the order given, so a map may be computed coarse first, or only its part
/// that is still missing. Destroying the job stops it.
class THREEBODY_API MapJob {
public:
  /// Starts computing every point of the map, in point order (row by row
  /// from y's first value, x fastest). Throws Error for an axis or an
  /// experiment the map refuses.
  MapJob(const Experiment& experiment, const MapOptions& options);
  /// Starts computing the points that `order` names (each once, point
  /// k = j * x.points + i), in that order; none for an empty order. Throws
  /// Error as the map does, and for an order naming a point twice or one
  /// outside the map.
  MapJob(const Experiment& experiment, const MapOptions& options, std::vector<size_t> order);
  /// Starts computing `count` points, the e-th being point `pointAt(e)`, for
  /// an order too long to hold (the rest of a map of millions of points, a
  /// share of it); `pointAt` is called on the worker threads and should name
  /// each point once. A point outside the map ends the job: next() throws an
  /// Error (perhaps before the points ahead of it).
  MapJob(const Experiment& experiment, const MapOptions& options, size_t count,
         std::function<size_t(size_t)> pointAt);
  /// Stops the workers and waits for them.
  ~MapJob();
  MapJob(const MapJob&) = delete;
  MapJob& operator=(const MapJob&) = delete;

  /// How many points it computes.
  size_t size() const;
  /// The points taken so far.
  size_t taken() const;
  /// The next point in the order once it is finished, waiting for it;
  /// nothing after the last one or once stopped. `finished`, when given,
  /// is called every 0.1 s while it waits, with the points finished so far
  /// (taken or not: later ones finish before a slow one).
  std::optional<MapPoint> next(const std::function<void(size_t finished)>& finished = {});
  /// The next point if it is finished now, without waiting; nothing while
  /// it is not, after the last one, or once stopped.
  std::optional<MapPoint> poll();
  /// Whether no point will come any more (all taken, or stopped).
  bool over() const;
  /// Stops at once: the points still running are dropped.
  void stop();
  /// The head of the map tool's CSV for this map, the lines before its rows.
  std::string csvHead() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace threebody
