// Files written whole or not at all, through a temporary renamed into place.
#include "results/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
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

// The temporaries in the making, for a signal handler to remove: fixed slots
// of plain bytes, each claimed and released with an atomic flag.
constexpr int kSlots = 8;
constexpr size_t kSlotBytes = 4096;
struct Slot {
  std::atomic<int> state{0}; // 0 free, 1 being filled, 2 names a temporary
  char path[kSlotBytes];
};
Slot gSlots[kSlots];

int claimSlot(const std::string& path) {
  if (path.size() >= kSlotBytes) return -1;
  for (int k = 0; k < kSlots; ++k) {
    int expected = 0;
    if (gSlots[k].state.compare_exchange_strong(expected, 1)) {
      std::memcpy(gSlots[k].path, path.c_str(), path.size() + 1);
      gSlots[k].state = 2;
      return k;
    }
  }
  return -1;
}

void releaseSlot(int k) {
  if (k >= 0) gSlots[k].state = 0;
}

} // namespace

void removeUnfinishedFiles() {
  for (auto& slot : gSlots)
    if (slot.state.load() == 2) unlink(slot.path);
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  struct stat st {};
  if (stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) {
      error_ = path_ + " is a folder; give the path of a file";
      return;
    }
    // A device or a pipe (/dev/null, a FIFO a reader waits on) is written
    // as it is: renaming a file over it would replace the device itself.
    fd_ = open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) fail("cannot write " + path_, errno);
    direct_ = true;
    return;
  }
  std::string t = tempTemplate(path_);
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back('\0');
  fd_ = mkstemp(buf.data());
  if (fd_ < 0) {
    fail("cannot create a file beside " + path_, errno);
    return;
  }
  temp_ = buf.data();
  slot_ = claimSlot(temp_);
  // mkstemp makes the file private; give it the permissions of a new file.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
}

AtomicFile::~AtomicFile() { discard(); }

std::string AtomicFile::probe(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return "";
  return AtomicFile(path).error();
}

void AtomicFile::fail(const std::string& what, int err) {
  if (error_.empty()) error_ = what + ": " + std::strerror(err);
  discard();
}

void AtomicFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  releaseSlot(std::exchange(slot_, -1));
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
  if (direct_) {
    const int fd = std::exchange(fd_, -1);
    if (close(fd) != 0) fail("cannot write " + path_, errno);
    return error_;
  }
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
  releaseSlot(std::exchange(slot_, -1));
  return "";
}

} // namespace tb
