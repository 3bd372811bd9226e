// Tests without a screen: one-test series on in-memory windows, on worker threads and lanes.
#include "forms/headless.h"

#include "forms/app.h"
#include "forms/design.h"
#include "runtime/controls.h"
#include "sim/lanes.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tb {

std::unique_ptr<MemoryForms> newMemoryForms() {
  // Made once and copied: a map sets up forms for every point.
  static const MemoryForms blank = [] {
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto& c : form1Controls())
      texts.emplace_back(c.name, c.text);
    return MemoryForms(std::move(texts), kWindowDesigns);
  }();
  return std::make_unique<MemoryForms>(blank);
}

size_t testsInFlight(const HeadlessTestsSetup& setup) {
  const int lanes = setup.lanes == 1 ? 1 : LaneEngine::shapeOf(setup.lanes).lanes();
  return size_t{std::max(1u, setup.jobs)} * static_cast<size_t>(lanes);
}

namespace {

// Claims the next test to start; none when every test is taken or when the
// next one lies beyond the horizon (`held` then says so).
std::optional<size_t> claim(std::atomic<size_t>& next, size_t n, const HeadlessTestsSetup& setup,
                            bool& held) {
  size_t k = next.load();
  do {
    held = setup.horizon && k < n && k >= setup.horizon->load();
    if (k >= n || held) return std::nullopt;
  } while (!next.compare_exchange_weak(k, k + 1));
  return k;
}

// Waits, running no test, until the horizon passes the next test or the
// work is stopped, dropped or over. It looks every millisecond, as the stop
// may come from a signal handler and the end of the work from a failure.
void awaitHorizon(const std::atomic<size_t>& next, size_t n, const HeadlessTestsSetup& setup) {
  auto stopped = [&] {
    return (setup.interrupt && *setup.interrupt != 0) || (setup.abandon && *setup.abandon);
  };
  while (!stopped() && next.load() < n && next.load() >= setup.horizon->load())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// One test's own windows, program and result.
struct SoloTest {
  size_t index = 0;
  std::unique_ptr<MemoryForms> forms;
  std::unique_ptr<Experiment> exp;
  std::unique_ptr<Application> app;
  HeadlessTest result;

  SoloTest(size_t k, const HeadlessTestInput& input) : index(k), forms(newMemoryForms()) {
    if (input.plotSize) forms->forcePlotSize(input.plotSize->first, input.plotSize->second);
    exp = std::make_unique<Experiment>(*forms);
    app = std::make_unique<Application>(*forms, *exp);
    app->Form_Load();
    for (const auto& [control, text] : input.fields)
      forms->setText(control, text);
    exp->onTestEnd = [this](const TestReport& r) { result.report = r; };
  }
};

// One worker's share with the one-at-a-time engine: each test as the windows
// run it, with Stop clicked at the stop step or on the interrupt.
using Ended = std::function<void(std::span<const EndedTest>)>;

void runOneAtATime(std::atomic<size_t>& next, size_t n, const std::function<HeadlessTestInput(size_t)>& input,
                   const Ended& ended, const HeadlessTestsSetup& setup) {
  // After an interrupt no further test is taken, but the first: it stops
  // at its first look, where it stands, as the series' first test would.
  bool first = true;
  auto stopped = [&] {
    return (!first && setup.interrupt && *setup.interrupt != 0) || (setup.abandon && *setup.abandon);
  };
  for (; !stopped(); first = false) {
    bool held = false;
    std::optional<size_t> claimed = claim(next, n, setup, held);
    if (held) {
      awaitHorizon(next, n, setup);
      continue;
    }
    if (!claimed) return;
    const size_t k = *claimed;
    SoloTest t(k, input(k));
    if (setup.interrupt) {
      t.forms->interruptFlag = setup.interrupt;
      t.forms->onInterrupt = [&](int) {
        t.result.cancelled = true;
        // A further interrupt while stopping must not end the test's windows.
        if (t.app->state() == RunState::Running) t.app->CommandEnd_Click();
      };
    }
    t.exp->stopAtStep = setup.stopAtStep;
    // A dropped test stops at its next look.
    if (setup.abandon)
      t.forms->onPoll = [&] {
        if (*setup.abandon) t.exp->state().stopflag = 1;
      };
    t.app->CommandStart_Click();
    if (setup.abandon && *setup.abandon) return;
    t.result.fault = t.exp->lastFault();
    const EndedTest one{k, &t.result, t.forms.get()};
    ended({&one, 1});
  }
}

// One worker's share on the lanes.
void runOnLanes(std::atomic<size_t>& next, size_t n, const std::function<HeadlessTestInput(size_t)>& input,
                const Ended& ended, const HeadlessTestsSetup& setup, bool together) {
  LaneEngine engine = setup.depth > 0 ? LaneEngine(LaneEngine::Shape{setup.lanes / setup.depth, setup.depth})
                                      : LaneEngine(setup.lanes);
  std::map<const Experiment*, std::unique_ptr<SoloTest>> running;
  // Together: the tests ended since the lanes were last filled (at least
  // setup.together of them), handed over before the lanes take more; when no
  // more are to be taken, as soon as there are that many or no other test
  // runs (a test may run on for long in another lane). Else each as it ends.
  std::vector<std::unique_ptr<SoloTest>> endedTests;
  bool exhausted = false;
  std::vector<EndedTest> handed;
  auto handOver = [&] {
    if (endedTests.empty()) return;
    handed.clear();
    for (const auto& t : endedTests)
      handed.push_back({t->index, &t->result, t->forms.get()});
    ended(handed);
    endedTests.clear();
  };
  bool held = false;
  auto take = [&]() -> Experiment* {
    if (endedTests.size() >= setup.together) handOver();
    std::optional<size_t> claimed = claim(next, n, setup, held);
    exhausted = !claimed;
    if (!claimed) return nullptr;
    const size_t k = *claimed;
    auto t = std::make_unique<SoloTest>(k, input(k));
    Experiment* e = t->exp.get();
    running.emplace(e, std::move(t));
    return e;
  };
  auto done = [&](Experiment& e, bool interrupted) {
    auto it = running.find(&e);
    std::unique_ptr<SoloTest> t = std::move(it->second);
    running.erase(it);
    t->result.cancelled = interrupted;
    t->result.fault = e.lastFault();
    endedTests.push_back(std::move(t));
    if (!together || (exhausted && (running.empty() || endedTests.size() >= setup.together))) handOver();
  };
  // Held at the horizon, the engine finishes its running tests and returns;
  // the worker waits with empty lanes (so that the test its reader awaits is
  // never held up behind it) and then fills them again.
  for (;;) {
    engine.run(take, done, LaneEngine::Control{setup.stopAtStep, setup.interrupt, setup.abandon});
    handOver();
    if (!held) return;
    awaitHorizon(next, n, setup);
    if ((setup.interrupt && *setup.interrupt != 0) || (setup.abandon && *setup.abandon)) return;
    exhausted = false;
  }
}

} // namespace

namespace {

void runTests(size_t n, const std::function<HeadlessTestInput(size_t)>& input, const Ended& ended,
              const HeadlessTestsSetup& setup, bool together) {
  std::atomic<size_t> next{0};
  const bool lanes = setup.lanes != 1;
  // A worker that runs out of memory, or a worker thread that cannot be
  // started, ends the work: the others take no further test, and the first
  // such failure is thrown here once they are done.
  std::mutex m;
  std::exception_ptr failure;
  auto fail = [&](std::exception_ptr e) {
    std::lock_guard lock(m);
    if (!failure) failure = e;
    next = n;
  };
  {
    std::vector<std::thread> workers;
    try {
      for (unsigned w = 0; w < std::max(1u, setup.jobs); ++w)
        workers.emplace_back([&] {
          try {
            if (lanes)
              runOnLanes(next, n, input, ended, setup, together);
            else
              runOneAtATime(next, n, input, ended, setup);
          } catch (...) {
            fail(std::current_exception());
          }
        });
    } catch (...) {
      fail(std::current_exception());
    }
    for (std::thread& w : workers)
      w.join();
  }
  if (failure) std::rethrow_exception(failure);
}

} // namespace

void runHeadlessTests(size_t n, const std::function<HeadlessTestInput(size_t)>& input,
                      const std::function<void(size_t, HeadlessTest&, MemoryForms&)>& finished,
                      const HeadlessTestsSetup& setup) {
  runTests(
      n, input,
      [&](std::span<const EndedTest> tests) {
        for (const EndedTest& t : tests)
          finished(t.index, *t.test, *t.forms);
      },
      setup, false);
}

void runHeadlessTestsTogether(size_t n, const std::function<HeadlessTestInput(size_t)>& input,
                              const std::function<void(std::span<const EndedTest>)>& ended,
                              const HeadlessTestsSetup& setup) {
  runTests(n, input, ended, setup, true);
}

} // namespace tb
