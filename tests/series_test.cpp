#include "sim_fixture.h"

#include <gtest/gtest.h>

#include "results/export.h"
#include "sim/series_plan.h"

#include <cmath>
#include <fstream>

using namespace tb;
using tb::testing::Rig;

namespace {
// A time step ten times the default keeps each test under half a million steps;
// every test still ends by an end code.
constexpr const char* kQuickStep = "0.01";
constexpr double kPeriod = 397.3835; // 2 pi sqrt(200^3 / 2000), the default pair's period
} // namespace

TEST(Series, AngleStepsAndNumberOfTests) {
  struct Case {
    const char* start;
    const char* end;
    size_t tests;
    double last;
  } cases[] = {
      {"0", "180", 19, 180},    {"0", "175", 19, 180}, {"0", "5", 6, 5},    {"0", "50", 11, 50},
      {"0", "12.34", 12, 13.2}, {"0", "300", 16, 300}, {"0", "1", 12, 1.1}, {"180", "0", 1, 180},
      {"45", "45", 1, 45},      {"abc", "", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " to " + c.end);
    Rig rig;
    rig.type("Ttdelta", kQuickStep).type("Talphastr", c.start).type("Talphaend", c.end);
    rig.start();
    ASSERT_EQ(rig.reports.size(), c.tests);
    EXPECT_EQ(SeriesPlan::of(Val(c.start), Val(c.end)).count(), static_cast<long>(c.tests));
    // The plan's angles are the driver's, to the bit.
    std::vector<double> angles = SeriesPlan::of(Val(c.start), Val(c.end)).angles(1000);
    ASSERT_EQ(angles.size(), c.tests);
    for (size_t i = 0; i < angles.size(); ++i)
      EXPECT_EQ(angles[i], rig.reports[i].alpha);
    EXPECT_NEAR(rig.reports.back().alpha, c.last, 1e-9);
    for (size_t i = 1; i < rig.reports.size(); ++i)
      EXPECT_GT(rig.reports[i].alpha, rig.reports[i - 1].alpha);
    EXPECT_EQ(rig.forms->caption("LMesg"), "NEXT TEST ? ");
    EXPECT_EQ(rig.forms->caption("CommandEnd"), "End");
  }
}

TEST(Series, StepOfOneTenthAccumulatesBelowTheEndAngle) {
  Rig rig;
  rig.type("Ttdelta", kQuickStep).type("Talphastr", "0").type("Talphaend", "1");
  rig.start();
  ASSERT_EQ(rig.reports.size(), 12u);
  EXPECT_LT(rig.reports[10].alpha, 1.0); // ten additions of 0.1 fall just short of 1
  EXPECT_EQ(rig.reports[10].line.substr(0, 9), "Alpha   0");
}

TEST(Series, LinesBeyondTheNineteenthOverwriteTheLastLabel) {
  Rig rig;
  rig.type("Ttdelta", kQuickStep).type("Talphastr", "0").type("Talphaend", "500");
  rig.start();
  ASSERT_EQ(rig.reports.size(), 26u);
  for (int i = 0; i < 18; ++i)
    EXPECT_EQ(rig.forms->lmesg(i), rig.reports[i].line);
  EXPECT_EQ(rig.forms->lmesg(18), rig.reports.back().line);
  EXPECT_EQ(rig.reports.back().line.substr(0, 9), "Alpha 500");

  // A second Start blanks all 19 labels and fills them again from the top.
  rig.reports.clear();
  rig.type("Talphastr", "10").type("Talphaend", "10");
  rig.start();
  ASSERT_EQ(rig.reports.size(), 1u);
  EXPECT_EQ(rig.forms->lmesg(0), rig.reports[0].line);
  for (int i = 1; i <= 18; ++i)
    EXPECT_EQ(rig.forms->lmesg(i), "");
}

TEST(Series, StopEndsTheTestAtTheEndOfThePassAndWritesItsLine) {
  Rig rig;
  bool clicked = false;
  rig.forms->onYield = [&] {
    if (!clicked && rig.exp.state().nstep == 5000) {
      clicked = true;
      rig.app.CommandEnd_Click();
      EXPECT_EQ(rig.forms->caption("CommandEnd"), "End");
    }
  };
  rig.start();
  ASSERT_EQ(rig.reports.size(), 1u);
  EXPECT_EQ(rig.reports[0].steps, 5000);
  EXPECT_EQ(rig.reports[0].end, EndCode::None);
  EXPECT_EQ(rig.forms->lmesg(0), rig.reports[0].line);
  EXPECT_EQ(rig.reports[0].line.substr(rig.reports[0].line.size() - 6), "end  0");
  EXPECT_EQ(rig.forms->caption("LMesg"), "NEXT TEST ? ");
  EXPECT_EQ(rig.forms->caption("CommandEnd"), "End");
  EXPECT_FALSE(rig.forms->ended());

  // A stopped series leaves stopflag at 1; the next Start clears it per test.
  rig.forms->onYield = nullptr;
  rig.reports.clear();
  rig.type("Ttdelta", kQuickStep).type("Talphaend", "0.2");
  rig.start();
  EXPECT_EQ(rig.reports.size(), 3u); // 0, 0.1 and 0.2
}

