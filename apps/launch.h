// The desktop program's own command line: the seven parameter options with
// the batch tool's grammar, --pace, --start and --screenshots. Read before any
// window exists, so a bad option is a message and exit status 2 with no window.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tb {

struct Launch {
  std::vector<std::pair<std::string, std::string>> fields; // control name, text: the options given
  double pace = 0;                                         // 0: full speed
  bool start = false;                                      // press Start once shown
  bool noOverlay = false;                                  // leave out the overlay over the plot
  bool verify = false;                                     // mark each line with the reference's verdict
  std::string screenshots;                                 // folder for the README's pictures
  bool help = false;
  bool version = false;
  std::vector<std::string> toolkit; // the window toolkit's options, with their values
  std::string display;              // the display -display names; empty: $DISPLAY
};

// Reads the arguments after the program's name. Returns an empty string, or
// what is wrong.
std::string readLaunch(const std::vector<std::string>& args, Launch& launch);
std::string launchUsage();

} // namespace tb
