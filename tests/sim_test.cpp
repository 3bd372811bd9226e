#include "sim/trace.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>

using namespace tb;
using tb::testing::Rig;

TEST(Initialise, PlacesThePairAndTheThirdBodyAtAngleZero) {
  Rig rig;
  rig.initialise(0);
  const SimState& s = rig.exp.state();
  EXPECT_EQ(s.nstars, 3);
  EXPECT_DOUBLE_EQ(s.xpos[1], 100);
  EXPECT_EQ(s.ypos[1], 0);
  EXPECT_DOUBLE_EQ(s.xpos[0], -100);
  EXPECT_GT(s.ypos[0], 0); // r0 * sin(pi) is a rounding error above 0
  EXPECT_LT(s.ypos[0], 1e-12);
  EXPECT_DOUBLE_EQ(s.vy[1], std::sqrt(10.0) / 2);
  EXPECT_DOUBLE_EQ(s.vy[0], -std::sqrt(10.0) / 2);
  EXPECT_EQ(s.phi, 360.0);
  EXPECT_EQ(s.phiold, 360.0);
  EXPECT_EQ(s.xpos[2], 500);
  EXPECT_LT(s.vx[2], 0); // towards the pair
  EXPECT_EQ(s.vy[2], 0);
  EXPECT_EQ(s.plot.xmin, -500);
  EXPECT_EQ(s.plot.ymax, 500);
  EXPECT_EQ(rig.forms->text("Trev"), " 0");
  EXPECT_EQ(rig.forms->caption("LMesg"), "");
}

TEST(Initialise, TurnsThePairByTheTestAngle) {
  struct Case {
    double alpha;
    float alphadeg;
  } cases[] = {{90, 90}, {360, 0}, {400, 40}, {720, 360}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alpha);
    Rig rig;
    rig.initialise(c.alpha);
    const SimState& s = rig.exp.state();
    EXPECT_EQ(s.alphadeg, c.alphadeg);
    double a = c.alphadeg * (4 * std::atan(1.0)) / 180;
    EXPECT_NEAR(s.xpos[1], 100 * std::cos(a), 1e-9);
    EXPECT_NEAR(s.ypos[1], 100 * std::sin(a), 1e-9);
    EXPECT_NEAR(s.xpos[0], -s.xpos[1], 1e-9);
    // The start direction matches the reference direction up to rounding.
    double turn = std::remainder(s.phi - c.alphadeg, 360.0);
    EXPECT_NEAR(turn, 0, 1e-9);
  }
}

TEST(Coord, GivesCircularOrbitSpeedsAboutTheCentreOfMass) {
  Rig rig;
  rig.exp.state().gconst = 1;
  double x0 = 0, x1 = 0, vy0 = 0, vy1 = 0;
  rig.exp.COORD(1000, 3000, 200, x0, x1, vy0, vy1);
  EXPECT_DOUBLE_EQ(x0, -150);
  EXPECT_DOUBLE_EQ(x1, 50);
  // Together the speeds give the relative circular speed sqrt(G M / d).
  EXPECT_NEAR(vy1 - vy0, std::sqrt(4000.0 / 200), 1e-12);
  // Momentum balance about the centre of mass.
  EXPECT_NEAR(1000 * vy0 + 3000 * vy1, 0, 1e-9);
}

TEST(Angle, CoversTheFullCircleIncludingStraightUpAndDown) {
  Rig rig;
  SimState& s = rig.exp.state();
  s.pi = 4 * std::atan(1.0);
  struct Case {
    double dx, dy, phi;
  } cases[] = {{1, 0, 0}, {0, 1, 90}, {-1, 0, 180}, {0, -1, 270}, {1, 1, 45}, {-1, -1, 225}, {1, -1, 315}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.dx) + "," + std::to_string(c.dy));
    s.xpos[0] = 3;
    s.ypos[0] = 4;
    s.xpos[1] = 3 + c.dx;
    s.ypos[1] = 4 + c.dy;
    double phi = -1;
    rig.exp.ANGLE(phi);
    EXPECT_NEAR(phi, c.phi, 1e-12);
  }
}

TEST(StartupPhase, PreparesStepZeroForTheDefaultConfiguration) {
  Rig rig;
  RESIZE(*rig.forms, rig.exp.state().plot, 1);
  rig.initialise(0);
  SimState& s = rig.exp.state();
  s.nstars = 2;
  rig.exp.locals().col0 = QBColor(12);
  rig.exp.locals().col1 = QBColor(10);
  rig.exp.startupPhase();
  EXPECT_EQ(s.endcode, EndCode::None);
  EXPECT_EQ(s.nstep, 0);
  EXPECT_EQ(s.sumax[0], 0);
  EXPECT_EQ(s.sum2ay[2], 0);
  const SeriesLocals& l = rig.exp.locals();
  EXPECT_DOUBLE_EQ(l.dist12, 200);
  EXPECT_EQ(l.dist12min, l.dist12);
  EXPECT_EQ(l.dist12max, l.dist12);
  EXPECT_NEAR(l.xcm, 0, 1e-12);
  EXPECT_NEAR(l.ycm, 0, 1e-12);
  // The centre marker lands at the middle of the plot, in black.
  double px, py;
  PointCalc(s.plot, 0, 0, px, py);
  EXPECT_EQ(rig.forms->pixel(static_cast<int>(px), static_cast<int>(py)), QBColor(0));
  // Body 1's marker at 1.15 times its offset, light red.
  PointCalc(s.plot, 1.15 * -100, 0, px, py);
  EXPECT_EQ(rig.forms->pixel(static_cast<int>(px), static_cast<int>(py)), QBColor(12));
}

