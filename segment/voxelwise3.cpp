#include "segment/voxelwise3.h"

#include <climits>
#include <cmath>
#include <string>

#include "core/common.h"

std::unique_ptr<Scene> CreateSceneLike3(const Scene *scn) {
  std::unique_ptr<Scene> out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  out->dx = scn->dx;
  out->dy = scn->dy;
  out->dz = scn->dz;
  return out;
}

static std::string SizeText3(const Scene *scn) {
  return std::to_string(scn->xsize) + " x " + std::to_string(scn->ysize) + " x " +
         std::to_string(scn->zsize);
}

void CheckSameSize3(const Scene *a, const Scene *b, const char *func) {
  if (a->xsize != b->xsize || a->ysize != b->ysize || a->zsize != b->zsize)
    Error("Scenes have different sizes (" + SizeText3(a) + " and " + SizeText3(b) + ")", func);
}

int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(v);
}
