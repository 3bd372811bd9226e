// The experiment: its state, the series of tests, the start configuration, the
// start-up phase, the integration loop and the display step. Talks to windows
// only through the forms runtime.
#pragma once

#include "runtime/forms_runtime.h"
#include "sim/diagnostics.h"
#include "sim/lane_block.h"
#include "sim/state.h"

#include <functional>
#include <optional>
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
  int index = 0; // 0 for the first test of the series
  double alpha = 0;
  int64_t steps = 0; // nstep
  int revolutions = 0;
  EndCode end = EndCode::None;
  float v3 = 0;
  float vesc = 0;
  float v3max = 0; // greatest v3 of the series up to this test's end
  double r3 = 0;
  double dist12min = 0;
  double dist12mean = 0;
  double dist12max = 0;
  double time = 0;  // nstep * tdelta
  std::string line; // the result line as the print form shows it
  // Relative change of total energy and angular momentum over the test; empty
  // after a collision (the merge does not conserve them) or from a zero start.
  std::optional<double> energyDrift;
  std::optional<double> angularMomentumDrift;
  // Whether a display step of this test ran: if not (it was stopped before
  // its first), its speeds and r3 are those the test before left. Whether it
  // wrote the read-outs (at most ten times a second, so a test stopped within
  // a tenth of a second may not have): if not, they are the test before's.
  bool displayed = false;
  bool readoutsWritten = false;
};

// The result line of a finished test, as the print form shows it.
std::string resultLine(const TestReport& t);

// Direction of the vector (dx, dy) in degrees, 0 to 360, as ANGLE gives it.
double angleOf(double dx, double dy, double pi);
// The direction the revolution count compares the pair's direction with:
// alphadeg itself, or for a negative alphadeg the same direction in [0, 360).
// 0 selects the wrap rule of the count.
double revolutionReference(float alphadeg);

class Experiment {
public:
  explicit Experiment(FormsRuntime& forms) : forms_(forms) {}

  // Runs one series of tests from the control form's fields (the Start button).
  void RunSeries();

  // Runs every pass through the stages written for any number of bodies, with
  // an arctangent per step, instead of the three-body pass (lane_kernel.cpp)
  // in a block of one lane. Both give the same bits; tests compare them.
  bool generalStages = false;
  // Draws world x and y at the same scale (circular orbits look round): the
  // world window's height follows the drawing area's proportions, from the
  // next test on. Off, the world window is the square of disp max.
  bool trueProportions = false;

  // Called after each test's result line has been written.
  std::function<void(const TestReport&)> onTestEnd;
  // Called at the end of every display step (every 100 passes and when a
  // test ends), with the state up to date: for graphs over time.
  std::function<void()> onDisplayStep;
  // The bodies' energy and angular momentum at the running test's start.
  const Conserved& conservedAtTestStart() const { return atStart_; }

  // Stops every test after this pass, as a click on Stop at it would.
  std::optional<int64_t> stopAtStep;

  // The state. While a test steps, the state is brought up to date at every
  // yield and every event of the passes (a revolution, a collision, a
  // display step, the end); in between, the passes run ahead of it.
  SimState& state() { return s_; }
  const SimState& state() const { return s_; }
  SeriesLocals& locals() { return l_; }
  const SeriesLocals& locals() const { return l_; }
  // The message of the fault that ended the last series, empty if none.
  const std::string& lastFault() const { return lastFault_; }

  // --- the procedures, public so that tests can drive them one by one ---
  // INITIALISE, COORD, ANGLE and RunSeries keep the names the experiment's
  // design gives them, which its documentation and its users know; the stages
  // written for this program are named in camelCase.
  void INITIALISE();
  void COORD(double m0, double m1, double d, double& x0, double& x1, double& vy0, double& vy1);
  void ANGLE(double& phi);
  void startupPhase();
  void mainLoop();
  void displayStep();

  // A one-test series in three parts, for an engine that steps many tests
  // side by side (the start and end angle fields hold the same angle).
  // beginSolo sets the test up to its first pass and returns false when a
  // fault ended it there (lastFault); the engine then runs the passes, and
  // finishSolo reports the test and ends the series as RunSeries would.
  bool beginSolo();
  void finishSolo();
  // Ends the one-test series with the fault that stopped it.
  void endSoloWithFault(const ArithmeticFault& fault);

  // --- the test in lane k of a block of three-body passes ---
  // Puts the test, as it stands, into the lane.
  template <class Block> void putInLane(Block& b, int k) const;
  // Brings the state up to date from the lane after the block's last pass.
  template <class Block> void takeFromLane(const Block& b, int k);
  // Handles the lane's events of the last pass in the order of the pass's
  // stages, and gives the lane back what they changed. Returns true when
  // the test ended; a fault throws ArithmeticFault.
  template <class Block> bool handleLaneEvents(Block& b, int k, const lanes::Events& ev);

private:
  // stages of a main-loop pass, for any number of bodies
  void accelerations();
  void advancePositions();
  void distanceStatistics();
  void countRevolutions();
  void watchThirdBody();
  // exactly three bodies: the three-body pass in a block of one lane
  void stepAlone();
  void countRevolution();
  void countRevolutionExact();
  void countIfPassed();

  // stages of INITIALISE
  void turnPair();
  void launchThirdBody();
  void keepStartValues();

  // stages of the display step
  void thirdBodySpeeds();
  void pairCentre();
  void refreshReadouts();
  void drawDots();

  // stages of the driver
  void seriesSetup();
  void runTest(int index);
  void beginTest();
  void finishTest(int index);
  TestReport testReport(int index) const;
  void seriesEnd();

  // reading the control form's parameter fields
  double readField(const char* control);

  // The yield of the main loop. Most calls only count down; the runtime is
  // asked to serve events when the count runs out.
  void yieldPoint() {
    if (--yieldBudget_ == 0) slowYield();
  }
  void slowYield();

  [[noreturn]] void stepFault(const char* stage);

  // The line from body 0 to body 1 now and one pass earlier, as the passes
  // left it: the exact revolution count compares their directions.
  struct PairLine {
    double dx = 0, dy = 0;
    double pdx = 0, pdy = 0;
  };

  // The pair's direction in degrees, worked out from line_ when the lane
  // left it there (an arctangent a display step seldom needs).
  double& phiNow();

  FormsRuntime& forms_;
  PairLine line_;
  bool phiFromLine_ = false; // s_.phi is still to be worked out from line_
  SimState s_;
  SeriesLocals l_;
  uint32_t yieldBudget_ = 1;
  std::string lastFault_;
  Conserved atStart_;
};

} // namespace tb
