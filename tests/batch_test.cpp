#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "apps/launch.h"
#include "apps/map.h"
#include "forms/design.h"
#include "sim/lanes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
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

// Shell text that waits until process $pid catches SIGINT, SIGTERM and SIGHUP,
// so a signal sent next meets the tool's handlers, not the default action,
// however slowly the machine starts it.
const char* kWaitForHandlers =
    "for i in $(seq 1 1000); do m=$(awk '/SigCgt/{print $2}' /proc/$pid/status 2>/dev/null); "
    "[ -n \"$m\" ] && [ $((0x$m & 0x4003)) -eq $((0x4003)) ] && break; sleep 0.01; done; ";

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);)
    out.push_back(l);
  return out;
}

} // namespace

// Every option against every bad text is in bad_input_test.cpp; here the
// other options' mistakes.
TEST(BatchOptions, RefusesMissingValuesUnknownOptionsAndBadSettings) {
  EXPECT_NE(parseBatchOptions({"--tdelta"}).error.find("needs a value"), std::string::npos);
  EXPECT_NE(parseBatchOptions({"--bogus"}).error.find("unknown option"), std::string::npos);
  EXPECT_NE(parseBatchOptions({"--format", "xml"}).error.find("--format"), std::string::npos);
  EXPECT_NE(parseBatchOptions({"--stop-at-step", "0"}).error.find("--stop-at-step"), std::string::npos);
}

