// Shells: the voxels of a volume that can contribute to a rendering, each
// with its label, opacity, visibility and quantised normal, reachable row by
// row (y, z) and column by column (x, z).
//
// An object shell comes from a label volume (the border layer of its
// objects); a body shell from a grey volume (its non-zero voxels) and also
// keeps each voxel's grey value and gradient magnitude.
//
// Invariants every operation here keeps, and that ReadShell checks of a
// file, so that a renderer may index without tests:
//   - voxel is sorted by z, then y, then x; row (y, z) holds the indices
//     [Mzy(y, z), next), next being the first non-negative entry of Mzy
//     after (y, z) in row-major order. Mzy is ysize columns by zsize + 1
//     rows; its extra row holds nvoxels first and -1 elsewhere, which ends
//     every scan. Empty rows hold -1.
//   - list is sorted by x, then z, then y, with Mxz (zsize columns by
//     xsize + 1 rows) indexing columns (x, z) in the same way.
//   - every x is below xsize, every list y below ysize, and every list
//     pointer names the voxel at the same position.
//   - any 16-bit normal index is a valid entry of the normal table.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/image.h"
#include "render/normal.h"

struct Scene;
struct Curve;
struct Context;

// Packed: the records are the bulk of a shell (19 bytes per voxel for a
// body shell instead of 24 with padding). Multi-byte fields are unaligned:
// read and write them by value, never bind a reference or pointer to one
// (std::min, gtest's EXPECT_EQ and range-for over a field all do).
#pragma pack(push, 1)
struct Voxel {
  uint8_t label;     // object 0..255
  uint8_t opacity;   // 255 opaque
  uint8_t visible;   // 1 shown, 0 hidden
  uint16_t x;
  uint16_t normal;   // index into the normal table
};

struct ListEntry {
  uint16_t y;
  int32_t pointer;   // index of the same voxel in voxel
};

struct BodyEntry {
  int16_t gradient;  // gradient magnitude, truncated
  int32_t value;     // grey value
};
#pragma pack(pop)

// A number naming the state of a shell's content. Every new shell draws a
// fresh one from a process-wide counter, and so does every copy or move
// (no two shells ever share one), and every operation that writes voxels,
// list, body or the row and column indexes draws a fresh one when it is
// done (ShellChange). What a renderer derives from a shell and keeps
// between frames is valid for as long as the revision it was derived
// from.
class ShellRevision {
 public:
  ShellRevision() : value_(Next()) {}
  ShellRevision(const ShellRevision &) : value_(Next()) {}
  ShellRevision &operator=(const ShellRevision &) {
    value_ = Next();
    return *this;
  }
  void Renew() { value_ = Next(); }
  uint64_t value() const { return value_; }

 private:
  static uint64_t Next();
  uint64_t value_;
};

struct Shell {
  std::vector<Voxel> voxel;     // 7 bytes/voxel, row order
  std::vector<BodyEntry> body;  // 6 bytes/voxel; body shells only
  bool hasBody = false;         // what makes a shell a body shell
  std::vector<ListEntry> list;  // 6 bytes/voxel, column order
  int xsize = 0;
  int ysize = 0;
  int zsize = 0;
  int nvoxels = 0;
  float dx = 0.0f;
  float dy = 0.0f;
  float dz = 0.0f;
  std::unique_ptr<Image> Mzy;   // Mzy->at(y, z): first voxel of row (y, z)
  std::unique_ptr<Image> Mxz;   // Mxz->at(z, x): first list entry of column (x, z)
  std::unique_ptr<NormalTable> normaltable;
  int maximum = 0;              // largest grey or label value of the source volume
  int nobjects = 0;             // distinct labels, set by ShellNObjects
  Scene *scene = nullptr;       // associated by the interface; not owned
  ShellRevision revision;
};

