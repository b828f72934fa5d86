#include "render/scene_render.h"

#include <cstdlib>
#include <string>

#include "core/common.h"
#include "core/scene.h"

static std::string SizeOf(int x, int y, int z) {
  return std::to_string(x) + " x " + std::to_string(y) + " x " + std::to_string(z);
}

void CheckSceneContext(const Scene *scn, const Context *cxt, const char *func) {
  if (scn->xsize != cxt->xsize || scn->ysize != cxt->ysize || scn->zsize != cxt->zsize) {
    Error("The context was made for a volume of " + SizeOf(cxt->xsize, cxt->ysize, cxt->zsize) +
              " but the scene is " + SizeOf(scn->xsize, scn->ysize, scn->zsize),
          func);
  }
  const ZBuffer *zb = cxt->zbuffer.get();
  if (zb == nullptr || zb->ncols != cxt->isize || zb->nrows != cxt->isize ||
      static_cast<int>(zb->dist.size()) != zb->PixelCount()) {
    Error("The context's z-buffer is not of its image size", func);
  }
}

void CheckSameScene(const Scene *scn, const Scene *other, const char *what, const char *func) {
  if (scn->xsize != other->xsize || scn->ysize != other->ysize || scn->zsize != other->zsize) {
    Error(std::string("The ") + what + " is " + SizeOf(other->xsize, other->ysize, other->zsize) +
              " but the scene is " + SizeOf(scn->xsize, scn->ysize, scn->zsize),
          func);
  }
}

int GreyShift(const Scene *scn) {
  int s = 0;
  for (long long m = scn->maxval; m > 255; m >>= 1) s++;
  return s;
}

SceneProjection MakeProjection(const Context *cxt, int ncols, int rowHalf) {
  SceneProjection p;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) p.R[i][j] = cxt->rotation[i][j];
  p.hx = cxt->xsize / 2;
  p.hy = cxt->ysize / 2;
  p.hz = cxt->zsize / 2;
  p.ccol = ncols / 2;
  p.crow = rowHalf;
  return p;
}

static int DefaultRenderThreads() {
  if (const char *env = std::getenv("ORVANE_RENDER_THREADS")) {
    const long n = std::strtol(env, nullptr, 10);
    if (n > 0) return static_cast<int>(std::min(n, 256L));
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(std::min(n, 256u));
}

static std::atomic<int> renderThreads{0};

void SetRenderThreads(int n) { renderThreads = n > 0 ? std::min(n, 256) : 0; }

int RenderThreads() {
  const int n = renderThreads;
  if (n > 0) return n;
  static const int fallback = DefaultRenderThreads();
  return fallback;
}
