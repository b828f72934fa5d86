#include "render/shell.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>

#include "core/adjacency3.h"
#include "core/common.h"
#include "core/curve.h"
#include "core/fileio.h"
#include "core/progress.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/shading.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"

// The largest x or y a voxel record can hold, plus one.
static constexpr int kMaxShellSide = 65536;

namespace {

std::string SizeText(int x, int y, int z) {
  return std::to_string(x) + " x " + std::to_string(y) + " x " + std::to_string(z);
}

void CheckSameSize(const Scene *a, const Scene *b, const char *func) {
  if (a->xsize != b->xsize || a->ysize != b->ysize || a->zsize != b->zsize) {
    Error("Scenes have different sizes (" + SizeText(a->xsize, a->ysize, a->zsize) + " and " +
              SizeText(b->xsize, b->ysize, b->zsize) + ")",
          func);
  }
}

int CountNonZero(const Scene *scn) {
  int n = 0;
  for (int v : scn->data) n += v != 0;
  return n;
}

// Calls f(i, x, y, z) for every voxel, in row order.
template <class F>
void ForEachVoxel(const Shell *shell, F &&f) {
  for (int z = 0; z < shell->zsize; z++) {
    for (int y = 0; y < shell->ysize; y++) {
      int first, end;
      ShellRow(shell, y, z, &first, &end);
      for (int i = first; i < end; i++) f(i, static_cast<int>(shell->voxel[i].x), y, z);
    }
  }
}

// A new scene of the shell's size with its voxel sizes (when it has them).
std::unique_ptr<Scene> ShellSizedScene(const Shell *shell) {
  std::unique_ptr<Scene> scn = CreateScene(shell->xsize, shell->ysize, shell->zsize);
  if (shell->dx > 0.0f && shell->dy > 0.0f && shell->dz > 0.0f) {
    scn->dx = shell->dx;
    scn->dy = shell->dy;
    scn->dz = shell->dz;
  }
  return scn;
}

// The squared width of a border, truncated, as the limit the distance
// transforms take.
int SquaredWidth(float w) {
  double w2 = static_cast<double>(w) * w;
  return w2 >= INT_MAX ? INT_MAX : static_cast<int>(w2);
}

void CopyVoxelSize(Shell *shell, const Scene *scn) {
  shell->dx = scn->dx;
  shell->dy = scn->dy;
  shell->dz = scn->dz;
}

void FillIndex(Image *M, int sentinel) {
  std::fill(M->val.begin(), M->val.end(), -1);
  M->val[static_cast<size_t>(M->ncols) * (M->nrows - 1)] = sentinel;
}

}  // namespace

void CheckShellScene(const Shell *shell, const Scene *scn, const char *func) {
  if (scn->xsize != shell->xsize || scn->ysize != shell->ysize || scn->zsize != shell->zsize) {
    Error("The scene is " + SizeText(scn->xsize, scn->ysize, scn->zsize) + " but the shell " +
              SizeText(shell->xsize, shell->ysize, shell->zsize),
          func);
  }
}

void CheckBodyShell(const Shell *shell, const char *func) {
  if (!IsBodyShell(shell)) {
    Error("An object shell has no voxel values or gradients: a body shell is needed", func);
  }
}

void CheckShellContext(const Shell *shell, const Context *cxt, const char *func) {
  if (cxt->xsize != shell->xsize || cxt->ysize != shell->ysize || cxt->zsize != shell->zsize) {
    Error("The context was made for a volume of " + SizeText(cxt->xsize, cxt->ysize, cxt->zsize) +
              " but the shell is " + SizeText(shell->xsize, shell->ysize, shell->zsize),
          func);
  }
}

// ---- records ----

