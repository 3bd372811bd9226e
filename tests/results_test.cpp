// Results to keep: CSV and JSON exports, the saved plot, energy and angular
// momentum drift, and the half-step accuracy check.
#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "display/plot.h"
#include "png_reader.h"
#include "results/atomic_file.h"
#include "results/export.h"
#include "sim_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tb;
using tb::testing::Rig;

namespace {

struct BatchOutput {
  int status;
  std::string out, err;
};

BatchOutput batch(const std::vector<std::string>& args) {
  ParseResult p = parseBatchOptions(args);
  EXPECT_TRUE(p.error.empty()) << p.error;
  std::ostringstream out, err;
  int status = runBatch(p.options, out, err, false);
  return {status, out.str(), err.str()};
}

std::vector<std::string> splitLines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);)
    v.push_back(l);
  return v;
}

// Splits one CSV row, honouring quoted fields.
std::vector<std::string> csvFields(const std::string& row) {
  std::vector<std::string> f(1);
  bool quoted = false;
  for (size_t i = 0; i < row.size(); ++i) {
    char c = row[i];
    if (quoted && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
      f.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      f.emplace_back();
    } else {
      f.back() += c;
    }
  }
  return f;
}

double driftOf(const char* tdelta) {
  Rig rig;
  rig.type("Tm3", "0").type("Tinitv2", "-1").type("Talphaend", "0").type("Ttdelta", tdelta);
  rig.start();
  EXPECT_EQ(rig.reports.size(), 1u);
  EXPECT_TRUE(rig.reports[0].energyDrift.has_value());
  return std::fabs(*rig.reports[0].energyDrift);
}

} // namespace

