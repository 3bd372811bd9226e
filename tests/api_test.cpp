// The library API, as another program calls it: the same lines and rows as
// the tools, its refusals, a test's trajectory, stopping, and two
// experiments at once.
#include <threebody/threebody.h>

#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "apps/map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

// What threebody-batch prints for `args`, line by line.
std::vector<std::string> batchLines(const std::vector<std::string>& args) {
  tb::ParseResult p = tb::parseBatchOptions(args);
  std::ostringstream out, err;
  tb::runBatch(p.options, out, err, false);
  std::vector<std::string> lines;
  std::istringstream in(out.str());
  for (std::string l; std::getline(in, l);)
    lines.push_back(l);
  return lines;
}

std::vector<std::string> apiLines(const threebody::Experiment& e, threebody::SeriesOptions o = {}) {
  std::vector<std::string> lines;
  threebody::runSeries(e, o, [&](const threebody::TestResult& t) { lines.push_back(t.line); });
  return lines;
}

threebody::Experiment quick() {
  threebody::Experiment e;
  e.set("tdelta", "0.01");
  e.set("--alpha-end", "60");
  return e;
}

} // namespace

TEST(Api, SeriesGivesTheBatchToolsLinesOnAnyLanesAndThreads) {
  const std::vector<std::string> expected = batchLines({"--tdelta", "0.01", "--alpha-end", "60"});
  ASSERT_EQ(expected.size(), 11u); // 0 to 60 in steps of 6
  EXPECT_EQ(apiLines(quick()), expected);
  threebody::SeriesOptions wide;
  wide.threads = 2;
  wide.lanes = 0;
  EXPECT_EQ(apiLines(quick(), wide), expected);
  // Every column of the CSV, by name, as the tool writes it.
  std::vector<threebody::TestResult> tests;
  threebody::runSeries(quick(), {}, [&](const threebody::TestResult& t) { tests.push_back(t); });
  ASSERT_EQ(tests.size(), expected.size());
  EXPECT_EQ(tests[0].columns.front().first, "alpha");
  EXPECT_EQ(tests[0].columns.back(), (std::pair<std::string, std::string>("line", expected[0])));
  EXPECT_EQ(tests[10].alpha, 60);
  EXPECT_EQ(tests[10].index, 10);
}

TEST(Api, CheckAndVerifyMarkEachTestAsTheToolDoes) {
  threebody::SeriesOptions o;
  o.check = true;
  o.verify = true;
  std::vector<threebody::TestResult> tests;
  threebody::runSeries(quick(), o, [&](const threebody::TestResult& t) { tests.push_back(t); });
  const std::vector<std::string> marked =
      batchLines({"--tdelta", "0.01", "--alpha-end", "60", "--check", "--verify"});
  ASSERT_EQ(tests.size(), marked.size());
  for (size_t k = 0; k < tests.size(); ++k) {
    ASSERT_TRUE(tests[k].same_at_half_step && tests[k].verdict);
    // The tool marks a differing test " *" and writes the verdict after it.
    std::string line =
        tests[k].line + (*tests[k].same_at_half_step ? "" : " *") + " [" + *tests[k].verdict + "]";
    EXPECT_EQ(line, marked[k]);
  }
}

TEST(Api, RefusedExperimentsSayWhatToChange) {
  threebody::Experiment e;
  try {
    e.set("tdelta", "0,01");
    FAIL() << "0,01 was taken";
  } catch (const threebody::Error& error) {
    EXPECT_NE(std::string(error.what()).find("--tdelta: \"0,01\" is not a number"), std::string::npos)
        << error.what();
  }
  EXPECT_THROW(e.set("mass", "1"), threebody::Error);
  EXPECT_EQ(e.get("tdelta"), "0.001"); // unchanged by the refusals
  // A time step of 0 and masses the engine refuses: before any test runs.
  threebody::Experiment still;
  still.tdelta = "0";
  EXPECT_THROW(apiLines(still), threebody::Error);
  threebody::Experiment massless;
  massless.m2 = "-1000";
  try {
    apiLines(massless);
    FAIL() << "a pair of mass 0 ran";
  } catch (const threebody::Error& error) {
    EXPECT_NE(std::string(error.what()).find("m2"), std::string::npos) << error.what();
  }
  // From numbers, each written exactly.
  const threebody::Experiment n = threebody::Experiment::fromNumbers(0, 60, 0.01, 0.9, 1000, 1, 500);
  EXPECT_EQ(n.tdelta, "0.01");
  EXPECT_EQ(apiLines(n), apiLines(quick()));
}

