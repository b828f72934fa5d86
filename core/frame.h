// The wire-frame box of a volume, centred on the origin.
//
// Vertex v takes the x bound by bit 0 of v, the y bound by bit 1 and the z
// bound by bit 2 (clear: minimum, set: maximum); every vertex is then shifted
// by minus half of each size (integer halves, the same centre the renderers
// put the volume on), so a 10-wide axis with bounds 0 and 9 runs from -5 to 4.
#pragma once

#include <array>
#include <memory>

struct FrameVertex {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;
};

struct Frame {
  int xsize = 0;
  int ysize = 0;
  int zsize = 0;
  std::array<std::array<int, 4>, 6> face{};   // vertex indices of each face
  std::array<std::array<int, 2>, 12> edge{};  // vertex indices of each edge
  std::array<FrameVertex, 8> vert{};
};

// The box of the whole volume: bounds 0 .. size - 1 on each axis, and the
// fixed face and edge tables. Error for a non-positive or absurd size.
std::unique_ptr<Frame> CreateFrame(int xsize, int ysize, int zsize);

// Puts the eight corners at the given inclusive bounds (a clip box, say),
// shifted by half of the frame's sizes. The face and edge tables stay.
void SetFrameVert(Frame *frame, int xmin, int xmax, int ymin, int ymax, int zmin, int zmax);

void DestroyFrame(std::unique_ptr<Frame> *frame);
