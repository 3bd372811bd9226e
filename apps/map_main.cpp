// threebody-map: the end of a test over a grid of two parameters.
#include "apps/batch_run.h"
#include "apps/fd_stream.h"
#include "apps/map.h"

#ifdef THREEBODY_WITH_MPI
#include "apps/map_mpi.h"

#include <mpi.h>
#endif

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

extern "C" void onSignal(int sig) {
  // The first signal stops the map after the points in hand; another one
  // ends at once (the CSV keeps every row written).
  if (tb::gInterrupts >= 1) _exit(128 + sig);
  tb::gTerminateSignal = sig;
  tb::gInterrupts.fetch_add(1);
}

} // namespace

int main(int argc, char** argv) {
#ifdef THREEBODY_WITH_MPI
  // Under mpirun the map is shared by the ranks; alone it runs as without MPI.
  int provided = 0, ranks = 1, rank = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  struct Finalize {
    ~Finalize() { MPI_Finalize(); }
  } finalize;
#endif
  tb::MapOptions options;
  if (std::string error = tb::parseMapOptions(std::vector<std::string>(argv + 1, argv + argc), options);
      !error.empty()) {
#ifdef THREEBODY_WITH_MPI
    if (rank != 0) return tb::kExitBadOption; // every rank read the same line: one message is enough
#endif
    std::cerr << "threebody-map: " << error << "\n";
    return tb::kExitBadOption;
  }
  tb::FdOutBuf stdoutBuf(STDOUT_FILENO);
  std::ostream out(&stdoutBuf);
  if (options.help || options.version) {
    out << (options.help ? tb::mapUsage() : std::string("threebody-map " THREEBODY_VERSION "\n"));
    return out.flush() ? 0 : tb::kExitWriteFailed;
  }
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    sigaction(sig, &sa, nullptr);
#ifdef THREEBODY_WITH_MPI
  if (ranks > 1) {
    int status = tb::runMapDistributed(options, out, std::cerr, rank == 0 && isatty(STDERR_FILENO) == 1);
    if (!out.flush() && status == 0) status = tb::kExitWriteFailed;
    return status;
  }
#endif
  int status = tb::runMap(options, out, std::cerr, isatty(STDERR_FILENO) == 1);
  if (!out.flush() && status == 0) status = tb::kExitWriteFailed;
  return status;
}