uint64_t ShellRevision::Next() {
  static std::atomic<uint64_t> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

static std::unique_ptr<Shell> AllocShell(int xsize, int ysize, int zsize, int nvoxels, bool body,
                                         const char *func) {
  int volume = CheckedVoxelCount(xsize, ysize, zsize, func);
  if (xsize > kMaxShellSide || ysize > kMaxShellSide) {
    Error("Shell size " + SizeText(xsize, ysize, zsize) + " exceeds " +
              std::to_string(kMaxShellSide) + " in x or y",
          func);
  }
  if (nvoxels < 0 || nvoxels > volume) {
    Error("Voxel count " + std::to_string(nvoxels) + " is impossible for a volume of " +
              SizeText(xsize, ysize, zsize),
          func);
  }
  CheckedVoxelCount(ysize, zsize + 1LL, 1, func);
  CheckedVoxelCount(zsize, xsize + 1LL, 1, func);
  auto shell = std::make_unique<Shell>();
  try {
    progress::Fill(&shell->voxel, nvoxels, Voxel{0, 0, 0, 0, 0});
    progress::Fill(&shell->list, nvoxels, ListEntry{0, 0});
    if (body) progress::Fill(&shell->body, nvoxels, BodyEntry{0, 0});
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", func);
  }
  shell->hasBody = body;
  shell->xsize = xsize;
  shell->ysize = ysize;
  shell->zsize = zsize;
  shell->nvoxels = nvoxels;
  shell->Mzy = CreateImage(ysize, zsize + 1);
  shell->Mxz = CreateImage(zsize, xsize + 1);
  FillIndex(shell->Mzy.get(), nvoxels);
  FillIndex(shell->Mxz.get(), nvoxels);
  shell->normaltable = CreateNormalTable();
  return shell;
}

std::unique_ptr<Shell> NewShell(int xsize, int ysize, int zsize, int nvoxels) {
  return AllocShell(xsize, ysize, zsize, nvoxels, false, "NewShell");
}

std::unique_ptr<Shell> NewBodyShell(int xsize, int ysize, int zsize, int nvoxels) {
  return AllocShell(xsize, ysize, zsize, nvoxels, true, "NewBodyShell");
}

void DestroyShell(std::unique_ptr<Shell> *shell) {
  if (shell != nullptr) shell->reset();
}

bool IsBodyShell(const Shell *shell) { return shell->hasBody; }

// The next non-negative entry after `index` ends the range; the sentinel
// row guarantees one.
static void IndexRange(const Image *M, int index, int *first, int *end) {
  const int *v = M->val.data();
  if (v[index] < 0) {
    *first = *end = 0;
    return;
  }
  *first = v[index];
  int j = index + 1;
  while (v[j] < 0) j++;
  *end = v[j];
}

void ShellRow(const Shell *shell, int y, int z, int *first, int *end) {
  IndexRange(shell->Mzy.get(), y + z * shell->ysize, first, end);
}

void ShellColumn(const Shell *shell, int x, int z, int *first, int *end) {
  IndexRange(shell->Mxz.get(), z + x * shell->zsize, first, end);
}

// ---- filling a shell from scenes ----

static void CheckVoxelCount(const Shell *shell, const Scene *scn, const char *func) {
  int n = CountNonZero(scn);
  if (n != shell->nvoxels) {
    Error("The scene has " + std::to_string(n) + " non-zero voxels for a shell of " +
              std::to_string(shell->nvoxels),
          func);
  }
}

void SetShellVoxels(Shell *shell, const Scene *scn) {
  const ShellChange change(shell);
  CheckShellScene(shell, scn, "SetShellVoxels");
  CheckVoxelCount(shell, scn, "SetShellVoxels");
  FillIndex(shell->Mzy.get(), shell->nvoxels);
  const bool body = IsBodyShell(shell);
  int k = 0;
  const int *v = scn->data.data();
  for (int z = 0; z < scn->zsize; z++) {
    for (int y = 0; y < scn->ysize; y++) {
      const int *row = v + scn->Address(0, y, z);
      bool first = true;
      for (int x = 0; x < scn->xsize; x++) {
        if (row[x] == 0) continue;
        if (first) {
          shell->Mzy->at(y, z) = k;
          first = false;
        }
        shell->voxel[k++] = Voxel{static_cast<uint8_t>(body ? 0 : row[x] & 0xFF), 255, 1,
                                  static_cast<uint16_t>(x), 0};
      }
    }
  }
}

// The list in x, z, y order is a counting sort of the voxels by column:
// walking the voxels in row order meets each column's entries with y
// increasing. The result is what looking every non-zero voxel of the scene
// up in the rows gives, once the scene is known to hold exactly the
// shell's voxels.
void SetShellList(Shell *shell, const Scene *scn) {
  const ShellChange change(shell);
  CheckShellScene(shell, scn, "SetShellList");
  CheckVoxelCount(shell, scn, "SetShellList");
  ForEachVoxel(shell, [&](int, int x, int y, int z) {
    if (scn->data[scn->Address(x, y, z)] == 0) {
      Error("Voxel (" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) +
                ") of the shell is 0 in the scene: the voxels were set from another scene",
            "SetShellList");
    }
  });
  Image *M = shell->Mxz.get();
  const int columns = shell->xsize * shell->zsize;
  std::vector<int> start(columns + 1, 0);
  ForEachVoxel(shell, [&](int, int x, int, int z) { start[z + x * shell->zsize + 1]++; });
  FillIndex(M, shell->nvoxels);
  for (int c = 0; c < columns; c++) {
    if (start[c + 1] > 0) M->val[c] = start[c];
    start[c + 1] += start[c];
  }
  ForEachVoxel(shell, [&](int i, int x, int y, int z) {
    shell->list[start[z + x * shell->zsize]++] = ListEntry{static_cast<uint16_t>(y), i};
  });
}

void SetShellLabel(Shell *shell, const Scene *labels) {
  const ShellChange change(shell);
  CheckShellScene(shell, labels, "SetShellLabel");
  ForEachVoxel(shell, [&](int i, int x, int y, int z) {
    shell->voxel[i].label = static_cast<uint8_t>(labels->data[labels->Address(x, y, z)] & 0xFF);
  });
  ShellNObjects(shell);
}

void SetBodyShellValue(Shell *shell, const Scene *scn) {
  const ShellChange change(shell);
  if (!IsBodyShell(shell)) Error("The shell has no body", "SetBodyShellValue");
  CheckShellScene(shell, scn, "SetBodyShellValue");
  ForEachVoxel(shell, [&](int i, int x, int y, int z) {
    shell->body[i].value = scn->data[scn->Address(x, y, z)];
  });
}

void SetShellNormalIndex(Shell *shell, const Scene *nscn) {
  const ShellChange change(shell);
  CheckShellScene(shell, nscn, "SetShellNormalIndex");
  ForEachVoxel(shell, [&](int i, int x, int y, int z) {
    shell->voxel[i].normal = static_cast<uint16_t>(nscn->data[nscn->Address(x, y, z)] & 0xFFFF);
  });
}

// The opacity byte, as the name says (the label byte is another
// operation's).
void SetShellOpacity(Shell *shell, const Scene *alpha) {
  const ShellChange change(shell);
  CheckShellScene(shell, alpha, "SetShellOpacity");
  ForEachVoxel(shell, [&](int i, int x, int y, int z) {
    shell->voxel[i].opacity = static_cast<uint8_t>(alpha->data[alpha->Address(x, y, z)] & 0xFF);
  });
}

