// SCN reading and writing of a 256^3 16-bit scene through the page cache,
// and resampling of an anisotropic 256 x 256 x 128 scene to isotropic
// voxels. Beside each file figure stands the plain stdio copy of the same
// bytes, the ceiling a reader or writer of this format can reach.
//
//   scene_io_bench [directory]   (default /dev/shm)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>
#include <unistd.h>

#include "bench/bench_util.h"
#include "core/scene.h"

namespace {

using bench::BestSeconds;
using bench::FileBytes;

}  // namespace

int main(int argc, char **argv) {
  std::string dir = argc > 1 ? argv[1] : "/dev/shm";
  std::string path = dir + "/orvane_bench_" + std::to_string(getpid()) + ".scn";
  std::string rawPath = path + ".raw";
  const int reps = 10;

  auto scn = CreateScene(256, 256, 256);
  for (int i = 0; i < scn->VoxelCount(); i++) scn->data[i] = (i * 2654435761u >> 16) & 0xffff;
  scn->data[0] = 65535;

  double tWrite = BestSeconds(reps, [&] { WriteScene(scn.get(), path.c_str()); });
  double mb = FileBytes(path) / 1.0e6;
  volatile long sink = 0;
  double tRead = BestSeconds(reps, [&] {
    auto back = ReadScene(path.c_str());
    sink = sink + back->data[12345];
  });

  std::vector<char> bytes(FileBytes(path));
  double tRawWrite = BestSeconds(reps, [&] {
    FILE *fp = fopen(rawPath.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), fp);
    fclose(fp);
  });
  double tRawRead = BestSeconds(reps, [&] {
    FILE *fp = fopen(path.c_str(), "rb");
    size_t n = fread(bytes.data(), 1, bytes.size(), fp);
    fclose(fp);
    sink = sink + static_cast<long>(n);
  });
  // The floor under any reader that returns a new scene: 64 MiB of fresh
  // pages for the voxels.
  double tCreate = BestSeconds(reps, [&] {
    auto fresh = CreateScene(256, 256, 256);
    sink = sink + fresh->data[777];
  });
  unlink(path.c_str());
  unlink(rawPath.c_str());

  printf("SCN 256^3 16-bit (%.1f MB) in %s, best of %d\n", mb, dir.c_str(), reps);
  printf("  WriteScene   %8.1f MB/s  (%.4f s)   plain fwrite %8.1f MB/s\n", mb / tWrite, tWrite,
         mb / tRawWrite);
  printf("  ReadScene    %8.1f MB/s  (%.4f s)   plain fread  %8.1f MB/s\n", mb / tRead, tRead,
         mb / tRawRead);
  printf("  of which CreateScene 256^3 alone (fresh pages): %.4f s; ReadScene beyond it %8.1f MB/s\n",
         tCreate, tRead > tCreate ? mb / (tRead - tCreate) : 0.0);

  auto aniso = CreateScene(256, 256, 128);
  for (int i = 0; i < aniso->VoxelCount(); i++) aniso->data[i] = (i * 2654435761u >> 20) & 0xfff;
  aniso->dz = 2.0f;
  int nz = 0;
  double tInterp = BestSeconds(3, [&] {
    auto iso = LinearInterp(aniso.get(), 1.0f, 1.0f, 1.0f);
    nz = iso->zsize;
  });
  printf("LinearInterp 256x256x128 dz 2.0 -> 1.0 (256x256x%d): %.4f s, best of 3\n", nz, tInterp);
  return 0;
}
