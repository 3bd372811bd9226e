// The application's event handlers: start-up placement of the three windows
// and the Start and End/Stop buttons. Written against the forms runtime only,
// so the desktop program and the batch tool share them.
#pragma once

#include "runtime/forms_runtime.h"
#include "sim/experiment.h"

namespace tb {

class Application {
public:
  Application(FormsRuntime& forms, Experiment& experiment) : forms_(forms), exp_(experiment) {}

  void Form_Load();
  // Runs one series; a click while a series runs is ignored.
  void CommandStart_Click();
  // "Stop": asks the running series to stop; otherwise ends the application.
  void CommandEnd_Click();

  bool running() const { return running_; }

private:
  FormsRuntime& forms_;
  Experiment& exp_;
  bool running_ = false;
};

} // namespace tb
