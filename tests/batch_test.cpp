#include "apps/batch_options.h"
#include "apps/batch_run.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace tb;

namespace {

struct ExeRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the batch executable with the given arguments through the shell.
ExeRun runExe(const std::string& args) {
  // One file per call: CTest runs the tests of this file in parallel.
  static int calls = 0;
  std::string errFile =
      ::testing::TempDir() + "batch_err_" + std::to_string(getpid()) + "_" + std::to_string(++calls) + ".txt";
  std::string cmd = std::string(BATCH_EXE) + " " + args + " 2>" + errFile;
  ExeRun r{};
  FILE* p = popen(cmd.c_str(), "r");
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    r.out.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  FILE* e = fopen(errFile.c_str(), "r");
  while (e && (n = fread(buf.data(), 1, buf.size(), e)) > 0)
    r.err.append(buf.data(), n);
  if (e) fclose(e);
  std::remove(errFile.c_str());
  return r;
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);)
    out.push_back(l);
  return out;
}

} // namespace

TEST(BatchOptions, RefusesTextsThatAreNotWhollyNumbers) {
  for (const char* bad : {"", "abc", "1,5", "  +7x", "-", ".", "1e3"}) {
    SCOPED_TRACE(bad);
    ParseResult r = parseBatchOptions({"--m2", bad});
    EXPECT_NE(r.error.find("--m2"), std::string::npos);
    EXPECT_NE(r.error.find(std::string("\"") + bad + "\""), std::string::npos);
  }
  EXPECT_NE(parseBatchOptions({"--tdelta"}).error.find("needs a value"), std::string::npos);
  EXPECT_NE(parseBatchOptions({"--bogus"}).error.find("unknown option"), std::string::npos);
  EXPECT_NE(parseBatchOptions({"--format", "xml"}).error.find("--format"), std::string::npos);
  EXPECT_NE(parseBatchOptions({"--stop-at-step", "0"}).error.find("--stop-at-step"), std::string::npos);
}

TEST(BatchOptions, TakesFieldTextsAndDefaults) {
  ParseResult r = parseBatchOptions({"--alpha-end", "40", "--m3=2.5", "--tdelta", " -0.5 "});
  ASSERT_TRUE(r.error.empty()) << r.error;
  std::map<std::string, std::string> f(r.options.fields.begin(), r.options.fields.end());
  EXPECT_EQ(f["Talphastr"], "0");
  EXPECT_EQ(f["Talphaend"], "40");
  EXPECT_EQ(f["Tm3"], "2.5");
  EXPECT_EQ(f["Ttdelta"], " -0.5 ");
  EXPECT_EQ(f["Tdispmax"], "500");
}

TEST(BatchExe, PrintsOneLinePerTestAndRefusesBadInputWithStatus2) {
  ExeRun ok = runExe("--tdelta 0.01 --alpha-end 0.2"); // tests at 0, 0.1 and 0.2
  EXPECT_EQ(ok.status, 0) << ok.err;
  auto l = lines(ok.out);
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0].substr(0, 9), "Alpha   0");
  EXPECT_EQ(l[2].substr(0, 9), "Alpha   0");
  EXPECT_TRUE(ok.err.empty()); // no progress when stderr is not a terminal

  ExeRun bad = runExe("--m2 12abc");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--m2"), std::string::npos);
  EXPECT_NE(bad.err.find("12abc"), std::string::npos);
  EXPECT_TRUE(bad.out.empty());

  ExeRun help = runExe("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* opt : {"--alpha-start", "--alpha-end", "--tdelta", "--init-v3", "--m2", "--m3",
                          "--disp-max", "--format", "--stop-at-step", "--version"})
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;
  EXPECT_EQ(runExe("--version").out, "threebody-batch " THREEBODY_VERSION "\n");
}

TEST(BatchExe, ArithmeticFaultKeepsPrintedLinesAndExitsWith3) {
  ExeRun r = runExe("--m2 -1000");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("m2"), std::string::npos);
  EXPECT_TRUE(r.out.empty());
  ExeRun d = runExe("--disp-max 0");
  EXPECT_EQ(d.status, 3);
  EXPECT_NE(d.err.find("disp max"), std::string::npos);
}

TEST(BatchExe, StopAtStepWritesThatTestsLineAndEndsTheSeries) {
  ExeRun r = runExe("--stop-at-step 1234 --format jsonl");
  EXPECT_EQ(r.status, 0);
  auto l = lines(r.out);
  ASSERT_EQ(l.size(), 1u);
  EXPECT_NE(l[0].find("\"steps\":1234"), std::string::npos);
  EXPECT_NE(l[0].find("\"end\":0"), std::string::npos);
  EXPECT_NE(l[0].find("\"Tcycle\":"), std::string::npos);
}

TEST(BatchExe, JsonlAndCsvCarryTheSameTests) {
  ExeRun j = runExe("--tdelta 0.01 --alpha-end 0.1 --format jsonl");
  ExeRun c = runExe("--tdelta 0.01 --alpha-end 0.1 --format csv");
  ExeRun t = runExe("--tdelta 0.01 --alpha-end 0.1");
  auto jl = lines(j.out), cl = lines(c.out), tl = lines(t.out);
  ASSERT_EQ(jl.size(), 2u);
  ASSERT_EQ(cl.size(), 3u);
  EXPECT_EQ(cl[0].substr(0, 12), "alpha,steps,");
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NE(jl[i].find("\"line\":\"" + tl[i] + "\""), std::string::npos);
    EXPECT_NE(cl[i + 1].find("\"" + tl[i] + "\""), std::string::npos);
    for (const char* key : {"\"readouts\":{\"Talpha\"", "\"Trev\"", "\"Tphi\"", "\"dist12mean\":"})
      EXPECT_NE(jl[i].find(key), std::string::npos) << key;
  }
}

TEST(BatchExe, CtrlCActsAsStop) {
  // SIGINT to an endless test (time step 0): its line is written, status 0.
  std::string cmd = std::string("( ") + BATCH_EXE +
                    " --tdelta 0 & pid=$!; sleep 0.3; kill -INT $pid; wait $pid; echo status=$? )";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
    out.append(buf.data(), n);
  pclose(p);
  auto l = lines(out);
  ASSERT_EQ(l.size(), 2u) << out;
  EXPECT_NE(l[0].find("end  0"), std::string::npos);
  EXPECT_EQ(l[1], "status=0");
}
