// A file written whole or not at all: the bytes go to a temporary file in the
// target's folder, which is flushed to disk and renamed over the target only
// when everything was written. A failure leaves an earlier file untouched and
// no temporary behind. A target that is a device or a pipe is written
// directly; a folder is refused.
#pragma once

#include <cstddef>
#include <string>

namespace tb {

// Removes the temporaries of the files being written now; safe to call from
// a signal handler that is about to end the program.
void removeUnfinishedFiles();

class AtomicFile {
public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // False once anything failed; error() then says what.
  bool write(const void* data, size_t size);
  // Flushes, closes and renames. Returns an empty string on success, else
  // what went wrong (the temporary is gone either way).
  std::string commit();
  const std::string& error() const { return error_; }

  // Whether `path` could be written: creates the temporary the write would
  // start with and removes it again, so that a folder the program may not
  // write into is refused before any work. A device or a pipe is left to the
  // write itself (opening a pipe waits for its reader). An empty string when
  // it could, else what is wrong.
  static std::string probe(const std::string& path);

private:
  void fail(const std::string& what, int err);
  void discard();

  std::string path_;
  std::string temp_;
  int slot_ = -1; // where the temporary is registered for removeUnfinishedFiles
  int fd_ = -1;
  bool direct_ = false; // the target is a device or a pipe, written in place
  std::string error_;
};

} // namespace tb