TEST(Api, OneTestsTrajectoryEndsWithItsResult) {
  const threebody::Trajectory t = threebody::runTest(quick(), 40);
  ASSERT_GT(t.points.size(), 100u);
  EXPECT_EQ(t.result.line,
            batchLines({"--tdelta", "0.01", "--alpha-start", "40", "--alpha-end", "40"}).at(0));
  EXPECT_EQ(t.points.back().time, t.result.time);
  // The pair's bodies of equal mass stay 100 from their centre, opposite.
  const threebody::TrajectoryPoint& first = t.points.front();
  EXPECT_NEAR(std::hypot(first.x[0], first.y[0]), 100, 1);
  EXPECT_NEAR(first.x[0] + first.x[1], 0, 1e-9);
  EXPECT_NEAR(first.dist12, 200, 1);
  EXPECT_GT(first.dist13, 400);
  for (size_t k = 1; k < t.points.size(); ++k)
    ASSERT_GT(t.points[k].time, t.points[k - 1].time);
}

TEST(Api, MapGivesTheMapToolsRows) {
  const std::string csv = "/tmp/threebody_api_map_" + std::to_string(getpid()) + ".csv";
  tb::MapOptions tool;
  ASSERT_EQ(tb::parseMapOptions({"--x", "alpha=0:120:5", "--y", "init-v3=0.8:1:3", "--tdelta", "0.01",
                                 "--csv", csv, "--jobs", "2"},
                                tool),
            "");
  std::ostringstream out, err;
  ASSERT_EQ(tb::runMap(tool, out, err, tb::MapProgress{}), 0) << err.str();
  std::ifstream in(csv);
  std::stringstream expected;
  expected << in.rdbuf();
  std::remove(csv.c_str());

  threebody::Experiment e;
  e.set("tdelta", "0.01");
  threebody::MapOptions o;
  o.x = {"alpha", 0, 120, 5};
  o.y = {"init-v3", 0.8, 1, 3};
  o.threads = 2;
  std::string rows;
  size_t progressed = 0;
  std::vector<threebody::MapPoint> points;
  const threebody::MapSummary s = threebody::runMap(
      e, o,
      [&](const threebody::MapPoint& p) {
        rows += p.csv;
        points.push_back(p);
      },
      [&](size_t done, size_t) { progressed = done; });
  EXPECT_EQ(s.csv_head + rows, expected.str());
  EXPECT_EQ(s.done, 15u);
  EXPECT_EQ(progressed, 15u);
  int64_t counted = 0;
  for (const auto& [name, n] : s.outcomes)
    counted += n;
  EXPECT_EQ(counted, 15);
  EXPECT_NE(s.json.find("\"points\":15"), std::string::npos) << s.json;
  // A point is the test at its values: the same end, revolutions, time and steps.
  for (size_t k : {0u, 7u, 14u}) {
    const threebody::MapPoint& p = points.at(k);
    threebody::Experiment at = e;
    std::ostringstream y;
    y << std::setprecision(17) << p.y; // the same double as the map's point
    at.set("init-v3", y.str());
    const threebody::TestResult t = threebody::runTest(at, p.x).result;
    EXPECT_EQ(p.end, t.end) << k;
    EXPECT_EQ(p.revolutions, t.revolutions) << k;
    EXPECT_EQ(p.time, t.time) << k;
    EXPECT_EQ(p.steps, t.steps) << k;
    EXPECT_EQ(p.outcome, t.end_name) << k;
  }
  // An axis the tool refuses, refused with its words; so is a thread count
  // the tools' --jobs would not take.
  o.y.field = "alpha";
  EXPECT_THROW(threebody::runMap(e, o, {}), threebody::Error);
  o.y.field = "m3";
  for (int threads : {-1, 1025}) {
    o.threads = threads;
    EXPECT_THROW(threebody::runMap(e, o, {}), threebody::Error) << threads;
    threebody::SeriesOptions s;
    s.threads = threads;
    EXPECT_THROW(threebody::runSeries(e, s, {}), threebody::Error) << threads;
  }
}