TEST(BatchOptions, APlotNoFileCanBeMadeForIsRefusedBeforeTheSeries) {
  ParseResult p = parseBatchOptions({"--plot", "/proc/threebody.png"});
  EXPECT_NE(p.error.find("option --plot: cannot create a file beside /proc/threebody.png"), std::string::npos)
      << p.error;
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
  // With --verify a fault before any test counts no verdicts: the fault is all that is said.
  for (const char* args : {"--verify --m2 -999", "--verify --alpha-start 1e30"}) {
    ExeRun v = runExe(args);
    EXPECT_EQ(v.status, 3);
    EXPECT_EQ(v.err.find("verified"), std::string::npos) << v.err;
    EXPECT_EQ(lines(v.err).size(), 1u) << v.err;
  }
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
  std::string cmd = std::string("( ") + BATCH_EXE + " --tdelta 1E-300 & pid=$!; " + kWaitForHandlers +
                    "kill -INT $pid; wait $pid; echo status=$? )";
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

// --- Failures are never reported as success -------------------------------

namespace {

// Runs a shell script (sh -c) and returns its exit status and output; $EXE
// is the batch tool.
ExeRun runScript(const std::string& script) {
  std::string quoted;
  for (char c : script)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return runExe("--version >/dev/null; EXE=" + std::string(BATCH_EXE) + " sh -c '" + quoted + "'");
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Files in `dir` whose name starts with `prefix` (a left-over temporary).
int filesStartingWith(const std::string& dir, const std::string& prefix) {
  ExeRun r = runScript("ls -a '" + dir + "' | grep -c '^" + prefix + "' || true");
  return std::stoi(lines(r.out).at(0));
}

} // namespace

TEST(OutputFailures, AFailedWriteOfTheResultsExitsWith4AndSaysWhy) {
  const std::string full = "writing the results failed: No space left on device";
  for (const char* args : {"--format text", "--format csv", "--format jsonl", "--format json",
                           "--format csv --check --alpha-end 0 --tdelta 0.01", "--help", "--version"}) {
    SCOPED_TRACE(args);
    ExeRun r = runExe(std::string(args) + " >/dev/full");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, "threebody-batch: " + full + "\n");
  }
  ExeRun closed = runExe("--alpha-end 0 >&-");
  EXPECT_EQ(closed.status, 4);
  EXPECT_NE(closed.err.find("writing the results failed: Bad file descriptor"), std::string::npos);

  // A reader that goes away stops the series at the next line, with SIGPIPE
  // ignored as some shells leave it: not all 19 tests run. One test at a time,
  // so that each line is written as its test ends and the reader is gone
  // before the last (on lanes and threads a long first test can hold every
  // line back until the end, and all of them fit in the pipe).
  std::string status = ::testing::TempDir() + "pipe_status_" + std::to_string(getpid());
  const std::string oneAtATime = "$EXE --jobs 1 --lanes 1 --format jsonl";
  ExeRun piped = runScript("trap \"\" PIPE; { " + oneAtATime + " 2>/dev/null; echo $? >" + status +
                           "; } | head -1 >/dev/null; cat " + status);
  EXPECT_EQ(lines(piped.out), std::vector<std::string>{"4"});
  // With SIGPIPE as the shell leaves it the tool does not die of it part-way:
  // the same status, and no message for a reader that went away.
  for (const char* trap : {"", "trap \"\" PIPE; "}) {
    SCOPED_TRACE(trap);
    std::string errFile = status + "_err";
    ExeRun head = runScript(std::string(trap) + "{ " + oneAtATime + " 2>" + errFile + "; echo $? >" + status +
                            "; } | head -1 >/dev/null; cat " + status + " " + errFile);
    EXPECT_EQ(lines(head.out), std::vector<std::string>{"4"});
    std::remove(errFile.c_str());
  }
  std::remove(status.c_str());
  // The picture never replaces the results on stdout.
  std::string same = ::testing::TempDir() + "tb_same_" + std::to_string(getpid()) + ".png";
  ExeRun refused = runExe("--alpha-end 0 --plot " + same + " >" + same);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--plot names the file stdout goes to"), std::string::npos) << refused.err;
  std::remove(same.c_str());
}

TEST(OutputFailures, APlotThatCannotBeWrittenWholeLeavesTheOldFile) {
  const std::string dir = ::testing::TempDir();
  const std::string path = dir + "tb_plot_keep_" + std::to_string(getpid()) + ".png";
  { std::ofstream(path) << "an earlier good picture"; }
  // A file size limit of 8 blocks makes every larger write fail, as a full disk does.
  ExeRun r = runScript("ulimit -f 8; trap \"\" XFSZ; $EXE --alpha-end 0 --tdelta 0.01 --plot " + path +
                       " --plot-size 3000x4000");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("cannot write " + path), std::string::npos) << r.err;
  ASSERT_EQ(lines(r.out).size(), 1u); // the result line was written before the picture
  EXPECT_EQ(readFile(path), "an earlier good picture");
  EXPECT_EQ(filesStartingWith(dir, ".tb_plot_keep_"), 0);

  // Written whole, it replaces the old file.
  ExeRun ok = runExe("--alpha-end 0 --tdelta 0.01 --plot " + path + " --plot-size 30x40");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(readFile(path).substr(1, 3), "PNG");
  EXPECT_EQ(filesStartingWith(dir, ".tb_plot_keep_"), 0);
  std::remove(path.c_str());
}

TEST(OutputFailures, APlotSizeIsLimitedUpFrontAndMissingMemoryIsAMessage) {
  std::string tooMany = parseBatchOptions({"--plot-size", "20000x20000"}).error;
  EXPECT_NE(tooMany.find("48000000"), std::string::npos) << tooMany;
  EXPECT_TRUE(parseBatchOptions({"--plot-size", "6000x8000"}).error.empty());
  EXPECT_NE(batchUsage().find("48000000"), std::string::npos);
#if !defined(__SANITIZE_ADDRESS__)
  // 192 MB of pixels under a 120 MB address-space limit.
  ExeRun r = runScript("ulimit -v 120000; $EXE --alpha-end 0 --plot /tmp/never.png --plot-size 6000x8000");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("not enough memory for a 6000x8000 plot"), std::string::npos) << r.err;
  // Without a plot, a lack of memory is named as such, with its own status,
  // on one thread and on several. The limits rise from one under which the
  // program cannot even start (where the C++ runtime itself aborts) to one
  // under which it does the work: between the two it must say so, and once it
  // has started it never aborts at a higher limit.
  for (const char* args : {"--jobs 1 --lanes 1", "--jobs 4"}) {
    SCOPED_TRACE(args);
    bool named = false, started = false, finished = false;
    for (int limit = 5000; limit <= 20000 && !finished; limit += 250) {
      ExeRun none =
          runScript("ulimit -v " + std::to_string(limit) + "; $EXE --alpha-end 0 --tdelta 0.01 " + args);
      SCOPED_TRACE("ulimit -v " + std::to_string(limit) + ": " + none.err);
      if (none.status == kExitNoMemory) {
        named = true;
        EXPECT_NE(none.err.find("threebody-batch: not enough memory"), std::string::npos);
        EXPECT_EQ(none.err.find("plot"), std::string::npos);
      } else if (none.status == 0) {
        finished = true;
      } else {
        EXPECT_FALSE(started) << "status " << none.status
                              << " after the program had started at a lower limit";
      }
      started = started || none.status == kExitNoMemory || none.status == 0;
    }
    EXPECT_TRUE(named);
    EXPECT_TRUE(finished);
  }