// Renews the shell's revision when it goes out of scope, error or not: the
// first line of every operation that writes a shell's voxels, list, body or
// indexes, so that a partial write is never mistaken for the old content.
class ShellChange {
 public:
  explicit ShellChange(Shell *shell) : shell_(shell) {}
  ~ShellChange() { shell_->revision.Renew(); }
  ShellChange(const ShellChange &) = delete;
  ShellChange &operator=(const ShellChange &) = delete;

 private:
  Shell *shell_;
};

// The arrays the section readers and writers move between a shell file and
// scripts.
struct VoxelArray {
  std::vector<Voxel> item;
};
struct ListArray {
  std::vector<ListEntry> item;
};
struct BodyArray {
  std::vector<BodyEntry> item;
};

// ---- records ----

// Zero-filled arrays, Mzy and Mxz all -1 but for their sentinels, a new
// normal table, no body, voxel sizes 0. Error for a non-positive size, an x
// or y size beyond the 16-bit coordinates, or a voxel count below 0 or
// above the volume's.
std::unique_ptr<Shell> NewShell(int xsize, int ysize, int zsize, int nvoxels);
// NewShell with a zero-filled body.
std::unique_ptr<Shell> NewBodyShell(int xsize, int ysize, int zsize, int nvoxels);
void DestroyShell(std::unique_ptr<Shell> *shell);
bool IsBodyShell(const Shell *shell);
// Error (naming func) unless the context was made for the shell's size:
// renderers index the context's traversal and offsets by shell coordinates.
void CheckShellContext(const Shell *shell, const Context *cxt, const char *func);
// Error (naming func) unless the scene has the shell's size.
void CheckShellScene(const Shell *shell, const Scene *scn, const char *func);
// Error (naming func) unless the shell has a body: the operations that read
// voxel values or gradients.
void CheckBodyShell(const Shell *shell, const char *func);

// The voxels of row (y, z) are [*first, *end); both are 0 for an empty row.
void ShellRow(const Shell *shell, int y, int z, int *first, int *end);
// The list entries of column (x, z), likewise.
void ShellColumn(const Shell *shell, int x, int z, int *first, int *end);

// ---- filling a shell from scenes ----
//
// The scene must have the shell's size (Error otherwise). SetShellVoxels
// and SetShellList also need exactly nvoxels non-zero voxels, and
// SetShellList the voxels SetShellVoxels stored.

// Voxels and Mzy from the non-zero voxels, z, then y, then x: opacity 255,
// visible, label the value's low byte (0 in a body shell).
void SetShellVoxels(Shell *shell, const Scene *scn);
// The list and Mxz, x, then z, then y.
void SetShellList(Shell *shell, const Scene *scn);
// Labels := low byte of the scene at each voxel; then ShellNObjects.
void SetShellLabel(Shell *shell, const Scene *labels);
// Body values := the scene at each voxel. Error for an object shell.
void SetBodyShellValue(Shell *shell, const Scene *scn);
// Normal indices := low 16 bits of the scene at each voxel.
void SetShellNormalIndex(Shell *shell, const Scene *nscn);
// Opacities := low byte of the scene at each voxel (the opacity byte; the
// labels are left alone).
void SetShellOpacity(Shell *shell, const Scene *alpha);

// ---- building shells ----

// An object shell of the label border of width w (squared width w*w,
// truncated) that the opacities leave visible, with labels from the label
// scene and normals from each object's distance map. Error when alpha's
// size differs from the labels'.
std::unique_ptr<Shell> CreateShell(Scene *labels, const Scene *alpha, float w);
// A body shell of the voxels that NonTransparentVoxels keeps.
std::unique_ptr<Shell> CreateBodyShell(Scene *scn, const Scene *alpha);
// A body shell of every non-zero voxel.
std::unique_ptr<Shell> Scene2Shell(Scene *scn);
// The scene's value where it is non-zero, alpha > 12, and a face neighbour
// is outside the volume or has alpha < 242 (every voxel with alpha below
// 242 qualifies by itself); 0 elsewhere.
std::unique_ptr<Scene> NonTransparentVoxels(const Scene *scn, const Scene *alpha);
// A scene of the same size filled with 255.
std::unique_ptr<Scene> CreateAlpha(const Scene *scn);
// 1 where the voxel lies within squared distance w*w (truncated) of the
// object's border, inside it; 0 elsewhere.
std::unique_ptr<Scene> InnerBorder(const Scene *bin, float w);

