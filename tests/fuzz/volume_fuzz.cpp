// ReadVolume on arbitrary bytes: the first byte picks the format (NIfTI,
// gzipped NIfTI, NRRD, MetaImage, or a DICOM file read as its folder's
// series), the rest is the file. It reads them or fails with a message.
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "core/volume_io.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  static const char *kExtensions[] = {".nii", ".nii.gz", ".nrrd", ".mha", ".dcm"};
  const char *ext = kExtensions[data[0] % 5];
  // One folder per extension, so that a DICOM file is alone in its folder.
  static std::string folder;
  if (folder.empty()) {
    const char *dir = getenv("TMPDIR");
    folder = std::string(dir != nullptr ? dir : "/tmp") + "/orvane_fuzz_volume_" +
             std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    atexit([] {
      for (const char *e : kExtensions) unlink((folder + "/in" + e).c_str());
      rmdir(folder.c_str());
    });
  }
  std::string path = folder + "/in" + ext;
  for (const char *e : kExtensions) {
    if (e != ext) unlink((folder + "/in" + e).c_str());
  }
  FILE *fp = fopen(path.c_str(), "wb");
  if (fp == nullptr) abort();
  if (size > 1 && fwrite(data + 1, 1, size - 1, fp) != size - 1) abort();
  fclose(fp);
  fuzz::Try([&] { ReadVolume(path.c_str()); });
  static bool counted = false;  // fuzz_input.h prints its counts through AsFile's hook
  if (!counted) {
    counted = true;
    atexit(fuzz::PrintCounts);
  }
  return 0;
}