// ---- building shells ----

// Steps 1 to 3 of every constructor: a shell of the scene's non-zero
// voxels, rows and columns filled.
static std::unique_ptr<Shell> ShellOfNonZero(const Scene *scn, bool body) {
  int n = CountNonZero(scn);
  std::unique_ptr<Shell> shell = body ? NewBodyShell(scn->xsize, scn->ysize, scn->zsize, n)
                                      : NewShell(scn->xsize, scn->ysize, scn->zsize, n);
  SetShellVoxels(shell.get(), scn);
  SetShellList(shell.get(), scn);
  return shell;
}

std::unique_ptr<Shell> CreateShell(Scene *labels, const Scene *alpha, float w) {
  CheckSameSize(labels, alpha, "CreateShell");
  std::unique_ptr<AdjRel3> A = Spheric(1.8f);
  std::unique_ptr<Scene> border = Label2Border(labels, A.get(), 0, SquaredWidth(w));
  std::unique_ptr<Scene> kept = NonTransparentVoxels(border.get(), alpha);
  border.reset();
  std::unique_ptr<Shell> shell = ShellOfNonZero(kept.get(), false);
  shell->maximum = MaximumValue3(labels);
  shell->nobjects = MaximumValue3(kept.get());
  kept.reset();
  SetShellLabel(shell.get(), labels);
  SetDistNormal(shell.get());
  CopyVoxelSize(shell.get(), labels);
  return shell;
}

std::unique_ptr<Shell> CreateBodyShell(Scene *scn, const Scene *alpha) {
  std::unique_ptr<Scene> kept = NonTransparentVoxels(scn, alpha);
  std::unique_ptr<Shell> shell = ShellOfNonZero(kept.get(), true);
  SetBodyShellNormal(shell.get(), kept.get(), Gradient3);
  SetBodyShellValue(shell.get(), kept.get());
  CopyVoxelSize(shell.get(), scn);
  shell->maximum = MaximumValue3(scn);
  return shell;
}

std::unique_ptr<Shell> Scene2Shell(Scene *scn) {
  std::unique_ptr<Shell> shell = ShellOfNonZero(scn, true);
  SetBodyShellNormal(shell.get(), scn, Gradient3);
  SetBodyShellValue(shell.get(), scn);
  CopyVoxelSize(shell.get(), scn);
  shell->maximum = MaximumValue3(scn);
  shell->nobjects = 0;
  return shell;
}

std::unique_ptr<Scene> NonTransparentVoxels(const Scene *scn, const Scene *alpha) {
  CheckSameSize(scn, alpha, "NonTransparentVoxels");
  std::unique_ptr<Scene> out = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  out->dx = scn->dx;
  out->dy = scn->dy;
  out->dz = scn->dz;
  // The origin first, then the six face neighbours: a voxel below 242 keeps
  // itself.
  std::unique_ptr<AdjRel3> A = Spheric(1.0f);
  for (int z = 0; z < scn->zsize; z++) {
    for (int y = 0; y < scn->ysize; y++) {
      for (int x = 0; x < scn->xsize; x++) {
        int p = scn->Address(x, y, z);
        if (scn->data[p] == 0 || alpha->data[p] <= 12) continue;
        for (int i = 0; i < A->n; i++) {
          int qx = x + A->dx[i], qy = y + A->dy[i], qz = z + A->dz[i];
          if (!alpha->Valid(qx, qy, qz) || alpha->data[alpha->Address(qx, qy, qz)] < 242) {
            out->data[p] = scn->data[p];
            break;
          }
        }
      }
    }
  }
  return out;
}

std::unique_ptr<Scene> CreateAlpha(const Scene *scn) {
  std::unique_ptr<Scene> alpha = CreateScene(scn->xsize, scn->ysize, scn->zsize);
  std::fill(alpha->data.begin(), alpha->data.end(), 255);
  alpha->dx = scn->dx;
  alpha->dy = scn->dy;
  alpha->dz = scn->dz;
  alpha->maxval = 255;
  return alpha;
}

std::unique_ptr<Scene> InnerBorder(const Scene *bin, float w) {
  int limit = SquaredWidth(w);
  std::unique_ptr<AdjRel3> A = Spheric(1.8f);
  std::unique_ptr<Scene> dist = TDistTrans3(bin, A.get(), 2, limit);
  return Threshold3(dist.get(), 0, limit);
}

// ---- exports ----

template <class F>
static std::unique_ptr<Scene> ExportScene(const Shell *shell, F &&value) {
  std::unique_ptr<Scene> scn = ShellSizedScene(shell);
  ForEachVoxel(shell, [&](int i, int x, int y, int z) {
    scn->data[scn->Address(x, y, z)] = value(i);
  });
  return scn;
}

std::unique_ptr<Scene> OpacityScene(const Shell *shell) {
  return ExportScene(shell, [&](int i) { return static_cast<int>(shell->voxel[i].opacity); });
}

std::unique_ptr<Scene> NormalIndexScene(const Shell *shell) {
  return ExportScene(shell, [&](int i) { return static_cast<int>(shell->voxel[i].normal); });
}

std::unique_ptr<Scene> LabelScene(const Shell *shell) {
  return ExportScene(shell, [&](int i) { return static_cast<int>(shell->voxel[i].label); });
}

