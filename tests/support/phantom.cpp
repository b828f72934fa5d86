#include "support/phantom.h"

#include <algorithm>

#include "core/common.h"

namespace phantom {

bool Shape::Contains(int x, int y, int z) const {
  if (kind == kBox) return x >= x0 && x < x1 && y >= y0 && y < y1 && z >= z0 && z < z1;
  int ex = x - cx, ey = y - cy, ez = z - cz;
  return ex * ex + ey * ey + ez * ez <= r * r;
}

static Shape Box(int value, int x0, int x1, int y0, int y1, int z0, int z1) {
  Shape s;
  s.kind = Shape::kBox;
  s.value = value;
  s.x0 = x0, s.x1 = x1, s.y0 = y0, s.y1 = y1, s.z0 = z0, s.z1 = z1;
  return s;
}

static Shape Ball(int value, int cx, int cy, int cz, int r) {
  Shape s;
  s.kind = Shape::kBall;
  s.value = value;
  s.cx = cx, s.cy = cy, s.cz = cz, s.r = r;
  return s;
}

static void CheckPhantomSize(int xsize, int ysize, int zsize, const char *func) {
  if (xsize < 8 || ysize < 8 || zsize < 8) Error("Phantoms need at least 8 voxels per axis", func);
}

static void Paint(Scene *scn, const std::vector<Shape> &shapes) {
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++)
      for (int x = 0; x < scn->xsize; x++)
        for (const Shape &s : shapes)
          if (s.Contains(x, y, z)) scn->data[scn->Address(x, y, z)] = s.value;
}

std::vector<Shape> LabelledShapes(int X, int Y, int Z) {
  CheckPhantomSize(X, Y, Z, "LabelledShapes");
  int hx = X / 2, hy = Y / 2, hz = Z / 2;
  return {
      Box(1, 1, hx, 1, hy, 1, hz),
      Box(2, hx, X - 1, 1, hy, 1, hz),
      Box(3, 1, hx, hy, Y - 1, 1, hz),
      Ball(4, 3 * X / 4, 3 * Y / 4, 3 * Z / 4, std::min({X, Y, Z}) / 6),
      Box(5, 0, X / 4, 0, Y / 4, hz, Z),
  };
}

std::unique_ptr<Scene> LabelledPhantom(int X, int Y, int Z) {
  auto scn = CreateScene(X, Y, Z);
  Paint(scn.get(), LabelledShapes(X, Y, Z));
  scn->maxval = 5;
  return scn;
}

std::vector<Shape> GreyShapes(int X, int Y, int Z) {
  CheckPhantomSize(X, Y, Z, "GreyShapes");
  return {
      Box(1000, X / 8, X / 2, Y / 8, Y / 2, Z / 8, Z / 2),
      Ball(2000, 5 * X / 8, 5 * Y / 8, 5 * Z / 8, std::min({X, Y, Z}) / 5),
  };
}

std::unique_ptr<Scene> GreyPhantom(int X, int Y, int Z, float dxy, float dz) {
  auto scn = CreateScene(X, Y, Z);
  for (int z = 0; z < Z; z++)
    std::fill(scn->data.begin() + scn->tbz[z], scn->data.begin() + scn->tbz[z] + X * Y, 100 + z);
  Paint(scn.get(), GreyShapes(X, Y, Z));
  scn->dx = scn->dy = dxy;
  scn->dz = dz;
  int m = 0;
  for (int v : scn->data) m = std::max(m, v);
  scn->maxval = m;
  return scn;
}

}  // namespace phantom
