// Tests run on lanes and threads finish out of order; this hands their
// results out in order. Every tool that runs many tests takes them from here:
// the batch tool's series, the map tool (also each MPI rank's share) and the
// map window, with one way to stop and one way to drop what is not needed.
#pragma once

#include "forms/headless.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace tb {

template <typename Result> class OrderedTests {
public:
  // What is kept of test k as it ends, made on the worker that ran it; none
  // for a test that is not to be handed out (then no test after it is).
  using Keep = std::function<std::optional<Result>(size_t k, HeadlessTest& test, MemoryForms& forms)>;
  // The same for the tests a worker's lanes ended together, into `kept`
  // (one for each, in their order), so that their work can be done side by side.
  using KeepTogether =
      std::function<void(std::span<const EndedTest> tests, std::vector<std::optional<Result>>& kept)>;

  // Starts tests 0 to n - 1 at once, `setup` saying on how many threads and
  // lanes and what stops them (its abandon flag and horizon are this
  // object's own). A test is started only while it is less than `ahead` of
  // the first not yet taken, so that memory holds at most `ahead` results
  // however slowly they are taken; by default, eight for each lane and at
  // least 1024, which a window polling ten times a second takes at more
  // than ten thousand points a second.
  OrderedTests(size_t n, std::function<HeadlessTestInput(size_t)> input, Keep keep, HeadlessTestsSetup setup,
               size_t ahead = 0)
      : OrderedTests(
            n, std::move(input),
            [keep = std::move(keep)](std::span<const EndedTest> tests,
                                     std::vector<std::optional<Result>>& kept) {
              for (const EndedTest& t : tests)
                kept.push_back(keep(t.index, *t.test, *t.forms));
            },
            setup, ahead, false) {}
  OrderedTests(size_t n, std::function<HeadlessTestInput(size_t)> input, KeepTogether keep,
               HeadlessTestsSetup setup, size_t ahead = 0)
      : OrderedTests(n, std::move(input), std::move(keep), setup, ahead, true) {}
  // The tests still running are dropped unreported.
  ~OrderedTests() { abandon(); }
  OrderedTests(const OrderedTests&) = delete;
  OrderedTests& operator=(const OrderedTests&) = delete;

  // Test k once it and every test before it are final; none when it never
  // will be (an interrupt came before it, or an earlier test was not kept).
  // Each k is taken once, in increasing order. `waiting`, when given, is
  // called every 0.1 s meanwhile with the number of finished tests. A
  // worker's failure (memory, a thread) is thrown once the tests finished
  // before it are taken.
  std::optional<Result> take(size_t k, const std::function<void(size_t)>& waiting = {}) {
    std::unique_lock lock(m_);
    auto final = [&] { return isFinal(k); };
    while (!ready_.wait_for(lock, std::chrono::milliseconds(100), final))
      if (waiting) {
        const size_t count = finishedCount_;
        lock.unlock();
        waiting(count);
        lock.lock();
      }
    return handOut(k);
  }
  // The same without waiting: test k if it is final now, and whether it is.
  bool poll(size_t k, std::optional<Result>& result) {
    std::lock_guard lock(m_);
    if (!isFinal(k)) return false;
    result = handOut(k);
    return true;
  }
  // Drops the running tests and waits for the workers; nothing more comes.
  void abandon() {
    abandon_ = true;
    horizon_ = SIZE_MAX;
    if (runner_.joinable()) runner_.join();
  }

private:
  OrderedTests(size_t n, std::function<HeadlessTestInput(size_t)> input, KeepTogether keep,
               HeadlessTestsSetup setup, size_t ahead, bool together)
      : count_(n), input_(std::move(input)), keep_(std::move(keep)),
        ahead_(ahead > 0 ? ahead : std::max<size_t>(1024, 8 * testsInFlight(setup))), horizon_(ahead_) {
    setup.abandon = &abandon_;
    setup.horizon = &horizon_;
    runner_ = std::jthread([this, setup, together] {
      std::exception_ptr failure;
      try {
        auto ended = [this](std::span<const EndedTest> tests) { finished(tests); };
        if (together)
          runHeadlessTestsTogether(count_, input_, ended, setup);
        else
          runHeadlessTests(
              count_, input_,
              [&](size_t k, HeadlessTest& t, MemoryForms& f) {
                const EndedTest one{k, &t, &f};
                ended({&one, 1});
              },
              setup);
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard lock(m_);
      failure_ = failure;
      allIn_ = true;
      ready_.notify_all();
    });
  }

  void finished(std::span<const EndedTest> tests) {
    std::vector<std::optional<Result>> kept;
    kept.reserve(tests.size());
    keep_(tests, kept);
    std::lock_guard lock(m_);
    for (size_t i = 0; i < tests.size(); ++i) {
      const size_t k = tests[i].index;
      if (kept[i])
        waiting_.emplace(k, std::move(*kept[i]));
      else
        stoppedAt_ = std::min(stoppedAt_, k);
      ++finishedCount_;
    }
    ready_.notify_all();
  }
  // Under the lock.
  bool isFinal(size_t k) const { return waiting_.contains(k) || k >= stoppedAt_ || allIn_; }
  // Under the lock, once test k is final.
  std::optional<Result> handOut(size_t k) {
    auto it = waiting_.find(k);
    if (it == waiting_.end()) {
      if (failure_) std::rethrow_exception(failure_);
      return std::nullopt;
    }
    std::optional<Result> r = std::move(it->second);
    waiting_.erase(it);
    horizon_ = k + 1 + ahead_;
    return r;
  }

  const size_t count_;
  std::map<size_t, Result> waiting_; // finished, kept, not yet taken: only these are held
  std::function<HeadlessTestInput(size_t)> input_;
  KeepTogether keep_;
  const size_t ahead_;
  std::atomic<size_t> horizon_; // the first test not to start yet
  std::mutex m_;
  std::condition_variable ready_;
  std::atomic<bool> abandon_{false};
  size_t stoppedAt_ = SIZE_MAX; // the first test not kept
  size_t finishedCount_ = 0;
  bool allIn_ = false;         // every test that will finish has
  std::exception_ptr failure_; // why a worker could not go on
  std::jthread runner_;        // last: it starts once everything above is there
};

} // namespace tb
