#include "render/shading.h"

#include <climits>
#include <string>

#include "core/adjacency.h"
#include "core/common.h"
#include "core/queue.h"
#include "core/scene.h"

static int ClampTruncate(double v) { return static_cast<int>(std::clamp(v, 0.0, 255.0)); }

// trunc(v) as an int, saturated at the ends of the int range (NaN gives 0).
static int SaturatedTrunc(double v) {
  if (!(v == v)) return 0;
  if (v <= -2147483648.0) return INT_MIN;
  if (v >= 2147483647.0) return INT_MAX;
  return static_cast<int>(v);
}

static void CheckImageSizes(int ncols1, int nrows1, int ncols2, int nrows2, const char *what,
                            const char *func) {
  if (ncols1 != ncols2 || nrows1 != nrows2)
    Error(std::string(what) + " differ in size (" + std::to_string(ncols1) + "x" +
              std::to_string(nrows1) + " and " + std::to_string(ncols2) + "x" +
              std::to_string(nrows2) + ")",
          func);
}

static const ZBuffer &ContextZBuffer(const Context *cxt, const char *func) {
  if (cxt->zbuffer == nullptr) Error("The context has no z-buffer", func);
  return *cxt->zbuffer;
}

void LabelColor(const Context *cxt, int o, int rgb[3]) {
  const ObjectAppearance &a = LabelAppearance(cxt, o);
  double c[3];
  ObjectRGB(a.Y, a.Cb, a.Cr, c);
  for (int i = 0; i < 3; i++) rgb[i] = ClampTruncate(c[i]);
}

// ---- label images ----

// The fill of FillSlice and FillCutPlane. M starts at m + 1 inside and at
// the image on its border, and only ever decreases; a pixel p taken from the
// queue offers each 4-neighbour q the value c = img(q) when both are
// labelled, max(img(q), M(p)) otherwise. The first rule can drop q below
// the bucket being served, and can even reach a pixel already taken, so the
// queue is a lowering one (it always serves the lowest key) and a pixel
// taken earlier goes back into it to pass its new value on. Ties within a
// bucket are served first in, first out, which decides the cases where two
// labelled neighbours reach one value together.
static std::unique_ptr<Image> FillOutlines(const Image *img, bool clearAbove255,
                                           const char *func) {
  int m = 0;
  for (int v : img->val) {
    if (v < 0) Error("Negative label " + std::to_string(v) + " in a label image", func);
    m = std::max(m, v);
  }
  if (m > (1 << 28) - 2)
    Error("Label " + std::to_string(m) + " is too large to fill (one bucket per value)", func);

  auto M = CreateImage(img->ncols, img->nrows);
  std::fill(M->val.begin(), M->val.end(), m + 1);
  for (int y = 0; y < img->nrows; y++) {
    M->at(0, y) = img->at(0, y);
    M->at(img->ncols - 1, y) = img->at(img->ncols - 1, y);
  }
  for (int x = 0; x < img->ncols; x++) {
    M->at(x, 0) = img->at(x, 0);
    M->at(x, img->nrows - 1) = img->at(x, img->nrows - 1);
  }

  auto A = Circular(1.0f);
  const int sz = FrameSize(A.get());
  auto fimg = AddFrame(img, sz, kImageMinusInfinity);
  auto fM = AddFrame(M.get(), sz, kImageMinusInfinity);
  DestroyImage(&M);
  const int ncols = fM->ncols;
  int dp[8];
  const int nadj = A->n - 1;
  for (int i = 1; i < A->n; i++) dp[i - 1] = A->dx[i] + ncols * A->dy[i];

  const int n = static_cast<int>(fM->val.size());
  auto Q = CreateLoweringQueue(m + 2, n);
  for (int y = sz; y < fM->nrows - sz; y++)
    for (int x = sz; x < ncols - sz; x++) {
      int p = x + fM->tbrow[y];
      InsertQueue(Q.get(), fM->val[p], p);
    }

  // Frame pixels hold the smallest int: M(p) < M(q) never holds for them,
  // so no neighbour test is needed.
  int *Mv = fM->val.data();
  const int *Iv = fimg->val.data();
  int p;
  while ((p = RemoveQueue(Q.get())) != -1) {
    for (int i = 0; i < nadj; i++) {
      int q = p + dp[i];
      if (Mv[p] >= Mv[q]) continue;
      int c = (Iv[p] != 0 && Iv[q] != 0) ? Iv[q] : std::max(Iv[q], Mv[p]);
      if (c < Mv[q]) {
        if (Q->elem[q].color == GRAY)
          UpdateQueue(Q.get(), q, Mv[q], c);
        else
          InsertQueue(Q.get(), c, q);
        Mv[q] = c;
      }
    }
  }
  if (clearAbove255)
    for (int &v : fM->val)
      if (v > 255) v = 0;
  return RemFrame(fM.get(), sz);
}

