#include "maps/map_order.h"

namespace tb {

size_t refinementBlock(size_t i, size_t j, size_t coarsest) {
  size_t block = 1;
  while (block < coarsest && i % (2 * block) == 0 && j % (2 * block) == 0)
    block *= 2;
  return block;
}

std::vector<size_t> refinementOrder(size_t columns, size_t rows, size_t coarsest) {
  std::vector<size_t> order;
  order.reserve(columns * rows);
  for (size_t step = coarsest; step >= 1; step /= 2)
    for (size_t j = 0; j < rows; j += step)
      for (size_t i = 0; i < columns; i += step)
        // A point of a coarser pass is already in.
        if (step == coarsest || refinementBlock(i, j, coarsest) == step) order.push_back(j * columns + i);
  return order;
}

} // namespace tb
