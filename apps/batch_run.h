// One headless series: the batch tool's whole job, callable in-process.
#pragma once

#include "apps/batch_options.h"
#include "apps/exit_status.h"

#include <atomic>
#include <csignal>
#include <exception>
#include <functional>
#include <iosfwd>
#include <optional>

#include "results/export.h"

namespace tb {

// The batch tool's signal handlers count every SIGINT, SIGTERM and SIGHUP in
// gInterrupts; the run treats a change as a click on Stop. gTerminateSignal
// holds the signal that asked to stop and write out (a second SIGINT, a
// SIGTERM or a SIGHUP); 0 while none did.
// Both are lock-free atomics, safe to write from a signal handler and to read
// from the map's worker threads.
extern std::atomic<int> gInterrupts;
extern std::atomic<int> gTerminateSignal;
static_assert(std::atomic<int>::is_always_lock_free);

// Installs `handler` for SIGINT, SIGTERM and SIGHUP, and ignores SIGPIPE and
// SIGXFSZ: a closed pipe or a file-size limit is a failed write (status 4),
// whether or not the caller ignores them, so that a tool never dies of one
// part-way through a file.
void catchStopSignals(void (*handler)(int));

// Says why the last write to `out` failed (errno's text where the stream knows it).
std::string writeFailure(std::ostream& out);
// Whether the last write to `out` failed because its reader went away (a
// closed pipe, as with | head): the tools then stop quietly, with status 4.
bool readerWentAway(std::ostream& out);

// Runs a tool's work; what it could not go on without (memory, or a worker
// thread) becomes a message naming `tool` on `err` and kExitNoMemory.
int runGuarded(const char* tool, const std::function<int()>& work, std::ostream& err);

// Runs the series the options describe, writing to `out` and `err`. Returns
// the exit status: one of the above, or 128 + the signal that stopped it.
int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress);

} // namespace tb
