// Speed of the default series: integration steps per second headless, the
// same series in the Qt windows (offscreen) against it, and how long a Stop
// click takes to end a running series.
#include "apps/map.h"
#include "forms/app.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "forms/qt/qt_forms.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
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
  forms.setText("Ttdelta", "0"); // an endless test
  Clock::time_point due;
  QTimer::singleShot(300, [&] { app.CommandEnd_Click(); });
  due = Clock::now() + std::chrono::milliseconds(300);
  app.CommandStart_Click();
  return std::chrono::duration<double, std::milli>(Clock::now() - due).count();
}

// A map of 72 points (alpha 0 to 350 by 10 at init v3 0.9 and 1.1, tdelta
// 0.01) on `jobs` threads: steps per second, from the map's own summary.
void mapSpeed(int jobs) {
  MapOptions o;
  parseMapOptions({"--x", "alpha=0:350:36", "--y", "init-v3=0.9:1.1:2", "--tdelta", "0.01", "--jobs",
                   std::to_string(jobs)},
                  o);
  std::ostringstream out, err;
  runMap(o, out, err, false);
  std::string summary = err.str();
  auto at = summary.find(" steps in ");
  std::printf("map of 72 points, %d thread%s: %s", jobs, jobs == 1 ? ": " : "s:",
              at == std::string::npos ? summary.c_str() : summary.substr(summary.rfind(';') + 2).c_str());
}

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication qapp(argc, argv);
  // Headless and windowed runs alternate, and each keeps its best of five, so
  // that a change in the machine's load touches both alike.
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
  mapSpeed(1);
  mapSpeed(std::max(1u, std::thread::hardware_concurrency()));
  return 0;
}
