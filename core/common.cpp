#include "core/common.h"

#include <cstdio>
#include <cstdlib>
#include <climits>
#include <malloc.h>

template <class T>
static T *AllocZeroed(int n, const char *func) {
  // A negative count is an absurd request from a caller's arithmetic.
  if (n >= 0) CheckArrayBytes(n, sizeof(T), "An array", func);
  void *p = n < 0 ? nullptr : calloc(static_cast<size_t>(n), sizeof(T));
  if (p == nullptr) Error("Cannot allocate memory space", func);
  return static_cast<T *>(p);
}

char *AllocCharArray(int n) { return AllocZeroed<char>(n, "AllocCharArray"); }
unsigned char *AllocUCharArray(int n) { return AllocZeroed<unsigned char>(n, "AllocUCharArray"); }
unsigned short *AllocUShortArray(int n) { return AllocZeroed<unsigned short>(n, "AllocUShortArray"); }
int *AllocIntArray(int n) { return AllocZeroed<int>(n, "AllocIntArray"); }
float *AllocFloatArray(int n) { return AllocZeroed<float>(n, "AllocFloatArray"); }
double *AllocDoubleArray(int n) { return AllocZeroed<double>(n, "AllocDoubleArray"); }

void Error(const char *msg, const char *func) {
  std::string text = std::string("Error:") + msg + " in " + func;
  fprintf(stderr, "%s\n", text.c_str());
  fflush(stderr);
  throw FatalError(text);
}

void Error(const std::string &msg, const char *func) { Error(msg.c_str(), func); }

void Warning(const char *msg, const char *func) {
  printf("Warning:%s in %s\n", msg, func);
  fflush(stdout);
}

void Change(int *a, int *b) {
  int t = *a;
  *a = *b;
  *b = t;
}

int CheckedVoxelCount(long long nx, long long ny, long long nz, const char *func) {
  if (nx <= 0 || ny <= 0 || nz <= 0) {
    Error("Invalid size " + std::to_string(nx) + " x " + std::to_string(ny) + " x " +
              std::to_string(nz),
          func);
  }
  long double n = static_cast<long double>(nx) * ny * nz;
  if (n > INT_MAX || n * 4 > kMaxArrayBytes) {
    Error("Size " + std::to_string(nx) + " x " + std::to_string(ny) + " x " + std::to_string(nz) +
              " is too large",
          func);
  }
  return static_cast<int>(nx * ny * nz);
}

void CheckArrayBytes(long long count, long long elemBytes, const char *what, const char *func) {
  const long double bytes = static_cast<long double>(count) * elemBytes;
  if (count < 0 || bytes > kMaxArrayBytes) {
    char text[64];
    snprintf(text, sizeof text, "%.0Lf", bytes);
    Error(std::string(what) + " of " + std::to_string(count) + " elements (" + text +
              " bytes) is too large",
          func);
  }
}

void KeepFreedImageMemory() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}
