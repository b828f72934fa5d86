// Scenes: 3D volumes of 32-bit signed voxels, x fastest, then y, then z.
//
// Operations that take positions from scripts (slice numbers, voxel
// coordinates and addresses) check them and fail through Error with a
// message naming the position and the scene's extent; operations on two
// scenes check that the sizes agree. Operations documented as skipping
// invalid positions (DrawAdj3, VoxelValue, ValidVoxel) keep skipping them.
#pragma once

#include <memory>
#include <vector>

#include "core/image.h"
#include "core/largepage.h"

struct AdjRel3;

struct Scene {
  LargeVector<int> data;  // 4 bytes/voxel: 64 MiB at 256^3
  int xsize = 0;
  int ysize = 0;
  int zsize = 0;
  float dx = 1.0f;
  float dy = 1.0f;
  float dz = 1.0f;
  std::vector<int> tby;   // tby[y] = y*xsize
  std::vector<int> tbz;   // tbz[z] = z*xsize*ysize
  int maxval = 0;         // largest value or 0; kept only by the operations that say so

  // Volumes read from other tools' files (core/volume_io.h). The value a
  // voxel stood for in the file is value_scale * voxel + value_offset; an
  // SCN scene or a label scene has 1 and 0. origin is the position (mm,
  // patient axes x -> left, y -> posterior, z -> superior) of voxel
  // (0, 0, 0), and axes[3*r + c] is component r of the direction of axis c.
  // CopyScene copies these; other operations leave the defaults.
  double value_scale = 1.0;
  double value_offset = 0.0;
  double origin[3] = {0.0, 0.0, 0.0};
  double axes[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};

  // The value voxel value v stood for in the file the scene came from.
  double OriginalValue(double v) const { return value_scale * v + value_offset; }

  // The voxel's address, as commands that take or return voxel numbers use it.
  int Address(int x, int y, int z) const { return x + tby[y] + tbz[z]; }
  bool Valid(int x, int y, int z) const {
    return x >= 0 && x < xsize && y >= 0 && y < ysize && z >= 0 && z < zsize;
  }
  int VoxelCount() const { return static_cast<int>(data.size()); }
};

// ---- records ----

// All voxels 0, voxel sizes 1.0, maxval 0. Error for a non-positive or
// absurd size.
std::unique_ptr<Scene> CreateScene(int xsize, int ysize, int zsize);
void DestroyScene(std::unique_ptr<Scene> *scn);
// Sizes, voxel sizes, maxval, voxels, value rule, origin and axes.
std::unique_ptr<Scene> CopyScene(const Scene *scn);
// Voxel sizes, origin and axes of from given to to (a label scene made
// from a grey one, before it is written out). Error when the sizes differ.
void CopySceneGeometry(const Scene *from, Scene *to);

// ---- files ----

// SCN: "SCN", "xsize ysize zsize", "dx dy dz", the bit count (8, 16 or 32)
// and one newline, then the voxels little-endian in memory order. A header
// with a non-positive or absurd size and a file shorter than its header
// promises fail; maxval is computed.
std::unique_ptr<Scene> ReadScene(const char *filename);
// Writes with the fewest bits (8, 16, 32) that hold the maximum, which is
// stored in maxval. The file is replaced only when completely written.
void WriteScene(Scene *scn, const char *filename);

// ---- slices (Error for an index outside the scene or an image of the
// wrong size) ----

// xsize x ysize image of slice z.
std::unique_ptr<Image> GetSlice(const Scene *scn, int z);
// ysize x zsize image: pixel (y, z) = voxel (x, y, z).
std::unique_ptr<Image> GetXSlice(const Scene *scn, int x);
// xsize x zsize image: pixel (x, z) = voxel (x, y, z).
std::unique_ptr<Image> GetYSlice(const Scene *scn, int y);
// The inverse copies; the image must have the matching Get's size.
void PutSlice(const Image *img, Scene *scn, int z);
void PutXSlice(const Image *img, Scene *scn, int x);
void PutYSlice(const Image *img, Scene *scn, int y);

// ---- resampling and label merging ----

