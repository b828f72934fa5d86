// Checked file output: every write of the core goes to a temporary file in
// the target's directory, renamed over the target only when complete, so a
// failed write (disk full, no permission) leaves an existing file intact.
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
  [[noreturn]] void Fail();
  std::string path_;
  std::string temp_;
  const char *func_;
  FILE *fp_ = nullptr;
  bool failed_ = false;
};

// Reads a whole file; Error(openMessage, func) when it cannot be opened.
std::string ReadWholeFile(const char *path, const char *func, const std::string &openMessage);
