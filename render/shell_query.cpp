#include "render/shell_query.h"

#include <cmath>
#include <string>

#include "core/common.h"
#include "core/curve.h"
#include "core/scene.h"
#include "core/stretch.h"
#include "render/context.h"
#include "render/shading.h"
#include "render/shell.h"
#include "segment/classify.h"

namespace {

// ---- windows ----

LinearWindow SliceWindow(const Curve *curve, int maximum, const char *func) {
  if (curve == nullptr) return LinearWindow(0, maximum, 0, 255);
  return CurveWindow(curve, func);
}

void ApplyWindow(Image *img, const LinearWindow &window) {
  for (int &v : img->val) v = window(v);
}

// The grey slice of a scene across an axis, in the label slice's layout.
std::unique_ptr<Image> SceneSlice(const Scene *scn, char axis, int n) {
  if (axis == 'x') return GetXSlice(scn, n);
  if (axis == 'y') return GetYSlice(scn, n);
  return GetSlice(scn, n);
}

// ---- the object under the pointer ----

// The z-buffer of the context, which must have img's size.
const ZBuffer &MatchingZBuffer(const Context *cxt, const CImage *img, const char *func) {
  if (cxt->zbuffer == nullptr) Error("The context has no z-buffer", func);
  const ZBuffer &zb = *cxt->zbuffer;
  if (img->ncols() != zb.ncols || img->nrows() != zb.nrows) {
    Error("The image is " + std::to_string(img->ncols()) + " x " + std::to_string(img->nrows()) +
              " but the context's z-buffer " + std::to_string(zb.ncols) + " x " +
              std::to_string(zb.nrows),
          func);
  }
  return zb;
}

// A copy of img in which mark(copy, z-buffer, column, row, pixel) has
// changed the pixels of object obj mod 256; null for object 0.
template <class Mark>
std::unique_ptr<CImage> MarkObject(const Context *cxt, const CImage *img, int obj,
                                   const char *func, Mark &&mark) {
  const unsigned char o = static_cast<unsigned char>(obj & 0xFF);
  if (o == 0) return nullptr;
  const ZBuffer &zb = MatchingZBuffer(cxt, img, func);
  std::unique_ptr<CImage> out = CopyCImage(img);
  for (int row = 0; row < zb.nrows; row++) {
    for (int col = 0; col < zb.ncols; col++) {
      const int p = col + zb.tbrow[row];
      if (zb.object[p] == o) mark(out.get(), zb, col, row, p);
    }
  }
  return out;
}

}  // namespace

// ---- values at a voxel ----

int ShellValue(const Shell *shell, int x, int y, int z) {
  if (IsBodyShell(shell)) {
    int i = VoxelExist(shell, x, y, z);
    return i >= 0 ? static_cast<int>(shell->body[i].value) : -1;
  }
  const Scene *scn = shell->scene;
  if (scn == nullptr || !scn->Valid(x, y, z)) return -1;
  return scn->data[scn->Address(x, y, z)];
}

int ShellGradient(const Shell *shell, int x, int y, int z) {
  if (!IsBodyShell(shell)) return -1;
  int i = VoxelExist(shell, x, y, z);
  return i >= 0 ? static_cast<int>(shell->body[i].gradient) : -1;
}

// ---- displayable slices ----

std::unique_ptr<CImage> ShellSliceImage(const Shell *shell, const Context *cxt, char axis, int n,
                                        const Curve *window) {
  const char *func = "ShellSliceImage";
  CheckShellSlice(shell, axis, n, func);
  std::unique_ptr<Image> labels = GetShellSlice(shell, axis, n);

  if (IsBodyShell(shell)) {
    std::unique_ptr<Image> grey = GetBodyShellSlice(shell, axis, n);
    ApplyWindow(grey.get(), SliceWindow(window, shell->maximum, func));
    return cxt == nullptr ? Convert2CImage(grey.get())
                          : OverlaySlice(cxt, labels.get(), grey.get());
  }

  const Scene *scn = shell->scene;
  if (scn == nullptr) {
    if (cxt == nullptr) return Convert2CImage(labels.get());
    std::unique_ptr<Image> filled = FillSlice(labels.get());
    return ColorizeSlice(cxt, filled.get());
  }

  CheckShellScene(shell, scn, func);
  const LinearWindow stretch = SliceWindow(window, scn->maxval, func);
  std::unique_ptr<Image> grey = SceneSlice(scn, axis, n);
  ApplyWindow(grey.get(), stretch);
  if (cxt == nullptr) return Convert2CImage(grey.get());
  std::unique_ptr<Image> filled = FillSlice(labels.get());
  return OverlaySlice(cxt, filled.get(), grey.get());
}

// ---- classification preview ----

std::unique_ptr<CImage> PreviewShellSlice(const Shell *shell, const CImage *cimg, char axis, int n,
                                          Curve *density, Curve *gradient) {
  const char *func = "PreviewShellSlice";
  CheckBodyShell(shell, func);
  CheckShellSlice(shell, axis, n, func);
  std::unique_ptr<UnitCurve> d, g;
  if (density != nullptr) d = std::make_unique<UnitCurve>(density);
  if (gradient != nullptr) g = std::make_unique<UnitCurve>(gradient);
  std::unique_ptr<CImage> out = CreateCImage(cimg->ncols(), cimg->nrows());
  Image &r = *out->C[0];
  ForEachSliceVoxel(shell, axis, n, [&](int i, int col, int row) {
    if (!r.Valid(col, row)) return;
    const BodyEntry b = shell->body[i];
    int band = 255;
    if (d) band = ScaledOpacity(band, d->At(static_cast<double>(b.value)));
    if (g) band = ScaledOpacity(band, g->At(static_cast<double>(b.gradient)));
    r.at(col, row) = band;
  });
  out->C[1]->val = r.val;
  out->C[2]->val = r.val;
  return out;
}

// ---- the object under the pointer ----

std::unique_ptr<CImage> HighlightObject(const Context *cxt, const CImage *img, int obj) {
  auto brighten = [](CImage *out, const ZBuffer &, int, int, int p) {
    for (int c = 0; c < 3; c++) {
      // 3b in 64 bits: trunc(3b / 4) + 64 fits an int again for any int b.
      int &b = out->C[c]->val[p];
      b = static_cast<int>(3LL * b / 4 + 64);
    }
  };
  return MarkObject(cxt, img, obj, "HighlightObject", brighten);
}

std::unique_ptr<CImage> ContourObject(const Context *cxt, const CImage *img, int obj) {
  const unsigned char o = static_cast<unsigned char>(obj & 0xFF);
  // White where a 4-neighbour inside the image shows another object.
  auto outline = [o](CImage *out, const ZBuffer &zb, int col, int row, int p) {
    const unsigned char *object = zb.object.data();
    const int ncols = zb.ncols;
    const bool boundary = (col > 0 && object[p - 1] != o) ||
                          (col + 1 < ncols && object[p + 1] != o) ||
                          (row > 0 && object[p - ncols] != o) ||
                          (row + 1 < zb.nrows && object[p + ncols] != o);
    if (boundary) {
      for (int c = 0; c < 3; c++) out->C[c]->val[p] = 255;
    }
  };
  return MarkObject(cxt, img, obj, "ContourObject", outline);
}
