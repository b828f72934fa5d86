#include "render/shell_drawable.h"

#include <mutex>

namespace {

bool Drawable(const Voxel &v) { return v.visible != 0 && v.label != 0; }

// The row index of lines [0, lines) over the kept entries: the first kept
// entry of each line or -1, and a sentinel row of `ncols` entries holding
// the kept count first. range(l, &first, &end) gives a line's entries in
// the source, kept(e) whether entry e stays and renumber[e] its new index.
template <class Range, class Kept>
std::unique_ptr<Image> RebuiltIndex(int ncols, int nrows, const Range &range, const Kept &kept,
                                    int total) {
  auto m = CreateImage(ncols, nrows + 1);
  int next = 0;
  for (int l = 0; l < ncols * nrows; l++) {
    int first, end;
    range(l, &first, &end);
    int count = 0;
    for (int e = first; e < end; e++) count += kept(e);
    m->val[l] = count > 0 ? next : -1;
    next += count;
  }
  for (int c = 0; c < ncols; c++) m->val[ncols * nrows + c] = c == 0 ? total : -1;
  return m;
}

std::shared_ptr<DrawableShell> Gather(const Shell *src) {
  auto d = std::make_shared<DrawableShell>();
  d->revision = src->revision.value();
  const int nv = src->nvoxels;
  int kept = 0;
  for (int i = 0; i < nv; i++) kept += Drawable(src->voxel[i]);
  if (kept == nv) {
    d->whole = true;
    return d;
  }
  Shell &g = d->gathered;
  g.xsize = src->xsize, g.ysize = src->ysize, g.zsize = src->zsize;
  g.dx = src->dx, g.dy = src->dy, g.dz = src->dz;
  g.nvoxels = kept;
  g.normaltable = std::make_unique<NormalTable>(*src->normaltable);
  g.voxel.reserve(kept);
  d->origin.reserve(kept);
  std::vector<int> renumber(nv, -1);
  for (int i = 0; i < nv; i++) {
    if (!Drawable(src->voxel[i])) continue;
    renumber[i] = static_cast<int>(g.voxel.size());
    g.voxel.push_back(src->voxel[i]);
    d->origin.push_back(i);
  }
  g.list.reserve(kept);
  for (const ListEntry &e : src->list) {
    const int p = e.pointer;
    if (renumber[p] >= 0) g.list.push_back({e.y, renumber[p]});
  }
  const int ys = src->ysize, zs = src->zsize;
  g.Mzy = RebuiltIndex(
      ys, zs, [&](int l, int *first, int *end) { ShellRow(src, l % ys, l / ys, first, end); },
      [&](int e) { return renumber[e] >= 0; }, kept);
  g.Mxz = RebuiltIndex(
      zs, src->xsize,
      [&](int l, int *first, int *end) { ShellColumn(src, l / zs, l % zs, first, end); },
      [&](int e) { return renumber[src->list[e].pointer] >= 0; }, kept);
  return d;
}

}  // namespace

std::shared_ptr<const DrawableShell> DrawableVoxels(const Shell *shell) {
  // The gatherings of the shells last drawn, the latest first.
  constexpr size_t kKept = 2;
  static std::mutex mutex;
  static std::vector<std::shared_ptr<DrawableShell>> kept;
  const uint64_t revision = shell->revision.value();
  std::lock_guard<std::mutex> lock(mutex);
  for (size_t i = 0; i < kept.size(); i++) {
    if (kept[i]->revision == revision) {
      auto found = kept[i];
      kept.erase(kept.begin() + i);
      kept.insert(kept.begin(), found);
      return found;
    }
  }
  auto made = Gather(shell);
  kept.insert(kept.begin(), made);
  if (kept.size() > kKept) kept.pop_back();
  return made;
}