// ---- exports: new scenes of the shell's size, 0 where no voxel lies ----

std::unique_ptr<Scene> OpacityScene(const Shell *shell);
std::unique_ptr<Scene> NormalIndexScene(const Shell *shell);
std::unique_ptr<Scene> LabelScene(const Shell *shell);
// For each z, the label slice GetShellZSlice filled by FillSlice: whole
// cross-sections of the objects carry their label, hidden voxels and the
// space they enclose alone come out 0.
std::unique_ptr<Scene> FilledLabelScene(const Shell *shell);
// The label, only where it equals obj.
std::unique_ptr<Scene> ObjectScene(const Shell *shell, int obj);
// Body values (all 0 for an object shell).
std::unique_ptr<Scene> ValueScene(const Shell *shell);
// The label of every voxel whose opacity exceeds t, where t is 1 when the
// low byte of the truncated low is 255 and 0 otherwise; hi is not used.
std::unique_ptr<Scene> RemoveVoxels(const Shell *shell, float low, float hi);

// ---- voxel look-up ----

// Index in voxel of (x, y, z), or -1: a binary search of the row. A
// position outside the volume gives -1.
int GetPointer(const Shell *shell, int x, int y, int z);
// The same, answering -1 at once for an empty row or column.
int VoxelExist(const Shell *shell, int x, int y, int z);

// ---- fields, counts and histograms ----

int GetShellXSize(const Shell *shell);
int GetShellYSize(const Shell *shell);
int GetShellZSize(const Shell *shell);
// With an associated scene its maximum; else 0 for an object shell; else
// the largest value of a visible voxel (from 0). Stored in maximum.
int GetShellMaximum(Shell *shell);
// With an associated scene its minimum; else 0 for an object shell; else
// the smallest value of a visible voxel, 2147483647 when none is visible.
int GetShellMinimum(const Shell *shell);
// Distinct labels among all voxels (0 counts when present); stored in
// nobjects.
int ShellNObjects(Shell *shell);
// 256 points: voxels per label.
std::unique_ptr<Curve> ShellObjHistogram(const Shell *shell);
// Body shell: maximum + 1 points, voxels per value; object shell: the
// label histogram.
std::unique_ptr<Curve> ShellHistogram(Shell *shell);
// ShellHistogram divided by nvoxels (body) or nobjects (object); left as
// counts when that divisor is 0.
std::unique_ptr<Curve> ShellNormHistogram(Shell *shell);
// Body shell: maximum + 1 points, voxels per gradient magnitude; object
// shell: the label histogram.
std::unique_ptr<Curve> ShellGradientHistogram(Shell *shell);
// The visible flag of every voxel of the label := low byte of visible. The
// context is not used.
void SetObjectVisibility(Shell *shell, Context *cxt, int label, int visible);

// ---- slices ----
//
// Slice n across axis 'x', 'y' or 'z' is an image of ysize x zsize (pixel
// (y, z)), xsize x zsize (pixel (x, z)) or xsize x ysize (pixel (x, y)).
// The x-slice is read through the column index and list, the others
// through the row index. A slice number outside the shell fails.

