// The windows without a screen: an in-memory forms runtime holding the
// designed controls and window sizes, for the batch tool, the benchmarks and
// the tests.
#pragma once

#include "runtime/memory_forms.h"

#include <memory>

namespace tb {

std::unique_ptr<MemoryForms> newMemoryForms();

} // namespace tb

#include "sim/experiment.h"

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tb {

// One test on the in-memory windows from the field texts (alpha start and
// end equal): its report, or the fault that ended it. When `cancel` is given
// and changes while the test runs, the test stops and is not reported.
struct HeadlessTest {
  std::optional<TestReport> report;
  std::string fault;
  bool cancelled = false;
};
HeadlessTest runHeadlessTest(const std::vector<std::pair<std::string, std::string>>& fields,
                             const std::atomic<int>* cancel = nullptr);

} // namespace tb
