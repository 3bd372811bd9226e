// The batch tool's option parsing: never crashes, and what it accepts is only
// numbers of the form's grammar, each field once.
#include "apps/batch_options.h"
#include "runtime/numeric.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Arguments are separated by NUL bytes, as in argv.
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size && args.size() < 32; ++i) {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back() += static_cast<char>(data[i]);
  }
  tb::ParseResult r = tb::parseBatchOptions(args);
  if (!r.error.empty()) return 0;
  if (r.options.fields.size() != 7) std::abort();
  for (const auto& [control, text] : r.options.fields)
    if (!tb::isWholeNumber(text)) std::abort();
  if (r.options.stopAtStep && *r.options.stopAtStep < 1) std::abort();
  return 0;
}
