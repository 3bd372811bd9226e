// threebody-map over the ranks of an MPI job: the rows of the map go to the
// ranks in interleaved blocks, so that slow regions spread; each rank computes
// its points on its own threads, and rank 0 gathers the rows in point order
// and writes every output, exactly as one process would.
#pragma once

#include "apps/map.h"

namespace tb {

// Call between MPI_Init and MPI_Finalize on every rank. Returns the exit
// status (rank 0's is the one that counts).
int runMapDistributed(const MapOptions& o, std::ostream& out, std::ostream& err, MapProgress progress);

// Which rank computes row j of the map.
int rowOwner(size_t j, int ranks);

} // namespace tb
