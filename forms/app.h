// The application's event handlers: start-up placement of the three windows
// and the Start and End/Stop buttons. Written against the forms runtime only,
// so the desktop program and the batch tool share them.
#pragma once

#include "runtime/forms_runtime.h"
#include "sim/experiment.h"

#include <optional>
#include <string>

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
  // Why the engine would refuse the first test of a Start with the fields
  // as they stand (the message a fault in it gives), found on scratch
  // windows; nothing when it would run. A front end asks before Start, so
  // that a refusal leaves the last series' lines, picture and read-outs.
  std::optional<std::string> startRefusal() const;

private:
  FormsRuntime& forms_;
  Experiment& exp_;
  RunState state_ = RunState::Idle;
};

} // namespace tb