TEST(Export, CsvRoundTripGivesTheLinesNumbers) {
  Rig rig;
  rig.type("Ttdelta", "0.01").type("Talphaend", "60");
  rig.start();
  std::string csv = testsToCsv(rig.reports);
  auto rows = splitLines(csv);
  ASSERT_EQ(rows.size(), rig.reports.size() + 1);
  auto header = csvFields(rows[0]);
  auto column = [&](const char* name) {
    return static_cast<size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  for (size_t i = 0; i < rig.reports.size(); ++i) {
    auto f = csvFields(rows[i + 1]);
    ASSERT_EQ(f.size(), header.size());
    const TestReport& r = rig.reports[i];
    EXPECT_EQ(std::stod(f[column("alpha")]), r.alpha);
    EXPECT_EQ(std::stoll(f[column("steps")]), r.steps);
    EXPECT_EQ(std::stoi(f[column("end")]), endNumber(r.end));
    EXPECT_EQ(std::stod(f[column("dist12mean")]), r.dist12mean);
    EXPECT_EQ(std::stof(f[column("v3")]), r.v3);
    EXPECT_EQ(f[column("line")], r.line);
    EXPECT_EQ(rig.forms->lmesg(static_cast<int>(i)), r.line);
  }
}

TEST(Export, JsonDocumentDescribesItself) {
  BatchOutput b = batch({"--format", "json", "--tdelta", "0.01", "--alpha-end", "0.1", "--m3", "2"});
  EXPECT_EQ(b.status, 0);
  for (const char* key : {"\"program\":\"threebody\"", "\"version\":\"" THREEBODY_VERSION "\"",
                          "\"tdelta\":\"0.01\"", "\"m3\":\"2\"", "\"disp max\":\"500\"", "\"tests\":[",
                          "\"energy_drift\":", "\"readouts\":{", "\"error\":null"})
    EXPECT_NE(b.out.find(key), std::string::npos) << key;
  nlohmann::json doc = nlohmann::json::parse(b.out);
  EXPECT_EQ(doc["tests"].size(), 2u);
  EXPECT_FALSE(doc["interrupted"].get<bool>());
}

// Every number in the JSON output reads back as exactly the engine's value.
TEST(Export, JsonNumbersReadBackExactly) {
  Rig rig;
  rig.type("Ttdelta", "0.01").type("Talphaend", "60").type("Tm3", "3.3");
  rig.start();
  BatchOutput b = batch({"--format", "jsonl", "--tdelta", "0.01", "--alpha-end", "60", "--m3", "3.3"});
  auto lines = splitLines(b.out);
  ASSERT_EQ(lines.size(), rig.reports.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    nlohmann::json j = nlohmann::json::parse(lines[i]);
    const TestReport& r = rig.reports[i];
    EXPECT_EQ(j["alpha"].get<double>(), r.alpha);
    EXPECT_EQ(j["steps"].get<int64_t>(), r.steps);
    EXPECT_EQ(j["end"].get<int>(), endNumber(r.end));
    EXPECT_EQ(static_cast<float>(j["v3"].get<double>()), r.v3);
    EXPECT_EQ(static_cast<float>(j["vesc"].get<double>()), r.vesc);
    for (auto [key, value] : {std::pair{"r3", r.r3},
                              {"dist12min", r.dist12min},
                              {"dist12mean", r.dist12mean},
                              {"dist12max", r.dist12max},
                              {"time", r.time}})
      EXPECT_EQ(j[key].get<double>(), value) << key;
    if (r.energyDrift)
      EXPECT_EQ(j["energy_drift"].get<double>(), *r.energyDrift);
    else
      EXPECT_TRUE(j["energy_drift"].is_null());
    EXPECT_EQ(j["line"].get<std::string>(), r.line);
  }
}

// CSV and JSON are made from one table of columns: for every test of a checked
// series (a collision among them, so the drifts are empty once), each CSV
// column is a JSON field of the same name that holds the same value.
TEST(Export, CsvAndJsonCarryTheSameColumns) {
  const std::vector<std::string> args = {"--tdelta",    "0.01", "--alpha-start", "70",
                                         "--alpha-end", "91",   "--check"};
  std::vector<std::string> csvArgs = args, jsonArgs = args;
  csvArgs.insert(csvArgs.end(), {"--format", "csv"});
  jsonArgs.insert(jsonArgs.end(), {"--format", "jsonl"});
  auto rows = splitLines(batch(csvArgs).out);
  auto objects = splitLines(batch(jsonArgs).out);
  ASSERT_GE(rows.size(), 3u);
  ASSERT_EQ(objects.size() + 1, rows.size());
  auto header = csvFields(rows[0]);
  // The result columns and stable, then the experiment's parameters.
  const size_t results = resultColumns().size() + 1;
  EXPECT_EQ(header[results - 1], kStableColumn);
  ASSERT_EQ(header.size(), results + parameterFields().size());
  EXPECT_EQ(
      std::vector<std::string>(header.begin() + static_cast<long>(results), header.end()),
      (std::vector<std::string>{"alpha_start", "alpha_end", "tdelta", "init_v3", "m2", "m3", "disp_max"}));
  int emptyDrifts = 0;
  for (size_t t = 0; t < objects.size(); ++t) {
    auto f = csvFields(rows[t + 1]);
    nlohmann::ordered_json o = nlohmann::ordered_json::parse(objects[t]);
    ASSERT_EQ(f.size(), header.size());
    EXPECT_EQ(o.begin().key(), "line"); // the JSON object leads with the result line
    EXPECT_EQ(std::vector<std::string>(f.begin() + static_cast<long>(results), f.end()),
              (std::vector<std::string>{"70", "91", "0.01", "0.9", "1000", "1", "500"}));
    for (size_t c = 0; c < results; ++c) {
      SCOPED_TRACE(header[c]);
      ASSERT_TRUE(o.contains(header[c]));
      const nlohmann::ordered_json& v = o[header[c]];
      if (v.is_null()) {
        EXPECT_EQ(f[c], "");
        ++emptyDrifts;
      } else if (v.is_string()) {
        EXPECT_EQ(f[c], v.get<std::string>());
      } else if (v.is_boolean()) {
        EXPECT_EQ(f[c], v.get<bool>() ? "true" : "false");
      } else {
        EXPECT_EQ(std::stod(f[c]), v.get<double>());
      }
    }
  }
  EXPECT_GT(emptyDrifts, 0);
  EXPECT_EQ(columnIndex("end"), 3);
  EXPECT_EQ(columnIndex("no such column"), -1);
}

TEST(Drift, NearZeroForTwoBodiesAndGrowingWithTheTimeStep) {
  // m3 = 0 and body 3 sent away: the pair alone, over ten revolutions.
  double fine = driftOf("0.001");
  double coarse = driftOf("0.01");
  EXPECT_LT(fine, 1e-3);
  EXPECT_GT(coarse, 5 * fine);
}

TEST(Drift, IsEmptyAfterACollision) {
  Rig rig;
  rig.type("Talphastr", "60").type("Talphaend", "60");
  rig.start();
  ASSERT_EQ(rig.reports.size(), 1u);
  ASSERT_EQ(rig.reports[0].end, EndCode::Collision);
  EXPECT_FALSE(rig.reports[0].energyDrift.has_value());
  EXPECT_FALSE(rig.reports[0].angularMomentumDrift.has_value());
}

TEST(Check, FlagsATestWhoseOutcomeDependsOnTheStep) {
  // At tdelta 0.05 the test at 42 degrees ends differently with half the step.
  BatchOutput b = batch({"--check", "--tdelta", "0.05", "--alpha-start", "42", "--alpha-end", "42"});
  EXPECT_EQ(b.status, 0);
  auto lines = splitLines(b.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 2), " *");
  EXPECT_NE(b.err.find("half the time step"), std::string::npos);
  EXPECT_NE(b.err.find("0.025"), std::string::npos);

  BatchOutput stable = batch({"--check", "--tdelta", "0.01", "--alpha-end", "0", "--format", "jsonl"});
  EXPECT_NE(stable.out.find("\"stable\":true"), std::string::npos);
  EXPECT_TRUE(stable.err.empty());
  BatchOutput csv =
      batch({"--check", "--tdelta", "0.05", "--alpha-start", "42", "--alpha-end", "42", "--format", "csv"});
  auto rows = splitLines(csv.out);
  ASSERT_EQ(rows.size(), 2u);
  const auto header = csvFields(rows[0]);
  const size_t stableAt =
      static_cast<size_t>(std::find(header.begin(), header.end(), "stable") - header.begin());
  ASSERT_EQ(stableAt, resultColumns().size());
  EXPECT_EQ(csvFields(rows[1]).at(stableAt), "false");
}

