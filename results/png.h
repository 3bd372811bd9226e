// A small PNG writer for the plot image (8-bit RGB, zlib-compressed).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tb {

// Pixels row by row, red in bits 0-7, green 8-15, blue 16-23. Returns an empty
// string on success, else what went wrong.
// `texts` (keyword, UTF-8 text) go into the file as text chunks: the program
// and the experiment a picture shows.
using PngTexts = std::vector<std::pair<std::string, std::string>>;
std::string writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels,
                     const PngTexts& texts = {});

} // namespace tb
