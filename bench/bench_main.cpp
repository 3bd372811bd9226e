// Speed: integration steps per second of the default series headless and in
// the Qt windows (offscreen), how long a Stop click takes to end a running
// series, the lane engine against one test at a time, and the map.
#include "api/bridge.h"
#include "apps/map.h"
#include "bench/divider_bound.h"
#include "forms/app.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "forms/qt/qt_forms.h"
#include "maps/map_order.h"
#include "maps/map_run.h"
#include "reference/reference.h"
#include "sim/lanes.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

using namespace tb;
using Clock = std::chrono::steady_clock;

namespace {

struct SeriesTiming {
  double seconds = 0;
  int64_t steps = 0;
  int tests = 0;
};

SeriesTiming timeSeries(FormsRuntime& forms, Experiment& exp, Application& app) {
  SeriesTiming t;
  exp.onTestEnd = [&](const TestReport& r) {
    t.steps += r.steps;
    ++t.tests;
  };
  auto start = Clock::now();
  app.CommandStart_Click();
  t.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  (void)forms;
  return t;
}

SeriesTiming headless() {
  auto forms = newMemoryForms();
  Experiment exp(*forms);
  Application app(*forms, exp);
  app.Form_Load();
  return timeSeries(*forms, exp, app);
}

SeriesTiming inWindows() {
  QtForms forms;
  Experiment exp(forms);
  Application app(forms, exp);
  app.Form_Load();
  forms.show(FormId::Form1);
  return timeSeries(forms, exp, app);
}

// Milliseconds from a Stop click becoming due to the series having returned.
double stopLatencyMs() {
  QtForms forms;
  Experiment exp(forms);
  Application app(forms, exp);
  app.Form_Load();
  forms.setText("Ttdelta", "1E-300"); // a step too small to move: an endless test
  Clock::time_point due;
  QTimer::singleShot(300, [&] { app.CommandEnd_Click(); });
  due = Clock::now() + std::chrono::milliseconds(300);
  app.CommandStart_Click();
  return std::chrono::duration<double, std::milli>(Clock::now() - due).count();
}

// The processor's name as the system gives it.
std::string processorName() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos)
      return line.substr(line.find(':') + 2);
  return "an unnamed processor";
}

unsigned cores() { return std::max(1u, std::thread::hardware_concurrency()); }

// The divider's throughput at every width, measured once, and the bound of
// the step it gives: the widest width's, on every core.
const std::vector<bench::DividerSpeed>& dividers() {
  static const std::vector<bench::DividerSpeed> d = bench::measureDividers(20'000'000);
  return d;
}

double boundPerCore() { return dividers().empty() ? 0 : dividers().front().stepsPerSecond(); }

void dividerBound() {
  std::printf("processor: %s, %u cores\n", processorName().c_str(), cores());
  for (const bench::DividerSpeed& s : dividers())
    std::printf("divider, %d doubles (%s): %.2f ns a division, %.2f ns a square root; a step (%d and %d) at "
                "most %.1f million steps/s a core; the step's %d in a row %.1f ns, with %d multiplications "
                "beside them %.1f ns\n",
                s.lanes, s.target, s.nsPerDivision, s.nsPerSquareRoot, lanes::kDivisionsPerStep,
                lanes::kSquareRootsPerStep, s.stepsPerSecond() / 1e6,
                lanes::kDivisionsPerStep + lanes::kSquareRootsPerStep, s.nsPerStepMix,
                bench::kMultiplicationsBeside, s.nsPerStepMixBeside);
  std::printf("bound of the step: %.1f million steps/s on one core, %.1f on %u\n", boundPerCore() / 1e6,
              boundPerCore() * cores() / 1e6, cores());
}

// A rate as a share of the bound on `threads` cores.
std::string ofBound(double rate, unsigned threads) {
  char text[64];
  std::snprintf(text, sizeof text, "%5.1f %% of the bound",
                100 * rate / (boundPerCore() * std::min(threads, cores())));
  return text;
}

// A map on `jobs` threads: its summary's steps and rate.
std::string mapRun(std::vector<std::string> args, unsigned jobs, double* rate) {
  args.insert(args.end(), {"--jobs", std::to_string(jobs)});
  MapOptions o;
  parseMapOptions(args, o);
  std::ostringstream out, err;
  runMap(o, out, err, MapProgress{});
  // The summary line, before the basin entropy's: "...; N steps in S s (R million steps/s)".
  std::string summary = err.str();
  summary = summary.substr(0, summary.find('\n'));
  summary = summary.substr(summary.rfind(';') + 2);
  double millions = 0;
  const auto open = summary.find('(');
  if (open != std::string::npos) millions = std::atof(summary.c_str() + open + 1);
  *rate = millions * 1e6;
  return summary;
}

