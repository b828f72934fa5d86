// Small synthetic volumes for tests: a labelled phantom of touching
// objects and a grey phantom with anisotropic voxels.
//
// Both are described by simple shapes whose membership tests are given
// here, so a test can derive expected values by brute force from the shape
// list instead of from the code under test.
#pragma once

#include <memory>
#include <vector>

#include "core/scene.h"

namespace phantom {

// An axis-aligned box [x0, x1) x [y0, y1) x [z0, z1), or a ball of voxels
// whose centres lie within radius r of (cx, cy, cz) (squared distance
// compared with r*r).
struct Shape {
  enum Kind { kBox, kBall };
  Kind kind = kBox;
  int value = 0;  // label or grey level
  int x0 = 0, y0 = 0, z0 = 0, x1 = 0, y1 = 0, z1 = 0;
  int cx = 0, cy = 0, cz = 0, r = 0;
  bool Contains(int x, int y, int z) const;
};

// The objects of the labelled phantom, in painting order (a later shape
// wins where shapes overlap; these do not overlap). For a scene of
// X x Y x Z (each at least 8) with hx = X/2, hy = Y/2, hz = Z/2:
//   1  box [1, hx)    x [1, hy)    x [1, hz)
//   2  box [hx, X-1)  x [1, hy)    x [1, hz)     shares the face x = hx with 1
//   3  box [1, hx)    x [hy, Y-1)  x [1, hz)     shares the face y = hy with 1,
//                                               an edge with 2
//   4  ball at (3X/4, 3Y/4, 3Z/4), r = min(X, Y, Z)/6, isolated
//   5  box [0, X/4)   x [0, Y/4)   x [hz, Z)     touches the scene's border
// Every other voxel is 0.
std::vector<Shape> LabelledShapes(int xsize, int ysize, int zsize);
// The labelled phantom (voxel sizes 1.0, maxval 5).
std::unique_ptr<Scene> LabelledPhantom(int xsize, int ysize, int zsize);

// The grey phantom: background 100 + z (a gentle ramp along z), a box of
// 1000 and a ball of 2000, placed in voxel units of a scene of
// X x Y x Z (each at least 8):
//   box  [X/8, X/2) x [Y/8, Y/2) x [Z/8, Z/2)     value 1000
//   ball at (5X/8, 5Y/8, 5Z/8), r = min(X, Y, Z)/5, value 2000
// dx = dy = dxy and dz as given (dz != dxy makes it anisotropic); maxval is
// set.
std::vector<Shape> GreyShapes(int xsize, int ysize, int zsize);
std::unique_ptr<Scene> GreyPhantom(int xsize, int ysize, int zsize, float dxy, float dz);

}  // namespace phantom