std::unique_ptr<Scene> FilledLabelScene(const Shell *shell) {
  std::unique_ptr<Scene> scn = ShellSizedScene(shell);
  const size_t plane = static_cast<size_t>(shell->xsize) * shell->ysize;
  for (int z = 0; z < shell->zsize; z++) {
    std::unique_ptr<Image> labels = GetShellZSlice(shell, z);
    std::unique_ptr<Image> filled = FillSlice(labels.get());
    std::copy(filled->val.begin(), filled->val.end(), scn->data.begin() + plane * z);
  }
  return scn;
}

std::unique_ptr<Scene> ObjectScene(const Shell *shell, int obj) {
  return ExportScene(shell, [&](int i) {
    int label = shell->voxel[i].label;
    return label == obj ? label : 0;
  });
}

std::unique_ptr<Scene> ValueScene(const Shell *shell) {
  if (!IsBodyShell(shell)) return ShellSizedScene(shell);
  return ExportScene(shell, [&](int i) { return static_cast<int>(shell->body[i].value); });
}

std::unique_ptr<Scene> RemoveVoxels(const Shell *shell, float low, float) {
  // The low byte of the truncated value; values beyond the integers wrap
  // like any other.
  double t = std::trunc(static_cast<double>(low));
  long long whole = std::isfinite(t) && std::fabs(t) < 9.0e18 ? static_cast<long long>(t) : 0;
  int threshold = static_cast<int>(whole & 0xFF) / 255;
  return ExportScene(shell, [&](int i) {
    return shell->voxel[i].opacity > threshold ? static_cast<int>(shell->voxel[i].label) : 0;
  });
}

// ---- voxel look-up ----

static int SearchRow(const Shell *shell, int x, int y, int z) {
  int first, end;
  ShellRow(shell, y, z, &first, &end);
  int lo = first, hi = end - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int vx = shell->voxel[mid].x;
    if (vx == x) return mid;
    if (vx < x) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return -1;
}

static bool InsideShell(const Shell *shell, int x, int y, int z) {
  return x >= 0 && y >= 0 && z >= 0 && x < shell->xsize && y < shell->ysize && z < shell->zsize;
}

int GetPointer(const Shell *shell, int x, int y, int z) {
  if (!InsideShell(shell, x, y, z)) return -1;
  return SearchRow(shell, x, y, z);
}

int VoxelExist(const Shell *shell, int x, int y, int z) {
  if (!InsideShell(shell, x, y, z)) return -1;
  if (shell->Mzy->at(y, z) < 0 || shell->Mxz->at(z, x) < 0) return -1;
  return SearchRow(shell, x, y, z);
}

// ---- fields, counts and histograms ----

int GetShellXSize(const Shell *shell) { return shell->xsize; }
int GetShellYSize(const Shell *shell) { return shell->ysize; }
int GetShellZSize(const Shell *shell) { return shell->zsize; }

int GetShellMaximum(Shell *shell) {
  int max = 0;
  if (shell->scene != nullptr) {
    max = MaximumValue3(shell->scene);
  } else if (IsBodyShell(shell)) {
    for (int i = 0; i < shell->nvoxels; i++) {
      if (shell->voxel[i].visible != 0 && shell->body[i].value > max) max = shell->body[i].value;
    }
  }
  shell->maximum = max;
  return max;
}

int GetShellMinimum(const Shell *shell) {
  if (shell->scene != nullptr) return MinimumValue3(shell->scene);
  if (!IsBodyShell(shell)) return 0;
  int min = INT_MAX;
  for (int i = 0; i < shell->nvoxels; i++) {
    if (shell->voxel[i].visible != 0 && shell->body[i].value < min) min = shell->body[i].value;
  }
  return min;
}

int ShellNObjects(Shell *shell) {
  bool seen[256] = {};
  int n = 0;
  for (const Voxel &v : shell->voxel) {
    if (!seen[v.label]) {
      seen[v.label] = true;
      n++;
    }
  }
  shell->nobjects = n;
  return n;
}

static std::unique_ptr<Curve> CountingCurve(long long points, const char *func) {
  CheckArrayBytes(points, 2 * sizeof(double), "A histogram", func);
  std::unique_ptr<Curve> curve = CreateCurve(static_cast<int>(points));
  for (int k = 0; k < curve->n; k++) {
    curve->X[k] = k;
    curve->Y[k] = 0.0;
  }
  return curve;
}

std::unique_ptr<Curve> ShellObjHistogram(const Shell *shell) {
  std::unique_ptr<Curve> hist = CountingCurve(256, "ShellObjHistogram");
  for (const Voxel &v : shell->voxel) hist->Y[v.label] += 1.0;
  return hist;
}

std::unique_ptr<Curve> ShellHistogram(Shell *shell) {
  if (!IsBodyShell(shell)) return ShellObjHistogram(shell);
  int max = GetShellMaximum(shell);
  std::unique_ptr<Curve> hist = CountingCurve(max + 1LL, "ShellHistogram");
  for (const BodyEntry &b : shell->body) {
    int v = b.value;
    if (v >= 0 && v <= max) hist->Y[v] += 1.0;
  }
  return hist;
}

std::unique_ptr<Curve> ShellNormHistogram(Shell *shell) {
  std::unique_ptr<Curve> hist = ShellHistogram(shell);
  double divisor = IsBodyShell(shell) ? shell->nvoxels : shell->nobjects;
  if (divisor != 0.0) {
    for (int k = 0; k < hist->n; k++) hist->Y[k] /= divisor;
  }
  return hist;
}

