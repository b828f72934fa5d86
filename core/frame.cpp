#include "core/frame.h"

#include "core/common.h"

// Faces and edges in the order the drawing code walks them.
static const std::array<std::array<int, 4>, 6> kFrameFaces = {{
    {{0, 4, 6, 2}}, {{1, 3, 7, 5}}, {{0, 1, 5, 4}}, {{2, 6, 7, 3}}, {{0, 2, 3, 1}}, {{4, 5, 7, 6}},
}};
static const std::array<std::array<int, 2>, 12> kFrameEdges = {{
    {{0, 2}}, {{0, 1}}, {{1, 3}}, {{2, 3}}, {{0, 4}}, {{4, 6}},
    {{2, 6}}, {{4, 5}}, {{5, 7}}, {{6, 7}}, {{3, 7}}, {{1, 5}},
}};

std::unique_ptr<Frame> CreateFrame(int xsize, int ysize, int zsize) {
  CheckedVoxelCount(xsize, ysize, zsize, "CreateFrame");
  auto frame = std::make_unique<Frame>();
  frame->xsize = xsize;
  frame->ysize = ysize;
  frame->zsize = zsize;
  frame->face = kFrameFaces;
  frame->edge = kFrameEdges;
  SetFrameVert(frame.get(), 0, xsize - 1, 0, ysize - 1, 0, zsize - 1);
  return frame;
}

void SetFrameVert(Frame *frame, int xmin, int xmax, int ymin, int ymax, int zmin, int zmax) {
  if (frame == nullptr) Error("No frame", "SetFrameVert");
  // Integer sizes and bounds: the differences are exact in double.
  double xc = frame->xsize / 2, yc = frame->ysize / 2, zc = frame->zsize / 2;
  for (int v = 0; v < 8; v++) {
    frame->vert[v].x = static_cast<float>(((v & 1) ? xmax : xmin) - xc);
    frame->vert[v].y = static_cast<float>(((v & 2) ? ymax : ymin) - yc);
    frame->vert[v].z = static_cast<float>(((v & 4) ? zmax : zmin) - zc);
  }
}

void DestroyFrame(std::unique_ptr<Frame> *frame) {
  if (frame != nullptr) frame->reset();
}
