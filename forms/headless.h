// The windows without a screen: an in-memory forms runtime holding the
// designed controls and window sizes, for the batch tool, the benchmarks and
// the tests.
#pragma once

#include "runtime/memory_forms.h"

#include <memory>

namespace tb {

std::unique_ptr<MemoryForms> newMemoryForms();

} // namespace tb

#include "sim/experiment.h"

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tb {

// One test on the in-memory windows: its report, or the fault that ended
// it. `cancelled`: an interrupt stopped it where it stood.
struct HeadlessTest {
  std::optional<TestReport> report;
  std::string fault;
  bool cancelled = false;
};

// Many one-test series on worker threads, each stepping tests side by side
// on vector lanes (lane width 1: one test at a time, the windows' engine).
struct HeadlessTestsSetup {
  unsigned jobs = 1; // worker threads
  int lanes = 0;     // tests side by side per thread; 0: the engine's default
  std::optional<int64_t> stopAtStep;
  // A value other than 0 stops every running test where it stands; no test
  // is taken after it.
  const std::atomic<int>* interrupt = nullptr;
  // When set, running tests are dropped unreported and no test is taken.
  const std::atomic<bool>* abandon = nullptr;
  // Of the lanes, vectors in flight; 0: as the engine takes `lanes`.
  int depth = 0;
  // When set, test k is started only while k < *horizon: its owner moves
  // it on as it takes the results, so that workers faster than their reader
  // do not pile up results. A worker waits for it with no test running.
  const std::atomic<size_t>* horizon = nullptr;
  // Tests handed over together (runHeadlessTestsTogether): while more are
  // to be taken, those ended are handed over once there are this many.
  size_t together = 1;
};
// Tests that run at once with this setup: its threads times their lanes.
size_t testsInFlight(const HeadlessTestsSetup& setup);
struct HeadlessTestInput {
  std::vector<std::pair<std::string, std::string>> fields; // start angle = end angle
  std::optional<std::pair<int, int>> plotSize;
};
// Runs tests 0 to n - 1 (taken in that order) and calls `finished` from the
// worker thread as each ends, with its windows (read-outs, plot). A test the
// interrupt stopped has `cancelled` set and its report.
void runHeadlessTests(size_t n, const std::function<HeadlessTestInput(size_t)>& input,
                      const std::function<void(size_t, HeadlessTest&, MemoryForms&)>& finished,
                      const HeadlessTestsSetup& setup);
// An ended test with its windows.
struct EndedTest {
  size_t index;
  HeadlessTest* test;
  MemoryForms* forms;
};
// The same, with the tests a worker's lanes end in one pass handed over
// together, in the order they ended: what is done with them next may then
// be done side by side.
void runHeadlessTestsTogether(size_t n, const std::function<HeadlessTestInput(size_t)>& input,
                              const std::function<void(std::span<const EndedTest>)>& ended,
                              const HeadlessTestsSetup& setup);

} // namespace tb
