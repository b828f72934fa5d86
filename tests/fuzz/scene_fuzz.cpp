// ReadScene on arbitrary bytes: it reads them or fails with a message.
#include "core/scene.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = fuzz::AsFile(data, size, ".scn");
  fuzz::Try([&] { ReadScene(path); });
  return 0;
}
