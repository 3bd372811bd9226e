// threebody-map: every point is the one-test series the batch tool runs, the
// output does not depend on the number of threads, an interrupted map resumes
// to the same files, and the picture's cells show the outcomes.
#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "apps/map.h"
#include "maps/basin_entropy.h"
#include "maps/map_order.h"
#include "maps/map_picture.h"
#include "png_reader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
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
struct MapOutput {
  int status;
  std::string out, err;
};
MapOutput runIn(const MapOptions& o) {
  std::ostringstream out, err;
  int status = runMap(o, out, err, MapProgress{});
  return {status, out.str(), err.str()};
}

// Runs the map executable through the shell; its status, stdout and stderr.
MapOutput runExe(const std::string& script) {
  static int calls = 0;
  std::string base = temp("exe_" + std::to_string(++calls));
  std::string cmd =
      "M=" + std::string(MAP_EXE) + "; { " + script + "; } >" + base + ".out 2>" + base + ".err";
  int st = std::system(("sh -c '" + cmd + "'").c_str());
  MapOutput r{WIFEXITED(st) ? WEXITSTATUS(st) : -1, readFile(base + ".out"), readFile(base + ".err")};
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

std::vector<std::string> rowsOf(const std::string& csv) {
  std::vector<std::string> rows;
  std::istringstream in(csv);
  for (std::string l; std::getline(in, l);)
    if (!l.empty() && l[0] != '#' && l.rfind("i,j,", 0) != 0) rows.push_back(l);
  return rows;
}

// The fields of one CSV row (the map's quoted texts hold no quotes).
std::vector<std::string> fieldsOf(const std::string& row) {
  std::vector<std::string> f(1);
  bool quoted = false;
  for (char c : row)
    if (c == '"')
      quoted = !quoted;
    else if (c == ',' && !quoted)
      f.emplace_back();
    else
      f.back() += c;
  return f;
}

} // namespace

TEST(Map, EveryPointIsTheBatchToolsOneTestSeries) {
  std::string csv = temp("points.csv");
  MapOptions o = mapOf({"--x", "alpha=0:350:8", "--y", "m2=-1000:2000:4", "--tdelta", "0.02", "--csv", csv});
  MapOutput r = runIn(o);
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
      // The batch tool's row without its experiment's columns (the map's
      // head names them), then an empty error column.
      std::string batchRow = out.str().substr(out.str().find('\n') + 1);
      batchRow.pop_back();
      for (size_t c = 0; c < parameterFields().size(); ++c)
        batchRow.erase(batchRow.rfind(','));
      EXPECT_EQ(rows[k].substr(prefix.size()), batchRow + ",");
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
    MapOutput r = runIn(mapOf(args));
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
  tb::testing::Picture img = tb::testing::readPng(png);
  ASSERT_TRUE(img.ok());
  ASSERT_EQ(img.texts.size(), 2u);
  EXPECT_EQ(img.texts[0].second, "threebody-map " THREEBODY_VERSION);
  EXPECT_EQ(img.texts[1].second.rfind("x " + o.x.given + " y " + o.y.given + " fixed alpha-start=", 0), 0u)
      << img.texts[1].second;
  ResumeState rows = readResume(readFile(csv), o);
  ASSERT_EQ(rows.rows, 15u);
  int64_t longest = 1;
  for (const MapCell& cell : rows.cells)
    longest = std::max(longest, cell.steps);
  MapPicture pic{5, 3, 6, "alpha", "init-v3", o.x.texts, o.y.texts, {}};
  for (size_t k = 0; k < 15; ++k) {
    int x, y;
    mapCellOrigin(pic, static_cast<int>(k % 5), static_cast<int>(k / 5), &x, &y);
    uint32_t c = mapCellColour(rows.cells[k].outcome, rows.cells[k].steps, longest);
    EXPECT_EQ(img.at(x + 3, y + 3), c) << k;
  }
  std::remove(csv.c_str());
  std::remove(png.c_str());
}

// Every outcome has a slot of its own that reads back as it, and the legend's
// outcomes have names and colours of their own.
TEST(Map, OutcomesAreCountedNamedAndColouredApart) {
  for (int s = 0; s < MapOutcome::kSlots; ++s)
    EXPECT_EQ(MapOutcome::fromSlot(s).slot(), s);
  EXPECT_EQ(MapOutcome::ended(EndCode::FarBound).slot(), 3);
  EXPECT_EQ(MapOutcome::fault().slot(), kEndCodes);
  std::set<std::string> names;
  std::set<uint32_t> colours;
  for (MapOutcome o : kLegendOutcomes) {
    names.insert(o.name());
    colours.insert(o.colour());
  }
  EXPECT_EQ(names.size(), std::size(kLegendOutcomes));
  EXPECT_EQ(colours.size(), std::size(kLegendOutcomes));
  EXPECT_FALSE(colours.contains(MapOutcome::notYet().colour())); // white: not computed yet
  EXPECT_EQ(mapCellColour(MapOutcome::notYet(), 5, 10), 0xFFFFFFu);
  EXPECT_NE(mapCellColour(MapOutcome::ended(EndCode::Escaped), 10, 10),
            mapCellColour(MapOutcome::ended(EndCode::Escaped), 1, 10)); // darker: longer
}

