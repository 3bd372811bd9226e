// threebody-batch: runs one series headless through the same engine as the
// desktop program and prints one result line per test.
#include "apps/batch_options.h"
#include "apps/batch_run.h"
#include "apps/fd_stream.h"
#include "results/atomic_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace {

extern "C" void onSignal(int sig) {
  // The first Ctrl-C acts as a click on Stop. A second one, a SIGTERM or a
  // SIGHUP stops the same way and then writes out what is done; if one more
  // comes while that is under way, the tool ends at once.
  if (tb::gTerminateSignal != 0) {
    tb::removeUnfinishedFiles(); // a picture being written is not left half-done
    _exit(128 + sig);
  }
  if (sig != SIGINT || tb::gInterrupts >= 1) tb::gTerminateSignal = sig;
  tb::gInterrupts.fetch_add(1);
}

int writeFailed(const std::string& why) {
  // A reader that went away (| head) is no news to the user.
  if (why != std::strerror(EPIPE))
    std::cerr << "threebody-batch: writing the results failed: " << why << "\n";
  return tb::kExitWriteFailed;
}

// Everything the tool prints goes through `out`, so that a full disk or a
// closed pipe is seen; flushing and closing at the end can fail too.
int finish(std::ostream& out, int status) {
  if (!out.flush()) return writeFailed(tb::writeFailure(out));
  if (close(STDOUT_FILENO) != 0 && errno != EINTR) return writeFailed(std::strerror(errno));
  return status;
}

} // namespace

static int run(int argc, char** argv) {
  // A closed stdout would let the next file opened (the plot's) take its
  // descriptor and receive the results: refuse before computing anything.
  if (fcntl(STDOUT_FILENO, F_GETFD) == -1) return writeFailed(std::strerror(errno));
  tb::FdOutBuf stdoutBuf(STDOUT_FILENO);
  std::ostream out(&stdoutBuf);
  std::vector<std::string> args(argv + 1, argv + argc);
  tb::ParseResult parsed = tb::parseBatchOptions(args);
  if (!parsed.error.empty()) {
    std::cerr << "threebody-batch: " << parsed.error << "\n";
    return tb::kExitBadOption;
  }
  if (parsed.options.help) return finish(out << tb::batchUsage(), tb::kExitDone);
  if (parsed.options.version)
    return finish(out << "threebody-batch " << THREEBODY_VERSION << "\n", tb::kExitDone);
  tb::catchStopSignals(onSignal);
  int status = tb::runBatch(parsed.options, out, std::cerr, isatty(STDERR_FILENO) == 1);
  // A write failure was reported already; the stream is failed for good.
  if (status == tb::kExitWriteFailed) return status;
  return finish(out, status);
}

int main(int argc, char** argv) {
  return tb::runGuarded(
      "threebody-batch", [&] { return run(argc, argv); }, std::cerr);
}