TEST(Series, EverySeriesStartsFromZeroedDriverValues) {
  // A first test stopped before its first display step reports v3, vesc and r3
  // of 0, also when an earlier series left other values behind.
  Rig rig;
  rig.type("Ttdelta", kQuickStep).type("Talphaend", "0");
  rig.start();
  ASSERT_EQ(rig.reports.size(), 1u);
  ASSERT_GT(rig.reports[0].r3, 0);
  rig.reports.clear();
  rig.stopAtStep(50);
  rig.start();
  ASSERT_EQ(rig.reports.size(), 1u);
  EXPECT_EQ(rig.reports[0].v3, 0);
  EXPECT_EQ(rig.reports[0].vesc, 0);
  EXPECT_EQ(rig.reports[0].r3, 0);
  EXPECT_EQ(rig.reports[0].line.substr(0, 42), "Alpha   0 v3  0.000 vesc  0.000 r3    0 di");
}

// A test run apart and given what it takes over from the test before it is
// the test of the series, read-outs included: the second test stopped before
// its first display step (it shows the first test's speeds, r3 and read-outs)
// and after some, with a clock that stands still (the read-outs are only
// written as a test ends: those of the first test stay) and one that races
// (every display step writes them).
TEST(Series, ATestRunApartTakesOverWhatTheTestBeforeLeft) {
  struct Case {
    int64_t stopAt;
    double tick;
  } cases[] = {{50, 0}, {5000, 0}, {5000, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.stopAt) + " steps, clock tick " + std::to_string(c.tick));
    auto run = [&](Rig& rig, std::vector<ExportedTest>& tests) {
      rig.forms->clock_ = [now = 0.0, tick = c.tick]() mutable { return now += tick; };
      rig.exp.onTestEnd = [&](const TestReport& r) { tests.push_back(exportedTest(r, *rig.forms)); };
      rig.type("Ttdelta", kQuickStep);
      rig.start();
    };
    Rig series;
    std::vector<ExportedTest> tests;
    series.forms->onYield = [&] {
      if (tests.size() == 1 && series.exp.state().nstep == c.stopAt) series.app.CommandEnd_Click();
    };
    series.type("Talphastr", "70").type("Talphaend", "140");
    run(series, tests);
    ASSERT_EQ(tests.size(), 2u);
    ASSERT_EQ(tests[1].report.steps, c.stopAt);
    EXPECT_EQ(tests[1].report.displayed, c.stopAt > 100);
    EXPECT_EQ(tests[1].report.readoutsWritten, c.stopAt > 100 && c.tick > 0);

    Rig apart;
    std::vector<ExportedTest> alone;
    const std::string angle = exactText(tests[1].report.alpha);
    apart.type("Talphastr", angle).type("Talphaend", angle);
    apart.stopAtStep(c.stopAt);
    run(apart, alone);
    ASSERT_EQ(alone.size(), 1u);
    ExportedTest t = alone[0];
    float seriesMax = tests[0].report.v3max;
    takeOverFromTestBefore(t.report, t.readouts, &tests[0].report, &tests[0].readouts, seriesMax);
    t.report.index = 1;
    EXPECT_EQ(testToCsvRow(t.report), testToCsvRow(tests[1].report));
    EXPECT_EQ(t.report.v3max, tests[1].report.v3max);
    EXPECT_EQ(t.readouts, tests[1].readouts);
    // Run alone without the test before, a test that wrote no read-outs shows other ones.
    if (!tests[1].report.readoutsWritten) {
      EXPECT_NE(alone[0].readouts, tests[1].readouts);
    }
  }
}

TEST(Series, EndDuringASeriesEndsAtOnceWithoutAnotherLine) {
  Rig rig;
  rig.forms->onYield = [&] {
    if (rig.exp.state().nstep == 300) {
      rig.app.CommandEnd_Click(); // Stop
      rig.app.CommandEnd_Click(); // End, before the pass is over
    }
  };
  rig.start();
  EXPECT_TRUE(rig.forms->ended());
  EXPECT_TRUE(rig.reports.empty());
  EXPECT_EQ(rig.forms->lmesg(0), "");
  EXPECT_NE(rig.forms->caption("LMesg"), "NEXT TEST ? ");
}

