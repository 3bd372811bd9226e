// The step-size control of the reference integration: the rules of Odeint's
// default adjuster (shrink by 0.9 err^(-1/(q-1)) down to a fifth, grow by
// 0.9 err^(-1/p) up to five times), with the powers correctly rounded so the
// step sizes, and so the integration, are the same on every platform.
#pragma once

#include "runtime/cr_math.h"

#include <algorithm>

namespace tb {

template <typename Value, typename Time> class RoundedStepAdjuster {
public:
  using time_type = Time;
  using value_type = Value;

  time_type decrease_step(time_type dt, const value_type error, const int errorOrder) const {
    return shrunk(dt, cr::pow(error, value_type(-1) / (errorOrder - 1)));
  }
  // The step shrunk by a power of the error the caller has at hand.
  static time_type shrunk(time_type dt, value_type power) {
    return dt * std::max(value_type(9) / value_type(10) * power, value_type(1) / value_type(5));
  }

  time_type increase_step(time_type dt, value_type error, const int stepperOrder) const {
    if (error < 0.5) {
      error = std::max(smallestError(stepperOrder), error);
      dt = grown(dt, cr::pow(error, value_type(-1) / stepperOrder));
    }
    return dt;
  }

  // The step grown by a power of the error the caller has at hand.
  static time_type grown(time_type dt, value_type power) {
    return dt * (value_type(9) / value_type(10) * power);
  }
  // The least error the growth takes: 5^-order, once per stepper rather than at every step.
  value_type smallestError(const int stepperOrder) const {
    if (stepperOrder != smallestOrder_) {
      smallestOrder_ = stepperOrder;
      smallestError_ = cr::pow(value_type(5), -value_type(stepperOrder));
    }
    return smallestError_;
  }

  // No largest step: the integration limits the step itself.
  bool check_step_size_limit(const time_type) { return true; }
  time_type get_max_dt() { return 0; }

private:
  mutable int smallestOrder_ = -1;
  mutable value_type smallestError_ = 0;
};

} // namespace tb
