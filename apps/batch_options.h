// Command-line options of the batch tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tb {

// The largest --plot the tool accepts: 192 MB of pixels at 4 bytes each.
inline constexpr int kMaxPlotSide = 20000;
inline constexpr int64_t kMaxPlotPixels = 48'000'000;

enum class OutputFormat { Text, Jsonl, Csv, Json };

struct BatchOptions {
  // The seven parameter texts, by control name, as typed into the form.
  std::vector<std::pair<std::string, std::string>> fields;
  OutputFormat format = OutputFormat::Text;
  std::optional<int64_t> stopAtStep;
  std::string plotFile;                        // --plot: PNG of the display after the series
  std::optional<std::pair<int, int>> plotSize; // --plot-size WxH
  bool check = false;                          // --check: run again at half the time step
  bool verify = false;                         // --verify: judge each outcome by a reference integration
  int jobs = 0;                                // --jobs: threads for the tests; 0 one per core
  int lanes = 0;                               // --lanes: tests side by side per thread; 0 the widest
  bool help = false;
  bool version = false;
};

struct ParseResult {
  BatchOptions options;
  std::string error; // non-empty: what is wrong, for stderr (exit status 2)
};

ParseResult parseBatchOptions(const std::vector<std::string>& args);

std::string batchUsage();

} // namespace tb
