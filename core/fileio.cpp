#include "core/fileio.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/common.h"

AtomicWriter::AtomicWriter(const char *path, const char *func, const std::string &openMessage)
    : path_(path), func_(func) {
  temp_ = path_ + ".tmpXXXXXX";
  int fd = mkstemp(temp_.data());
  if (fd < 0) Error(openMessage, func_);
  // mkstemp creates 0600; give the file the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  fp_ = fdopen(fd, "wb");
  if (fp_ == nullptr) {
    close(fd);
    unlink(temp_.c_str());
    Error(openMessage, func_);
  }
}

AtomicWriter::~AtomicWriter() {
  if (fp_ != nullptr) {
    fclose(fp_);
    unlink(temp_.c_str());
  }
}

void AtomicWriter::Fail() {
  int err = errno;
  fclose(fp_);
  fp_ = nullptr;
  unlink(temp_.c_str());
  Error("Cannot write " + path_ + (err ? std::string(": ") + strerror(err) : std::string()), func_);
}

void AtomicWriter::Write(const void *data, size_t bytes) {
  if (bytes != 0 && fwrite(data, 1, bytes, fp_) != bytes) Fail();
}

void AtomicWriter::Printf(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vfprintf(fp_, format, ap);
  va_end(ap);
  if (n < 0) Fail();
}

void AtomicWriter::Commit() {
  errno = 0;
  if (fflush(fp_) != 0 || ferror(fp_)) Fail();
  FILE *fp = fp_;
  fp_ = nullptr;
  if (fclose(fp) != 0) {
    unlink(temp_.c_str());
    Error("Cannot write " + path_ + ": " + strerror(errno), func_);
  }
  if (rename(temp_.c_str(), path_.c_str()) != 0) {
    int err = errno;
    unlink(temp_.c_str());
    Error("Cannot write " + path_ + ": " + strerror(err), func_);
  }
}

std::string ReadWholeFile(const char *path, const char *func, const std::string &openMessage) {
  FILE *fp = fopen(path, "rb");
  if (fp == nullptr) Error(openMessage, func);
  std::string text;
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0) text.append(buf, n);
  fclose(fp);
  return text;
}
