// threebody-map: every point is the one-test series the batch tool runs, the
// output does not depend on the number of threads, an interrupted map resumes
// to the same files, and the picture's cells show the outcomes.
#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "apps/map.h"
#include "results/map_picture.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace tb;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string temp(const std::string& name) {
  return ::testing::TempDir() + "tb_map_" + std::to_string(getpid()) + "_" + name;
}

MapOptions mapOf(std::vector<std::string> args) {
  MapOptions o;
  std::string error = parseMapOptions(args, o);
  EXPECT_EQ(error, "");
  return o;
}

// Runs a map in-process; its status, stdout and stderr.
struct MapRun {
  int status;
  std::string out, err;
};
MapRun runIn(const MapOptions& o) {
  std::ostringstream out, err;
  int status = runMap(o, out, err, false);
  return {status, out.str(), err.str()};
}

std::vector<std::string> rowsOf(const std::string& csv) {
  std::vector<std::string> rows;
  std::istringstream in(csv);
  for (std::string l; std::getline(in, l);)
    if (!l.empty() && l[0] != '#' && l.rfind("i,j,", 0) != 0) rows.push_back(l);
  return rows;
}

} // namespace

TEST(Map, EveryPointIsTheBatchToolsOneTestSeries) {
  std::string csv = temp("points.csv");
  MapOptions o = mapOf({"--x", "alpha=0:350:8", "--y", "m2=-1000:2000:4", "--tdelta", "0.02", "--csv", csv});
  MapRun r = runIn(o);
  ASSERT_EQ(r.status, 0) << r.err;
  auto rows = rowsOf(readFile(csv));
  ASSERT_EQ(rows.size(), 32u);
  std::mt19937 pick(7);
  for (int n = 0; n < 8; ++n) {
    size_t k = pick() % rows.size(), i = k % 8, j = k / 8;
    SCOPED_TRACE(rows[k]);
    ParseResult p = parseBatchOptions({"--alpha-start", o.x.texts[i], "--alpha-end", o.x.texts[i], "--m2",
                                       o.y.texts[j], "--tdelta", "0.02", "--format", "csv"});
    ASSERT_EQ(p.error, "");
    std::ostringstream out, err;
    int status = runBatch(p.options, out, err, false);
    std::string prefix =
        std::to_string(i) + "," + std::to_string(j) + "," + o.x.texts[i] + "," + o.y.texts[j] + ",";
    ASSERT_EQ(rows[k].substr(0, prefix.size()), prefix);
    if (status == 0) {
      // The batch tool's row, then an empty error column.
      std::string batchRow = out.str().substr(out.str().find('\n') + 1);
      EXPECT_EQ(rows[k].substr(prefix.size()), batchRow.substr(0, batchRow.size() - 1) + ",");
    } else {
      // m2 = -1000: the same fault, in the error column.
      EXPECT_EQ(status, kExitFault);
      EXPECT_NE(rows[k].find("total mass of 0"), std::string::npos);
      EXPECT_NE(err.str().find("total mass of 0"), std::string::npos);
    }
  }
  std::remove(csv.c_str());
}

// One point at a time on one thread, the widest lanes on one, and lanes on two.
TEST(Map, LanesAndThreadsWriteTheSameFiles) {
  const std::vector<std::pair<std::string, std::string>> runs = {{"1", "1"}, {"1", "0"}, {"2", "0"}};
  std::vector<std::string> csv, png, out;
  for (const auto& [jobs, lanes] : runs) {
    csv.push_back(temp("j" + jobs + lanes + ".csv"));
    png.push_back(temp("j" + jobs + lanes + ".png"));
    std::vector<std::string> args = {
        "--x",   "alpha=0:90:7", "--y",   "init-v3=0.6:1.4:3", "--tdelta", "0.02", "--jobs", jobs,
        "--csv", csv.back(),     "--png", png.back(),          "--format", "jsonl"};
    if (lanes != "0") args.insert(args.end(), {"--lanes", lanes});
    MapRun r = runIn(mapOf(args));
    ASSERT_EQ(r.status, 0) << r.err;
    out.push_back(r.out);
  }
  for (size_t i = 1; i < runs.size(); ++i) {
    EXPECT_EQ(readFile(csv[0]), readFile(csv[i]));
    EXPECT_EQ(readFile(png[0]), readFile(png[i]));
    EXPECT_EQ(out[0], out[i]);
  }
  for (const auto& f : csv)
    std::remove(f.c_str());
  for (const auto& f : png)
    std::remove(f.c_str());
}

TEST(Map, APicturesCellsShowEachPointsOutcome) {
  std::string csv = temp("cells.csv"), png = temp("cells.png");
  MapOptions o = mapOf({"--x", "alpha=0:180:5", "--y", "init-v3=0.5:1.5:3", "--tdelta", "0.02", "--csv", csv,
                        "--png", png, "--cell", "6"});
  ASSERT_EQ(runIn(o).status, 0);
  QImage img(QString::fromStdString(png));
  ASSERT_FALSE(img.isNull());
  ResumeState rows = readResume(readFile(csv), o);
  ASSERT_EQ(rows.rows, 15u);
  int64_t longest = 1;
  for (auto& [end, steps] : rows.cells)
    longest = std::max(longest, steps);
  MapPicture pic{5, 3, 6, "alpha", "init-v3", o.x.texts, o.y.texts, {}};
  for (size_t k = 0; k < 15; ++k) {
    int x, y;
    mapCellOrigin(pic, static_cast<int>(k % 5), static_cast<int>(k / 5), &x, &y);
    uint32_t c = mapCellColour(rows.cells[k].first, rows.cells[k].second, longest);
    EXPECT_EQ(img.pixel(x + 3, y + 3), qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF)) << k;
  }
  std::remove(csv.c_str());
  std::remove(png.c_str());
}