std::unique_ptr<Curve> ShellGradientHistogram(Shell *shell) {
  if (!IsBodyShell(shell)) return ShellObjHistogram(shell);
  int max = GetShellMaximum(shell);
  std::unique_ptr<Curve> hist = CountingCurve(max + 1LL, "ShellGradientHistogram");
  for (const BodyEntry &b : shell->body) {
    int g = b.gradient;
    if (g >= 0 && g <= max) hist->Y[g] += 1.0;
  }
  return hist;
}

void SetObjectVisibility(Shell *shell, Context *, int label, int visible) {
  const ShellChange change(shell);
  for (Voxel &v : shell->voxel) {
    if (v.label == label) v.visible = static_cast<uint8_t>(visible & 0xFF);
  }
}

// ---- slices ----

static int ShellSide(const Shell *shell, char axis) {
  return axis == 'x' ? shell->xsize : axis == 'y' ? shell->ysize : shell->zsize;
}

void CheckShellSlice(const Shell *shell, char axis, int n, const char *func) {
  if (axis != 'x' && axis != 'y' && axis != 'z') {
    Error(std::string("No slice axis '") + axis + "'", func);
  }
  const int side = ShellSide(shell, axis);
  if (n < 0 || n >= side) {
    Error(std::string("Slice ") + axis + " = " + std::to_string(n) +
              " is outside the shell (" + axis + " from 0 to " + std::to_string(side - 1) + ")",
          func);
  }
}

void ShellSliceSize(const Shell *shell, char axis, int *ncols, int *nrows) {
  *ncols = axis == 'x' ? shell->ysize : shell->xsize;
  *nrows = axis == 'z' ? shell->ysize : shell->zsize;
}

// A zero image of the slice's size, after checking the slice number.
static std::unique_ptr<Image> SliceImage(const Shell *shell, char axis, int n, const char *func) {
  CheckShellSlice(shell, axis, n, func);
  int ncols, nrows;
  ShellSliceSize(shell, axis, &ncols, &nrows);
  return CreateImage(ncols, nrows);
}

static std::unique_ptr<Image> LabelSlice(const Shell *shell, char axis, int n, const char *func) {
  std::unique_ptr<Image> img = SliceImage(shell, axis, n, func);
  ForEachSliceVoxel(shell, axis, n, [&](int i, int col, int row) {
    const Voxel &v = shell->voxel[i];
    img->at(col, row) = v.visible != 0 ? static_cast<int>(v.label) : 256;
  });
  return img;
}

static std::unique_ptr<Image> BodySlice(const Shell *shell, char axis, int n, const char *func) {
  std::unique_ptr<Image> img = SliceImage(shell, axis, n, func);
  if (!IsBodyShell(shell)) return img;
  ForEachSliceVoxel(shell, axis, n, [&](int i, int col, int row) {
    // |opacity * value / 255| never exceeds |value|: the int holds it.
    const double weighted = static_cast<double>(shell->voxel[i].opacity) *
                            static_cast<double>(shell->body[i].value) / 255.0;
    img->at(col, row) = static_cast<int>(weighted);
  });
  return img;
}

static int AxisIndex(char axis) { return axis == 'x' ? 0 : axis == 'y' ? 1 : 2; }

std::unique_ptr<Image> GetShellSlice(const Shell *shell, char axis, int n) {
  static const char *const names[3] = {"GetShellXSlice", "GetShellYSlice", "GetShellZSlice"};
  return LabelSlice(shell, axis, n, names[AxisIndex(axis)]);
}

std::unique_ptr<Image> GetBodyShellSlice(const Shell *shell, char axis, int n) {
  static const char *const names[3] = {"GetBodyShellXSlice", "GetBodyShellYSlice",
                                       "GetBodyShellZSlice"};
  return BodySlice(shell, axis, n, names[AxisIndex(axis)]);
}

std::unique_ptr<Image> GetShellXSlice(const Shell *shell, int x) {
  return GetShellSlice(shell, 'x', x);
}
std::unique_ptr<Image> GetShellYSlice(const Shell *shell, int y) {
  return GetShellSlice(shell, 'y', y);
}
std::unique_ptr<Image> GetShellZSlice(const Shell *shell, int z) {
  return GetShellSlice(shell, 'z', z);
}
std::unique_ptr<Image> GetBodyShellXSlice(const Shell *shell, int x) {
  return GetBodyShellSlice(shell, 'x', x);
}
std::unique_ptr<Image> GetBodyShellYSlice(const Shell *shell, int y) {
  return GetBodyShellSlice(shell, 'y', y);
}
std::unique_ptr<Image> GetBodyShellZSlice(const Shell *shell, int z) {
  return GetBodyShellSlice(shell, 'z', z);
}

// ---- sections ----
//
// Records are scattered into per-field sections through a bounded buffer.

