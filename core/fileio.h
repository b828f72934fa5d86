// Checked file output: every write of the core goes to a temporary file in
// the target's directory, renamed over the target only when complete, so a
// failed write (disk full, no permission) leaves an existing file intact.
//
// What the target is decides the road:
//   - a symbolic link is followed, and its final target written (the link
//     stays a link);
//   - a device, FIFO or socket is written in place (a write to /dev/null
//     must not replace it with a regular file); a FIFO without a reader
//     fails at once instead of blocking;
//   - a regular file keeps its mode and owner; one with other hard links is
//     written through the temporary file and then copied into place, so
//     every name still sees the new contents.
// The temporary file has no name until the write is complete (O_TMPFILE
// where the file system has it), so a killed write leaves nothing behind.
#pragma once

#include <cstdio>
#include <string>

class AtomicWriter {
 public:
  // Opens the temporary file. On failure calls Error(openMessage, func);
  // openMessage is what the format's writer reports for an unopenable file.
  AtomicWriter(const char *path, const char *func, const std::string &openMessage);
  ~AtomicWriter();  // not committed: the temporary file is removed
  AtomicWriter(const AtomicWriter &) = delete;
  AtomicWriter &operator=(const AtomicWriter &) = delete;

  FILE *fp() { return fp_; }
  void Write(const void *data, size_t bytes);
  void Printf(const char *format, ...) __attribute__((format(printf, 2, 3)));
  // Flushes, closes and renames; Error naming the file on any failure.
  void Commit();

 private:
  enum class Road { kReplace, kInPlace, kCopyInto };
  [[noreturn]] void Fail(int err);
  void Discard();
  void Publish();  // gives the finished temporary file the target's name
  std::string path_;    // as the caller named it, for messages
  std::string target_;  // the file written: path_ with its links followed
  std::string temp_;    // the temporary file's name once it has one
  const char *func_;
  Road road_ = Road::kReplace;
  int fd_ = -1;
  bool unnamed_ = false;  // the temporary file has no name yet
  unsigned mode_ = 0;  // the mode the new file takes
  FILE *fp_ = nullptr;
};

// Reads a whole file; Error(openMessage, func) when it cannot be opened.
// A file longer than kMaxArrayBytes, or a stream (a pipe, a device) that
// sends more than a few hundred megabytes, fails with the cap named.
std::string ReadWholeFile(const char *path, const char *func, const std::string &openMessage);