#endif
  EXPECT_NE(batchUsage().find("5    not enough memory"), std::string::npos);
}

TEST(OptionGrammar, SwitchesTakeNoValueAndEchoedTextsAreMadeSafe) {
  for (const char* arg : {"--check=no", "--help=x", "--version=1", "--check="}) {
    SCOPED_TRACE(arg);
    std::string e = parseBatchOptions({arg}).error;
    EXPECT_NE(e.find("takes no value"), std::string::npos) << e;
  }
  ExeRun esc = runExe("--m2 \"$(printf '\\033[2J5')\"");
  EXPECT_EQ(esc.status, 2);
  EXPECT_EQ(esc.err.find('\033'), std::string::npos);
  EXPECT_NE(esc.err.find("\"\\x1B[2J5\""), std::string::npos) << esc.err;

  std::string huge(100000, '7');
  huge += "x";
  std::string e = parseBatchOptions({"--tdelta", huge}).error;
  EXPECT_LT(e.size(), 300u);
  EXPECT_NE(e.find("... (100001 characters)"), std::string::npos) << e;
  EXPECT_NE(parseBatchOptions({std::string("--b\x07z")}).error.find("--b\\x07z"), std::string::npos);
}

TEST(OptionGrammar, StopAtTheLargestStepWithCheckDoesNotOverflow) {
  // Under UBSan the doubled step for the check run was a signed overflow.
  ParseResult p = parseBatchOptions(
      {"--check", "--stop-at-step", "9223372036854775807", "--alpha-end", "0", "--tdelta", "0.01"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  std::ostringstream out, err;
  EXPECT_EQ(runBatch(p.options, out, err, false), 0) << err.str();
  ASSERT_EQ(lines(out.str()).size(), 1u);
  EXPECT_EQ(lines(out.str())[0].substr(lines(out.str())[0].size() - 6), "end  2");
}

TEST(ArithmeticCauses, TheFieldThatCausedAFaultIsTheOneNamed) {
  ExeRun angle = runExe("--alpha-start 100000000000000000000 --alpha-end 0");
  EXPECT_EQ(angle.status, 3);
  EXPECT_NE(angle.err.find("The angle alpha 1E+20 is too large"), std::string::npos) << angle.err;
  EXPECT_EQ(angle.err.find("m2"), std::string::npos) << angle.err;

  // A negative step would count revolutions the motion never made.
  ExeRun back = runExe("--tdelta -0.001 --alpha-end 0");
  EXPECT_EQ(back.status, 3);
  EXPECT_TRUE(back.out.empty());
  EXPECT_NE(back.err.find("tdelta = -.001 is negative"), std::string::npos) << back.err;
  EXPECT_NE(back.err.find("Type a positive tdelta"), std::string::npos);
  // A mass whose orbit overflows is named as an overflow, however large.
  for (const char* m2 : {"8E+305", "1E+306", "1E+308"}) {
    SCOPED_TRACE(m2);
    ExeRun huge = runExe(std::string("--m2 ") + m2 + " --alpha-end 0");
    EXPECT_EQ(huge.status, 3);
    EXPECT_NE(huge.err.find("overflow"), std::string::npos) << huge.err;
    EXPECT_EQ(huge.err.find("negative"), std::string::npos) << huge.err;
  }
  // A zero step is refused before anything runs: such a test could never end.
  for (const char* zero : {"0", "-0", "0.000", "0E+5"}) {
    ExeRun r = runExe(std::string("--tdelta ") + zero);
    EXPECT_EQ(r.status, 2) << zero;
    EXPECT_NE(r.err.find("reads as 0"), std::string::npos) << r.err;
  }
}

// --- Interrupted work ------------------------------------------------------

namespace {

// Starts the tool with `args`, sends `signals` (a kill command list, e.g.
// "INT INT") after `delay` seconds, and returns what it wrote and its status.
ExeRun interrupted(const std::string& args, const std::string& delay, const std::string& signals) {
  std::string kills;
  for (std::istringstream in(signals); in;) {
    std::string sig;
    if (!(in >> sig)) break;
    kills += "kill -" + sig + " $pid; sleep 0.05; ";
  }
  std::string out = ::testing::TempDir() + "tb_int_" + std::to_string(getpid()) + ".txt";
  ExeRun r = runScript("$EXE " + args + " >" + out + " & pid=$!; " + kWaitForHandlers + "sleep " + delay +
                       "; " + kills + "wait $pid; echo $?; cat " + out);
  std::remove(out.c_str());
  auto l = lines(r.out);
  ExeRun result{l.empty() ? -1 : std::stoi(l[0]), r.out.substr(r.out.find('\n') + 1), r.err};
  return result;
}

} // namespace

TEST(InterruptedWork, TermHupAndASecondCtrlCWriteAValidDocumentAndExitWithTheSignal) {
  struct Case {
    const char* signals;
    int status;
  } cases[] = {{"TERM", 143}, {"HUP", 129}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signals);
    // Tests that take hours on any machine: the signal always meets a running one.
    ExeRun r = interrupted("--format json --tdelta 0.0000001", "0.2", c.signals);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out.substr(0, 22), "{\"program\":\"threebody\"");
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "}\n");
    EXPECT_NE(r.out.find("\"interrupted\":true"), std::string::npos);
    EXPECT_NE(r.out.find("\"end\":0"), std::string::npos); // the stopped test is there
  }
  // Two Ctrl-Cs before the series saw the first: what the handler leaves.
  gInterrupts = 2;
  gTerminateSignal = SIGINT;
  ParseResult p = parseBatchOptions({"--format", "json", "--tdelta", "1E-300"});
  std::ostringstream out, err;
  int status = runBatch(p.options, out, err, false);
  gInterrupts = 0;
  gTerminateSignal = 0;
  EXPECT_EQ(status, 130);
  EXPECT_NE(out.str().find("\"interrupted\":true,\"tests\":[{\"line\":\"Alpha   0"), std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().substr(out.str().size() - 2), "}\n");
}