// A map of 72 points (alpha 0 to 350 by 10 at init v3 0.9 and 1.1, tdelta
// 0.01) on `jobs` threads, and one of 1000 points at tdelta 0.001 on every
// core, each against the bound.
void mapSpeed(int jobs) {
  double rate = 0;
  const std::string s =
      mapRun({"--x", "alpha=0:350:36", "--y", "init-v3=0.9:1.1:2", "--tdelta", "0.01"}, jobs, &rate);
  std::printf("map of 72 points, %d thread%s: %s, %s\n", jobs, jobs == 1 ? "" : "s", s.c_str(),
              ofBound(rate, static_cast<unsigned>(jobs)).c_str());
}

void fineMapSpeed() {
  double rate = 0;
  const std::string s =
      mapRun({"--x", "alpha=0:351:40", "--y", "init-v3=0.8:1.2:25", "--tdelta", "0.001"}, cores(), &rate);
  std::printf("map of 1000 points at tdelta 0.001, %u threads: %s, %s\n", cores(), s.c_str(),
              ofBound(rate, cores()).c_str());
}

// The 72 tests of the series 0 to 350 by 10 at init v3 0.9 and 1.1, as one
// batch of one-test series on `lanes` lanes (as `depth` vectors) and `jobs`
// threads.
SeriesTiming laneWorkload(int lanes, unsigned jobs, int depth = 0,
                          std::vector<const char*> v3s = {"0.9", "1.1"}) {
  std::vector<std::vector<std::pair<std::string, std::string>>> tests;
  for (const char* v3 : v3s)
    for (int a = 0; a <= 350; a += 10)
      tests.push_back({{"Talphastr", std::to_string(a)}, {"Talphaend", std::to_string(a)}, {"Tinitv2", v3}});
  SeriesTiming t;
  std::mutex m;
  HeadlessTestsSetup setup;
  setup.jobs = jobs;
  setup.lanes = lanes;
  setup.depth = depth;
  auto start = Clock::now();
  runHeadlessTests(
      tests.size(),
      [&](size_t k) {
        return HeadlessTestInput{tests[k], std::nullopt};
      },
      [&](size_t, HeadlessTest& r, MemoryForms&) {
        std::lock_guard lock(m);
        t.steps += r.report ? r.report->steps : 0;
        ++t.tests;
      },
      setup);
  t.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return t;
}

std::string shapeName(LaneEngine::Shape s) {
  return std::to_string(s.depth) + " x " + std::to_string(s.width) + " lanes (" +
         LaneEngine(s).instructionSet() + ")";
}

// Steps per second of the one-at-a-time engine, the lane engine in every
// shape on one thread, and the default and one vector of the widest on every
// core; the runs alternate and each keeps its best of three.
void laneSpeeds() {
  struct Run {
    std::string name;
    int lanes;
    unsigned jobs;
    int depth;
    SeriesTiming best;
  };
  std::vector<Run> runs = {{"one test at a time, 1 thread", 1, 1, 0, {}}};
  for (LaneEngine::Shape s : LaneEngine::shapes())
    runs.push_back({shapeName(s) + ", 1 thread", s.lanes(), 1, s.depth, {}});
  const std::string threads = ", " + std::to_string(cores()) + " threads";
  const LaneEngine::Shape one{LaneEngine().shape().width, 1};
  runs.push_back({shapeName(one) + threads, one.lanes(), cores(), 1, {}});
  runs.push_back({"default, " + shapeName(LaneEngine().shape()) + threads, 0, cores(), 0, {}});
  for (int i = 0; i < 3; ++i)
    for (Run& r : runs) {
      SeriesTiming t = laneWorkload(r.lanes, r.jobs, r.depth);
      if (i == 0 || t.seconds < r.best.seconds) r.best = t;
    }
  // The series of 36 at init v3 1.1 alone, with the defaults on every core:
  // its last tests run with few others beside them.
  SeriesTiming tail;
  for (int i = 0; i < 3; ++i) {
    SeriesTiming t = laneWorkload(0, cores(), 0, {"1.1"});
    if (i == 0 || t.seconds < tail.seconds) tail = t;
  }
  const double base = runs.front().best.steps / runs.front().best.seconds;
  for (const Run& r : runs) {
    double rate = r.best.steps / r.best.seconds;
    std::printf("72 tests, %-44s %lld steps, %.3f s, %6.1f million steps/s, %.2fx, %s\n",
                (r.name + ":").c_str(), static_cast<long long>(r.best.steps), r.best.seconds, rate / 1e6,
                rate / base, ofBound(rate, r.jobs).c_str());
  }
  const double rate = tail.steps / tail.seconds;
  std::printf(
      "series of 36 tests (init v3 1.1), defaults, %u threads: %lld steps, %.3f s, %6.1f million steps/s, "
      "%s\n",
      cores(), static_cast<long long>(tail.steps), tail.seconds, rate / 1e6, ofBound(rate, cores()).c_str());
}