TEST(Map, AnInterruptedMapResumesToTheSameFiles) {
  // Long enough (seconds here) that the kill after the first rows comes
  // well before the end on a machine many times faster.
  const std::string args = "--x alpha=0:350:36 --y init-v3=0.6:1.4:4 --tdelta 0.0005";
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
  MapOutput refused = runIn(other);
  EXPECT_EQ(refused.status, kExitBadOption);
  EXPECT_NE(refused.err.find("other parameters"), std::string::npos) << refused.err;
  EXPECT_EQ(readFile(cut), full);
  { std::ofstream(cut) << "alpha,steps\n1,2\n"; }
  MapOutput notMap = runIn(other);
  EXPECT_EQ(notMap.status, kExitBadOption);
  EXPECT_NE(notMap.err.find("not a map"), std::string::npos);
  EXPECT_EQ(readFile(cut), "alpha,steps\n1,2\n");
  // --resume of a file not there yet starts it, so a job can be given again as it is.
  std::remove(cut.c_str());
  MapOutput fresh =
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

// --- Refused before computing ----------------------------------------------

TEST(MapRefusals, WhatCannotBeMadeIsRefusedBeforeAnyPoint) {
  MapAxis a;
  // Values that are not finite, or points too far apart for a finite step.
  for (const char* bad : {"alpha=-1e308:1e308:3", "m3=1:1e309:2", "m2=-1.7e308:1.7e308:2"}) {
    SCOPED_TRACE(bad);
    std::string e = readAxis(bad, a);
    EXPECT_NE(e.find(bad), std::string::npos) << e;
  }
  EXPECT_EQ(readAxis("m2=-8e307:8e307:3", a), "");
  // A picture beyond the limit, seen from the options alone.
  MapOptions wide;
  std::string e = parseMapOptions(
      {"--x", "m3=1:2:20000", "--y", "init-v3=1:2:100", "--cell", "64", "--png", "w.png"}, wide);
  EXPECT_NE(e.find("1280182x6448 pixels"), std::string::npos) << e;
  MapOptions many;
  e = parseMapOptions({"--x", "m3=1:2:8000", "--y", "init-v3=1:2:8000", "--cell", "1", "--png", "w.png"},
                      many);
  EXPECT_NE(e.find("48000000 in all"), std::string::npos) << e;
  MapOptions fits;
  EXPECT_EQ(parseMapOptions(
                {"--x", "m3=1:2:4000", "--y", "init-v3=1:2:4000", "--cell", "1", "--png", "w.png"}, fits),
            "");
  EXPECT_NE(mapUsage().find("48000000 pixels"), std::string::npos);
  // Two outputs in one file, however the path is spelled.
  std::string dir = ::testing::TempDir();
  MapOptions same;
  e = parseMapOptions(
      {"--x", "m3=1:2:2", "--y", "m2=1:2:2", "--csv", dir + "same.out", "--png", dir + "./x/../same.out"},
      same);
  EXPECT_NE(e.find("same file"), std::string::npos) << e;
  // ... also through a link to a file that is not there yet.
  const std::string target = temp("linked.csv"), link = temp("link.png");
  std::remove(target.c_str());
  std::remove(link.c_str());
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  MapOptions linked;
  e = parseMapOptions({"--x", "m3=1:2:2", "--y", "m2=1:2:2", "--csv", target, "--png", link}, linked);
  EXPECT_NE(e.find("same file"), std::string::npos) << e;
  std::remove(link.c_str());

  // --resume of what is not a regular file, before anything is computed.
  std::string folder = temp("folder");
  ASSERT_EQ(std::system(("mkdir -p " + folder).c_str()), 0);
  for (const std::string& path : {folder, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    MapOutput r =
        runIn(mapOf({"--x", "alpha=0:350:36", "--y", "init-v3=0.5:1.5:6", "--csv", path, "--resume"}));
    EXPECT_EQ(r.status, kExitBadOption);
    EXPECT_NE(r.err.find("is not a regular file"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("points:"), std::string::npos) << r.err; // no summary: nothing ran
  }
  // A picture or summary into a folder, or into a folder that is not there.
  for (const char* option : {"--png", "--summary"})
    for (const std::string& path : {folder, folder + "/none/map.out"}) {
      SCOPED_TRACE(std::string(option) + " " + path);
      MapOptions o;
      e = parseMapOptions({"--x", "m3=1:2:2", "--y", "m2=1:2:2", option, path}, o);
      EXPECT_NE(e.find(path == folder ? "is a folder" : "there is no folder"), std::string::npos) << e;
      EXPECT_EQ(e.rfind(std::string("option ") + option + ": ", 0), 0u) << e;
    }
  // A folder no file can be made in (for root too, as /proc) is refused
  // before any point, and leaves nothing behind.
  for (const char* option : {"--png", "--summary"}) {
    SCOPED_TRACE(option);
    MapOptions o;
    e = parseMapOptions({"--x", "m3=1:2:2", "--y", "m2=1:2:2", option, "/proc/threebody-map.out"}, o);
    EXPECT_NE(e.find("cannot create a file beside /proc/threebody-map.out"), std::string::npos) << e;
    EXPECT_NE(e.find("a folder you can write to"), std::string::npos) << e;
    e = parseMapOptions({"--x", "m3=1:2:2", "--y", "m2=1:2:2", option, folder + "/fine.out"}, o);
    EXPECT_EQ(e, "");
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + folder + ")\"").c_str()), 0);
  }
  std::remove(folder.c_str());
}

// --- Files and streams -------------------------------------------------------

