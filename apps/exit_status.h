// The tools' exit statuses, as their --help texts and the README list them.
#pragma once

namespace tb {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFileFailed = 1; // an output file (--plot, --png, --csv) could not be written
inline constexpr int kExitNoDisplay = 1;  // threebody: no display to open the windows on
inline constexpr int kExitBadOption = 2;  // also: a CSV that --resume cannot continue
inline constexpr int kExitFault = 3;      // --check: some outcome changed at half the step
inline constexpr int kExitWriteFailed = 4;
inline constexpr int kExitNoMemory = 5; // also: a worker thread could not be started

} // namespace tb
