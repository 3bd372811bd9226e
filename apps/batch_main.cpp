// threebody-batch: runs one series headless through the same engine as the
// desktop program and prints one result line per test.
#include "apps/batch_options.h"
#include "apps/batch_run.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

extern "C" void onSigint(int) {
  // The first Ctrl-C acts as a click on Stop; a second one ends at once.
  tb::gInterrupts = tb::gInterrupts + 1;
  if (tb::gInterrupts >= 2) _exit(130);
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tb::ParseResult parsed = tb::parseBatchOptions(args);
  if (!parsed.error.empty()) {
    std::cerr << "threebody-batch: " << parsed.error << "\n";
    return 2;
  }
  if (parsed.options.help) {
    std::cout << tb::batchUsage();
    return 0;
  }
  if (parsed.options.version) {
    std::cout << "threebody-batch " << THREEBODY_VERSION << "\n";
    return 0;
  }
  struct sigaction sa {};
  sa.sa_handler = onSigint;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  std::ios::sync_with_stdio(false);
  return tb::runBatch(parsed.options, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
