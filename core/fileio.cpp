#include "core/fileio.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/common.h"

namespace {

// The file a write to path reaches: symbolic links followed to their last
// target, which need not exist yet.
std::string FollowLinks(const std::string &path) {
  std::string at = path;
  for (int hops = 0; hops < 40; hops++) {
    struct stat st;
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = readlink(at.c_str(), link.data(), link.size());
    if (n < 0) return at;
    link.resize(static_cast<size_t>(n));
    if (link.empty() || link[0] != '/') {
      size_t slash = at.rfind('/');
      link = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + link;
    }
    at = link;
  }
  return at;  // a loop of links: the open fails and says so
}

std::string DirectoryOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Copies the whole of file descriptor from (from its start) into to.
bool CopyFile(int from, int to) {
  if (lseek(from, 0, SEEK_SET) != 0) return false;
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(from, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) return false;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(to, buf + done, static_cast<size_t>(n - done));
      if (w <= 0) return false;
      done += w;
    }
  }
}

}  // namespace

AtomicWriter::AtomicWriter(const char *path, const char *func, const std::string &openMessage)
    : path_(path), target_(FollowLinks(path)), func_(func) {
  struct stat st;
  const bool exists = stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    // A device or FIFO: written in place; without a reader a FIFO refuses
    // the non-blocking open instead of hanging the program.
    road_ = Road::kInPlace;
    fd_ = open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) Error(openMessage, func_);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  } else {
    if (exists && S_ISREG(st.st_mode) && st.st_nlink > 1) road_ = Road::kCopyInto;
    mode_t mode;
    if (exists) {
      mode = st.st_mode & 07777;
    } else {
      mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    fd_ = open(DirectoryOf(target_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    unnamed_ = fd_ >= 0;
    if (fd_ < 0) {
      // No unnamed files on this file system: a named one, removed on
      // every failure.
      temp_ = target_ + ".tmpXXXXXX";
      fd_ = mkstemp(temp_.data());
      if (fd_ < 0) {
        temp_.clear();
        Error(openMessage, func_);
      }
    }
    // The new file takes the old one's owner and mode (or the usual ones).
    if (exists && fchown(fd_, st.st_uid, st.st_gid) != 0) {
      // Not the owner's to give: the file stays the writer's.
    }
    fchmod(fd_, mode);
    mode_ = mode;
  }
  fp_ = fdopen(fd_, "wb");
  if (fp_ == nullptr) {
    Discard();
    Error(openMessage, func_);
  }
}

AtomicWriter::~AtomicWriter() { Discard(); }

// Closes whatever is open and removes a named temporary file.
void AtomicWriter::Discard() {
  if (fp_ != nullptr) {
    fclose(fp_);
  } else if (fd_ >= 0) {
    close(fd_);
  }
  fp_ = nullptr;
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

void AtomicWriter::Fail(int err) {
  Discard();
  Error("Cannot write " + path_ + (err ? std::string(": ") + strerror(err) : std::string()), func_);
}

void AtomicWriter::Write(const void *data, size_t bytes) {
  if (bytes != 0 && fwrite(data, 1, bytes, fp_) != bytes) Fail(errno);
}

void AtomicWriter::Printf(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vfprintf(fp_, format, ap);
  va_end(ap);
  if (n < 0) Fail(errno);
}

// Names the finished temporary file and renames it over the target.
void AtomicWriter::Publish() {
  if (unnamed_) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; attempt++) {
      std::string name = target_ + ".tmpXXXXXX";
      int probe = mkstemp(name.data());
      if (probe < 0) Fail(errno);
      close(probe);
      unlink(name.c_str());
      if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        temp_ = name;
        break;
      }
      if (errno == EEXIST) continue;
      // No /proc to name the file through: a named copy of it instead.
      int copy = mkstemp(name.data());
      if (copy < 0) Fail(errno);
      temp_ = name;
      const bool copied = CopyFile(fd_, copy) && fchmod(copy, mode_) == 0;
      const int err = errno;
      if (close(copy) != 0 || !copied) Fail(copied ? errno : err);
      break;
    }
    if (temp_.empty()) Fail(EEXIST);
  }
  if (rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
  temp_.clear();
}

void AtomicWriter::Commit() {
  errno = 0;
  if (fflush(fp_) != 0 || ferror(fp_)) Fail(errno);
  switch (road_) {
    case Road::kInPlace:
      break;
    case Road::kReplace:
      Publish();
      break;
    case Road::kCopyInto: {
      // Every hard link sees the new contents; the complete copy in the
      // temporary file means a failure here is found before the target is
      // touched only when the target cannot be opened.
      int to = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (to < 0) Fail(errno);
      const bool copied = CopyFile(fd_, to);
      const int err = errno;
      if (close(to) != 0 || !copied) Fail(copied ? errno : err);
      break;
    }
  }
  FILE *fp = fp_;
  fp_ = nullptr;
  fd_ = -1;
  if (fclose(fp) != 0) Fail(errno);
  Discard();
}

// A stream of unknown length is given up sooner than a file: what it holds
// has to be read (and kept) before its end is known.
static constexpr long long kMaxStreamBytes = 1LL << 28;

[[noreturn]] static void TooLong(const char *path, long long cap, const char *func) {
  Error(std::string("File ") + path + " is longer than " + std::to_string(cap) + " bytes", func);
}

std::string ReadWholeFile(const char *path, const char *func, const std::string &openMessage) {
  FILE *fp = fopen(path, "rb");
  if (fp == nullptr) Error(openMessage, func);
  struct Closer {
    FILE *fp;
    ~Closer() { fclose(fp); }
  } closer{fp};
  std::string text;
  // A regular file's length is known before anything is read; a stream
  // (a pipe, /dev/zero) is read in chunks and given up at the cap.
  struct stat st;
  long long cap = kMaxStreamBytes;
  if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) {
    cap = kMaxArrayBytes;
    if (st.st_size > cap) TooLong(path, cap, func);
    text.reserve(static_cast<size_t>(st.st_size));
  }
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0) {
    if (static_cast<long long>(text.size() + n) > cap) TooLong(path, cap, func);
    text.append(buf, n);
  }
  return text;
}