TEST(StartupPhase, BodiesTooCloseOneStepBackEndTheTestAtOnce) {
  for (double gap : {0.5, 2.0}) {
    SCOPED_TRACE(gap);
    Rig rig;
    RESIZE(*rig.forms, rig.exp.state().plot, 1);
    rig.initialise(0);
    SimState& s = rig.exp.state();
    s.nstars = 2;
    // Body 3 at rest just beside body 2, which moves along y by 0.0016 a step.
    s.xstart[2] = s.xpos[2] = s.xstart[1] + gap;
    s.vxstart[2] = s.vx[2] = 0;
    rig.exp.startupPhase();
    EXPECT_EQ(s.endcode, gap < 1 ? EndCode::Collision : EndCode::None);
  }
}

TEST(DisplayStep, ReadOutsRefreshAtMostTenTimesASecondAndAlwaysAtTheEnd) {
  // A clock that moves 0.04 s per reading: the display step reads it once per
  // call and again after a refresh, so a refresh comes every third call or so.
  for (double tick : {0.0, 0.04}) {
    SCOPED_TRACE(tick);
    Rig rig;
    double now = 1000;
    rig.forms->clock_ = [&] { return now += tick; };
    int refreshes = 0;
    std::string last = rig.forms->text("Tcycle");
    rig.forms->onYield = [&] {
      std::string t = rig.forms->text("Tcycle");
      if (t != last) ++refreshes;
      last = t;
    };
    rig.type("Ttdelta", "0.01").type("Talphaend", "0");
    rig.start();
    ASSERT_EQ(rig.reports.size(), 1u);
    // The pass that ends the test always refreshes: the final step count shows.
    EXPECT_EQ(rig.forms->text("Tcycle"), Str(rig.reports[0].steps));
    int64_t displaySteps = rig.reports[0].steps / 100;
    if (tick == 0) {
      EXPECT_LE(refreshes, 1); // a frozen clock: only the final refresh
    } else {
      EXPECT_GT(refreshes, displaySteps / 4);
      EXPECT_LT(refreshes, displaySteps / 2);
    }
  }
}

// The graphs' samples: one per display step, ending where the test ends, the
// energy error at the end the drift the test reports, and after a collision
// the third body's values gone.
TEST(Trace, SamplesEveryDisplayStepUpToTheTestsEnd) {
  for (const char* alpha : {"0", "70"}) { // far but bound, and a collision
    Rig rig;
    rig.type("Ttdelta", "0.01").type("Talphastr", alpha).type("Talphaend", alpha);
    std::vector<TraceSample> samples;
    rig.exp.onDisplayStep = [&] { samples.push_back(traceSample(rig.exp)); };
    rig.start();
    ASSERT_EQ(rig.reports.size(), 1u);
    const TestReport& r = rig.reports[0];
    ASSERT_GT(samples.size(), 10u) << alpha;
    EXPECT_EQ(samples.back().time, r.time) << alpha;
    for (size_t i = 1; i < samples.size(); ++i)
      ASSERT_GE(samples[i].time, samples[i - 1].time) << alpha;
    // The pair starts 200 apart; the third body far out.
    EXPECT_NEAR(samples.front().dist12, 200, 1) << alpha;
    EXPECT_GT(samples.front().dist13, 500) << alpha;
    EXPECT_EQ(static_cast<float>(samples.back().vesc), r.vesc) << alpha;
    EXPECT_EQ(static_cast<float>(samples.back().v3), r.v3) << alpha;
    if (r.end == EndCode::Collision) {
      EXPECT_TRUE(std::isnan(samples.back().dist13));
      EXPECT_TRUE(std::isnan(samples.back().energyError));
      EXPECT_FALSE(r.energyDrift);
    } else {
      ASSERT_TRUE(r.energyDrift);
      EXPECT_EQ(samples.back().energyError, *r.energyDrift) << alpha;
      EXPECT_LT(std::fabs(samples[samples.size() / 2].energyError), 0.1) << alpha;
    }
  }
}

TEST(Trace, KeepsALongTestAtAnEvenSpacingWithinItsLimit) {
  for (size_t count : {5u, 16u, 17u, 1000u, 4097u}) {
    Trace trace(16);
    for (size_t i = 0; i < count; ++i) {
      TraceSample s;
      s.time = static_cast<double>(i);
      trace.add(s);
    }
    const auto& kept = trace.samples();
    ASSERT_LE(kept.size(), 16u) << count;
    ASSERT_GE(kept.size(), std::min<size_t>(count, 8)) << count;
    EXPECT_EQ(kept.front().time, 0) << count;
    for (size_t i = 1; i < kept.size(); ++i)
      ASSERT_EQ(kept[i].time - kept[i - 1].time, static_cast<double>(trace.stride())) << count << " at " << i;
    // The last sample kept is within one stride of the last added.
    EXPECT_GT(kept.back().time + static_cast<double>(trace.stride()), static_cast<double>(count - 1))
        << count;
  }
}
