// A control form in memory, an experiment on it, and helpers to type into the
// fields and run series as a user would.
#pragma once

#include "forms/app.h"
#include "forms/design.h"
#include "forms/headless.h"
#include "runtime/numeric.h"
#include "sim/experiment.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace tb::testing {

struct Rig {
  std::unique_ptr<MemoryForms> forms = newMemoryForms();
  Experiment exp{*forms};
  Application app{*forms, exp};
  std::vector<TestReport> reports;

  Rig() {
    app.Form_Load();
    exp.onTestEnd = [this](const TestReport& r) { reports.push_back(r); };
  }
  Rig& type(const char* control, const std::string& text) {
    forms->setText(control, text);
    return *this;
  }
  // Prepares one test at `alpha` as the driver does, without running it.
  void initialise(double alpha) {
    exp.state().pi = 4 * std::atan(1.0);
    exp.state().alpha = alpha;
    exp.INITIALISE();
  }
  void start() { app.CommandStart_Click(); }
  // Clicks Stop at the first yield of pass n of whichever test reaches it.
  void stopAtStep(int64_t n) {
    forms->onYield = [this, n, clicked = false]() mutable {
      if (!clicked && exp.state().nstep == n) {
        clicked = true;
        app.CommandEnd_Click();
      }
    };
  }
};

} // namespace tb::testing
