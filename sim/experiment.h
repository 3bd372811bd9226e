// The experiment: its state, the series of tests, the start configuration, the
// start-up phase, the integration loop and the display step. Talks to windows
// only through the forms runtime.
#pragma once

#include "runtime/forms_runtime.h"
#include "sim/state.h"

#include <functional>
#include <stdexcept>
#include <string>

namespace tb {

// A floating-point operation would divide by zero, overflow or give an invalid
// result. The message says what happened and which field to change.
class ArithmeticFault : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Thrown out of a yield after the application was ended, to leave the series
// without touching any window again.
struct ApplicationEnded {};

// What one finished test left behind, for the batch tool and the tests.
struct TestReport {
  int index = 0;          // 0 for the first test of the series
  double alpha = 0;
  int64_t steps = 0;      // nstep
  int revolutions = 0;
  int end = 0;            // end code
  float v3 = 0;
  float vesc = 0;
  double r3 = 0;
  double dist12min = 0;
  double dist12mean = 0;
  double dist12max = 0;
  double time = 0;        // nstep * tdelta
  std::string line;       // the result line as the print form shows it
};

class Experiment {
public:
  explicit Experiment(FormsRuntime& forms) : forms_(forms) {}

  // Runs one series of tests from the control form's fields (the Start button).
  void RunSeries();

  // Called after each test's result line has been written.
  std::function<void(const TestReport&)> onTestEnd;

  SimState& state() { return s_; }
  const SimState& state() const { return s_; }
  SeriesLocals& locals() { return l_; }
  const SeriesLocals& locals() const { return l_; }
  // The message of the fault that ended the last series, empty if none.
  const std::string& lastFault() const { return lastFault_; }

  // --- the procedures, public so that tests can drive them one by one ---
  void INITIALISE();
  void COORD(double m0, double m1, double d, double& x0, double& x1, double& vy0, double& vy1);
  void ANGLE(double& phi);
  void startupPhase();
  void mainLoop();
  void displayStep();

private:
  // stages of a main-loop pass
  void accelerations();
  void advancePositions();
  void distanceStatistics();
  void countRevolutions();
  void watchThirdBody();

  // stages of the driver
  void seriesSetup();
  void runTest(int index);
  std::string buildResultLine();
  void seriesEnd();

  // reading the control form's parameter fields
  double readField(const char* control, const char* label);

  // The yield of the main loop. Most calls only count down; the runtime is
  // asked to serve events when the count runs out.
  void yieldPoint() {
    if (--yieldBudget_ == 0) slowYield();
  }
  void slowYield();

  [[noreturn]] void stepFault(const char* stage);

  FormsRuntime& forms_;
  SimState s_;
  SeriesLocals l_;
  uint32_t yieldBudget_ = 1;
  std::string lastFault_;
  int testIndex_ = 0;
};

} // namespace tb
