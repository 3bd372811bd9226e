// An output stream straight onto a file descriptor that remembers why a write
// failed (errno), so the batch tool can say "No space left on device" rather
// than only that something went wrong.
#pragma once

#include <cerrno>
#include <ostream>
#include <streambuf>
#include <unistd.h>

namespace tb {

class FdOutBuf : public std::streambuf {
public:
  explicit FdOutBuf(int fd) : fd_(fd) { setp(buf_, buf_ + sizeof buf_); }
  // The errno of the first failed write, 0 while all went well.
  int error() const { return error_; }

protected:
  int_type overflow(int_type c) override {
    if (!drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain() ? 0 : -1; }

private:
  bool drain() {
    const char* p = pbase();
    while (p < pptr() && error_ == 0) {
      ssize_t n = ::write(fd_, p, static_cast<size_t>(pptr() - p));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        error_ = n < 0 ? errno : EIO;
      else
        p += n;
    }
    setp(buf_, buf_ + sizeof buf_);
    return error_ == 0;
  }

  int fd_;
  int error_ = 0;
  char buf_[1 << 14];
};

} // namespace tb