std::unique_ptr<Image> FillSlice(const Image *img) { return FillOutlines(img, true, "FillSlice"); }

std::unique_ptr<Image> FillCutPlane(const ZBuffer *, const Image *img) {
  return FillOutlines(img, false, "FillCutPlane");
}

// Paints the pixels of label v > 0 of img into cimg.
static void PaintLabels(const Context *cxt, CImage *cimg, const Image *img) {
  const int n = static_cast<int>(img->val.size());
  int lastLabel = -1, rgb[3] = {0, 0, 0};
  for (int p = 0; p < n; p++) {
    int v = img->val[p];
    if (v <= 0) continue;
    if (v != lastLabel) {
      LabelColor(cxt, v, rgb);
      lastLabel = v;
    }
    for (int c = 0; c < 3; c++) cimg->C[c]->val[p] = rgb[c];
  }
}

std::unique_ptr<CImage> ColorizeSlice(const Context *cxt, const Image *img) {
  auto cimg = CreateCImage(img->ncols, img->nrows);
  PaintLabels(cxt, cimg.get(), img);
  return cimg;
}

std::unique_ptr<CImage> OverlaySlice(const Context *cxt, const Image *obj, const Image *img) {
  if (img != nullptr)
    CheckImageSizes(obj->ncols, obj->nrows, img->ncols, img->nrows, "Label and grey images",
                    "OverlaySlice");
  auto cimg = ColorizeSlice(cxt, obj);
  if (img == nullptr) return cimg;
  const int n = static_cast<int>(img->val.size());
  for (int p = 0; p < n; p++) {
    const int g = img->val[p];
    if (obj->val[p] == 0) {
      for (int c = 0; c < 3; c++) cimg->C[c]->val[p] = g;
    } else {
      const double h = std::trunc(g * 0.5);
      for (int c = 0; c < 3; c++) {
        int &v = cimg->C[c]->val[p];
        v = static_cast<int>(v * 0.5 + h);
      }
    }
  }
  return cimg;
}

void ColorizeCut(const Context *cxt, CImage *cimg, const Image *img) {
  CheckImageSizes(cimg->ncols(), cimg->nrows(), img->ncols, img->nrows,
                  "Colour and label images", "ColorizeCut");
  PaintLabels(cxt, cimg, img);
}

std::unique_ptr<CImage> Colorize(const Context *cxt, const Image *img) {
  const ZBuffer &zb = ContextZBuffer(cxt, "Colorize");
  CheckImageSizes(img->ncols, img->nrows, zb.ncols, zb.nrows, "Image and z-buffer", "Colorize");
  // An image without a positive value has no luminance scale: it is
  // painted at luminance 0.
  const int m = MaximumValue(img);
  auto cimg = CreateCImage(img->ncols, img->nrows);
  const int n = static_cast<int>(img->val.size());
  for (int p = 0; p < n; p++) {
    int rgb[3];
    if (zb.voxel[p] == -1) {
      rgb[0] = rgb[1] = rgb[2] = img->val[p] == 255 ? 255 : 0;
    } else {
      const ObjectAppearance &o = cxt->object[zb.object[p]];
      double c[3];
      ObjectRGB(m > 0 ? static_cast<double>(img->val[p]) / m : 0.0, o.Cb, o.Cr, c);
      for (int i = 0; i < 3; i++) rgb[i] = ClampTruncate(c[i]);
    }
    for (int i = 0; i < 3; i++) cimg->C[i]->val[p] = rgb[i];
  }
  return cimg;
}

// ---- z-buffer shading ----

// The depth range of the pixels that saw a voxel (dmin > dmax when none did).
static void DepthRange(const ZBuffer &zb, double *dmin, double *dmax) {
  *dmin = 2147483648.0;
  *dmax = -2147483648.0;
  const int n = zb.PixelCount();
  for (int p = 0; p < n; p++) {
    if (zb.voxel[p] == -1) continue;
    *dmin = std::min(*dmin, static_cast<double>(zb.dist[p]));
    *dmax = std::max(*dmax, static_cast<double>(zb.dist[p]));
  }
}

static std::unique_ptr<Image> CreateBufferImage(const ZBuffer &zb) {
  return CreateImage(zb.ncols, zb.nrows);
}

std::unique_ptr<Image> DepthShading(const Context *cxt) {
  const ZBuffer &zb = ContextZBuffer(cxt, "DepthShading");
  auto img = CreateBufferImage(zb);
  double dmin, dmax;
  DepthRange(zb, &dmin, &dmax);
  if (dmin == dmax) return img;
  const int n = zb.PixelCount();
  for (int p = 0; p < n; p++)
    if (zb.voxel[p] != -1)
      img->val[p] = SaturatedTrunc((dmax - zb.dist[p]) * 255.0 / (dmax - dmin));
  return img;
}