TEST(InterruptedWork, AnInterruptedCheckGivesVerdictsOnlyForFinishedTests) {
  // Whenever the Ctrl-C lands, a verdict given must be the one a full check
  // gives, every row keeps the header's columns, and the summary says so.
  // One test at a time, so that the delays below land in the first run and in the check.
  const std::string args = "--check --alpha-end 20 --tdelta 0.0005 --format csv --jobs 1 --lanes 1";
  const auto started = std::chrono::steady_clock::now();
  ExeRun full = runExe(args);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_EQ(full.status, 0);
  auto fullRows = lines(full.out);
  ASSERT_EQ(fullRows.size(), 12u);
  // The first run takes a third of the time, the check at half the step the
  // rest: the delays are shares of this machine's own time for the whole.
  // Delays spread over the run, as shares of this machine's own time for
  // the whole: whatever the load, some land in the first run (no verdict
  // yet) and some part-way through the check (some verdicts given).
  bool inFirstRun = false, inCheck = false;
  for (double share : {0.05, 0.15, 0.45, 0.6, 0.75, 0.9}) {
    const std::string delay = std::to_string(share * seconds);
    SCOPED_TRACE(delay);
    ExeRun r = interrupted(args, delay, "INT");
    EXPECT_EQ(r.status, 0);
    auto rows = lines(r.out);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0], fullRows[0]);
    int unchecked = 0, checked = 0;
    // The stable column, before the experiment's (no field here holds a comma).
    auto field = [](const std::string& row, long n) {
      size_t at = 0;
      for (long k = 0; k < n; ++k)
        at = row.find(',', at) + 1;
      return row.substr(at, row.find(',', at) - at);
    };
    const std::string head = rows[0].substr(0, rows[0].find(",stable"));
    const long stable = std::count(head.begin(), head.end(), ',') + 1;
    ASSERT_EQ(field(rows[0], stable), "stable");
    for (size_t i = 1; i < rows.size(); ++i) {
      SCOPED_TRACE(rows[i]);
      EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), ','),
                std::count(rows[0].begin(), rows[0].end(), ','));
      std::string verdict = field(rows[i], stable);
      if (verdict.empty()) {
        ++unchecked;
      } else {
        ++checked;
        ASSERT_LT(i, fullRows.size());
        EXPECT_EQ(verdict, field(fullRows[i], stable));
      }
    }
    // The summary says so exactly when some test went unchecked.
    EXPECT_EQ(r.err.find("the check was interrupted") != std::string::npos, unchecked > 0) << r.err;
    inFirstRun = inFirstRun || checked == 0;
    inCheck = inCheck || (checked > 0 && unchecked > 0);
  }
  EXPECT_TRUE(inFirstRun) << "no interrupt landed in the first run";
  EXPECT_TRUE(inCheck) << "no interrupt landed part-way through the check";
}

