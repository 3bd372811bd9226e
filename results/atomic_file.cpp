#include "results/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tb {

namespace {

// The temporary sits beside the target, so the rename stays on one file system.
std::string tempTemplate(const std::string& path) {
  auto slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "." + name + ".XXXXXX";
}

} // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  std::string t = tempTemplate(path_);
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back('\0');
  fd_ = mkstemp(buf.data());
  if (fd_ < 0) {
    fail("cannot create a file beside " + path_, errno);
    return;
  }
  temp_ = buf.data();
  // mkstemp makes the file private; give it the permissions of a new file.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::fail(const std::string& what, int err) {
  if (error_.empty()) error_ = what + ": " + std::strerror(err);
  discard();
}

void AtomicFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

bool AtomicFile::write(const void* data, size_t size) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail("cannot write " + path_, n < 0 ? errno : ENOSPC);
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

std::string AtomicFile::commit() {
  if (fd_ < 0) return error_;
  if (fsync(fd_) != 0) {
    fail("cannot write " + path_, errno);
    return error_;
  }
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    fail("cannot write " + path_, errno);
    return error_;
  }
  if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
    fail("cannot replace " + path_, errno);
    return error_;
  }
  temp_.clear();
  return "";
}

} // namespace tb
