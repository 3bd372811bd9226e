// One reference integration, taken a step at a time by whoever drives it.
// The run says what it needs next: a try of the controlled stepper, a single
// uncontrolled step from an accepted step's start (to locate an event inside
// the step), or nothing once it has ended. A driver makes the step (alone,
// or side by side with other integrations' steps on vector lanes) and hands
// the result back; the run goes on to its next need. The integration is a
// coroutine, so that an event search waits for its steps where it stands.
#pragma once

#include "reference/reference.h"
#include "reference/rkf78_steps.h"

#if __has_include(<coroutine>)
#include <coroutine>
namespace tb::co {
using std::coroutine_handle;
using std::suspend_always;
} // namespace tb::co
#else // the browser's C++ library has them under their draft name
#pragma clang diagnostic ignored "-Wdeprecated-experimental-coroutine"
#include <experimental/coroutine>
namespace tb::co {
using std::experimental::coroutine_handle;
using std::experimental::suspend_always;
} // namespace tb::co
#endif

#include <exception>
#include <utility>
#include <vector>

namespace tb {

class ReferenceRun {
public:
  ReferenceRun(const ReferenceStart& start, const ReferenceSettings& settings);
  ~ReferenceRun();
  ReferenceRun(const ReferenceRun&) = delete;
  ReferenceRun& operator=(const ReferenceRun&) = delete;

  bool done() const { return need_ == Need::Nothing; }
  const ReferenceOutcome& outcome() const { return out_; }
  // The outcome, moved out of the ended run.
  ReferenceOutcome takeOutcome() { return std::move(out_); }

  // The run wants a try: a step of dt() from time() at state(), controlled
  // at tolerance(); tried() takes the try's result (state(), time() and dt()
  // as the try left them). Otherwise, while not done, it wants a single step
  // of partSpan() from the accepted step's start partState(); parted() takes
  // the state at its end.
  bool wantsTry() const { return need_ == Need::Try; }
  rkf78::State& state() { return s_; }
  double& time() { return t_; }
  double& dt() { return dt_; }
  const rkf78::Gravity& gravity() const { return g_; }
  double tolerance() const { return settings_.tolerance; }
  rkf78::Controlled& stepper() { return stepper_; }
  // `direction`: the pair's direction at the try's end where the driver
  // has it (as the engine computes it with pi()), else NaN.
  void tried(bool accepted, double direction = NAN);
  // The engine's pi, 4 atan 1.
  static double pi();
  const rkf78::State& partState() const { return s0_; }
  double partTime() const { return t0_; }
  double partSpan() const { return partAt_ - t0_; }
  // `direction`: the pair's direction at the end where the driver has it.
  void parted(const rkf78::State& end, double direction = NAN);
  // The steps it takes alone: the best build, or the plain one when asked.
  const rkf78::Steps& steps() const { return steps_; }

private:
  enum class Need { Try, Part, Nothing };
  enum class EventKind { Approach, FarIn, FarOut, Collision, Revolution, TurnBack, Closest };
  struct Event {
    double t;
    EventKind kind;
  };
  // The integration, suspended wherever it waits for a step.
  struct Body {
    struct promise_type {
      Body get_return_object() { return Body{co::coroutine_handle<promise_type>::from_promise(*this)}; }
      co::suspend_always initial_suspend() noexcept { return {}; }
      co::suspend_always final_suspend() noexcept { return {}; }
      void return_void() noexcept {}
      void unhandled_exception() noexcept { error = std::current_exception(); }
      std::exception_ptr error;
    };
    co::coroutine_handle<promise_type> handle;
  };
  // The state at time t of the accepted step: its ends and the last few
  // instants asked are at hand, other instants wait for a single step.
  struct At {
    ReferenceRun& run;
    double t;
    bool await_ready() const { return run.known(t); }
    void await_suspend(co::coroutine_handle<>) const {
      run.need_ = Need::Part;
      run.partAt_ = t;
    }
    // Valid until the run's next single step.
    const rkf78::State& await_resume() const { return *run.here_; }
  };

  // What the events of a step are found from at each of its ends: whether
  // body 3 nears each pair body, which one is nearer and how near, and the
  // pair's turning.
  struct EndSigns {
    bool radial[2] = {};
    bool firstNearer = false;
    double nearRsq = 0, spin = 0;
  };
  EndSigns endSigns(const rkf78::State& s) const;

  Body integrate();
  void resume();
  bool known(double t);
  At at(double t) { return At{*this, t}; }
  bool ending();
  void judge(const rkf78::State& here);
  void settleJudgement();
  void finish(const rkf78::State& at);
  unsigned crossings(double na, double nb) const;
  static constexpr EventKind kCrossingKinds[4] = {EventKind::Approach, EventKind::FarIn, EventKind::FarOut,
                                                  EventKind::Collision};
  bool count(const rkf78::State& here, double t);
  void levelsBetween(double a, double b);
  bool handle(const Event& e, const rkf78::State& here);

  const ReferenceStart start_;
  const ReferenceSettings settings_;
  const rkf78::Gravity g_;
  const rkf78::Steps& steps_;
  rkf78::Controlled stepper_;
  ReferenceOutcome out_;
  rkf78::State s_{}, s0_{};
  double t_ = 0, t0_ = 0, dt_ = 0;
  int64_t tries_ = 0;
  double e0_ = 0;
  double nearL_ = 0, farL_ = 0, maxStep_ = 0;
  bool approached_ = false, far_ = false;
  EndCode pend_ = EndCode::None;
  // The escape judgement last due, made when it is read.
  bool judgePending_ = false;
  rkf78::State judgedAt_{};
  double closestRsq_ = 0;
  // The unwrapped direction of the pair and its last direction; revolutions
  // are its passes upwards through revref + 360 k.
  double theta_ = 0, phi_ = 0;
  std::vector<double> samples_, levels_;
  // The first level above levelFrom_.
  double levelFrom_ = NAN, levelAbove_ = NAN;
  std::vector<Event> events_;

  Need need_ = Need::Nothing;
  bool accepted_ = false;
  double direction_ = NAN;
  EndSigns ends_;
  double partAt_ = 0;
  const rkf78::State* here_ = nullptr;
  double hereDirection_ = NAN; // the pair's direction at *here_ where known
  // The events ask for the same instants more than once (a sample's end is
  // the next one's start, and its own event): a step from the accepted
  // step's start to t gives the same bits every time, so the last few are
  // kept.
  struct Known {
    double t = NAN; // never equal to an asked time
    rkf78::State s;
    double direction = NAN;
  };
  static constexpr int kKnown = 4;
  Known known_[kKnown];
  int nextKnown_ = 0;
  Body body_{};
};

} // namespace tb