TEST(InterruptedWork, AStopKeepsTheVerdictsOfFinishedTests) {
  // The series ends on a test at 720 degrees, whose reference direction (360)
  // is never passed: it runs until the Ctrl-C. Every test before it finished
  // and is verified; only the stopped one is not. A signal once the series
  // is over (with --check or the JSON document, verification comes last)
  // stops the verification, and says so.
  const std::string series = "--verify --alpha-start 520 --alpha-end 720 --jobs 1 ";
  for (const std::string format : {"json", "jsonl --lanes 1", "jsonl --check"}) {
    SCOPED_TRACE(format);
    ExeRun r = interrupted(series + "--format " + format, "1.5", "INT");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<nlohmann::json> tests;
    if (format == "json")
      tests = nlohmann::json::parse(r.out)["tests"].get<std::vector<nlohmann::json>>();
    else
      for (const auto& l : lines(r.out))
        tests.push_back(nlohmann::json::parse(l));
    // However slowly the machine runs, the signal lands in a test; where the
    // machine is quick, in the endless last one.
    ASSERT_FALSE(tests.empty()) << r.out;
    for (size_t k = 0; k < tests.size(); ++k) {
      SCOPED_TRACE(tests[k]["line"].get<std::string>());
      const bool last = k + 1 == tests.size();
      EXPECT_EQ(tests[k]["end"] == 0, last);
      EXPECT_EQ(tests[k]["verdict"].is_null(), last);
    }
    EXPECT_NE(r.err.find(": " + std::to_string(tests.size() - 1) +
                         " confirmed, 0 artefact, 0 fragile, 0 undecided; 1 stopped, not verified."),
              std::string::npos)
        << r.err;
  }
  // SIGTERM ends the run: what was not verified by then says why.
  ExeRun r = interrupted(series + "--check", "1.5", "TERM");
  EXPECT_EQ(r.status, 143);
  const size_t finished = lines(r.out).size() - 1;
  EXPECT_EQ(r.err.find(std::to_string(finished) +
                       " not verified (a signal stopped their reference integration)") != std::string::npos,
            finished > 0)
      << r.err;
}

