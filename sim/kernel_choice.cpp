// Which compiled kernel this processor runs: the first call chooses, from the
// kernels every instruction set entered as the program started, per lane
// count the best instruction set the processor supports.
#include "sim/lane_block.h"

#include <hwy/targets.h>

#include <algorithm>
#include <stdexcept>

namespace tb::lanes {

namespace {

// What this processor runs: the kernel of each lane count from the best
// instruction set that has it, widest first, and the best instruction set's
// one-test pass. Highway numbers better instruction sets with lower bits.
struct Chosen {
  Kernel wide[kMaxLanes];
  int count = 0;
  Kernels best;
};

const Chosen& chosen() {
  static const Chosen c = [] {
    Chosen c;
    KernelTable t = compiledKernels();
    std::sort(t.compiled, t.compiled + t.count,
              [](const Kernels& a, const Kernels& b) { return a.target < b.target; });
#if defined(__EMSCRIPTEN__)
    // Built for one target, which every WebAssembly engine runs.
    const int64_t supported = HWY_STATIC_TARGET;
#else
    const int64_t supported = hwy::SupportedTargets();
#endif
    bool any = false;
    for (int i = 0; i < t.count; ++i) {
      const Kernels& k = t.compiled[i];
      if (!(k.target & supported)) continue;
      if (!any) c.best = k, any = true;
      bool known = false;
      for (int j = 0; j < c.count; ++j)
        known = known || c.wide[j].width == k.wide.width;
      // One lane is the one-test block's job.
      if (!known && k.wide.width > 1 && c.count < kMaxLanes) c.wide[c.count++] = k.wide;
    }
    // Widest first (a handful of entries).
    for (int i = 1; i < c.count; ++i)
      for (int j = i; j > 0 && c.wide[j].width > c.wide[j - 1].width; --j)
        std::swap(c.wide[j], c.wide[j - 1]);
    if (!any)
      throw std::runtime_error("this processor runs none of the instruction sets the program was built for");
    return c;
  }();
  return c;
}

} // namespace

const Kernel* kernels(int* count) {
  *count = chosen().count;
  return chosen().wide;
}

const Kernel& bestKernel() { return chosen().count > 0 ? chosen().wide[0] : chosen().best.wide; }

OnePassesFn onePasses() { return chosen().best.one; }

double pseudoAngle(double dx, double dy) { return chosen().best.pseudoAngle(dx, dy); }

} // namespace tb::lanes
