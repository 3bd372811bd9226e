// Reads a PNG the tools wrote back into pixels, through libpng, for tests
// that check what a picture shows without the windows' toolkit.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tb::testing {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;                           // red in bits 0-7, as the tools draw them
  std::vector<std::pair<std::string, std::string>> texts; // its text chunks
  bool ok() const { return width > 0 && height > 0; }
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// The picture in `path`; not ok() when it cannot be read as a PNG.
inline Picture readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  // The text chunks, through the full reader: the simplified one skips them.
  std::vector<std::pair<std::string, std::string>> texts;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png && info && !setjmp(png_jmpbuf(png))) {
      png_init_io(png, f);
      png_read_info(png, info);
      png_textp t = nullptr;
      int n = 0;
      png_get_text(png, info, &t, &n);
      for (int k = 0; k < n; ++k)
        texts.emplace_back(t[k].key, t[k].text);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
    png_image_free(&image);
    return {};
  }
  Picture p{static_cast<int>(image.width), static_cast<int>(image.height), {}, std::move(texts)};
  p.pixels.resize(static_cast<size_t>(p.width) * p.height);
  for (size_t k = 0; k < p.pixels.size(); ++k)
    p.pixels[k] = rgb[3 * k] | (uint32_t{rgb[3 * k + 1]} << 8) | (uint32_t{rgb[3 * k + 2]} << 16);
  return p;
}

} // namespace tb::testing