TEST(Map, AnInterruptedMapResumesToTheSameFiles) {
  const std::string args = "--x alpha=0:350:36 --y init-v3=0.6:1.4:4 --tdelta 0.005";
  std::string whole = temp("whole.csv"), wholePng = temp("whole.png");
  std::string cut = temp("cut.csv"), cutPng = temp("cut.png");
  ASSERT_EQ(std::system((std::string(MAP_EXE) + " " + args + " --csv " + whole + " --png " + wholePng +
                         " >/dev/null 2>&1")
                            .c_str()),
            0);
  // Killed once a few rows are in the file, then resumed.
  std::string script =
      std::string(MAP_EXE) + " " + args + " --csv " + cut + " >/dev/null 2>&1 & pid=$!; " +
      "for i in $(seq 1 2000); do [ $(grep -c '^[0-9]' " + cut +
      " 2>/dev/null || echo 0) -ge 5 ] && break; sleep 0.01; done; kill -TERM $pid; wait $pid; "
      "exit $?";
  int status = std::system(script.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 143);
  size_t before = rowsOf(readFile(cut)).size();
  EXPECT_GE(before, 5u);
  EXPECT_LT(before, 144u);
  std::string resume = std::string(MAP_EXE) + " " + args + " --csv " + cut + " --png " + cutPng + " --resume";
  ASSERT_EQ(std::system((resume + " >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(readFile(cut), readFile(whole));
  EXPECT_EQ(readFile(cutPng), readFile(wholePng));

  // A torn last row is dropped and computed again.
  std::string full = readFile(whole);
  { std::ofstream(cut, std::ios::binary) << full.substr(0, full.size() - 40); }
  ASSERT_EQ(std::system((resume + " >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(readFile(cut), full);

  // Other parameters, or a file that is no map: refused, the file unchanged.
  MapOptions other = mapOf(
      {"--x", "alpha=0:350:36", "--y", "init-v3=0.6:1.4:4", "--tdelta", "0.01", "--csv", cut, "--resume"});
  MapRun refused = runIn(other);
  EXPECT_EQ(refused.status, kExitBadOption);
  EXPECT_NE(refused.err.find("other parameters"), std::string::npos) << refused.err;
  EXPECT_EQ(readFile(cut), full);
  { std::ofstream(cut) << "alpha,steps\n1,2\n"; }
  MapRun notMap = runIn(other);
  EXPECT_EQ(notMap.status, kExitBadOption);
  EXPECT_NE(notMap.err.find("not a map"), std::string::npos);
  EXPECT_EQ(readFile(cut), "alpha,steps\n1,2\n");
  // --resume of a file not there yet starts it, so a job can be given again as it is.
  std::remove(cut.c_str());
  MapRun fresh =
      runIn(mapOf({"--x", "alpha=0:90:2", "--y", "m3=1:2:2", "--tdelta", "0.05", "--csv", cut, "--resume"}));
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_EQ(rowsOf(readFile(cut)).size(), 4u);
  for (const auto& f : {whole, wholePng, cut, cutPng})
    std::remove(f.c_str());
}

TEST(Map, AxesAndOptionsAreChecked) {
  MapAxis a;
  EXPECT_EQ(readAxis("alpha=0:1:3", a), "");
  EXPECT_EQ(a.texts, (std::vector<std::string>{"0", "0.5", "1"}));
  EXPECT_EQ(readAxis("tdelta=0.001:0.01:1", a), "");
  EXPECT_EQ(a.texts, (std::vector<std::string>{"0.001"}));
  for (const char* bad : {"beta=0:1:2", "alpha=0:1", "alpha=a:1:2", "alpha=0:1:0", "alpha=0:1:x", "m2"}) {
    SCOPED_TRACE(bad);
    EXPECT_NE(readAxis(bad, a), "");
  }
  MapOptions o;
  EXPECT_NE(parseMapOptions({"--x", "m2=1:2:2", "--y", "m2=1:2:2"}, o).find("same field"), std::string::npos);
  MapOptions p;
  EXPECT_NE(parseMapOptions({"--x", "m2=1:2:2", "--y", "m3=1:2:2", "--resume"}, p).find("--csv"),
            std::string::npos);
  MapOptions q;
  EXPECT_NE(parseMapOptions({"--y", "m3=1:2:2"}, q), "");
  MapOptions v; // the version needs no axes (the manual page asks for it so)
  EXPECT_EQ(parseMapOptions({"--version"}, v), "");
  EXPECT_TRUE(v.version);
  for (const auto& line : [] {
         std::vector<std::string> v;
         std::istringstream in(mapUsage());
         for (std::string l; std::getline(in, l);)
           v.push_back(l);
         return v;
       }())
    EXPECT_LE(line.size(), 80u) << line;
}