// A job computes the points it is given, in that order, each as the whole
// map computes it: taken waiting, taken by polling, or only the part of a
// map still missing.
TEST(Api, AMapJobGivesThePointsItIsAskedForInItsOrder) {
  threebody::Experiment e;
  e.set("tdelta", "0.01");
  threebody::MapOptions o;
  o.x = {"alpha", 0, 120, 5};
  o.y = {"m3", 1, 100, 3};
  o.threads = 2;
  o.verify = true; // the verdicts and their marks come through too
  std::vector<threebody::MapPoint> whole;
  threebody::runMap(e, o, [&](const threebody::MapPoint& p) { whole.push_back(p); });
  ASSERT_EQ(whole.size(), 15u);
  auto same = [&](const threebody::MapPoint& p) {
    const threebody::MapPoint& w = whole.at(p.j * 5 + p.i);
    EXPECT_EQ(p.csv, w.csv);
    EXPECT_EQ(p.json, w.json);
    EXPECT_EQ(p.text, w.text);
    EXPECT_EQ(p.verdict, w.verdict);
    EXPECT_EQ(p.verdict_text, w.verdict_text);
    EXPECT_FALSE(p.json.empty());
  };
  const std::vector<size_t> order = {14, 0, 7, 3, 11};
  {
    threebody::MapJob job(e, o, order);
    EXPECT_EQ(job.size(), 5u);
    size_t n = 0;
    while (std::optional<threebody::MapPoint> p = job.next()) {
      EXPECT_EQ(p->j * 5 + p->i, order.at(n++));
      same(*p);
    }
    EXPECT_EQ(n, 5u);
    EXPECT_TRUE(job.over());
  }
  // Polled: never waits, and every point comes once, in the order.
  {
    threebody::MapJob job(e, o, order);
    std::vector<size_t> got;
    while (!job.over())
      if (std::optional<threebody::MapPoint> p = job.poll()) {
        got.push_back(p->j * 5 + p->i);
        same(*p);
      } else
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(got, order);
    EXPECT_FALSE(job.poll());
  }
  // An order that names a point outside the map, or one twice, is refused.
  EXPECT_THROW(threebody::MapJob(e, o, {0, 15}), threebody::Error);
  EXPECT_THROW(threebody::MapJob(e, o, {3, 4, 3}), threebody::Error);
  // An order given as a function: the last points of the map, and one beyond it.
  {
    threebody::MapJob job(e, o, 3, [](size_t e) { return 12 + e; });
    for (size_t k = 12; k < 15; ++k) {
      const std::optional<threebody::MapPoint> p = job.next();
      ASSERT_TRUE(p);
      EXPECT_EQ(p->j * 5 + p->i, k);
      same(*p);
    }
    EXPECT_FALSE(job.next());
    threebody::MapJob beyond(e, o, 2, [](size_t e) { return 14 + e; });
    EXPECT_THROW(
        {
          for (int n = 0; n < 2; ++n)
            beyond.next();
        },
        threebody::Error);
  }
  // An empty order computes nothing.
  threebody::MapJob none(e, o, {});
  EXPECT_EQ(none.size(), 0u);
  EXPECT_TRUE(none.over());
  EXPECT_FALSE(none.next());
  // Stopped, it gives nothing more.
  threebody::MapJob job(e, o);
  job.stop();
  EXPECT_TRUE(job.over());
  EXPECT_FALSE(job.next());
  EXPECT_LT(job.taken(), 15u);
}

// A token may watch a counter that a signal handler raises.
TEST(Api, AStopTokenMayWatchTheCallersCounter) {
  std::atomic<int> interrupts{0};
  threebody::SeriesOptions o;
  o.stop = threebody::StopToken::watching(interrupts);
  size_t given = 0;
  const threebody::SeriesSummary s = threebody::runSeries(quick(), o, [&](const threebody::TestResult&) {
    if (++given == 2) interrupts.fetch_add(1);
  });
  EXPECT_TRUE(s.stopped);
  EXPECT_TRUE(o.stop.stopRequested());
  EXPECT_LT(s.tests, 11u);
}

