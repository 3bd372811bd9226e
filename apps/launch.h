// The desktop program's own command line: the seven parameter options with
// the batch tool's grammar, --pace and --start. Read before any window exists,
// so a bad option is a message and exit status 2 with no window.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tb {

struct Launch {
  std::vector<std::pair<std::string, std::string>> fields; // control name, text
  double pace = 0;                                         // 0: full speed
  bool start = false;                                      // press Start once shown
};

// Reads the arguments after the program's name. Returns an empty string, or
// what is wrong. Options it does not know (Qt's own, --screenshots) are left
// to the toolkit's parser.
std::string readLaunch(const std::vector<std::string>& args, Launch& launch);

} // namespace tb