// The Phong body shared by both sources of normals; normalAt(p, n) gives
// the unit normal seen at pixel p.
template <class NormalAt>
static std::unique_ptr<Image> ShadeZBuffer(const Context *cxt, const char *func,
                                           NormalAt normalAt) {
  const ZBuffer &zb = ContextZBuffer(cxt, func);
  auto img = CreateBufferImage(zb);
  const int n = zb.PixelCount();
  double dmin, dmax;
  DepthRange(zb, &dmin, &dmax);
  if (dmax - dmin < 0.00001) {
    for (int p = 0; p < n; p++)
      if (zb.voxel[p] != -1) img->val[p] = 255;
    return img;
  }
  const float k = static_cast<float>(255.0 / (dmax - dmin));  // held as float, as it is stored
  const double L[3] = {cxt->viewer[0], cxt->viewer[1], cxt->viewer[2]};
  for (int p = 0; p < n; p++) {
    if (zb.voxel[p] == -1) continue;
    float N[3];
    normalAt(p, N);
    const ObjectAppearance &o = cxt->object[zb.object[p]];
    double c = std::clamp(N[0] * L[0] + N[1] * L[1] + N[2] * L[2], -1.0, 1.0);
    if (c < -0.00001) c = 0.0;
    const double s = 2.0 * c * c - 1.0;
    double spec = 0.0;
    if (s >= 0.0) spec = SpecularPower(s, o.ns);
    const double I = (dmax - zb.dist[p]) * k * (c * o.diff + spec * o.spec) + 255.0 * o.amb;
    img->val[p] = static_cast<int>(std::clamp(std::round(I), 0.0, 255.0));
  }
  return img;
}

std::unique_ptr<Image> PhongShading(const Context *cxt) {
  return ShadeZBuffer(cxt, "PhongShading", [cxt](int p, float N[3]) { ObjectNormal(p, cxt, N); });
}

std::unique_ptr<Image> PhongShadingScene(const Context *cxt, const Scene *nscn) {
  if (nscn->xsize != cxt->xsize || nscn->ysize != cxt->ysize || nscn->zsize != cxt->zsize)
    Error("Scene of " + std::to_string(nscn->xsize) + "x" + std::to_string(nscn->ysize) + "x" +
              std::to_string(nscn->zsize) + " voxels for a context of " +
              std::to_string(cxt->xsize) + "x" + std::to_string(cxt->ysize) + "x" +
              std::to_string(cxt->zsize),
          "PhongShadingScene");
  const ZBuffer &zb = ContextZBuffer(cxt, "PhongShadingScene");
  return ShadeZBuffer(cxt, "PhongShadingScene",
                      [&zb, nscn](int p, float N[3]) { SceneNormal(zb.voxel[p], nscn, N); });
}

static void StoreUnitOrZero(const double v[3], float n[3]) {
  const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int i = 0; i < 3; i++) n[i] = len > 0.00001 ? static_cast<float>(v[i] / len) : 0.0f;
}

// The ring of neighbour pixels, clockwise with rows growing downwards.
static const int kRingDx[8] = {0, 1, 1, 1, 0, -1, -1, -1};  // N NE E SE S SW W NW
static const int kRingDy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

void ObjectNormal(int p, const Context *cxt, float n[3]) {
  const ZBuffer &zb = ContextZBuffer(cxt, "ObjectNormal");
  if (p < 0 || p >= zb.PixelCount())
    Error("Pixel " + std::to_string(p) + " outside the z-buffer of " +
              std::to_string(zb.PixelCount()) + " pixels",
          "ObjectNormal");
  n[0] = n[1] = n[2] = 0.0f;
  if (zb.voxel[p] == -1) return;  // nothing seen here: no normal
  const long long xsize = cxt->xsize, xysize = xsize * cxt->ysize;
  auto position = [&](int v, double pos[3]) {
    pos[0] = static_cast<double>(v % xsize);
    pos[1] = static_cast<double>((v % xysize) / xsize);
    pos[2] = static_cast<double>(v / xysize);
  };
  const int col = p % zb.ncols, row = p / zb.ncols;
  double origin[3];
  position(zb.voxel[p], origin);

  bool inside[8];
  double d[8][3];
  int ninside = 0;
  for (int k = 0; k < 8; k++) {
    const int c = col + kRingDx[k], r = row + kRingDy[k];
    inside[k] = c >= 0 && c < zb.ncols && r >= 0 && r < zb.nrows;
    d[k][0] = d[k][1] = d[k][2] = 0.0;
    if (!inside[k]) continue;
    ninside++;
    const int v = zb.voxel[c + zb.tbrow[r]];
    if (v == -1) continue;
    position(v, d[k]);
    for (int i = 0; i < 3; i++) d[k][i] -= origin[i];
  }
  // At the border the ring is an arc: it starts just after the pixels that
  // fall outside, and only the full ring closes with the pair (NW, N).
  int start = 0;
  if (ninside < 8)
    for (int k = 0; k < 8; k++)
      if (inside[k] && !inside[(k + 7) % 8]) {
        start = k;
        break;
      }
  const int npairs = ninside == 8 ? 8 : 7;
  double sum[3] = {0.0, 0.0, 0.0};
  for (int j = 0; j < npairs; j++) {
    const int a = (start + j) % 8, b = (start + j + 1) % 8;
    if (!inside[a] || !inside[b]) continue;
    const double cx = d[a][1] * d[b][2] - d[a][2] * d[b][1];
    const double cy = d[a][2] * d[b][0] - d[a][0] * d[b][2];
    const double cz = d[a][0] * d[b][1] - d[a][1] * d[b][0];
    const double len = std::sqrt(cx * cx + cy * cy + cz * cz);
    if (len <= 0.00001) continue;
    sum[0] += cx / len;
    sum[1] += cy / len;
    sum[2] += cz / len;
  }
  StoreUnitOrZero(sum, n);
}

