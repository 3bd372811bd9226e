// PNG files of pixel buffers, through libpng, written whole.
#include "results/png.h"

#include "results/atomic_file.h"

#include <csetjmp>
#include <new>
#include <png.h>

namespace tb {

namespace {

// libpng reports errors through callbacks that must not return: the message
// is kept and control goes back to the setjmp in writePng.
struct PngSink {
  AtomicFile* file;
  const char* error;
};

void onError(png_structp png, png_const_charp message) {
  static_cast<PngSink*>(png_get_error_ptr(png))->error = message;
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, size_t size) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  if (!sink->file->write(data, size)) png_error(png, "writing failed");
}

void onFlush(png_structp) {}

} // namespace

namespace {

// The rows, red in bits 0-7, green in 8-15, blue in 16-23, through `row`.
void writeRows(png_structp png, int width, int height, const uint32_t* pixels, png_byte* row) {
  for (int y = 0; y < height; ++y) {
    const uint32_t* src = pixels + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      row[3 * static_cast<size_t>(x)] = static_cast<png_byte>(src[x] & 0xFF);
      row[3 * static_cast<size_t>(x) + 1] = static_cast<png_byte>((src[x] >> 8) & 0xFF);
      row[3 * static_cast<size_t>(x) + 2] = static_cast<png_byte>((src[x] >> 16) & 0xFF);
    }
    png_write_row(png, row);
  }
}

// The encoding, in a frame of its own that holds no C++ object: libpng's
// errors jump back to its setjmp. False when one did.
[[gnu::noinline]] bool encode(png_structp png, png_infop info, PngSink* sink, int width, int height,
                              const uint32_t* pixels, png_text* chunks, int chunkCount, png_byte* row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, sink, onWrite, onFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  if (chunkCount > 0) png_set_text(png, info, chunks, chunkCount);
  png_write_info(png, info);
  writeRows(png, width, height, pixels, row);
  png_write_end(png, nullptr);
  return true;
}

} // namespace

std::string writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels,
                     const PngTexts& texts) {
  if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height)
    return "the plot has no pixels to write";
  try {
    AtomicFile file(path);
    if (!file.error().empty()) return file.error();
    std::vector<png_byte> row(3 * static_cast<size_t>(width));
    std::vector<png_text> chunks(texts.size());
    for (size_t k = 0; k < texts.size(); ++k) {
      chunks[k].compression = PNG_ITXT_COMPRESSION_NONE;
      chunks[k].key = const_cast<char*>(texts[k].first.c_str());
      chunks[k].text = const_cast<char*>(texts[k].second.c_str());
      chunks[k].itxt_length = texts[k].second.size();
    }
    PngSink sink{&file, nullptr};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
      png_destroy_write_struct(&png, &info);
      return "not enough memory to write " + path;
    }
    const bool written = encode(png, info, &sink, width, height, pixels.data(), chunks.data(),
                                static_cast<int>(chunks.size()), row.data());
    png_destroy_write_struct(&png, &info);
    if (!written) {
      if (!file.error().empty()) return file.error();
      return "cannot write " + path + ": " + (sink.error ? sink.error : "the PNG encoder failed");
    }
    return file.commit();
  } catch (const std::bad_alloc&) {
    return "not enough memory to write " + path;
  }
}

} // namespace tb
