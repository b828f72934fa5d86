// The lowest layer of the core: zero-filled arrays that never come back
// null, the two reporting routines, and a swap.
//
// Error writes "Error:<msg> in <function>" on standard error and then throws
// FatalError instead of ending the process: the command layer turns it into
// a failed command, so a mistyped file name or an absurd size never costs
// the user the work held in the rest of the session.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

struct FatalError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Zero-filled arrays released with free(). Error on exhaustion.
char *AllocCharArray(int n);
unsigned char *AllocUCharArray(int n);
unsigned short *AllocUShortArray(int n);
int *AllocIntArray(int n);
float *AllocFloatArray(int n);
double *AllocDoubleArray(int n);

// Reports "Error:<msg> in <func>" on standard error and throws FatalError
// carrying the same text (without the newline).
[[noreturn]] void Error(const char *msg, const char *func);
// "Error:<msg> in <func>" for callers that build the message at run time.
[[noreturn]] void Error(const std::string &msg, const char *func);

// Writes "Warning:<msg> in <func>" on standard output and returns.
void Warning(const char *msg, const char *func);

void Change(int *a, int *b);

// Slices and renderings are images of a few megabytes made and freed on
// every movement of a slider or the mouse. By default the C library hands
// such blocks back to the system and faults fresh pages in for the next one,
// which costs more than computing the image; this keeps up to 256 MiB of
// freed memory for reuse instead. Whole scenes (above 64 MiB) still get
// their own mappings. Called once at start-up, by the program and the
// benchmarks alike.
void KeepFreedImageMemory();

// The most one array (a scene, an image, a shell's voxels, a file read
// whole) may take: a request beyond it fails with its size named instead of
// asking the system for gigabytes that a damaged file or a mistyped size
// promised.
constexpr long long kMaxArrayBytes = 1LL << 31;

// Element count of an nx*ny*nz box of 32-bit values, or Error (naming func)
// when a side is not positive, the product does not fit a 32-bit index or
// the box would take more than kMaxArrayBytes.
int CheckedVoxelCount(long long nx, long long ny, long long nz, const char *func);

// Error (naming func) unless count elements of elemBytes each fit in
// kMaxArrayBytes; "what" names the array in the message.
void CheckArrayBytes(long long count, long long elemBytes, const char *what, const char *func);
