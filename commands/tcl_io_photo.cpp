// The photo bridge: colour images in and out of Tk photos, scene slices cut
// through a window/level mapping into grey colour images, and the single
// values the slice views show in their status line.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <tk.h>

#include "app/format.h"
#include "commands/tcl_io.h"
#include "core/adjacency3.h"
#include "core/cimage.h"
#include "core/common.h"
#include "core/curve.h"
#include "core/scene.h"
#include "core/stretch.h"

namespace {

// The named photo, or null with "Couldn't find image '<name>'." as result.
// Without Tk loaded (the scripting shell run without -tk) the photo calls
// would reach Tk's uninitialised tables: the command fails instead.
Tk_PhotoHandle FindPhoto(Tcl_Interp *interp, const char *command, const char *name) {
  if (Tcl_PkgPresent(interp, "Tk", nullptr, 0) == nullptr) {
    Et_ResultF(interp, "%s needs Tk: run with -tk", command);
    return nullptr;
  }
  Tk_PhotoHandle photo = Tk_FindPhoto(interp, name);
  if (photo == nullptr) Et_ResultF(interp, "Couldn't find image '%s'.", name);
  return photo;
}

// Copies the image into the photo in one block: three low bytes per pixel,
// and, when `background` is given, that colour for pixels whose three bands
// are all 0.
int PutCImage(Tcl_Interp *interp, const char *command, const CImage &img,
              const char *photoName, const unsigned char *background) {
  Tk_PhotoHandle photo = FindPhoto(interp, command, photoName);
  if (photo == nullptr) return TCL_ERROR;
  const int ncols = img.ncols(), nrows = img.nrows();
  const int n = ncols * nrows;
  std::vector<unsigned char> pixels(static_cast<size_t>(n) * 3);
  const int *r = img.C[0]->val.data();
  const int *g = img.C[1]->val.data();
  const int *b = img.C[2]->val.data();
  unsigned char *out = pixels.data();
  if (background == nullptr) {
    for (int p = 0; p < n; ++p, out += 3) {
      out[0] = static_cast<unsigned char>(r[p]);
      out[1] = static_cast<unsigned char>(g[p]);
      out[2] = static_cast<unsigned char>(b[p]);
    }
  } else {
    for (int p = 0; p < n; ++p, out += 3) {
      if (r[p] == 0 && g[p] == 0 && b[p] == 0) {
        memcpy(out, background, 3);
      } else {
        out[0] = static_cast<unsigned char>(r[p]);
        out[1] = static_cast<unsigned char>(g[p]);
        out[2] = static_cast<unsigned char>(b[p]);
      }
    }
  }
  if (Tk_PhotoExpand(interp, photo, ncols, nrows) != TCL_OK) return TCL_ERROR;
  // Offsets 0, 1, 2 and an alpha offset equal to the pixel size: opaque.
  Tk_PhotoImageBlock block{pixels.data(), ncols, nrows, 3 * ncols, 3, {0, 1, 2, 3}};
  if (Tk_PhotoPutBlock(interp, photo, &block, 0, 0, ncols, nrows, TK_PHOTO_COMPOSITE_SET) !=
      TCL_OK) {
    return TCL_ERROR;
  }
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int SetImageCmd(Tcl_Interp *interp, int argc, const char *argv[]) {
  unsigned char background[3] = {0, 0, 0};
  if (argc == 6) {
    for (int i = 0; i < 3; ++i) {
      background[i] = static_cast<unsigned char>(static_cast<long long>(ArgDouble(argv[3 + i]) * 255.0));
    }
  }
  return PutCImage(interp, argv[0], *ArgObject<CImage>(argv[1]), argv[2], background);
}

int WriteImageCmd(Tcl_Interp *interp, int, const char *argv[]) {
  return PutCImage(interp, argv[0], *ArgObject<CImage>(argv[1]), argv[2], nullptr);
}

int ReadImageCmd(Tcl_Interp *interp, int, const char *argv[]) {
  Tk_PhotoHandle photo = FindPhoto(interp, argv[0], argv[1]);
  if (photo == nullptr) return TCL_ERROR;
  Tk_PhotoImageBlock block;
  Tk_PhotoGetImage(photo, &block);
  auto img = CreateCImage(block.width, block.height);
  int *bands[3] = {img->C[0]->val.data(), img->C[1]->val.data(), img->C[2]->val.data()};
  for (int y = 0; y < block.height; ++y) {
    const unsigned char *in = block.pixelPtr + static_cast<size_t>(y) * block.pitch;
    for (int x = 0; x < block.width; ++x, in += block.pixelSize) {
      const int p = x + y * block.width;
      for (int c = 0; c < 3; ++c) bands[c][p] = in[block.offset[c]];
    }
  }
  SetObjectResult(interp, std::move(img));
  return TCL_OK;
}

int AdjustImageCmd(Tcl_Interp *interp, int, const char *argv[]) {
  Tk_PhotoHandle photo = FindPhoto(interp, argv[0], argv[1]);
  if (photo == nullptr) return TCL_ERROR;
  const LumaStretch stretch = MakeLumaStretch(ArgInt(argv[2]), ArgInt(argv[3]), ArgInt(argv[4]),
                                               ArgInt(argv[5]));
  Tk_PhotoImageBlock block;
  Tk_PhotoGetImage(photo, &block);
  for (int y = 0; y < block.height; ++y) {
    unsigned char *px = block.pixelPtr + static_cast<size_t>(y) * block.pitch;
    for (int x = 0; x < block.width; ++x, px += block.pixelSize) {
      int r, g, b;
      StretchPixelLuma(stretch, px[block.offset[0]], px[block.offset[1]], px[block.offset[2]], &r,
                       &g, &b);
      px[block.offset[0]] = static_cast<unsigned char>(r);
      px[block.offset[1]] = static_cast<unsigned char>(g);
      px[block.offset[2]] = static_cast<unsigned char>(b);
    }
  }
  if (Tk_PhotoPutBlock(interp, photo, &block, 0, 0, block.width, block.height,
                       TK_PHOTO_COMPOSITE_SET) != TCL_OK) {
    return TCL_ERROR;
  }
  Tcl_ResetResult(interp);
  return TCL_OK;
}

// The slice commands share one body; the client data of each is its axis.
enum class Axis { kX, kY, kZ };

// Cuts slice `index` across `axis` and maps it through the window into the
// three bands of a new colour image, in one pass over the scene: the slice
// views call this on every movement of the slider.
std::unique_ptr<CImage> GreySlice(const Scene &scn, Axis axis, int index, const LinearWindow &window) {
  const int ncols = axis == Axis::kX ? scn.ysize : scn.xsize;
  const int nrows = axis == Axis::kZ ? scn.ysize : scn.zsize;
  // Start and steps through the scene for a column and for a row.
  long long start, colStep, rowStep;
  switch (axis) {
    case Axis::kX: start = index; colStep = scn.xsize; rowStep = scn.xsize * scn.ysize; break;
    case Axis::kY: start = static_cast<long long>(index) * scn.xsize; colStep = 1;
                   rowStep = scn.xsize * scn.ysize; break;
    default:       start = static_cast<long long>(index) * scn.xsize * scn.ysize; colStep = 1;
                   rowStep = scn.xsize; break;
  }
  auto img = CreateCImage(ncols, nrows);
  int *r = img->C[0]->val.data();
  const int *data = scn.data.data();
  for (int row = 0; row < nrows; ++row) {
    const int *in = data + start + row * rowStep;
    int *out = r + static_cast<size_t>(row) * ncols;
    if (colStep == 1) {
      for (int col = 0; col < ncols; ++col) out[col] = window(in[col]);
    } else {
      // Every pixel is a cache line of its own, and often a page: ask for
      // the voxels a few pixels ahead so that the misses overlap.
      constexpr int kAhead = 24;
      int col = 0;
      for (; col + kAhead < ncols; ++col) {
        __builtin_prefetch(in + (col + kAhead) * colStep);
        out[col] = window(in[col * colStep]);
      }
      for (; col < ncols; ++col) out[col] = window(in[col * colStep]);
    }
  }
  img->C[1]->val = img->C[0]->val;
  img->C[2]->val = img->C[0]->val;
  return img;
}

template <Axis axis>
int GetSliceCmd(Tcl_Interp *interp, int argc, const char *argv[]) {
  const Scene &scn = *ArgObject<Scene>(argv[2]);
  const long index = ArgInt(argv[1]);
  const int size = axis == Axis::kX ? scn.xsize : axis == Axis::kY ? scn.ysize : scn.zsize;
  const char axisName = axis == Axis::kX ? 'x' : axis == Axis::kY ? 'y' : 'z';
  if (index < 0 || index >= size) {
    Et_ResultF(interp, "%s: %c slice %ld is outside the scene (0..%d)", argv[0], axisName, index,
               size - 1);
    return TCL_ERROR;
  }
  int f1 = 0, f2 = scn.maxval, g1 = 0, g2 = 255;
  if (argc >= 4) {
    const Curve &curve = *ArgObject<Curve>(argv[3]);
    if (curve.n < 2) {
      Et_ResultF(interp, "%s: a window curve needs two points", argv[0]);
      return TCL_ERROR;
    }
    f1 = static_cast<int>(curve.X[0]);
    f2 = static_cast<int>(curve.X[1]);
    g1 = static_cast<int>(curve.Y[0]);
    g2 = static_cast<int>(curve.Y[1]);
  }
  SetObjectResult(interp, GreySlice(scn, axis, static_cast<int>(index), LinearWindow(f1, f2, g1, g2)));
  return TCL_OK;
}

int CopyCImageCmd(Tcl_Interp *interp, int, const char *argv[]) {
  const CImage &src = *ArgObject<CImage>(argv[1]);
  CImage &dst = *ArgObject<CImage>(argv[2]);
  const size_t n = src.C[0]->val.size();
  if (dst.C[0]->val.size() < n) {
    Et_ResultF(interp, "%s: the destination (%d x %d) is smaller than the source (%d x %d)",
               argv[0], dst.ncols(), dst.nrows(), src.ncols(), src.nrows());
    return TCL_ERROR;
  }
  for (int c = 0; c < 3; ++c) std::copy_n(src.C[c]->val.begin(), n, dst.C[c]->val.begin());
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int GetLabelCmd(Tcl_Interp *interp, int, const char *argv[]) {
  const Image &img = *ArgObject<Image>(argv[1]);
  const int x = static_cast<int>(ArgDouble(argv[2]));
  const int y = static_cast<int>(ArgDouble(argv[3]));
  int label = 0;
  if (img.Valid(x, y) && img.at(x, y) <= 255) label = img.at(x, y);
  Et_ResultF(interp, "%d", label);
  return TCL_OK;
}

int GetSceneValueCmd(Tcl_Interp *interp, int, const char *argv[]) {
  const Scene &scn = *ArgObject<Scene>(argv[1]);
  const double x = ArgDouble(argv[2]), y = ArgDouble(argv[3]), z = ArgDouble(argv[4]);
  // Range-check in double first: a huge coordinate must not overflow the
  // integer conversion.
  if (!(x > -1.0 && x < scn.xsize && y > -1.0 && y < scn.ysize && z > -1.0 && z < scn.zsize)) {
    Et_ResultF(interp, "%s: voxel (%s, %s, %s) is outside the scene (%d x %d x %d)", argv[0],
               argv[2], argv[3], argv[4], scn.xsize, scn.ysize, scn.zsize);
    return TCL_ERROR;
  }
  Et_ResultF(interp, "%d",
             scn.data[scn.Address(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z))]);
  return TCL_OK;
}

int GetSceneMaximumCmd(Tcl_Interp *interp, int, const char *argv[]) {
  Et_ResultF(interp, "%d", ArgObject<Scene>(argv[1])->maxval);
  return TCL_OK;
}

int CountSceneVoxelsCmd(Tcl_Interp *interp, int, const char *argv[]) {
  const Scene &scn = *ArgObject<Scene>(argv[1]);
  int count = 0;  // at most the voxel count, which fits an int
  for (int v : scn.data) count += v != 0;
  Et_ResultF(interp, "%d", count);
  return TCL_OK;
}

int SphericCmd(Tcl_Interp *interp, int, const char *argv[]) {
  SetObjectResult(interp, Spheric(static_cast<float>(ArgDouble(argv[1]))));
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoPhotoCommands() {
  return {
      Hand("c_AdjustImage", AdjustImageCmd, "usage: %s <imgname> <f1> <f2> <g1> <g2>\n", 5, 5),
      Hand("c_ReadImage", ReadImageCmd, "usage: %s <imgname>\n", 1, 1),
      Hand("c_SetImage", SetImageCmd, "usage: %s <imgref> <imgname> ?bg_r bg_g bg_b?\n", 2,
           kAnyCount),
      Hand("c_WriteImage", WriteImageCmd, "usage: %s <imgref> <imgname>\n", 2, 2),
      Hand("c_GetXSlice", GetSliceCmd<Axis::kX>, "usage: %s <x> <scn> ?curve?\n", 2, kAnyCount),
      Hand("c_GetYSlice", GetSliceCmd<Axis::kY>, "usage: %s <y> <scn> ?curve?\n", 2, kAnyCount),
      Hand("c_GetZSlice", GetSliceCmd<Axis::kZ>, "usage: %s <z> <scn> ?curve?\n", 2, kAnyCount),
      Hand("c_CopyCImage", CopyCImageCmd, "usage: %s <srcimg> <dstimg>\n", 2, kAnyCount),
      Hand("c_GetLabel", GetLabelCmd, "usage: %s <img> <x> <y> \n", 3, kAnyCount),
      Hand("c_GetSceneValue", GetSceneValueCmd, "usage: %s <scene> <x> <y> <z>\n", 4, kAnyCount),
      Hand("c_GetSceneMaximum", GetSceneMaximumCmd, "usage: %s <scene>\n", 1, kAnyCount),
      Hand("c_CountSceneVoxels", CountSceneVoxelsCmd, "usage: %s <scene>\n", 1, kAnyCount),
      Hand("c_Spheric", SphericCmd, "usage: %s <r>\n", 1, 1),
      Hand("c_FreeImage", FreeObjectCommand<CImage>, "usage: %s <imgref>\n", 1, 1),
      Hand("c_FreeGrayImage", FreeObjectCommand<Image>, "usage: %s <imgref>\n", 1, 1),
      Hand("c_FreeScene", FreeObjectCommand<Scene>, "usage: %s <scnref>\n", 1, 1),
      Hand("c_FreeAdjRel3", FreeObjectCommand<AdjRel3>, "usage: %s <adjrel3ref>\n", 1, 1),
  };
}