void SceneNormal(int v, const Scene *scn, float n[3]) {
  if (v < 0 || v >= scn->VoxelCount())
    Error("Voxel " + std::to_string(v) + " outside the scene of " +
              std::to_string(scn->VoxelCount()) + " voxels",
          "SceneNormal");
  const int xy = scn->xsize * scn->ysize;
  const int x = v % scn->xsize, y = (v % xy) / scn->xsize, z = v / xy;
  auto s = [scn](int x, int y, int z) -> double {
    return scn->Valid(x, y, z) ? scn->data[scn->Address(x, y, z)] : 0.0;
  };
  const double g[3] = {s(x - 1, y, z) - s(x + 1, y, z), s(x, y - 1, z) - s(x, y + 1, z),
                       s(x, y, z - 1) - s(x, y, z + 1)};
  StoreUnitOrZero(g, n);
}

// ---- scene slices as colour images ----

static void CheckSlice(int k, int size, char axis, const char *func) {
  if (k < 0 || k >= size)
    Error(std::string("Slice ") + axis + "=" + std::to_string(k) + " outside 0.." +
              std::to_string(size - 1),
          func);
}

static void SetGrey(CImage *cimg, int p, int v) {
  for (auto &band : cimg->C) band->val[p] = v;
}

std::unique_ptr<CImage> GetXCSlice(const Scene *scn, int x) {
  CheckSlice(x, scn->xsize, 'x', "GetXCSlice");
  auto cimg = CreateCImage(scn->ysize, scn->zsize);
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++)
      SetGrey(cimg.get(), (scn->ysize - 1 - y) + cimg->C[0]->tbrow[scn->zsize - 1 - z],
              scn->data[scn->Address(x, y, z)]);
  return cimg;
}

std::unique_ptr<CImage> GetYCSlice(const Scene *scn, int y) {
  CheckSlice(y, scn->ysize, 'y', "GetYCSlice");
  auto cimg = CreateCImage(scn->xsize, scn->zsize);
  for (int z = 0; z < scn->zsize; z++)
    for (int x = 0; x < scn->xsize; x++)
      SetGrey(cimg.get(), (scn->xsize - 1 - x) + cimg->C[0]->tbrow[scn->zsize - 1 - z],
              scn->data[scn->Address(x, y, z)]);
  return cimg;
}

std::unique_ptr<CImage> GetZCSlice(const Scene *scn, int z) {
  CheckSlice(z, scn->zsize, 'z', "GetZCSlice");
  auto cimg = CreateCImage(scn->xsize, scn->ysize);
  for (int y = 0; y < scn->ysize; y++)
    for (int x = 0; x < scn->xsize; x++)
      SetGrey(cimg.get(), x + cimg->C[0]->tbrow[y], scn->data[scn->Address(x, y, z)]);
  return cimg;
}

void FillPlane(CImage *cimg, const Context *cxt) {
  const ZBuffer &zb = ContextZBuffer(cxt, "FillPlane");
  CheckImageSizes(cimg->ncols(), cimg->nrows(), zb.ncols, zb.nrows, "Colour image and z-buffer",
                  "FillPlane");
  const float k = static_cast<float>(255.0 / cxt->isize);  // held as float, as it is stored
  std::vector<int> &blue = cimg->C[2]->val;
  const int n = zb.PixelCount();
  for (int p = 0; p < n; p++)
    blue[p] = SaturatedTrunc(blue[p] + std::trunc(static_cast<double>(k) * zb.dist[p]));
}
