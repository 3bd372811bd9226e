// The order in which a map is computed when it is shown as it comes: a coarse
// grid first, then the points between, pass by pass, each point once, so
// that a whole picture appears at once and sharpens.
#pragma once

#include <cstddef>
#include <vector>

namespace tb {

// The points of a `columns` x `rows` map (index j * columns + i), coarsest
// pass first: every `coarsest`-th point along both axes (coarsest a power of
// two), then with each pass the points halfway between those before, down
// to every point. Within a pass, row by row from the bottom.
std::vector<size_t> refinementOrder(size_t columns, size_t rows, size_t coarsest = 8);

// The side of the square of cells that point (i, j) stands for until the
// finer passes reach them: the largest power of two up to `coarsest` that
// divides both i and j.
size_t refinementBlock(size_t i, size_t j, size_t coarsest = 8);

} // namespace tb