TEST(Plot, SavedPngHasTheDisplaysSizeAndPixels) {
  std::string path = ::testing::TempDir() + "threebody_plot_test.png";
  BatchOutput b = batch({"--tdelta", "0.01", "--alpha-end", "0", "--plot", path, "--plot-size", "120x90"});
  EXPECT_EQ(b.status, 0) << b.err;
  std::ifstream png(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(png)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 33u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  auto be32 = [&](size_t at) {
    return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
           (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
  };
  EXPECT_EQ(be32(16), 120u);
  EXPECT_EQ(be32(20), 90u);
  // It names the program and the experiment it shows.
  tb::testing::Picture read = tb::testing::readPng(path);
  ASSERT_TRUE(read.ok());
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"Software", "threebody-batch " THREEBODY_VERSION},
      {"Parameters", "alpha-start=0 alpha-end=0 tdelta=0.01 init-v3=0.9 m2=1000 m3=1 disp-max=500"}};
  EXPECT_EQ(read.texts, texts);
  std::remove(path.c_str());

  // A folder that is not there is refused before the series; a device that
  // fails the write (a full one) gives status 1 after it.
  EXPECT_NE(parseBatchOptions({"--plot", "/nonexistent/dir/p.png"})
                .error.find("there is no folder /nonexistent/dir"),
            std::string::npos);
  struct stat st {};
  if (stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) {
    BatchOutput bad = batch({"--alpha-end", "0", "--tdelta", "0.01", "--plot", "/dev/full"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("cannot write /dev/full"), std::string::npos) << bad.err;
    EXPECT_EQ(splitLines(bad.out).size(), 1u); // the result line was written all the same
  }
  EXPECT_NE(parseBatchOptions({"--plot-size", "12by5"}).error.find("--plot-size"), std::string::npos);
}

namespace {

// The files in `dir` whose names start with `prefix`.
int filesStartingWith(const std::string& dir, const std::string& prefix) {
  int n = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      n += std::string(e->d_name).rfind(prefix, 0) == 0 ? 1 : 0;
    closedir(d);
  }
  return n;
}

} // namespace

