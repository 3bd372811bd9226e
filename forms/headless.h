// The windows without a screen: an in-memory forms runtime holding the
// designed controls and window sizes, for the batch tool, the benchmarks and
// the tests.
#pragma once

#include "runtime/memory_forms.h"

#include <memory>

namespace tb {

std::unique_ptr<MemoryForms> newMemoryForms();

} // namespace tb