TEST(MapStreams, AFailedWriteIsNamedAndAClosedPipeEndsQuietly) {
  const std::string map = "$M --x alpha=0:350:36 --y init-v3=0.5:1.5:6 --tdelta 0.05 --format jsonl";
  MapOutput full = runExe(map + " >/dev/full");
  EXPECT_EQ(full.status, kExitWriteFailed);
  EXPECT_EQ(full.err, "threebody-map: writing the results failed: No space left on device\n");
  MapOutput closed = runExe(map + " >&-");
  EXPECT_EQ(closed.status, kExitWriteFailed);
  EXPECT_NE(closed.err.find("writing the results failed: Bad file descriptor"), std::string::npos)
      << closed.err;
  // A reader that goes away, with SIGPIPE as the shell leaves it and ignored.
  std::string status = temp("pipe_status"), errs = temp("pipe_err");
  for (std::string trap : {"", "trap \"\" PIPE; "}) {
    SCOPED_TRACE(trap);
    MapOutput head = runExe(trap + "{ " + map + " 2>" + errs + "; echo $? >" + status +
                            "; } | head -1 >/dev/null; cat " + status + " " + errs);
    EXPECT_EQ(head.out, "4\n");
  }
  std::remove(status.c_str());
  std::remove(errs.c_str());
  // Every status the tool gives is listed.
  for (const char* listed : {"  0    done", "  1    the --csv", "  2    bad option",
                             "  4    writing the results", "  5    not enough memory", "130 Ctrl-C"})
    EXPECT_NE(mapUsage().find(listed), std::string::npos) << listed;
}

TEST(MapStreams, OneTypeForOneColumnAndTicksThatKeepTheirMagnitude) {
  // alpha is a number whether it is an axis or not, and so are the axes.
  for (const auto& args : {std::vector<std::string>{"--x", "alpha=0:10:2", "--y", "m3=1:2:2"},
                           std::vector<std::string>{"--x", "m3=1:2:2", "--y", "init-v3=0.5:1:2"}}) {
    std::vector<std::string> a = args;
    for (const char* more : {"--tdelta", "0.05", "--format", "jsonl"})
      a.push_back(more);
    MapOutput r = runIn(mapOf(a));
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) {
      auto j = nlohmann::json::parse(l);
      EXPECT_TRUE(j["alpha"].is_number()) << l;
      EXPECT_TRUE(j[a[1].substr(0, a[1].find('='))].is_number()) << l;
      EXPECT_TRUE(j[a[3].substr(0, a[3].find('='))].is_number()) << l;
    }
  }
  EXPECT_EQ(mapTickText("1.2345e+21"), "1.2345e21");
  EXPECT_EQ(mapTickText("9.876543e+21"), "9.8765e21");
  EXPECT_EQ(mapTickText("-1.23456789e-05"), "-1.235e-5");
  EXPECT_EQ(mapTickText("123.5"), "123.5");
  for (const char* t : {"1234567890123", "-0.000123456789", "1.2345678901e+300"}) {
    SCOPED_TRACE(t);
    std::string tick = mapTickText(t);
    EXPECT_LE(tick.size(), 9u);
    double want = std::strtod(t, nullptr), got = std::strtod(tick.c_str(), nullptr);
    EXPECT_LT(std::fabs(got - want), std::fabs(want) * 0.06) << tick;
  }
  // Three close ticks of long labels along a narrow axis: the picture still
  // reads, its labels do not run into each other (only the first is drawn)
  // nor into the legend.
  MapPicture pic{3,          2,
                 4,          "m2",
                 "m3",       {"1.2345e+21", "5.5e+21", "9.8765e+21"},
                 {"1", "2"}, std::vector<MapCell>(6, MapCell{MapOutcome::ended(EndCode::Collision), 10})};
  int w = 0, h = 0;
  std::vector<uint32_t> px = drawMap(pic, &w, &h);
  // The band of the x labels: black pixels in one run of glyphs only.
  int labelRow = 14 + 2 * 4 + 6 + 3, runs = 0;
  const int legendX = 64 + 3 * 4 + 8;
  for (int x = 0, gap = 99; x < legendX; ++x) {
    bool ink = false;
    for (int y = labelRow - 3; y <= labelRow + 3; ++y)
      ink = ink || px[static_cast<size_t>(y) * w + x] == 0;
    if (ink && gap > 6) ++runs;
    gap = ink ? 0 : gap + 1;
  }
  EXPECT_EQ(runs, 1);
  for (int x = legendX - 5; x < legendX; ++x)
    for (int y = labelRow - 3; y < labelRow + 4; ++y)
      EXPECT_NE(px[static_cast<size_t>(y) * w + x], 0u) << x << "," << y;
}

// --- Resume --------------------------------------------------------------------