// The reference integration: milliseconds a test of the default series, one
// run at tolerance 1e-12, and a whole verdict (1e-12 and 1e-14, and the
// turned runs where they are needed).
void referenceSpeed() {
  const FieldTexts fields = defaultFieldTexts();
  std::vector<double> angles;
  for (double a = 0; a <= 180; a += 10)
    angles.push_back(a);
  auto start = Clock::now();
  int64_t steps = 0;
  for (double a : angles)
    steps += integrateReference(referenceStart(fields, a)).steps;
  const double one = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / angles.size();
  start = Clock::now();
  for (double a : angles)
    verifyOutcome(referenceStart(fields, a), EndCode::Escaped, 3);
  const double verdict =
      std::chrono::duration<double, std::milli>(Clock::now() - start).count() / angles.size();
  std::printf(
      "reference, default series:  %.2f ms a test (%lld steps of RKF 7(8) in all), %.2f ms a verdict\n", one,
      static_cast<long long>(steps), verdict);
}

// The default fields mapped over alpha 0 to 360 in 121 points and init v3
// 0.5 to 1.5 in 41, once with the fixed step at tdelta 0.001 and once by the
// reference alone, both on every core: seconds each and the ratio.
void physicalMapSpeed() {
  auto timed = [](std::vector<std::string> args) {
    MapOptions o;
    parseMapOptions(args, o);
    std::ostringstream out, err;
    auto start = Clock::now();
    runMap(o, out, err, MapProgress{});
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  const std::vector<std::string> grid = {"--x", "alpha=0:360:121", "--y", "init-v3=0.5:1.5:41"};
  std::vector<std::string> physical = grid;
  physical.insert(physical.end(), {"--integrator", "reference"});
  const double reference = timed(physical);
  const double fixed = timed(grid);
  std::printf("map 121 x 41, every core:   fixed step tdelta 0.001 %.1f s, reference %.2f s: %.1fx faster "
              "(target 40x)\n",
              fixed, reference, fixed / reference);
}

// The map window's physical view of the default ranges at 200 x 200 points,
// computed as the window computes it (coarse pass first, every core): when
// its coarse picture is whole, when it is done, and a point's cost on one
// core.
void explorerSpeed() {
  MapRun run;
  run.fields = defaultFieldTexts();
  readAxis("alpha=0:360:200", run.x);
  readAxis("init-v3=0.5:1.5:200", run.y);
  run.integrator = MapIntegrator::Reference;
  run.jobs = static_cast<int>(cores());
  const std::vector<size_t> order = refinementOrder(200, 200);
  const size_t coarse = 25 * 25;
  auto start = Clock::now();
  double coarseSeconds = 0;
  threebody::MapJob job(threebody::experimentOf(run.fields), threebody::mapOptionsOf(run, {}), order);
  for (size_t taken = 0; job.next();)
    if (++taken == coarse) coarseSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double whole = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("physical view 200 x 200, %u cores, coarse pass first: coarse picture (%zu points) %.2f s "
              "(target under 1 s), whole %.1f s (target under 10 s); %.0f us a point on one core\n",
              cores(), coarse, coarseSeconds, whole, whole * cores() / order.size() * 1e6);
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication qapp(argc, argv);
  // With names of parts (series, lanes, map, reference), only those run.
  const QStringList parts = qapp.arguments().mid(1);
  auto wanted = [&](const char* part) { return parts.isEmpty() || parts.contains(part); };
  dividerBound();
  if (wanted("series")) {
    // Headless and windowed runs alternate, and each keeps its best of five,
    // so that a change in the machine's load touches both alike.
    const int runs = 5;
    SeriesTiming h, q;
    for (int i = 0; i < runs; ++i) {
      SeriesTiming th = headless();
      SeriesTiming tq = inWindows();
      if (i == 0 || th.seconds < h.seconds) h = th;
      if (i == 0 || tq.seconds < q.seconds) q = tq;
    }
    std::printf("default series, headless:   %d tests, %lld steps, %.3f s, %.1f million steps/s\n", h.tests,
                static_cast<long long>(h.steps), h.seconds, h.steps / h.seconds / 1e6);
    std::printf("default series, Qt windows: %d tests, %lld steps, %.3f s, %.1f million steps/s\n", q.tests,
                static_cast<long long>(q.steps), q.seconds, q.steps / q.seconds / 1e6);
    std::printf("windows / headless time:    %.3f (target at most 1.15)\n", q.seconds / h.seconds);
    double worst = 0;
    for (int i = 0; i < 5; ++i)
      worst = std::max(worst, stopLatencyMs());
    std::printf("Stop click to series end:   %.1f ms worst of 5 (target under 50 ms)\n", worst);
  }
  if (wanted("lanes")) laneSpeeds();
  if (wanted("map")) {
    mapSpeed(1);
    mapSpeed(static_cast<int>(cores()));
    fineMapSpeed();
  }
  if (wanted("reference")) {
    referenceSpeed();
    physicalMapSpeed();
    explorerSpeed();
  }
  return 0;
}