namespace {

constexpr int kChunk = 1 << 16;

template <class T>
void ReadExactly(ByteSource *in, T *data, size_t count, const char *func) {
  size_t bytes = count * sizeof(T);
  if (bytes != 0 && in->Read(data, bytes) != bytes) {
    Error("The data ends inside a section", func);
  }
}

// Reads n values of type T and hands each to put(i, value); before each
// chunk, reserve(count) is told how many records must exist.
template <class T, class Reserve, class Put>
void ReadField(ByteSource *in, int n, const char *func, Reserve &&reserve, Put &&put) {
  std::vector<T> buf(std::min(n, kChunk));
  for (int done = 0; done < n;) {
    int m = std::min(n - done, kChunk);
    reserve(done + m);
    ReadExactly(in, buf.data(), m, func);
    for (int j = 0; j < m; j++) put(done + j, buf[j]);
    done += m;
  }
}

// The records grow with the first field as it arrives, so that a count
// larger than the stream costs no more memory than the stream holds.
template <class R>
auto Grow(std::vector<R> *v, const char *func) {
  return [v, func](int count) {
    if (v->size() >= static_cast<size_t>(count)) return;
    try {
      v->resize(count);
    } catch (const std::bad_alloc &) {
      Error("Cannot allocate memory space", func);
    }
  };
}
constexpr auto kNoGrowth = [](int) {};

template <class T, class Get>
void WriteField(ByteSink *out, int n, Get &&get) {
  std::vector<T> buf(std::min(n, kChunk));
  for (int done = 0; done < n;) {
    int m = std::min(n - done, kChunk);
    for (int j = 0; j < m; j++) buf[j] = get(done + j);
    out->Write(buf.data(), m * sizeof(T));
    done += m;
  }
}

void CheckCount(int n, size_t have, const char *func) {
  if (n < 0) Error("Invalid record count " + std::to_string(n), func);
  if (static_cast<size_t>(n) > have) {
    Error("The array holds " + std::to_string(have) + " records, not " + std::to_string(n), func);
  }
}

void CheckReadCount(int n, const char *func) {
  if (n < 0) Error("Invalid record count " + std::to_string(n), func);
}

void ReadVoxelSections(ByteSource *in, std::vector<Voxel> *v, int n, const char *func) {
  ReadField<uint8_t>(in, n, func, Grow(v, func), [v](int i, uint8_t b) { (*v)[i].label = b; });
  Voxel *r = v->data();
  ReadField<uint8_t>(in, n, func, kNoGrowth, [r](int i, uint8_t b) { r[i].opacity = b; });
  ReadField<uint8_t>(in, n, func, kNoGrowth, [r](int i, uint8_t b) { r[i].visible = b; });
  ReadField<uint16_t>(in, n, func, kNoGrowth, [r](int i, uint16_t s) { r[i].x = s; });
  ReadField<uint16_t>(in, n, func, kNoGrowth, [r](int i, uint16_t s) { r[i].normal = s; });
}

void WriteVoxelSections(ByteSink *out, const std::vector<Voxel> &v, int n) {
  const Voxel *r = v.data();
  WriteField<uint8_t>(out, n, [r](int i) { return r[i].label; });
  WriteField<uint8_t>(out, n, [r](int i) { return r[i].opacity; });
  WriteField<uint8_t>(out, n, [r](int i) { return r[i].visible; });
  WriteField<uint16_t>(out, n, [r](int i) { return r[i].x; });
  WriteField<uint16_t>(out, n, [r](int i) { return r[i].normal; });
}

void ReadListSections(ByteSource *in, std::vector<ListEntry> *l, int n, const char *func) {
  ReadField<uint16_t>(in, n, func, Grow(l, func), [l](int i, uint16_t s) { (*l)[i].y = s; });
  ListEntry *r = l->data();
  ReadField<int32_t>(in, n, func, kNoGrowth, [r](int i, int32_t p) { r[i].pointer = p; });
}

void WriteListSections(ByteSink *out, const std::vector<ListEntry> &l, int n) {
  const ListEntry *r = l.data();
  WriteField<uint16_t>(out, n, [r](int i) { return r[i].y; });
  WriteField<int32_t>(out, n, [r](int i) { return r[i].pointer; });
}

void ReadBodySections(ByteSource *in, std::vector<BodyEntry> *b, int n, const char *func) {
  ReadField<int16_t>(in, n, func, Grow(b, func), [b](int i, int16_t g) { (*b)[i].gradient = g; });
  BodyEntry *r = b->data();
  ReadField<int32_t>(in, n, func, kNoGrowth, [r](int i, int32_t v) { r[i].value = v; });
}

void WriteBodySections(ByteSink *out, const std::vector<BodyEntry> &b, int n) {
  const BodyEntry *r = b.data();
  WriteField<int16_t>(out, n, [r](int i) { return r[i].gradient; });
  WriteField<int32_t>(out, n, [r](int i) { return r[i].value; });
}

void ReadIndexImage(ByteSource *in, Image *img, const char *func) {
  ReadExactly(in, img->val.data(), img->val.size(), func);
}

}  // namespace

std::unique_ptr<VoxelArray> ReadVoxels(ByteSource *in, int n) {
  auto a = std::make_unique<VoxelArray>();
  CheckReadCount(n, "ReadVoxels");
  ReadVoxelSections(in, &a->item, n, "ReadVoxels");
  return a;
}

std::unique_ptr<ListArray> ReadList(ByteSource *in, int n) {
  auto a = std::make_unique<ListArray>();
  CheckReadCount(n, "ReadList");
  ReadListSections(in, &a->item, n, "ReadList");
  return a;
}

std::unique_ptr<BodyArray> ReadBody(ByteSource *in, int n) {
  auto a = std::make_unique<BodyArray>();
  CheckReadCount(n, "ReadBody");
  ReadBodySections(in, &a->item, n, "ReadBody");
  return a;
}