// A series with the batch tool's choices gives each test as each of the
// tool's formats writes it, its picture, its progress, and stops when the
// reader goes away.
TEST(Api, ASeriesGivesTheBatchToolsOutputsAndPicture) {
  threebody::SeriesOptions o;
  o.check = o.verify = true;
  o.threads = 2;
  o.lanes = 2;
  for (const char* format : {"text", "jsonl", "csv"}) {
    threebody::Series series(quick(), o);
    std::vector<std::string> lines;
    if (std::string(format) == "csv") lines.push_back(series.csvHead());
    series.run([&](const threebody::SeriesTest& t) {
      lines.push_back(format[0] == 't' ? t.text : format[0] == 'j' ? t.json : t.csv);
      return true;
    });
    EXPECT_EQ(series.checkTdelta(), "0.005");
    EXPECT_EQ(lines, batchLines({"--tdelta", "0.01", "--alpha-end", "60", "--check", "--verify", "--format",
                                 format, "--jobs", "2"}))
        << format;
  }
  // The picture at the size asked, and the progress of the running test.
  threebody::Series one(quick(), {});
  one.plotSize(64, 48);
  one.keepPlot();
  std::vector<threebody::SeriesProgress> progress;
  one.onProgress([&](const threebody::SeriesProgress& p) { progress.push_back(p); });
  size_t given = 0;
  // A reader that goes away after two tests stops the series there.
  const threebody::SeriesSummary s = one.run([&](const threebody::SeriesTest&) { return ++given < 2; });
  EXPECT_EQ(given, 2u);
  EXPECT_EQ(s.tests, 2u);
  ASSERT_EQ(one.plotWidth(), 64);
  ASSERT_EQ(one.plotHeight(), 48);
  ASSERT_EQ(one.plot().size(), 64u * 48u);
  EXPECT_NE(std::count(one.plot().begin(), one.plot().end(), one.plot()[0]), 64 * 48); // trails drawn
  for (const threebody::SeriesProgress& p : progress) {
    EXPECT_TRUE(p.running);
    EXPECT_EQ(p.tests, 11u);
    EXPECT_LE(p.finished, 1u);
  }
}

// Once the series is over only the verification is left: the series' stop
// ends it, unless the verification has a stop of its own; then that one does.
TEST(Api, AfterTheSeriesAStopEndsTheVerificationAsAsked) {
  for (int way = 0; way < 3; ++way) {
    threebody::SeriesOptions o;
    o.check = o.verify = true; // the tests come once the series and its check are over
    threebody::Series series(quick(), o);
    threebody::StopToken verifyStop;
    if (way > 0) series.verifyStop(verifyStop);
    std::vector<threebody::TestResult> tests;
    series.run([&](const threebody::SeriesTest& t) {
      tests.push_back(t.result);
      if (tests.size() == 2) {
        o.stop.requestStop();
        if (way == 2) verifyStop.requestStop();
      }
      return true;
    });
    ASSERT_EQ(tests.size(), 11u) << way;
    EXPECT_TRUE(tests[0].verdict && tests[1].verdict) << way;
    // Without a stop of its own the series' stop ends the verification; with
    // one, only that one does.
    for (size_t k = 2; k < tests.size(); ++k) {
      ASSERT_NE(tests[k].end, 0);
      EXPECT_EQ(tests[k].verdict.has_value(), way == 1) << way << " " << k;
    }
  }
}

TEST(Api, AStopTokenEndsTheCallWithWhatWasFinished) {
  threebody::SeriesOptions o;
  size_t given = 0;
  o.stop = threebody::StopToken();
  const threebody::SeriesSummary s = threebody::runSeries(quick(), o, [&](const threebody::TestResult&) {
    if (++given == 2) o.stop.requestStop();
  });
  EXPECT_TRUE(s.stopped);
  EXPECT_LT(s.tests, 11u);
  EXPECT_GE(s.tests, 2u);
  EXPECT_EQ(s.tests, given);
}

// No state is shared between calls: two experiments on two threads get the
// lines each gets alone.
TEST(Api, TwoExperimentsAtOnceGetTheirOwnLines) {
  threebody::Experiment heavy = quick();
  heavy.set("m3", "300");
  const std::vector<std::string> aloneQuick = apiLines(quick()), aloneHeavy = apiLines(heavy);
  ASSERT_NE(aloneQuick, aloneHeavy);
  for (int round = 0; round < 3; ++round) {
    std::vector<std::string> a, b;
    std::thread first([&] { a = apiLines(quick()); });
    std::thread second([&] { b = apiLines(heavy); });
    first.join();
    second.join();
    EXPECT_EQ(a, aloneQuick);
    EXPECT_EQ(b, aloneHeavy);
  }
}
