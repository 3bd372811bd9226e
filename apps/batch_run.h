// One headless series: the batch tool's whole job, callable in-process.
#pragma once

#include "apps/batch_options.h"

#include <iosfwd>

namespace tb {

// Flag the batch tool's SIGINT handler counts up; the run treats a change as a
// click on Stop.
extern volatile int gInterrupts;

// Runs the series the options describe, writing to `out` and `err`. Returns the
// exit status: 0 done, 3 the series ended on an arithmetic fault.
int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err, bool progress);

} // namespace tb
