// The application's event handlers: start-up placement of the three windows
// and the Start and End/Stop buttons. Written against the forms runtime only,
// so the desktop program and the batch tool share them.
#pragma once

#include "runtime/forms_runtime.h"
#include "sim/experiment.h"

namespace tb {

// Whether a series runs. The End button's caption shows it ("Stop" while
// Running), but the code asks this.
enum class RunState {
  Idle,     // no series runs: End ends the application
  Running,  // a series runs: the button stops it
  Stopping, // Stop was clicked: the running test ends at the end of its pass
};

class Application {
public:
  Application(FormsRuntime& forms, Experiment& experiment) : forms_(forms), exp_(experiment) {}

  void Form_Load();
  // Runs one series; a click while a series runs is ignored.
  void CommandStart_Click();
  // While a series runs ("Stop"): asks it to stop; otherwise ends the application.
  void CommandEnd_Click();

  RunState state() const { return state_; }

private:
  FormsRuntime& forms_;
  Experiment& exp_;
  RunState state_ = RunState::Idle;
};

} // namespace tb