// Resamples one axis at a time (x, then y, then z, each only if its size
// changes) with truncated linear interpolation. A new size of 0 makes the
// result isotropic at the smallest input size. A scene whose voxel sizes
// are all 0 is first given 1.0 (in place).
std::unique_ptr<Scene> LinearInterp(Scene *scn, float ndx, float ndy, float ndz);
// Labels of scn2 shifted above scn1's maximum (stored in scn1's maxval);
// the larger label wins per voxel. Error when the sizes differ.
std::unique_ptr<Scene> MergeLabels(Scene *scn1, Scene *scn2);

// ---- values ----

// Largest voxel value, or 0 if none is positive; stored in maxval.
int MaximumValue3(Scene *scn);
// Smallest voxel value, never above 65535.
int MinimumValue3(const Scene *scn);
// The stored maxval, not recomputed.
int SceneImax(const Scene *scn);
// Every voxel := value; maxval := value.
void SetScene(Scene *scn, int value);
// Every voxel equal to label := value; maxval recomputed.
void SetLabelScene(Scene *scn, int label, int value);

// ---- boxes and frames ----

// The box between two valid corners (inclusive), voxel sizes copied,
// maxval 0; null when a corner is outside or the box is empty.
std::unique_ptr<Scene> ROI3(const Scene *scn, int xl, int yl, int zl, int xh, int yh, int zh);
// The smallest box holding every positive voxel; null when there is none.
std::unique_ptr<Scene> MBB3(const Scene *scn);
// The scene inside a frame of sz voxels filled with value (maxval = value,
// voxel sizes 1.0).
std::unique_ptr<Scene> AddFrame3(const Scene *scn, int sz, int value);
// The interior without a frame of sz voxels (voxel sizes 1.0).
std::unique_ptr<Scene> RemFrame3(const Scene *scn, int sz);
// ncols x nrows x (max + 1): column (x, y, 0..v) is 1 for every pixel v >= 0.
std::unique_ptr<Scene> ImageSurface(const Image *img);

// ---- labels and borders ----

// Label where the scene equals label, 0 elsewhere.
std::unique_ptr<Scene> GetObject(const Scene *scn, int label);
// Non-zero voxels with a neighbour by A (after its origin) outside the
// scene or of another label keep their label; the rest is 0.
std::unique_ptr<Scene> GetBorder3(const Scene *labels, const AdjRel3 *A);
// A copy of scn in which every voxel with a 6-neighbour of a larger label
// is set to value. Error when the sizes differ.
std::unique_ptr<Scene> DrawBorder3(const Scene *scn, const Scene *labels, int value);
// Sets to value every valid voxel centre + displacement of A. The centre is
// a list of three integers; an empty list or {0} means the scene's middle.
void DrawAdj3(Scene *scn, const AdjRel3 *A, std::vector<int> center, int value);

// ---- voxels ----

bool ValidVoxel(const Scene *scn, int x, int y, int z);
// The value, or 0 outside the scene.
int VoxelValue(const Scene *scn, int x, int y, int z);
// The address x + tby[y] + tbz[z]; Error outside the scene.
int Coord2Voxel(const Scene *scn, int x, int y, int z);
// data[voxel]; Error for an address outside the scene.
int GetVoxelValue(const Scene *scn, int voxel);
// 1 when voxel v lies on the x or y border of its slice (s is the slice
// size xsize*ysize). Error for an address outside the scene or s <= 0.
bool EdgeVoxel(const Scene *scn, int v, int s);

// ---- fields ----

int GetXSize(const Scene *scn);
int GetYSize(const Scene *scn);
int GetZSize(const Scene *scn);
int GetNSlices(const Scene *scn);
float GetDx(const Scene *scn);
float GetDy(const Scene *scn);
float GetDz(const Scene *scn);
void SetDx(Scene *scn, float dx);
void SetDy(Scene *scn, float dy);
void SetDz(Scene *scn, float dz);

// ---- comparison ----

// 1 when sizes and voxels agree; otherwise 0 after a note on standard error.
bool ScenesAreEqual(const Scene *a, const Scene *b);
// Reports the number of differing voxels on standard output (or the size
// mismatch on standard error).
void CompareScenes(const Scene *a, const Scene *b);