TEST(OptionGrammar, BothProgramsShareTheParameterOptionsAndHelpWithin80Columns) {
  for (const std::string& help : {batchUsage(), launchUsage()}) {
    for (const auto& line : lines(help))
      EXPECT_LE(line.size(), 80u) << line;
    for (const auto& f : parameterFields())
      EXPECT_NE(help.find(std::string(f.option) + " TEXT"), std::string::npos) << f.option;
  }
  // The same grammar and messages for a field's text in both.
  Launch launch;
  EXPECT_EQ(readLaunch({"--m3", "1,5"}, launch), parseBatchOptions({"--m3", "1,5"}).error);
  EXPECT_EQ(readLaunch({"--start=1"}, launch).find("takes no value") != std::string::npos, true);
  ParseResult both = parseBatchOptions({"--m2=7", "--m2", "8", "--format=csv"});
  ASSERT_TRUE(both.error.empty()) << both.error;
  EXPECT_EQ(both.options.fields[4], (std::pair<std::string, std::string>{"Tm2", "8"})); // the last one counts
  EXPECT_EQ(both.options.format, OutputFormat::Csv);
}

// The desktop program's command line refuses what it does not know before
// any window, and passes the window toolkit only its documented options.
TEST(OptionGrammar, OneDashWordsAreRefusedByNameNotReadAsShortOptions) {
  // "-verify" is not "-v" with "erify", and "-hverify" is no call for help:
  // each program refuses the word as given, hinting at the two-dash option.
  auto errors = [](const std::vector<std::string>& args) {
    Launch launch;
    MapOptions map;
    return std::vector<std::string>{parseBatchOptions(args).error, readLaunch(args, launch),
                                    parseMapOptions(args, map)};
  };
  for (const std::string& e : errors({"-verify"}))
    EXPECT_EQ(e, "unknown option \"-verify\"; options begin with two dashes: --verify; see --help");
  for (const std::string& e : errors({"-version"}))
    EXPECT_EQ(e, "unknown option \"-version\"; options begin with two dashes: --version; see --help");
  for (const std::string& e : errors({"-hverify"}))
    EXPECT_EQ(e, "unknown option \"-hverify\"; see --help");
  // A value may begin with a dash; -h alone still asks for help.
  EXPECT_EQ(parseBatchOptions({"--m2", "-999", "--alpha-start", "-1e3"}).error, "");
  EXPECT_TRUE(parseBatchOptions({"-h"}).options.help);
}

TEST(OptionGrammar, TheDesktopCommandLineRefusesWhatItDoesNotKnow) {
  for (const auto& bad : std::vector<std::vector<std::string>>{{"-start"},
                                                               {"-pace", "200"},
                                                               {"-bogus"},
                                                               {"stray"},
                                                               {"--start", "words"},
                                                               {"--screenshots", ""},
                                                               {"-display"},
                                                               {"-platform", ""},
                                                               {"--pace", "4e-324"},
                                                               {"--pace", "1e-300"},
                                                               {"--pace", "0.05"},
                                                               {"--pace", "2e6"},
                                                               {"--pace", "0"}}) {
    SCOPED_TRACE(bad[0] + (bad.size() > 1 ? " " + bad[1] : ""));
    Launch launch;
    EXPECT_NE(readLaunch(bad, launch), "");
  }
  Launch single;
  EXPECT_NE(readLaunch({"-start"}, single).find("two dashes: --start"), std::string::npos);
  Launch ok;
  EXPECT_EQ(readLaunch({"-platform", "offscreen", "--pace", "0.1", "-display", ":7", "-reverse", "--m2",
                        "-500", "-style", "fusion", "--start"},
                       ok),
            "");
  EXPECT_EQ(ok.toolkit, (std::vector<std::string>{"-platform", "offscreen", "-display", ":7", "-reverse",
                                                  "-style", "fusion"}));
  EXPECT_EQ(ok.display, ":7");
  EXPECT_EQ(ok.pace, 0.1);
  EXPECT_TRUE(ok.start);
  Launch fastest;
  EXPECT_EQ(readLaunch({"--pace", "1000000"}, fastest), "");
  EXPECT_NE(launchUsage().find("(0.1 to\n                        1000000)"), std::string::npos)
      << launchUsage();
}

