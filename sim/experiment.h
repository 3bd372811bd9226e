// The experiment: its state, the series of tests, the start configuration, the
// start-up phase, the integration loop and the display step. Talks to windows
// only through the forms runtime.
#pragma once

#include "runtime/forms_runtime.h"
#include "sim/diagnostics.h"
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
};

// The result line of a finished test, as the print form shows it.
std::string resultLine(const TestReport& t);

// The angle step between the tests of a series from its start and end angle.
double angleStep(double alphastr, double alphaend);
// How many tests a series runs when every test ends by an end code; 0 when
// the angles never reach the end angle.
long plannedTests(double alphastr, double alphaend);

// Direction of the vector (dx, dy) in degrees, 0 to 360, as ANGLE gives it.
double angleOf(double dx, double dy, double pi);

class Experiment {
public:
  explicit Experiment(FormsRuntime& forms) : forms_(forms) {}

  // Runs one series of tests from the control form's fields (the Start button).
  void RunSeries();

  // Runs every pass through the stages written for any number of bodies, with
  // an arctangent per step, instead of the three-body stages. Both give the
  // same bits; tests compare them.
  bool generalStages = false;

  // Called after each test's result line has been written.
  std::function<void(const TestReport&)> onTestEnd;

  // The state as the stages left it, brought up to date first.
  SimState& state() {
    syncState();
    return s_;
  }
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

private:
  friend class LaneEngine;

  // stages of a main-loop pass, for any number of bodies
  void accelerations();
  void advancePositions();
  void distanceStatistics();
  void countRevolutions();
  void watchThirdBody();
  // the same stages for exactly three bodies, the program's own case
  void accelerationsThree();
  void advancePositionsThree();
  void countRevolutionsLazy();
  void countRevolution();
  void countRevolutionExact();
  void startAngleWatch();
  void ensurePhiExact();

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
  double readField(const char* control, const char* label);

  // The yield of the main loop. Most calls only count down; the runtime is
  // asked to serve events when the count runs out.
  void yieldPoint() {
    if (--yieldBudget_ == 0) slowYield();
  }
  void slowYield();

  [[noreturn]] void stepFault(const char* stage);

  // The revolution count needs the pair's exact direction (an arctangent)
  // only when the direction is near the reference direction or near the
  // wrap at 0/360; elsewhere a pseudo-angle, monotonic in the direction,
  // decides the same comparisons with a wide margin.
  struct AngleWatch {
    double dx = 0, dy = 0;   // direction of the line from body 0 to body 1 now
    double p = 0;            // its pseudo-angle, 0 to 4
    bool exact = true;       // state.phi holds ANGLE of (dx, dy)
    double pdx = 0, pdy = 0; // the same one step earlier
    double pp = 0;
    bool pexact = true;
    double pphi = 0; // ANGLE of (pdx, pdy) when pexact
    double pref = 0; // pseudo-angle of the reference direction alphadeg
  };

  // The three-body stages keep x and y side by side, as SSE2 lanes want them.
  // Positions and squared distances go to the state every step; the sums,
  // accelerations and differences are written back before anything outside
  // the stages reads the state (a yield, a display step, a fault, the end).
  struct alignas(16) Lanes {
    double pos[3][2];     // (xpos, ypos)
    double start[3][2];   // (xstart, ystart)
    double v0[3][2];      // (vxstart, vystart)
    double v[3][2];       // (vx, vy)
    double acc[3][2];     // (ax, ay)
    double sum[3][2];     // (sumax, sumay)
    double sum2[3][2];    // (sum2ax, sum2ay)
    double diff[3][3][2]; // (xdiff, ydiff)
    double rsq[3][2];     // row i: rsq of its two other bodies, in increasing order
    double gm[3][2];      // row i: gconst * mass of its two other bodies
  };
  void loadLanes();
  void lanesGoAhead();
  void syncState();

  FormsRuntime& forms_;
  Lanes lanes_;
  bool lanesAhead_ = false; // lanes_ hold values the state does not have yet
  AngleWatch watch_;
  SimState s_;
  SeriesLocals l_;
  uint32_t yieldBudget_ = 1;
  std::string lastFault_;
  Conserved atStart_;
};

} // namespace tb
