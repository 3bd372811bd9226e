// threebody-map: the end of a test over a grid of two parameters.
#include "apps/batch_run.h"
#include "apps/fd_stream.h"
#include "apps/map.h"
#include "results/atomic_file.h"

#ifdef THREEBODY_WITH_MPI
#include "apps/map_mpi.h"

#include <mpi.h>
#endif

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

extern "C" void onSignal(int sig) {
  // The first signal stops the map after the points in hand; another one
  // ends at once (the CSV keeps every row written, the picture's temporary
  // file goes).
  if (tb::gInterrupts >= 1) {
    tb::removeUnfinishedFiles();
    _exit(128 + sig);
  }
  tb::gTerminateSignal = sig;
  tb::gInterrupts.fetch_add(1);
}

// Whether stdout and stderr are one terminal: the progress line on stderr
// is then wiped before each row.
bool sameTerminal() {
  struct stat a {
  }, b{};
  return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1 && fstat(STDOUT_FILENO, &a) == 0 &&
         fstat(STDERR_FILENO, &b) == 0 && a.st_rdev == b.st_rdev;
}

#ifdef THREEBODY_WITH_MPI
// Whether an MPI launcher started this process: only then is MPI started,
// so that a plain run behaves as the tool built without MPI.
bool launchedByMpi() {
  for (const char* v : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE", "MPI_LOCALNRANKS"})
    if (std::getenv(v)) return true;
  return false;
}
#endif

int run(int argc, char** argv) {
  [[maybe_unused]] int ranks = 1, rank = 0;
#ifdef THREEBODY_WITH_MPI
  // Under mpirun the map is shared by the ranks; alone it runs as without MPI.
  struct Mpi {
    bool started = false;
    ~Mpi() {
      if (started) MPI_Finalize();
    }
  } mpi;
  if (launchedByMpi()) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    mpi.started = true;
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  }
#endif
  tb::MapOptions options;
  if (std::string error = tb::parseMapOptions(std::vector<std::string>(argv + 1, argv + argc), options);
      !error.empty()) {
    if (rank != 0) return tb::kExitBadOption; // every rank read the same line: one message is enough
    std::cerr << "threebody-map: " << error << "\n";
    return tb::kExitBadOption;
  }
  tb::FdOutBuf stdoutBuf(STDOUT_FILENO);
  std::ostream out(&stdoutBuf);
  auto flushed = [&](int status) {
    if (out.flush()) return status;
    if (status == tb::kExitDone && !tb::readerWentAway(out))
      std::cerr << "threebody-map: writing the results failed: " << tb::writeFailure(out) << "\n";
    return status == tb::kExitDone ? tb::kExitWriteFailed : status;
  };
  if (options.help || options.version)
    return flushed(
        (out << (options.help ? tb::mapUsage() : std::string("threebody-map " THREEBODY_VERSION "\n")),
         tb::kExitDone));
  tb::catchStopSignals(onSignal);
  const tb::MapProgress progress{rank == 0 && isatty(STDERR_FILENO) == 1, sameTerminal()};
#ifdef THREEBODY_WITH_MPI
  if (ranks > 1) return flushed(tb::runMapDistributed(options, out, std::cerr, progress));
#endif
  return flushed(tb::runMap(options, out, std::cerr, progress));
}

} // namespace

int main(int argc, char** argv) {
  return tb::runGuarded(
      "threebody-map", [&] { return run(argc, argv); }, std::cerr);
}