// The stream is read in chunks before the image is made, so that sizes a
// short stream cannot back cost no more memory than it holds.
std::unique_ptr<Image> ReadM(ByteSource *in, int ncols, int nrows) {
  if (nrows < 0 || nrows == INT_MAX) Error("Invalid row count " + std::to_string(nrows), "ReadM");
  const int n = CheckedVoxelCount(ncols, nrows + 1LL, 1, "ReadM");
  std::vector<int> values;
  ReadField<int32_t>(in, n, "ReadM", Grow(&values, "ReadM"),
                     [&values](int i, int32_t v) { values[i] = v; });
  std::unique_ptr<Image> img = CreateImage(ncols, nrows + 1);
  img->val = std::move(values);
  return img;
}

void WriteVoxels(ByteSink *out, const VoxelArray *voxels, int n) {
  CheckCount(n, voxels->item.size(), "WriteVoxels");
  WriteVoxelSections(out, voxels->item, n);
}

void WriteList(ByteSink *out, const ListArray *list, int n) {
  CheckCount(n, list->item.size(), "WriteList");
  WriteListSections(out, list->item, n);
}

void WriteBody(ByteSink *out, const BodyArray *body, int n) {
  CheckCount(n, body->item.size(), "WriteBody");
  WriteBodySections(out, body->item, n);
}

void WriteM(ByteSink *out, const Image *img) {
  out->Write(img->val.data(), img->val.size() * sizeof(int));
}

// ---- shell files ----

namespace {

class FileSource : public ByteSource {
 public:
  explicit FileSource(FILE *fp) : fp_(fp) {}
  size_t Read(void *buffer, size_t bytes) override { return fread(buffer, 1, bytes, fp_); }

 private:
  FILE *fp_;
};

class WriterSink : public ByteSink {
 public:
  explicit WriterSink(AtomicWriter *w) : w_(w) {}
  void Write(const void *buffer, size_t bytes) override { w_->Write(buffer, bytes); }