// What a signal handler calls before it ends the program: the temporaries
// of the files being written go; the files already in place stay.
// A device or a pipe is written as it is, never replaced by a file (as root
// a rename over /dev/null would replace the device); a folder is refused.
TEST(AtomicFiles, DevicesAndPipesAreWrittenInPlace) {
  struct stat st {};
  AtomicFile null("/dev/null");
  EXPECT_TRUE(null.write("x", 1));
  EXPECT_EQ(null.commit(), "");
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  if (stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) {
    AtomicFile full("/dev/full");
    full.write("x", 1);
    EXPECT_NE(full.commit(), ""); // the device's own failure, not a file in its place
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }

  const std::string dir = ::testing::TempDir() + "tb_pipe_" + std::to_string(getpid());
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string fifo = dir + "/fifo", out = dir + "/out";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(std::system(("cat " + fifo + " > " + out + " &").c_str()), 0);
  {
    AtomicFile pipe(fifo);
    EXPECT_TRUE(pipe.write("through the pipe\n", 17));
    EXPECT_EQ(pipe.commit(), "");
  }
  ASSERT_EQ(stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  std::string got;
  for (int i = 0; i < 500 && got.size() < 17; ++i) { // the reader writes it out in its own time
    std::ifstream in(out);
    got.assign(std::istreambuf_iterator<char>(in), {});
    if (got.size() < 17) usleep(10000);
  }
  EXPECT_EQ(got, "through the pipe\n");

  AtomicFile folder(dir);
  EXPECT_FALSE(folder.write("x", 1));
  EXPECT_EQ(folder.commit(), dir + " is a folder; give the path of a file");
  std::remove(fifo.c_str());
  std::remove(out.c_str());
  rmdir(dir.c_str());
}

TEST(AtomicFiles, UnfinishedTemporariesAreRemovedOnRequest) {
  const std::string dir = ::testing::TempDir();
  const std::string name = "tb_unfinished_" + std::to_string(getpid());
  {
    AtomicFile done(dir + name + "_done");
    ASSERT_TRUE(done.write("kept", 4));
    ASSERT_EQ(done.commit(), "");
  }
  AtomicFile a(dir + name + "_a"), b(dir + name + "_b");
  ASSERT_TRUE(a.write("part", 4));
  ASSERT_TRUE(b.write("part", 4));
  EXPECT_EQ(filesStartingWith(dir, "." + name), 2);
  removeUnfinishedFiles();
  EXPECT_EQ(filesStartingWith(dir, "." + name), 0);
  EXPECT_EQ(filesStartingWith(dir, name), 1); // the finished file
  // A file committed after that is still written whole.
  AtomicFile c(dir + name + "_c");
  ASSERT_TRUE(c.write("late", 4));
  EXPECT_EQ(c.commit(), "");
  EXPECT_EQ(filesStartingWith(dir, name), 2);
  std::remove((dir + name + "_done").c_str());
  std::remove((dir + name + "_c").c_str());
}

// --verify marks each line with the reference's verdict and adds its
// columns; given with --check both verdicts are there, and the summary
// counts them.
TEST(Verify, EveryOutputCarriesTheReferenceVerdict) {
  const std::vector<std::string> args = {"--verify",      "--tdelta", "0.05",        "--init-v3", "0.7",
                                         "--alpha-start", "42",       "--alpha-end", "44"};
  BatchOutput text = batch(args);
  ASSERT_EQ(text.status, 0) << text.err;
  auto lines = splitLines(text.out);
  ASSERT_EQ(lines.size(), 3u);
  // Alpha 43 escapes at this step; the physics is a collision at t = 131.
  EXPECT_EQ(lines[1].substr(lines[1].size() - 11), " [artefact]");
  EXPECT_NE(text.err.find("1 artefact"), std::string::npos) << text.err;
  BatchOutput plain =
      batch({"--tdelta", "0.05", "--init-v3", "0.7", "--alpha-start", "42", "--alpha-end", "44"});
  EXPECT_EQ(lines[1].substr(0, lines[1].size() - 11), splitLines(plain.out)[1]); // the line itself as it was

  std::vector<std::string> csvArgs = args;
  csvArgs.insert(csvArgs.end(), {"--check", "--format", "csv"});
  auto rows = splitLines(batch(csvArgs).out);
  ASSERT_EQ(rows.size(), 4u);
  auto header = csvFields(rows[0]);
  auto column = [&](const char* name) {
    auto at = std::find(header.begin(), header.end(), name);
    EXPECT_NE(at, header.end()) << name;
    return static_cast<size_t>(at - header.begin());
  };
  auto f = csvFields(rows[2]);
  ASSERT_EQ(f.size(), header.size());
  EXPECT_EQ(f[column("verdict")], "artefact");
  EXPECT_EQ(f[column("reference_end")], "1");
  EXPECT_EQ(f[column("reference_revolutions")], "0");
  EXPECT_NEAR(std::stod(f[column("reference_time")]), 131.3, 0.1);
  EXPECT_NEAR(std::stod(f[column("closest_approach")]), std::sqrt(10.0), 1e-6);
  EXPECT_FALSE(f[column("stable")].empty());

  std::vector<std::string> jsonArgs = args;
  jsonArgs.insert(jsonArgs.end(), {"--format", "jsonl"});
  auto objects = splitLines(batch(jsonArgs).out);
  ASSERT_EQ(objects.size(), 3u);
  auto o = nlohmann::json::parse(objects[1]);
  EXPECT_EQ(o["verdict"], "artefact");
  EXPECT_EQ(o["reference_end"], 1);
  EXPECT_TRUE(o["escape_gap"].is_null()); // a collision decides no escape
  // The whole document counts its tests' verdicts; without --verify it has no such count.
  std::vector<std::string> docArgs = args;
  docArgs.insert(docArgs.end(), {"--format", "json"});
  auto doc = nlohmann::json::parse(batch(docArgs).out);
  ASSERT_EQ(doc["tests"].size(), 3u);
  std::map<std::string, int> verdicts;
  for (const auto& t : doc["tests"])
    ++verdicts[t["verdict"].get<std::string>()];
  for (const char* v : {"confirmed", "artefact", "fragile", "undecided"})
    EXPECT_EQ(doc["verification"][v], verdicts[v]) << v;
  EXPECT_EQ(doc["verification"]["artefact"], 1);
  EXPECT_FALSE(nlohmann::json::parse(batch({"--format", "json", "--alpha-end", "0", "--tdelta", "0.05"}).out)
                   .contains("verification"));

  // A test stopped before its end has no outcome to judge.
  BatchOutput stopped = batch({"--verify", "--tdelta", "0.01", "--alpha-end", "0", "--stop-at-step", "50"});
  EXPECT_NE(stopped.out.find("[not verified]"), std::string::npos);
  EXPECT_NE(stopped.err.find("1 stopped, not verified"), std::string::npos) << stopped.err;
}

// The line in words a student reads when hovering over it: every end code
// told in words, the numbers cut as the line cuts them.
TEST(LineInWords, TellsEachEndAndTheNumbersAsTheLineCutsThem) {
  TestReport t;
  t.alpha = 70;
  t.end = EndCode::Collision;
  t.revolutions = 0;
  t.time = 110.56;
  t.v3 = 24.7029f;
  t.vesc = 21.6339f;
  t.r3 = 103.99;
  t.dist12min = 199.96;
  t.dist12mean = 200.04;
  t.dist12max = 200.09;
  EXPECT_EQ(lineInWords(t),
            "alpha 70: body 3 collided with the pair at t = 110.5 (came within 3.16 of a pair "
            "body), after 0 revolutions of the pair; body 3's speed 24.702 was above its escape "
            "speed 21.633, at 103.9 from the pair's centre of mass; the pair's separation stayed "
            "between 199.9 and 200.0 (mean 200.0)");
  const std::pair<EndCode, const char*> ends[] = {
      {EndCode::Escaped, "body 3 escaped: it was far from the pair and faster than its escape speed"},
      {EndCode::FarBound, "body 3 went far but stayed bound"},
      {EndCode::TenRevolutions, "the pair completed ten revolutions at t = 110.5"},
      {EndCode::None, "stopped by the user at t = 110.5, after 1 revolution of the pair"}};
  t.revolutions = 1;
  t.v3 = 1.5f;
  t.alpha = 1.0999999999999999; // ten steps of 0.1 from 0.1
  for (const auto& [end, words] : ends) {
    t.end = end;
    const std::string w = lineInWords(t);
    EXPECT_EQ(w.rfind("alpha 1.1: ", 0), 0u) << w;
    EXPECT_NE(w.find(words), std::string::npos) << w;
    EXPECT_NE(w.find("speed 1.500 was not above its escape speed 21.633"), std::string::npos) << w;
  }
}