TEST(Series, StartWhileRunningIsIgnored) {
  Rig rig;
  rig.type("Ttdelta", kQuickStep).type("Talphaend", "0");
  int nestedClicks = 0;
  rig.forms->onYield = [&] {
    if (rig.exp.state().nstep == 10 && nestedClicks == 0) {
      ++nestedClicks;
      rig.app.CommandStart_Click();
    }
  };
  rig.start();
  EXPECT_EQ(nestedClicks, 1);
  EXPECT_EQ(rig.reports.size(), 1u);
}

TEST(Series, EveryEndCodeFromARealRun) {
  // Default parameters give collisions (1), escapes (2) and distant orbits (3);
  // a third body sent away from the pair never approaches: ten revolutions (4).
  Rig rig;
  rig.type("Talphastr", "0").type("Talphaend", "70");
  rig.start();
  bool seen[5] = {};
  for (const auto& r : rig.reports)
    seen[endNumber(r.end)] = true;
  EXPECT_TRUE(seen[1]);
  EXPECT_TRUE(seen[2]);
  EXPECT_TRUE(seen[3]);

  Rig away;
  away.type("Tinitv2", "-1").type("Talphaend", "0");
  away.start();
  ASSERT_EQ(away.reports.size(), 1u);
  EXPECT_EQ(away.reports[0].end, EndCode::TenRevolutions);
  EXPECT_EQ(away.reports[0].revolutions, 10);
  // Ten periods of the pair, counted from its start direction.
  EXPECT_NEAR(away.reports[0].time, 10 * kPeriod, 0.01 * 10 * kPeriod);
}

TEST(Series, OutcomesFollowThePairsKeplerPeriod) {
  Rig rig;
  rig.start();
  ASSERT_EQ(rig.reports.size(), 19u);
  for (const auto& r : rig.reports) {
    SCOPED_TRACE(r.line);
    EXPECT_NEAR(r.dist12min, 200, 2);
    EXPECT_NEAR(r.dist12max, 200, 2);
    EXPECT_NEAR(r.dist12mean, 200, 2);
    if (r.end == EndCode::Escaped || r.end == EndCode::FarBound) {
      double periods = r.time / kPeriod;
      EXPECT_NEAR(periods, std::round(periods), 0.01 * periods);
      EXPECT_GE(r.revolutions, 3);
    }
    if (r.end == EndCode::Collision) {
      EXPECT_NEAR(r.r3, 0, 200); // absorbed next to the pair
    }
  }
}

TEST(Series, DefaultSeriesMatchesItsRecordedValuesToTheLastDigit) {
  // Every test of the default series with its full-precision values, as
  // recorded; any change in the order of floating-point operations, or in
  // which values are single precision, moves some last digit here.
  std::ifstream golden(GOLDEN_DIR "/default_series.csv");
  ASSERT_TRUE(golden.good());
  std::vector<std::string> expected;
  for (std::string l; std::getline(golden, l);)
    expected.push_back(l);
  Rig rig;
  rig.start();
  ASSERT_EQ(rig.reports.size() + 1, expected.size());
  EXPECT_EQ(expected[0], csvHeader());
  for (size_t i = 0; i < rig.reports.size(); ++i)
    EXPECT_EQ(testToCsvRow(rig.reports[i]), expected[i + 1]);
}

TEST(Faults, ArithmeticFaultsEndTheSeriesWithAClearMessage) {
  std::string hugeStep = "1" + std::string(200, '0');
  struct Row {
    const char* control;
    std::string text;
    const char* names; // the field the message tells the user to change
    const char* mended;
  } rows[] = {
      {"Tm2", "-1000", "m2", "1000"},
      {"Tm2", "-2000", "m2", "1000"},
      {"Tm2", "-600", "m2", "1000"},
      {"Tdispmax", "0", "disp max", "500"},
      {"Ttdelta", hugeStep, "tdelta", kQuickStep},
      {"Tm3", std::string(400, '9'), "m3", "1"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.control) + " = " + r.text.substr(0, 12));
    Rig rig;
    rig.type("Talphaend", "0").type(r.control, r.text);
    rig.start();
    ASSERT_EQ(rig.forms->fatalMessages.size(), 1u);
    EXPECT_NE(rig.forms->fatalMessages[0].find(r.names), std::string::npos) << rig.forms->fatalMessages[0];
    EXPECT_TRUE(rig.reports.empty());
    EXPECT_EQ(rig.forms->caption("LMesg"), "NEXT TEST ? ");
    EXPECT_EQ(rig.forms->caption("CommandEnd"), "End");
    // No infinity or NaN reached the read-outs.
    for (const char* c : {"Tr1", "Tr2", "Tr3", "Tv3", "Tvesc", "Tdist01", "Tphi"}) {
      std::string t = rig.forms->text(c);
      EXPECT_EQ(t.find("Inf"), std::string::npos) << c;
      EXPECT_EQ(t.find("NaN"), std::string::npos) << c;
    }
    // The program stays usable: with the field mended the next Start runs.
    rig.type(r.control, r.mended).type("Ttdelta", kQuickStep);
    rig.start();
    EXPECT_EQ(rig.reports.size(), 1u);
    EXPECT_EQ(rig.forms->fatalMessages.size(), 1u);
  }
}