TEST(OptionGrammar, ShellCompletionOffersEveryOptionOfBothPrograms) {
  std::ifstream f(SOURCE_DIR "/apps/share/threebody.bash-completion");
  std::string script((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(script.empty());
  std::string programs[] = {"_threebody_batch() {", "_threebody() {", "_threebody_map() {"};
  std::string helps[] = {batchUsage(), launchUsage(), mapUsage()};
  for (int p = 0; p < 3; ++p) {
    size_t begin = script.find(programs[p]);
    ASSERT_NE(begin, std::string::npos);
    std::string body = script.substr(begin, script.find("\n}", begin) - begin) + " " +
                       script.substr(0, script.find('\n', script.find("_threebody_parameters=")));
    std::istringstream words(helps[p]);
    for (std::string w; words >> w;) {
      if (w.rfind("--", 0) != 0 || w.size() < 3) continue;
      w = w.substr(0, w.find_first_of(",=);."));
      EXPECT_NE(body.find(w), std::string::npos) << w << " in " << programs[p];
    }
  }
}

// The series' tests on lanes and threads write exactly what one test at a
// time writes: lines, full-precision CSV, JSON with read-outs, the check, the
// picture, a fault and a stop.
TEST(Jobs, LanesAndThreadsWriteWhatOneTestAtATimeWrites) {
  const std::vector<std::vector<std::string>> cases = {
      {"--format", "jsonl"},
      {"--format", "csv", "--alpha-end", "700", "--tdelta", "0.01"},
      {"--format", "csv", "--alpha-end", "40", "--tdelta", "0.02", "--check"},
      {"--format", "json", "--alpha-start", "100", "--alpha-end", "160", "--stop-at-step", "5000"},
      {"--m2", "-600", "--alpha-start", "-20", "--alpha-end", "0", "--tdelta", "0.01"},
      {"--alpha-end", "90", "--tdelta", "1e77", "--plot", "PLOT", "--plot-size", "60x80"},
      {"--alpha-end", "20", "--tdelta", "0.02", "--plot", "PLOT", "--plot-size", "60x80"},
      {"--alpha-end", "350", "--tdelta", "0.02", "--stop-at-step", "700", "--plot", "PLOT"},
  };
  // One test at a time first; then every lane width on one thread, and the
  // default and one test at a time on two.
  std::vector<std::pair<std::string, std::string>> runs = {{"1", "1"}};
  for (int w : LaneEngine::laneCounts())
    runs.emplace_back("1", std::to_string(w));
  runs.emplace_back("2", "0");
  runs.emplace_back("2", "1");
  for (const auto& c : cases) {
    std::vector<std::string> outputs, errors, pictures;
    for (const auto& [jobs, lanes] : runs) {
      std::vector<std::string> args = c;
      std::string picture = ::testing::TempDir() + "tb_jobs_" + std::to_string(getpid()) + "_" + jobs + lanes;
      for (auto& a : args)
        if (a == "PLOT") a = picture;
      args.insert(args.end(), {"--jobs", jobs});
      if (lanes != "0") args.insert(args.end(), {"--lanes", lanes});
      ParseResult p = parseBatchOptions(args);
      ASSERT_EQ(p.error, "");
      std::ostringstream out, err;
      int status = runBatch(p.options, out, err, false);
      outputs.push_back(std::to_string(status) + "\n" + out.str());
      errors.push_back(err.str());
      std::ifstream f(picture, std::ios::binary);
      pictures.emplace_back((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
      std::remove(picture.c_str());
    }
    for (size_t r = 1; r < runs.size(); ++r) {
      std::string given;
      for (const auto& a : c)
        given += a + " ";
      SCOPED_TRACE(given + "--jobs " + runs[r].first + " --lanes " + runs[r].second);
      EXPECT_EQ(outputs[0], outputs[r]);
      EXPECT_EQ(errors[0], errors[r]);
      EXPECT_EQ(pictures[0], pictures[r]);
    }
    EXPECT_GT(outputs[0].size() + errors[0].size(), 2u); // lines, or the fault's message
  }
}

TEST(Jobs, LanesTheProcessorLacksAreRefused) {
  ParseResult p = parseBatchOptions({"--lanes", "3"});
  EXPECT_NE(p.error.find("--lanes"), std::string::npos) << p.error;
  EXPECT_NE(p.error.find("must be one of 1"), std::string::npos) << p.error;
}