 private:
  AtomicWriter *w_;
};

struct FileCloser {
  void operator()(FILE *fp) const { fclose(fp); }
};

[[noreturn]] void BadFile(const char *path, const std::string &what, const char *func) {
  Error(std::string(path) + ": " + what, func);
}

// Checks an index image against the ranges it indexes: rows hold -1 or an
// increasing start below n, starting at 0; the extra row holds n first and
// -1 after it.
void CheckIndex(const Image *M, int n, const char *name, const char *path, const char *func) {
  const int cells = M->ncols * (M->nrows - 1);
  int last = -1;
  for (int k = 0; k < cells; k++) {
    int v = M->val[k];
    if (v == -1) continue;
    std::string where = std::string(name) + "(" + std::to_string(k % M->ncols) + ", " +
                        std::to_string(k / M->ncols) + ") = " + std::to_string(v);
    if (v < 0 || v >= n) BadFile(path, where + " is outside the " + std::to_string(n) + " records", func);
    if (last < 0 && v != 0) BadFile(path, where + " but the first range must start at 0", func);
    if (last >= 0 && v <= last) BadFile(path, where + " does not follow the previous start " + std::to_string(last), func);
    last = v;
  }
  if (n > 0 && last < 0) BadFile(path, std::string(name) + " has no range for its " + std::to_string(n) + " records", func);
  if (M->val[cells] != n) {
    BadFile(path, std::string(name) + " ends with " + std::to_string(M->val[cells]) + " instead of the count " + std::to_string(n), func);
  }
  for (int k = cells + 1; k < M->ncols * M->nrows; k++) {
    if (M->val[k] != -1) BadFile(path, std::string(name) + " has a stray entry after its end", func);
  }
}

// Everything a renderer or query relies on, so that a shell from a file
// can never make one of them read outside its arrays.
void CheckShell(const Shell *s, const char *path, const char *func) {
  CheckIndex(s->Mzy.get(), s->nvoxels, "Mzy", path, func);
  CheckIndex(s->Mxz.get(), s->nvoxels, "Mxz", path, func);
  // Row ends, once, for the list check.
  const int rows = s->ysize * s->zsize;
  std::vector<int> rowEnd(rows, 0);
  for (int k = rows - 1, next = s->nvoxels; k >= 0; k--) {
    rowEnd[k] = next;
    if (s->Mzy->val[k] >= 0) next = s->Mzy->val[k];
  }
  for (int z = 0; z < s->zsize; z++) {
    for (int y = 0; y < s->ysize; y++) {
      int first, end;
      ShellRow(s, y, z, &first, &end);
      for (int i = first; i < end; i++) {
        int x = s->voxel[i].x;
        if (x >= s->xsize || (i > first && x <= s->voxel[i - 1].x)) {
          BadFile(path, "voxel " + std::to_string(i) + " has x = " + std::to_string(x) +
                            (x >= s->xsize ? " beyond the size " + std::to_string(s->xsize)
                                           : std::string(" out of order in its row")),
                  func);
        }
      }
    }
  }
  for (int x = 0; x < s->xsize; x++) {
    for (int z = 0; z < s->zsize; z++) {
      int first, end;
      ShellColumn(s, x, z, &first, &end);
      for (int k = first; k < end; k++) {
        const ListEntry &e = s->list[k];
        std::string where = "list entry " + std::to_string(k);
        if (e.y >= s->ysize || (k > first && e.y <= s->list[k - 1].y)) {
          BadFile(path, where + " has y = " + std::to_string(e.y) +
                            (e.y >= s->ysize ? " beyond the size " + std::to_string(s->ysize)
                                             : std::string(" out of order in its column")),
                  func);
        }
        int p = e.pointer;
        int row = e.y + z * s->ysize;
        if (p < 0 || p >= s->nvoxels || s->Mzy->val[row] < 0 || p < s->Mzy->val[row] ||
            p >= rowEnd[row] || s->voxel[p].x != x) {
          BadFile(path, where + " points to " + std::to_string(p) +
                            ", not to the voxel at (" + std::to_string(x) + ", " +
                            std::to_string(e.y) + ", " + std::to_string(z) + ")",
                  func);
        }
      }
    }
  }
}

std::unique_ptr<Shell> ReadShellFile(const char *path, bool body, const char *func) {
  std::unique_ptr<FILE, FileCloser> file(fopen(path, "rb"));
  if (!file) Error(std::string("Cannot open file ") + path, func);
  FILE *fp = file.get();
  char word[64];
  // Sizes and count are read wide: a damaged "4294967297" is refused, not
  // taken for 1.
  long long wide[4];
  float dx, dy, dz;
  if (fscanf(fp, "%63s", word) != 1) BadFile(path, "not a shell file (no header)", func);
  if (fscanf(fp, "%lld %lld %lld", &wide[0], &wide[1], &wide[2]) != 3) BadFile(path, "malformed header (expected three sizes)", func);
  if (fscanf(fp, "%f %f %f", &dx, &dy, &dz) != 3) BadFile(path, "malformed header (expected three voxel sizes)", func);
  if (fscanf(fp, "%lld", &wide[3]) != 1) BadFile(path, "malformed header (expected the voxel count)", func);
  for (long long v : wide) {
    if (v < INT_MIN || v > INT_MAX) BadFile(path, "impossible size or count " + std::to_string(v), func);
  }
  const int xsize = static_cast<int>(wide[0]), ysize = static_cast<int>(wide[1]),
            zsize = static_cast<int>(wide[2]), n = static_cast<int>(wide[3]);
  for (int c;;) {
    c = fgetc(fp);
    if (c == '\n') break;
    if (c == EOF) BadFile(path, "the file ends in its header", func);
    if (c != ' ' && c != '\t' && c != '\r') BadFile(path, "malformed header (text after the voxel count)", func);
  }
  if (xsize <= 0 || ysize <= 0 || zsize <= 0 || xsize > kMaxShellSide || ysize > kMaxShellSide) {
    BadFile(path, "impossible size " + SizeText(xsize, ysize, zsize), func);
  }
  long long volume = static_cast<long long>(xsize) * ysize * zsize;
  long long mzy = static_cast<long long>(ysize) * (zsize + 1LL);
  long long mxz = static_cast<long long>(zsize) * (xsize + 1LL);
  if (volume > INT_MAX || mzy > INT_MAX || mxz > INT_MAX) {
    BadFile(path, "impossible size " + SizeText(xsize, ysize, zsize), func);
  }
  // 0 is a shell's "no voxel size given" (NewShell's), so it is kept.
  if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(dz) || dx < 0.0f || dy < 0.0f ||
      dz < 0.0f) {
    BadFile(path, "impossible voxel size", func);
  }
  if (n < 0 || n > volume) {
    BadFile(path, "impossible voxel count " + std::to_string(n) + " for " + SizeText(xsize, ysize, zsize), func);
  }
  long long expected = 13LL * n + 4 * (mzy + mxz) + (body ? 6LL * n : 0);
  long long start = ftello(fp);
  if (fseeko(fp, 0, SEEK_END) != 0) BadFile(path, "cannot find the file's length", func);
  long long length = ftello(fp) - start;
  if (length < expected) {
    BadFile(path, "the file is shorter than its sections (" + std::to_string(length) +
                      " bytes after the header, " + std::to_string(expected) + " needed)",
            func);
  }
  fseeko(fp, start, SEEK_SET);
  std::unique_ptr<Shell> shell = AllocShell(xsize, ysize, zsize, n, body, func);
  shell->dx = dx;
  shell->dy = dy;
  shell->dz = dz;
  FileSource in(fp);
  ReadVoxelSections(&in, &shell->voxel, n, func);
  ReadListSections(&in, &shell->list, n, func);
  ReadIndexImage(&in, shell->Mzy.get(), func);
  ReadIndexImage(&in, shell->Mxz.get(), func);
  if (body) ReadBodySections(&in, &shell->body, n, func);
  CheckShell(shell.get(), path, func);
  GetShellMaximum(shell.get());
  return shell;
}

void WriteShellFile(const Shell *shell, const char *path, bool body, const char *func) {
  if (body && !IsBodyShell(shell)) Error("The shell has no body", func);
  AtomicWriter w(path, func, std::string("Cannot open file ") + path);
  w.Printf("SH\n%d %d %d\n%f %f %f\n%d\n", shell->xsize, shell->ysize, shell->zsize, shell->dx,
           shell->dy, shell->dz, shell->nvoxels);
  WriterSink out(&w);
  WriteVoxelSections(&out, shell->voxel, shell->nvoxels);
  WriteListSections(&out, shell->list, shell->nvoxels);
  WriteM(&out, shell->Mzy.get());
  WriteM(&out, shell->Mxz.get());
  if (body) WriteBodySections(&out, shell->body, shell->nvoxels);
  w.Commit();
}

}  // namespace

std::unique_ptr<Shell> ReadShell(const char *path) { return ReadShellFile(path, false, "ReadShell"); }

std::unique_ptr<Shell> ReadBodyShell(const char *path) {
  return ReadShellFile(path, true, "ReadBodyShell");
}

void WriteShell(const Shell *shell, const char *path) {
  WriteShellFile(shell, path, false, "WriteShell");
}

void WriteBodyShell(const Shell *shell, const char *path) {
  WriteShellFile(shell, path, true, "WriteBodyShell");
}