TEST(Faults, LinesAlreadyWrittenStayWhenALaterTestFails) {
  Rig rig;
  rig.type("Ttdelta", kQuickStep).type("Talphaend", "40");
  // The user types m2 = -1000 while the first test runs; it takes effect next test.
  rig.forms->onYield = [&] {
    if (rig.exp.state().nstep == 10 && rig.reports.empty()) rig.type("Tm2", "-1000");
  };
  rig.start();
  ASSERT_EQ(rig.reports.size(), 1u);
  EXPECT_EQ(rig.forms->lmesg(0), rig.reports[0].line);
  ASSERT_EQ(rig.forms->fatalMessages.size(), 1u);
  EXPECT_NE(rig.forms->fatalMessages[0].find("total mass of 0"), std::string::npos);
}

TEST(Series, ResultLineFormatMatchesTheWorkedExample) {
  Rig rig;
  rig.start();
  // Alpha, v3, vesc, r3, three distances, time and end code at fixed widths.
  for (const auto& r : rig.reports) {
    SCOPED_TRACE(r.line);
    EXPECT_EQ(r.line.size(), 84u);
    EXPECT_EQ(r.line.substr(0, 6), "Alpha ");
    EXPECT_EQ(r.line.substr(9, 4), " v3 ");
    EXPECT_EQ(r.line.substr(19, 6), " vesc ");
    EXPECT_EQ(r.line.substr(31, 4), " r3 ");
    EXPECT_EQ(r.line.substr(39, 8), " dist12 ");
    EXPECT_EQ(r.line.substr(r.line.size() - 7, 5), " end ");
  }
}

TEST(Exactness, ThreeBodyStagesGiveTheSameBitsAsTheGeneralStages) {
  // The three-body pass keeps x and y side by side in one vector and decides
  // the revolution count from a pseudo-angle away from the reference
  // direction; the general stages take the arctangent every step. Every
  // value must agree to the last bit, at reference directions on the axes,
  // near the wrap, and where none is counted.
  struct Case {
    const char* start;
    const char* end;
    const char* tdelta;
    const char* initv3;
    const char* m2;
    int64_t stopAt; // 0: run to the end codes
  } cases[] = {
      {"0", "180", "0.01", "0.9", "1000", 0},     {"90", "90", "0.005", "0.9", "1000", 0},
      {"270", "270", "0.01", "0.9", "500", 0},    {"359.99", "359.99", "0.01", "0.9", "1000", 0},
      {"0", "0", "0.01", "-1", "1000", 0},        {"725", "725", "0.01", "0.9", "1000", 150000},
      {"45", "45", "0.02", "1.5", "200", 0},      {"0", "0", "0.01", "0.9", "3000", 0},
      {"-334", "-334", "0.01", "0.9", "1000", 0}, {"-360", "-350", "0.01", "0.9", "1000", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + ".." + c.end + " tdelta " + c.tdelta + " m2 " + c.m2);
    std::vector<TestReport> results[2];
    double finalPhi[2];
    for (int general = 0; general < 2; ++general) {
      Rig rig;
      rig.exp.generalStages = general == 1;
      rig.type("Talphastr", c.start).type("Talphaend", c.end).type("Ttdelta", c.tdelta);
      rig.type("Tinitv2", c.initv3).type("Tm2", c.m2);
      if (c.stopAt) rig.stopAtStep(c.stopAt);
      rig.start();
      ASSERT_TRUE(rig.forms->fatalMessages.empty()) << rig.forms->fatalMessages[0];
      results[general] = rig.reports;
      finalPhi[general] = rig.exp.state().phi;
    }
    ASSERT_EQ(results[0].size(), results[1].size());
    ASSERT_FALSE(results[0].empty());
    for (size_t i = 0; i < results[0].size(); ++i) {
      EXPECT_EQ(testToCsvRow(results[0][i]), testToCsvRow(results[1][i]));
      EXPECT_EQ(results[0][i].revolutions, results[1][i].revolutions);
    }
    EXPECT_EQ(finalPhi[0], finalPhi[1]);
  }
}
