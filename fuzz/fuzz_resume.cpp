// The map's resume reader on any file content: never crashes, keeps only
// whole rows of this map in point order, and never claims more bytes or rows
// than the file holds.
#include "apps/map.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const tb::MapOptions map = [] {
    tb::MapOptions o;
    if (!tb::parseMapOptions({"--x", "alpha=0:90:3", "--y", "m3=1:2:2"}, o).empty()) std::abort();
    return o;
  }();
  // Half the inputs start with the map's own head, so the rows get read.
  std::string content(reinterpret_cast<const char*>(data), size);
  if (size > 0 && data[0] % 2 == 0) content = tb::mapCsvHead(map) + content.substr(1);
  tb::ResumeState r = tb::readResume(content, map);
  if (!r.error.empty()) return 0;
  // Less than the head: a map not yet started, with nothing kept.
  if (!r.started) {
    if (r.rows != 0 || r.keepBytes != 0 || content.size() >= tb::mapCsvHead(map).size()) std::abort();
    return 0;
  }
  if (r.keepBytes > content.size() || r.rows > 6 || r.cells.size() != r.rows) std::abort();
  if (r.keepBytes < tb::mapCsvHead(map).size()) std::abort();
  if (r.keepBytes > tb::mapCsvHead(map).size() && content[r.keepBytes - 1] != '\n') std::abort();
  // A kept row is a test's end code or a fault, never anything else.
  for (const tb::MapCell& c : r.cells)
    if ((c.outcome.kind() != tb::MapOutcome::Kind::Ended &&
         c.outcome.kind() != tb::MapOutcome::Kind::Fault) ||
        c.steps < 0)
      std::abort();
  return 0;
}
