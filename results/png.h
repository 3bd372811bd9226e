// A small PNG writer for the plot image (8-bit RGB, zlib-compressed).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tb {

// Pixels row by row, red in bits 0-7, green 8-15, blue 16-23. Returns an empty
// string on success, else what went wrong.
std::string writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);

} // namespace tb