TEST(MapResume, OnlyThisMapsRowsAreKeptAndAFailedStartCanBeResumed) {
  const std::vector<std::string> args{"--x", "alpha=0:350:8", "--y", "init-v3=0.6:1.4:3", "--tdelta", "0.02"};
  std::string whole = temp("r_whole.csv"), cut = temp("r_cut.csv");
  auto withCsv = [&](const std::string& file, bool resume) {
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--csv", file});
    if (resume) a.push_back("--resume");
    return mapOf(a);
  };
  ASSERT_EQ(runIn(withCsv(whole, false)).status, 0);
  const std::string full = readFile(whole);
  const std::string head = mapCsvHead(withCsv(whole, false));
  // An empty file, or one cut inside its head, is a map not yet started.
  for (size_t keep : {size_t{0}, size_t{20}, head.size() - 1}) {
    SCOPED_TRACE(keep);
    { std::ofstream(cut, std::ios::binary) << full.substr(0, keep); }
    MapOutput r = runIn(withCsv(cut, true));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(cut), full);
  }
  // Each row changed in one field is refused with its number, the file as it was.
  auto rows = rowsOf(full);
  ASSERT_EQ(rows.size(), 24u);
  const std::string row3 = rows[2];
  auto fields = [](const std::string& r) {
    std::vector<std::string> f(1);
    for (char c : r)
      if (c == ',')
        f.emplace_back();
      else
        f.back().push_back(c);
    return f;
  };
  auto f = fields(row3);
  auto replaced = [&](size_t col, const std::string& text) {
    auto g = f;
    g[col] = text;
    std::string r;
    for (size_t k = 0; k < g.size(); ++k)
      r += (k ? "," : "") + g[k];
    return r;
  };
  const std::string other = f[7] == "1" ? "2" : "1";
  std::vector<std::string> tampered{
      replaced(2, "999"),    replaced(7, other),   replaced(7, f[7] + "abc"), replaced(5, f[5] + "x"),
      replaced(7, ""),       replaced(18, "boom"), replaced(8, "fast"),       row3 + "\r",
      replaced(17, "hello"), replaced(0, "02"),
  };
  for (const std::string& bad : tampered) {
    SCOPED_TRACE(bad);
    std::string content = head + rows[0] + "\n" + rows[1] + "\n" + bad + "\n" + rows[3] + "\n";
    { std::ofstream(cut, std::ios::binary) << content; }
    MapOutput r = runIn(withCsv(cut, true));
    EXPECT_EQ(r.status, kExitBadOption);
    EXPECT_NE(r.err.find("row 3 "), std::string::npos) << r.err;
    EXPECT_EQ(readFile(cut), content);
  }
  // A tail that could not start a row of this map is no torn row; a cut row is.
  {
    std::string content = head + rows[0] + "\n" + std::string(100000, 'x');
    { std::ofstream(cut, std::ios::binary) << content; }
    MapOutput r = runIn(withCsv(cut, true));
    EXPECT_EQ(r.status, kExitBadOption);
    EXPECT_EQ(readFile(cut), content);
  }
  for (size_t cutAt : {size_t{1}, size_t{9}, rows[1].size() / 2, rows[1].size() - 1}) {
    SCOPED_TRACE(cutAt);
    { std::ofstream(cut, std::ios::binary) << head + rows[0] + "\n" + rows[1].substr(0, cutAt); }
    MapOutput r = runIn(withCsv(cut, true));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(cut), full);
    // The summary counts what this run computed, and says what it kept.
    EXPECT_NE(r.err.find("24 of 24 points"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 kept from the file, 23 computed"), std::string::npos) << r.err;
  }
  std::remove(whole.c_str());
  std::remove(cut.c_str());
}