// Error (naming func) unless 0 <= n < the shell's size across axis.
void CheckShellSlice(const Shell *shell, char axis, int n, const char *func);
// The image size of a slice across axis.
void ShellSliceSize(const Shell *shell, char axis, int *ncols, int *nrows);
// Calls f(i, column, row) for every voxel i of slice n across axis, i
// being its index in voxel; n must be valid.
template <class F>
void ForEachSliceVoxel(const Shell *shell, char axis, int n, F &&f) {
  int first, end;
  if (axis == 'x') {
    for (int z = 0; z < shell->zsize; z++) {
      ShellColumn(shell, n, z, &first, &end);
      for (int k = first; k < end; k++) {
        const ListEntry e = shell->list[k];
        f(static_cast<int>(e.pointer), static_cast<int>(e.y), z);
      }
    }
  } else if (axis == 'y') {
    for (int z = 0; z < shell->zsize; z++) {
      ShellRow(shell, n, z, &first, &end);
      for (int i = first; i < end; i++) f(i, static_cast<int>(shell->voxel[i].x), z);
    }
  } else {
    for (int y = 0; y < shell->ysize; y++) {
      ShellRow(shell, y, n, &first, &end);
      for (int i = first; i < end; i++) f(i, static_cast<int>(shell->voxel[i].x), y);
    }
  }
}

// Label slices: the voxel's label, 256 where it is hidden, 0 where the
// shell has no voxel.
std::unique_ptr<Image> GetShellXSlice(const Shell *shell, int x);
std::unique_ptr<Image> GetShellYSlice(const Shell *shell, int y);
std::unique_ptr<Image> GetShellZSlice(const Shell *shell, int z);
// Opacity-weighted values: trunc(opacity * value / 255.0) at each voxel,
// 0 elsewhere; all 0 for an object shell.
std::unique_ptr<Image> GetBodyShellXSlice(const Shell *shell, int x);
std::unique_ptr<Image> GetBodyShellYSlice(const Shell *shell, int y);
std::unique_ptr<Image> GetBodyShellZSlice(const Shell *shell, int z);
// The label or body slice across an axis given at run time.
std::unique_ptr<Image> GetShellSlice(const Shell *shell, char axis, int n);
std::unique_ptr<Image> GetBodyShellSlice(const Shell *shell, char axis, int n);

// ---- shell files ----
//
// Text header "SH", "xsize ysize zsize", "dx dy dz" and "nvoxels", then the
// binary sections little-endian without padding: labels, opacities,
// visible flags (bytes), x, normal indices, list y (16-bit), list pointers,
// Mzy, Mxz (32-bit), and for body shells gradients (16-bit) and values
// (32-bit). The kind is not recorded: the caller chooses the reader.
//
// Readers check what they read: sizes and counts that cannot be, a file
// shorter than its sections, and index sections that break the invariants
// above fail with a message naming the fault.

// A source and a sink of bytes, so that sections can be read from and
// written to whatever stream the caller holds. Read returns the count of
// bytes delivered (short at the end of the stream); Write delivers all of
// them or calls Error.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(void *buffer, size_t bytes) = 0;
};
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const void *buffer, size_t bytes) = 0;
};

std::unique_ptr<Shell> ReadShell(const char *path);
std::unique_ptr<Shell> ReadBodyShell(const char *path);
// The file is replaced only when completely written.
void WriteShell(const Shell *shell, const char *path);
// Error for a shell without a body.
void WriteBodyShell(const Shell *shell, const char *path);

// Sections. Readers take the record count and fail on a short stream;
// writers write the first n records (Error when the array holds fewer).
// ReadM reads an index image of ncols x (nrows + 1).
std::unique_ptr<VoxelArray> ReadVoxels(ByteSource *in, int n);
std::unique_ptr<ListArray> ReadList(ByteSource *in, int n);
std::unique_ptr<BodyArray> ReadBody(ByteSource *in, int n);
std::unique_ptr<Image> ReadM(ByteSource *in, int ncols, int nrows);
void WriteVoxels(ByteSink *out, const VoxelArray *voxels, int n);
void WriteList(ByteSink *out, const ListArray *list, int n);
void WriteBody(ByteSink *out, const BodyArray *body, int n);
void WriteM(ByteSink *out, const Image *img);
