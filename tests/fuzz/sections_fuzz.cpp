// The shell's section readers on arbitrary bytes from a stream: the first
// byte picks the reader, the next four the record count (or, for an index
// image, two bytes each of columns and rows), the rest is the stream.
#include <cstring>

#include "render/shell.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  size_t Read(void *buffer, size_t bytes) override {
    size_t n = bytes < size_ - at_ ? bytes : size_ - at_;
    memcpy(buffer, data_ + at_, n);
    at_ += n;
    return n;
  }

 private:
  const uint8_t *data_;
  size_t size_, at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool counted = [] { return atexit(fuzz::PrintCounts) == 0; }();
  (void)counted;
  if (size < 5) return 0;
  int32_t n;
  memcpy(&n, data + 1, 4);
  int16_t cols, rows;
  memcpy(&cols, data + 1, 2);
  memcpy(&rows, data + 3, 2);
  MemorySource in(data + 5, size - 5);
  switch (data[0] % 4) {
    case 0: fuzz::Try([&] { ReadVoxels(&in, n); }); break;
    case 1: fuzz::Try([&] { ReadList(&in, n); }); break;
    case 2: fuzz::Try([&] { ReadBody(&in, n); }); break;
    default: fuzz::Try([&] { ReadM(&in, cols, rows); }); break;
  }
  return 0;
}