// Memory stays bounded by what must be held, however many points the map
// has: 200 x 200 points take no more than 200 x 1 (the axes are the same).
TEST(MapStreams, MemoryDoesNotGrowWithThePoints) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's quarantine keeps freed memory resident";
#endif
  auto peakKb = [](const std::string& rows) {
    pid_t pid = fork();
    if (pid == 0) {
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      std::string y = "init-v3=0.5:1.5:" + rows;
      // No circular orbit: each point faults at once.
      execl(MAP_EXE, MAP_EXE, "--x", "m2=-3000:-1001:200", "--y", y.c_str(), "--format", "jsonl",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return usage.ru_maxrss;
  };
  long few = peakKb("1"), many = peakKb("200");
  // Holding ~140 bytes a point, as the map once did, would add 5.6 MB.
  EXPECT_LT(many, few + 2000) << few << " KB for 200 points, " << many << " KB for 40000";
}

// With stdout and stderr on one terminal, the progress line is wiped before
// each row, so no row is written after it on the same line.
TEST(MapStreams, TheProgressLineIsWipedBeforeEachRowOnATerminal) {
  MapOutput r =
      runExe("script -qec \"$M --x alpha=0:350:36 --y init-v3=0.5:1.5:6 --tdelta 0.001 --jobs 1\" /dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  int rows = 0;
  std::istringstream in(r.out);
  for (std::string l; std::getline(in, l);) {
    if (l.find("Alpha") == std::string::npos) continue;
    ++rows;
    if (!l.empty() && l.back() == '\r') l.pop_back(); // the terminal's line end
    std::string shown = l.substr(l.rfind('\r') == std::string::npos ? 0 : l.rfind('\r') + 1);
    EXPECT_EQ(shown.find("points/s"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Alpha"), std::string::npos) << shown;
  }
  EXPECT_EQ(rows, 216);
  EXPECT_NE(r.out.find("points/s"), std::string::npos) << "no progress line was shown";
}

// The progress line counts the points finished, not only the rows written:
// while the first point (the smallest time step, by far the slowest) holds
// every row back, the other thread's points show.
TEST(MapStreams, TheProgressLineCountsPointsFinishedBehindASlowOne) {
  MapOutput r = runExe("script -qec \"$M --x tdelta=0.00005:0.001:4 --y m3=1:2:2 --jobs 2 --lanes 1 "
                       "--format jsonl 2>&1 >/dev/null\" /dev/null");
  ASSERT_EQ(r.status, 0) << r.err;
  size_t most = 0;
  for (size_t at = r.out.find("points "); at != std::string::npos; at = r.out.find("points ", at + 1)) {
    size_t count = 0, of = 0;
    if (std::sscanf(r.out.c_str() + at, "points %zu of %zu", &count, &of) == 2 && of == 8)
      most = std::max(most, count);
  }
  // Rows alone would show "points 1 of 8" and then the other seven at once.
  EXPECT_GT(most, 1u) << r.out;
}

// Basin entropy of grids whose value is known in closed form.
TEST(BasinEntropyOfGrids, OneOutcomeIsZeroAndACheckerboardIsItsClosedForm) {
  auto slot = [](EndCode c) { return static_cast<uint8_t>(MapOutcome::ended(c).slot()); };
  // 12 x 7 points: two whole boxes along x, one along y; the rest is left out.
  std::vector<uint8_t> one(12 * 7, slot(EndCode::Escaped));
  BasinEntropy e = basinEntropy(one, 12, 7);
  EXPECT_EQ(e.boxes, 2);
  EXPECT_EQ(e.boundaryBoxes, 0);
  EXPECT_EQ(e.sb, 0);
  EXPECT_FALSE(e.fractal());
  // A checkerboard of two end codes: every box holds 13 of one and 12 of the other.
  std::vector<uint8_t> board(10 * 10);
  for (size_t j = 0; j < 10; ++j)
    for (size_t i = 0; i < 10; ++i)
      board[j * 10 + i] = slot((i + j) % 2 ? EndCode::Collision : EndCode::FarBound);
  const double closed = -(13.0 / 25 * std::log(13.0 / 25) + 12.0 / 25 * std::log(12.0 / 25));
  e = basinEntropy(board, 10, 10);
  EXPECT_EQ(e.boxes, 4);
  EXPECT_EQ(e.boundaryBoxes, 4);
  EXPECT_NEAR(e.sb, closed, 1e-15);
  EXPECT_NEAR(e.sbb, closed, 1e-15);
  EXPECT_FALSE(e.fractal()); // 0.6923 is just below ln 2
  // Three codes in one box, a fault in another: that box is left out.
  board[0] = slot(EndCode::Escaped);
  board[99] = static_cast<uint8_t>(MapOutcome::fault().slot());
  e = basinEntropy(board, 10, 10);
  EXPECT_EQ(e.boxes, 3);
  EXPECT_GT(e.sbb, closed);
  // A physical map's point still running at the time limit is an outcome of
  // its own; one whose reference spent its step budget has none.
  board[0] = static_cast<uint8_t>(MapOutcome::timeLimit().slot());
  e = basinEntropy(board, 10, 10);
  EXPECT_EQ(e.boxes, 3);
  EXPECT_GT(e.sbb, closed);
  for (size_t k : {size_t{0}, size_t{5}, size_t{50}, size_t{55}})
    board[k] = static_cast<uint8_t>(MapOutcome::gaveUp().slot());
  e = basinEntropy(board, 10, 10);
  EXPECT_EQ(e.boxes, 0);
  EXPECT_EQ(e.wholeBoxes, 4);
  EXPECT_NE(basinEntropyText(e).find("each of the 4 boxes of 5 x 5 points holds a point without an outcome"),
            std::string::npos)
      << basinEntropyText(e);
  EXPECT_NE(basinEntropyText(basinEntropy(one, 4, 7)).find("no whole box of 5 x 5 points"),
            std::string::npos);
}

// A reference that has not ended is still running at the time limit, or
// spent its step budget before: named so, counted apart from a user's stop,
// the same when read back from the CSV.
TEST(ReferenceMap, PointsWithoutAnEndSayWhy) {
  EXPECT_EQ(referenceMapOutcome(EndCode::Escaped, 700), MapOutcome::ended(EndCode::Escaped));
  EXPECT_EQ(referenceMapOutcome(EndCode::None, 100000.3), MapOutcome::timeLimit());
  EXPECT_EQ(referenceMapOutcome(EndCode::None, 5123.5), MapOutcome::gaveUp());
  const std::vector<std::string> args{"--integrator",   "reference", "--x",
                                      "alpha=0:360:11", "--y",       "m3=1000:100000:5"};
  const std::string csv = temp("limit.csv"), json = temp("limit.json");
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> a = args;
    a.insert(a.end(), more.begin(), more.end());
    return mapOf(a);
  };
  MapOutput r = runIn(with({"--csv", csv, "--summary", json}));
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json whole = nlohmann::json::parse(readFile(json));
  EXPECT_GT(whole["outcomes"]["time_limit"].get<int>(), 0) << whole.dump();
  EXPECT_FALSE(whole["outcomes"].contains("stopped"));
  EXPECT_GT(whole["basin_entropy"]["boxes"].get<int>(), 0);
  EXPECT_NE(r.err.find(std::to_string(whole["outcomes"]["time_limit"].get<int>()) +
                       " still running at the time limit"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("still running at the time limit at t = 1000"), std::string::npos) << r.out;
  // Read back: the first 30 rows kept, the rest computed again.
  const std::string full = readFile(csv);
  size_t cut = full.find("\n", full.find("\ni,j,") + 1);
  for (int k = 0; k < 30; ++k)
    cut = full.find('\n', cut + 1);
  { std::ofstream(csv, std::ios::binary) << full.substr(0, cut + 1); }
  MapOutput resumed = runIn(with({"--csv", csv, "--summary", json, "--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(readFile(csv), full);
  const nlohmann::json again = nlohmann::json::parse(readFile(json));
  EXPECT_EQ(again["outcomes"], whole["outcomes"]);
  EXPECT_EQ(again["basin_entropy"], whole["basin_entropy"]);
  std::remove(csv.c_str());
  std::remove(json.c_str());
}

// The physical map: identical at any number of threads; a verified map's
// verdicts agree with it where they are "confirmed", and dot the others.
TEST(ReferenceMap, IsTheSameOnAnyThreadsAndBacksTheVerifiedMap) {
  const std::vector<std::string> grid = {"--x", "alpha=40:49:10", "--y", "init-v3=0.6:0.8:5", "--tdelta",
                                         "0.05"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> a = grid;
    a.insert(a.end(), more.begin(), more.end());
    return a;
  };
  const std::string one = temp("ref1.csv"), two = temp("ref2.csv"), ver = temp("ver.csv");
  ASSERT_EQ(runIn(mapOf(with({"--integrator", "reference", "--jobs", "1", "--csv", one}))).status, 0);
  MapOutput r = runIn(mapOf(with({"--integrator", "reference", "--jobs", "2", "--csv", two})));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(one), readFile(two));
  EXPECT_NE(r.err.find("basin entropy S_b = "), std::string::npos) << r.err;
  MapOutput v = runIn(mapOf(with({"--verify", "--csv", ver, "--png", temp("ver.png")})));
  ASSERT_EQ(v.status, 0) << v.err;
  auto rowsOf = [](const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#' || line[0] == 'i') continue;
      rows.push_back(fieldsOf(line));
    }
    return rows;
  };
  auto physical = rowsOf(readFile(one)), verified = rowsOf(readFile(ver));
  ASSERT_EQ(physical.size(), 50u);
  ASSERT_EQ(verified.size(), 50u);
  int artefacts = 0;
  const size_t refEnd = 4 + resultColumns().size(), verdict = refEnd + 3;
  for (size_t k = 0; k < 50; ++k) {
    SCOPED_TRACE(k);
    // The verified map's reference is the physical map's point.
    EXPECT_EQ(verified[k][refEnd], physical[k][4]);
    EXPECT_EQ(verified[k][refEnd + 1], physical[k][5]);
    const bool same = verified[k][4 + static_cast<size_t>(columnIndex("end"))] == physical[k][4] &&
                      verified[k][4 + static_cast<size_t>(columnIndex("revolutions"))] == physical[k][5];
    if (verified[k][verdict] == "confirmed") {
      EXPECT_TRUE(same);
    }
    if (verified[k][verdict] == "artefact") {
      EXPECT_FALSE(same);
      ++artefacts;
    }
  }
  EXPECT_GT(artefacts, 0); // tdelta 0.05 is too coarse for some of these points
  // The picture names its dots: its legend has rows of ink the same map
  // without the verdicts lacks, though the map is lower than the legend.
  ASSERT_EQ(runIn(mapOf(with({"--png", temp("plain.png")}))).status, 0);
  auto legendInkRows = [](const tb::testing::Picture& img) {
    int rows = 0;
    for (int y = 0; y < img.height; ++y)
      for (int x = img.width - 110; x < img.width; ++x)
        if (img.at(x, y) != 0xFFFFFF) {
          ++rows;
          break;
        }
    return rows;
  };
  const tb::testing::Picture marked = tb::testing::readPng(temp("ver.png")),
                             plain = tb::testing::readPng(temp("plain.png"));
  ASSERT_TRUE(marked.ok() && plain.ok());
  EXPECT_GE(legendInkRows(marked), legendInkRows(plain) + 7); // a line of text at least
  std::remove(temp("ver.png").c_str());
  std::remove(temp("plain.png").c_str());
  EXPECT_NE(v.err.find(std::to_string(artefacts) + " artefact"), std::string::npos) << v.err;
  EXPECT_NE(parseMapOptions(with({"--verify", "--integrator", "reference"}), *std::make_unique<MapOptions>()),
            "");
}

// The summary file counts what the CSV holds: the outcomes and verdicts of
// its rows, and the basin entropy as a user works it out from the CSV's
// columns (rows grouped by i div 5 and j div 5). A resumed map's summary is
// the whole map's, and one that cannot be written is an error.
TEST(MapSummary, CountsWhatTheCsvHoldsAlsoWhenResumed) {
  const std::vector<std::string> grid = {"--x",      "alpha=0:351:28", "--y",     "init-v3=0.5:1.0:6",
                                         "--tdelta", "0.05",           "--verify"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> a = grid;
    a.insert(a.end(), more.begin(), more.end());
    return a;
  };
  const std::string csv = temp("sum.csv"), json = temp("sum.json");
  MapOutput r = runIn(mapOf(with({"--csv", csv, "--summary", json})));
  ASSERT_EQ(r.status, 0) << r.err;
  const nlohmann::json s = nlohmann::json::parse(readFile(json));
  const std::vector<std::string> rows = rowsOf(readFile(csv));
  ASSERT_EQ(rows.size(), 168u);
  EXPECT_EQ(s["points"], 168);
  EXPECT_EQ(s["done"], 168);
  EXPECT_EQ(s["stopped"], false);
  const size_t endAt = 4 + static_cast<size_t>(columnIndex("end")),
               verdictAt = 4 + resultColumns().size() + 3;
  std::map<std::string, int> verdicts, ends;
  std::map<std::pair<int, int>, std::map<std::string, int>> boxes;
  for (const std::string& row : rows) {
    const std::vector<std::string> f = fieldsOf(row);
    ++verdicts[f[verdictAt]];
    ++ends[f[endAt]];
    const int i = std::stoi(f[0]), j = std::stoi(f[1]);
    if (i < 25 && j < 5) ++boxes[{i / 5, j / 5}][f[endAt]];
  }
  for (const char* v : {"confirmed", "artefact", "fragile", "undecided"})
    EXPECT_EQ(s["verdicts"][v], verdicts[v]) << v;
  EXPECT_EQ(s["verdicts"]["not_verified"], 0);
  EXPECT_GT(verdicts["artefact"], 0);
  EXPECT_EQ(s["outcomes"]["collision"], ends["1"]);
  EXPECT_EQ(s["outcomes"]["escaped"], ends["2"]);
  EXPECT_EQ(s["outcomes"]["far_but_bound"], ends["3"]);
  double sb = 0, sbb = 0;
  int boundary = 0;
  for (const auto& [box, codes] : boxes) {
    double h = 0;
    for (const auto& [code, n] : codes)
      h -= n / 25.0 * std::log(n / 25.0);
    sb += h;
    if (codes.size() > 1) {
      sbb += h;
      ++boundary;
    }
  }
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(s["basin_entropy"]["boxes"], 5);
  EXPECT_EQ(s["basin_entropy"]["boundary_boxes"], boundary);
  EXPECT_NEAR(s["basin_entropy"]["S_b"].get<double>(), sb / 5, 1e-12);
  if (boundary > 0) {
    EXPECT_NEAR(s["basin_entropy"]["S_bb"].get<double>(), sbb / boundary, 1e-12);
  }

  // Cut after 40 rows and resumed: the same counts, 40 of them kept.
  const std::string whole = readFile(csv);
  size_t cutAt = whole.find("\ni,j,") + 1; // the column names, then 40 rows
  for (int n = 0; n < 41; ++n)
    cutAt = whole.find('\n', cutAt) + 1;
  { std::ofstream(csv, std::ios::binary) << whole.substr(0, cutAt); }
  MapOutput resumed = runIn(mapOf(with({"--csv", csv, "--summary", json, "--resume"})));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(readFile(csv), whole);
  const nlohmann::json again = nlohmann::json::parse(readFile(json));
  EXPECT_EQ(again["kept"], 40);
  for (const char* key : {"outcomes", "verdicts", "basin_entropy", "done"})
    EXPECT_EQ(again[key], s[key]) << key;

  // A physical map's summary names its verdicts as its CSV does.
  MapOutput physical = runIn(mapOf(
      {"--x", "alpha=0:351:28", "--y", "init-v3=0.5:1.0:6", "--integrator", "reference", "--summary", json}));
  ASSERT_EQ(physical.status, 0) << physical.err;
  const nlohmann::json p = nlohmann::json::parse(readFile(json));
  EXPECT_EQ(p["verdicts"]["stable"].get<int>() + p["verdicts"]["fragile"].get<int>() +
                p["verdicts"]["undecided"].get<int>(),
            168);
  EXPECT_FALSE(p["verdicts"].contains("artefact"));
  EXPECT_NE(physical.err.find("reference steps"), std::string::npos) << physical.err;

  // A summary that cannot be written at the end (a full device): said, with
  // status 1, the rows written; the same file twice: refused.
  struct stat full {};
  if (stat("/dev/full", &full) == 0 && S_ISCHR(full.st_mode)) {
    MapOutput nowhere = runIn(
        mapOf({"--x", "alpha=0:90:2", "--y", "m3=1:2:2", "--tdelta", "0.05", "--summary", "/dev/full"}));
    EXPECT_EQ(nowhere.status, kExitFileFailed);
    EXPECT_NE(nowhere.err.find("--summary: cannot write /dev/full"), std::string::npos) << nowhere.err;
    EXPECT_EQ(std::count(nowhere.out.begin(), nowhere.out.end(), '\n'), 4);
  }
  MapOptions twice;
  EXPECT_NE(parseMapOptions(with({"--csv", csv, "--summary", csv}), twice).find("name the same file"),
            std::string::npos);
  std::remove(csv.c_str());
  std::remove(json.c_str());
}

// A verdict the map's kind never writes, or verify columns that do not go
// with the row's end code, are refused like any other foreign row: a
// physical map says stable, fragile or undecided; a verified map confirmed,
// artefact, fragile or undecided, for exactly the tests that ended.
TEST(MapResume, VerdictsAreTheOnesTheMapsKindWrites) {
  const std::string file = temp("verdicts.csv");
  struct Kind {
    std::vector<std::string> args;
    std::vector<std::string> foreign; // verdicts such a map never writes
  } kinds[] = {
      {{"--integrator", "reference"}, {"artefact", "confirmed", "", "stable "}},
      {{"--verify"}, {"stable", "", "Confirmed"}},
  };
  for (const Kind& kind : kinds) {
    std::vector<std::string> args{"--x",      "alpha=0:90:2", "--y",   "init-v3=0.9:1:2",
                                  "--tdelta", "0.02",         "--csv", file};
    args.insert(args.end(), kind.args.begin(), kind.args.end());
    SCOPED_TRACE(args.back());
    ASSERT_EQ(runIn(mapOf(args)).status, 0);
    const std::string full = readFile(file);
    const std::string head = mapCsvHead(mapOf(args));
    const auto rows = rowsOf(full);
    ASSERT_EQ(rows.size(), 4u);
    std::vector<std::string> names;
    std::istringstream in(full);
    for (std::string l; std::getline(in, l);)
      if (l.rfind("i,j,", 0) == 0) names = fieldsOf(l);
    auto column = [&](const std::string& name) {
      return static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin());
    };
    // Row 2 with some fields replaced, written back as the map writes it.
    auto with = [&](std::vector<std::pair<std::string, std::string>> changes) {
      auto f = fieldsOf(rows[1]);
      for (const auto& [name, text] : changes)
        f.at(column(name)) = text;
      std::string r;
      for (size_t k = 0; k < f.size(); ++k) {
        if (k > 0) r += ',';
        if (k == column("line")) r += '"';
        r += f[k];
        if (k == column("line")) r += '"';
      }
      return r;
    };
    std::vector<std::string> bad;
    for (const std::string& v : kind.foreign)
      bad.push_back(with({{"verdict", v}}));
    if (kind.args[0] == "--verify") {
      // An ended test without its reference, or a stopped one with one.
      bad.push_back(with({{"reference_end", ""}}));
      bad.push_back(with({{"reference_time", ""}}));
      std::string line = fieldsOf(rows[1])[column("line")];
      line.back() = '0';
      bad.push_back(with({{"end", "0"}, {"line", line}}));
    }
    // The unchanged row is kept, so the refusals are the verdicts'.
    bad.push_back(with({}));
    for (size_t k = 0; k < bad.size(); ++k) {
      SCOPED_TRACE(bad[k]);
      const std::string content = head + rows[0] + "\n" + bad[k] + "\n";
      { std::ofstream(file, std::ios::binary) << content; }
      std::vector<std::string> resume = args;
      resume.push_back("--resume");
      MapOutput r = runIn(mapOf(resume));
      if (k + 1 == bad.size()) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(file), full);
        continue;
      }
      EXPECT_EQ(r.status, kExitBadOption);
      EXPECT_NE(r.err.find("row 2 "), std::string::npos) << r.err;
      EXPECT_EQ(readFile(file), content);
    }
  }
  std::remove(file.c_str());
}

// A physical map takes neither the time step nor the plot's size: they cannot
// fault its points, and tdelta is no axis of it. Its picture says how the map
// was made.
TEST(ReferenceMap, UsesNeitherTheTimeStepNorThePlotSizeAndSaysWhatItIs) {
  const std::vector<std::string> grid{"--integrator", "reference", "--x", "alpha=0:90:2", "--y", "m3=1:2:2"};
  auto run = [&](std::vector<std::string> more) {
    std::vector<std::string> a = grid;
    a.insert(a.end(), more.begin(), more.end());
    return runIn(mapOf(a));
  };
  const MapOutput plain = run({}), odd = run({"--disp-max", "0", "--tdelta", "1e300"});
  EXPECT_EQ(odd.status, 0) << odd.err;
  EXPECT_EQ(odd.out, plain.out);
  EXPECT_NE(odd.err.find("0 faults"), std::string::npos) << odd.err;
  MapOptions o;
  EXPECT_NE(parseMapOptions({"--integrator", "reference", "--x", "tdelta=0.001:0.01:3", "--y", "m3=1:2:2"}, o)
                .find("option --x: a physical map (--integrator reference) does not use tdelta"),
            std::string::npos);
  for (const auto& [kind, says] : std::vector<std::pair<std::string, std::string>>{
           {"reference", "; physical map (reference integration)"},
           {"verify", "; fixed step verified by a reference integration"}}) {
    const std::string png = temp("kind.png");
    std::vector<std::string> a{"--x", "alpha=0:90:2", "--y", "m3=1:2:2", "--tdelta", "0.05", "--png", png};
    if (kind == "reference")
      a.insert(a.end(), {"--integrator", "reference"});
    else
      a.push_back("--verify");
    ASSERT_EQ(runIn(mapOf(a)).status, 0);
    const tb::testing::Picture pic = tb::testing::readPng(png);
    ASSERT_TRUE(pic.ok());
    bool found = false;
    for (const auto& [key, text] : pic.texts)
      found = found || (key == "Parameters" && text.ends_with(says));
    EXPECT_TRUE(found) << kind;
    std::remove(png.c_str());
  }
}

// A map over negative and wrapped angles: every point's outcome and verdict
// are those of the same direction in [0, 360). (The revolution counts may
// differ by the one the start counts where its direction rounds below the
// reference, which depends on how the angle was written.)
TEST(ReferenceMap, NegativeAndWrappedAnglesGetTheVerdictsOfTheirDirection) {
  auto rowsOfMap = [](const std::string& alpha) {
    const std::string csv = temp("angles.csv");
    EXPECT_EQ(
        runIn(mapOf({"--verify", "--tdelta", "0.01", "--x", alpha, "--y", "init-v3=0.8:1.1:3", "--csv", csv}))
            .status,
        0);
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(readFile(csv));
    for (std::string l; std::getline(in, l);)
      if (l.rfind("i,j,", 0) == 0)
        names = fieldsOf(l);
      else if (!l.empty() && l[0] != '#')
        rows.push_back(fieldsOf(l));
    std::remove(csv.c_str());
    std::vector<std::string> kept;
    for (const auto& r : rows)
      for (const char* name : {"end", "reference_end", "verdict"})
        kept.push_back(
            name + std::string("=") +
            r.at(static_cast<size_t>(std::find(names.begin(), names.end(), name) - names.begin())));
    return kept;
  };
  const auto plain = rowsOfMap("alpha=0:340:18");
  ASSERT_EQ(plain.size(), 18u * 3 * 3);
  EXPECT_EQ(rowsOfMap("alpha=-360:-20:18"), plain);
  EXPECT_EQ(rowsOfMap("alpha=360:700:18"), plain);
}

// The refinement order: every point once, the coarse pass (every 8th point
// both ways, the corners of the squares it paints) first, then each pass the
// points halfway between, so that each pass halves the squares.
TEST(MapOrder, CoarsePassFirstThenEachPointOnce) {
  for (auto [columns, rows] : {std::pair<size_t, size_t>{33, 17}, {1, 1}, {7, 100}, {64, 1}}) {
    const std::vector<size_t> order = tb::refinementOrder(columns, rows);
    std::vector<size_t> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(sorted.size(), columns * rows);
    for (size_t k = 0; k < sorted.size(); ++k)
      ASSERT_EQ(sorted[k], k) << columns << " x " << rows;
    // The blocks never grow along the order: coarse points before finer ones.
    size_t last = 8;
    for (size_t k : order) {
      const size_t block = tb::refinementBlock(k % columns, k / columns);
      EXPECT_LE(block, last);
      last = block;
    }
    const size_t coarse = ((columns + 7) / 8) * ((rows + 7) / 8);
    for (size_t e = 0; e < coarse; ++e)
      EXPECT_TRUE(order[e] % columns % 8 == 0 && order[e] / columns % 8 == 0);
  }
  EXPECT_EQ(tb::refinementBlock(0, 0), 8u);
  EXPECT_EQ(tb::refinementBlock(16, 8), 8u);
  EXPECT_EQ(tb::refinementBlock(4, 8), 4u);
  EXPECT_EQ(tb::refinementBlock(6, 2), 2u);
  EXPECT_EQ(tb::refinementBlock(3, 8), 1u);
}
