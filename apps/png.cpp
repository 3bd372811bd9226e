#include "apps/png.h"

#include "apps/atomic_file.h"

#include <new>
#include <zlib.h>

namespace tb {

namespace {

void put32(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

bool chunk(AtomicFile& file, const char* type, const std::string& data) {
  std::string out;
  put32(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  put32(out, static_cast<uint32_t>(
                 crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  return file.write(out.data(), out.size());
}

// Compresses the rows one at a time, each IDAT chunk as the compressor fills
// it, so the memory needed stays a row and a chunk whatever the picture's size.
class RowCompressor {
public:
  explicit RowCompressor(AtomicFile& file) : file_(file) {
    ok_ = deflateInit(&z_, 9) == Z_OK;
    buf_.resize(1 << 16);
  }
  ~RowCompressor() { deflateEnd(&z_); }
  bool ok() const { return ok_; }

  bool add(const std::string& row, bool last) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
    z_.avail_in = static_cast<uInt>(row.size());
    int flush = last ? Z_FINISH : Z_NO_FLUSH;
    int rc = Z_OK;
    do {
      z_.next_out = reinterpret_cast<Bytef*>(buf_.data());
      z_.avail_out = static_cast<uInt>(buf_.size());
      rc = deflate(&z_, flush);
      if (rc == Z_STREAM_ERROR) return false;
      size_t have = buf_.size() - z_.avail_out;
      if (have > 0 && !chunk(file_, "IDAT", buf_.substr(0, have))) return false;
    } while (last ? rc != Z_STREAM_END : z_.avail_out == 0);
    return true;
  }

private:
  AtomicFile& file_;
  z_stream z_{};
  std::string buf_;
  bool ok_ = false;
};

} // namespace

std::string writePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * height)
    return "the plot has no pixels to write";
  try {
    AtomicFile file(path);
    std::string header;
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8-bit RGB, no interlace
    if (!file.write("\x89PNG\r\n\x1a\n", 8) || !chunk(file, "IHDR", header)) return file.error();
    RowCompressor rows(file);
    if (!rows.ok()) return "compressing the image failed";
    // Each row: filter byte 0, then R, G, B.
    std::string row(1 + 3 * static_cast<size_t>(width), '\0');
    for (int y = 0; y < height; ++y) {
      const uint32_t* src = pixels.data() + static_cast<size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        row[1 + 3 * static_cast<size_t>(x)] = static_cast<char>(src[x] & 0xFF);
        row[2 + 3 * static_cast<size_t>(x)] = static_cast<char>((src[x] >> 8) & 0xFF);
        row[3 + 3 * static_cast<size_t>(x)] = static_cast<char>((src[x] >> 16) & 0xFF);
      }
      if (!rows.add(row, y == height - 1))
        return file.error().empty() ? "compressing the image failed" : file.error();
    }
    if (!chunk(file, "IEND", "")) return file.error();
    return file.commit();
  } catch (const std::bad_alloc&) {
    return "not enough memory to write " + path;
  }
}

} // namespace tb
