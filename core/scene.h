// Scenes: 3D volumes of 32-bit signed voxels, x fastest, then y, then z.
#pragma once

#include <memory>
#include <vector>

#include "core/image.h"

struct Scene {
  std::vector<int> data;  // 4 bytes/voxel: 64 MiB at 256^3
  int xsize = 0;
  int ysize = 0;
  int zsize = 0;
  float dx = 1.0f;
  float dy = 1.0f;
  float dz = 1.0f;
  std::vector<int> tby;   // tby[y] = y*xsize
  std::vector<int> tbz;   // tbz[z] = z*xsize*ysize
  int maxval = 0;         // largest value or 0; kept only by the operations that say so

  // The voxel's address, as commands that take or return voxel numbers use it.
  int Address(int x, int y, int z) const { return x + tby[y] + tbz[z]; }
  bool Valid(int x, int y, int z) const {
    return x >= 0 && x < xsize && y >= 0 && y < ysize && z >= 0 && z < zsize;
  }
  int VoxelCount() const { return static_cast<int>(data.size()); }
};

// All voxels 0, voxel sizes 1.0, maxval 0. Error for a non-positive or
// absurd size.
std::unique_ptr<Scene> CreateScene(int xsize, int ysize, int zsize);
void DestroyScene(std::unique_ptr<Scene> *scn);
