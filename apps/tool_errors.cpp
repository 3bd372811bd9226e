// What the tools do when they cannot go on: the signals that stop them, a
// failed write named by its cause, a reader that went away, and memory or
// threads that ran out.
#include "apps/batch_run.h"

#include "apps/fd_stream.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <ostream>
#include <system_error>

namespace tb {

void catchStopSignals(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

std::string writeFailure(std::ostream& out) {
  if (auto* fd = dynamic_cast<FdOutBuf*>(out.rdbuf()); fd && fd->error()) return std::strerror(fd->error());
  return "the output stream failed";
}

int runGuarded(const char* tool, const std::function<int()>& work, std::ostream& err) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    err << tool << ": not enough memory to go on; free some memory, or give fewer --jobs or --lanes.\n";
  } catch (const std::system_error& e) {
    err << tool << ": a worker thread could not be started (" << e.what()
        << "); give fewer --jobs, or free some memory.\n";
  }
  err.flush();
  return kExitNoMemory;
}

bool readerWentAway(std::ostream& out) {
  auto* fd = dynamic_cast<FdOutBuf*>(out.rdbuf());
  return fd && fd->error() == EPIPE;
}

} // namespace tb
