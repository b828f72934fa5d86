// Files for tests: a temporary directory removed with everything in it,
// whole-file reads and writes, and a way to make writes fail as on a full
// disk (which a permission check cannot do for root).
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/orvane_test_XXXXXX";
    const char *made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
  }
  ~TempDir() {
    if (path_ != "/tmp") std::system(("rm -rf '" + path_ + "'").c_str());
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string File(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteTestFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

inline std::string ReadTestFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A string literal with its embedded NUL bytes, without the terminator.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

// Runs call with the process allowed to write files of at most `bytes`
// bytes, so that writing more fails with EFBIG.
template <class F>
void WithFileSizeLimit(rlim_t bytes, F &&call) {
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &small);
  struct Restore {
    rlimit limit;
    void (*handler)(int);
    ~Restore() {
      setrlimit(RLIMIT_FSIZE, &limit);
      signal(SIGXFSZ, handler);
    }
  } restore{old, oldHandler};
  call();
}
