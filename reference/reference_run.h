// One reference integration taken a try at a time. A driver asks whether it
// wants a try, makes it (alone, or side by side with other integrations on
// vector lanes) and hands the result back; the run then locates the events
// of an accepted step and ends where the experiment's rules end it.
#pragma once

#include "reference/reference.h"
#include "reference/rkf78_steps.h"

#include <vector>

namespace tb {

class ReferenceRun {
public:
  ReferenceRun(const ReferenceStart& start, const ReferenceSettings& settings);

  // Whether the integration goes on; when it does, the try to make next is
  // a step of dt() from time() at state(), controlled at tolerance().
  bool wantsTry();
  rkf78::State& state() { return s_; }
  double& time() { return t_; }
  double& dt() { return dt_; }
  const rkf78::Gravity& gravity() const { return g_; }
  double tolerance() const { return settings_.tolerance; }
  rkf78::Controlled& stepper() { return stepper_; }
  // The steps it takes alone: the best build, or the plain one when asked.
  const rkf78::Steps& steps() const { return steps_; }
  // The try's result: state(), time() and dt() as the try left them.
  void tried(bool accepted);

  bool done() const { return done_; }
  const ReferenceOutcome& outcome() const { return out_; }

private:
  enum class EventKind { Approach, FarIn, FarOut, Collision, Revolution, TurnBack, Closest };
  struct Event {
    double t;
    EventKind kind;
  };
  void finish(const rkf78::State& at);
  bool count(const rkf78::State& here, double t);
  void levelsBetween(double a, double b);
  bool handle(const Event& e, const rkf78::Interval& iv);

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
  double closestRsq_ = 0;
  // The unwrapped direction of the pair and its last direction; revolutions
  // are its passes upwards through revref + 360 k.
  double theta_ = 0, phi_ = 0;
  std::vector<double> samples_, levels_;
  std::vector<Event> events_;
  bool done_ = false;
};

} // namespace tb
