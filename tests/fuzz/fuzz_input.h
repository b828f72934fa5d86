// Shared by the reader fuzz targets: the input put where a reader that
// takes a file name can find it, and the counts printed at exit (inputs
// refused with a message, inputs read).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/common.h"

namespace fuzz {

inline long long refused = 0, accepted = 0;

inline void PrintCounts() {
  fprintf(stderr, "fuzz counts: %lld clean errors, %lld accepted\n", refused, accepted);
}

// The input as a file of its own, rewritten for every run.
inline const char *AsFile(const uint8_t *data, size_t size, const char *extension) {
  static std::string path;
  if (path.empty()) {
    const char *dir = getenv("TMPDIR");
    path = std::string(dir != nullptr ? dir : "/tmp") + "/orvane_fuzz_" +
           std::to_string(getpid()) + extension;
    atexit([] {
      unlink(path.c_str());
      PrintCounts();
    });
  }
  FILE *fp = fopen(path.c_str(), "wb");
  if (fp == nullptr) abort();
  if (size != 0 && fwrite(data, 1, size, fp) != size) abort();
  fclose(fp);
  return path.c_str();
}

// Runs read(), counting a FatalError (the core's clean refusal) as refused;
// any other exception escapes and is a finding.
template <class F>
void Try(F read) {
  try {
    read();
    accepted++;
  } catch (const FatalError &) {
    refused++;
  }
}

}  // namespace fuzz
