#include "render/shell_drawable.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace {

bool Drawable(const Voxel &v) { return v.visible != 0 && v.label != 0; }

struct Gathering {
  Shell shell;
  std::vector<int> origin;
};

// What is kept of one revision of a shell: the row-order gathering (none
// when every voxel is drawable) and, once a view along x asked, the
// list-order one.
struct Entry {
  uint64_t revision = 0;
  bool whole = false;
  std::shared_ptr<Gathering> rows, columns;
};

// A row (or column) index of ncols x nrows lines over the kept entries:
// the first kept entry of each line or -1, and a sentinel row holding the
// kept count first. range(l, &first, &end) gives a line's entries in the
// source, kept(e) whether entry e stays.
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

void StartGathering(const Shell *src, int kept, Gathering *g) {
  Shell &s = g->shell;
  s.xsize = src->xsize, s.ysize = src->ysize, s.zsize = src->zsize;
  s.dx = src->dx, s.dy = src->dy, s.dz = src->dz;
  s.nvoxels = kept;
  s.normaltable = std::make_unique<NormalTable>(*src->normaltable);
  s.voxel.reserve(kept);
  s.list.reserve(kept);
  g->origin.reserve(kept);
}

std::unique_ptr<Image> ColumnIndex(const Shell *src, const std::vector<int> &renumber, int kept) {
  const int zs = src->zsize;
  return RebuiltIndex(
      zs, src->xsize,
      [&](int l, int *first, int *end) { ShellColumn(src, l / zs, l % zs, first, end); },
      [&](int e) { return renumber[src->list[e].pointer] >= 0; }, kept);
}

std::shared_ptr<Gathering> GatherRows(const Shell *src, int kept) {
  auto g = std::make_shared<Gathering>();
  StartGathering(src, kept, g.get());
  Shell &s = g->shell;
  const int nv = src->nvoxels;
  std::vector<int> renumber(nv, -1);
  for (int i = 0; i < nv; i++) {
    if (!Drawable(src->voxel[i])) continue;
    renumber[i] = static_cast<int>(s.voxel.size());
    s.voxel.push_back(src->voxel[i]);
    g->origin.push_back(i);
  }
  for (const ListEntry &e : src->list) {
    const int p = e.pointer;
    if (renumber[p] >= 0) s.list.push_back({e.y, renumber[p]});
  }
  const int ys = src->ysize;
  s.Mzy = RebuiltIndex(
      ys, src->zsize,
      [&](int l, int *first, int *end) { ShellRow(src, l % ys, l / ys, first, end); },
      [&](int e) { return renumber[e] >= 0; }, kept);
  s.Mxz = ColumnIndex(src, renumber, kept);
  return g;
}

std::shared_ptr<Gathering> GatherColumns(const Shell *src, int kept) {
  auto g = std::make_shared<Gathering>();
  StartGathering(src, kept, g.get());
  Shell &s = g->shell;
  const int nv = src->nvoxels;
  std::vector<int> renumber(nv, -1);
  for (const ListEntry &e : src->list) {
    const int p = e.pointer;
    if (!Drawable(src->voxel[p])) continue;
    const int at = static_cast<int>(s.voxel.size());
    renumber[p] = at;
    s.voxel.push_back(src->voxel[p]);
    s.list.push_back({e.y, at});
    g->origin.push_back(p);
  }
  s.Mxz = ColumnIndex(src, renumber, kept);
  // No rows: every row empty, the sentinel row closing the scan.
  s.Mzy = CreateImage(src->ysize, src->zsize + 1);
  for (int &v : s.Mzy->val) v = -1;
  s.Mzy->val[static_cast<size_t>(src->ysize) * src->zsize] = kept;
  return g;
}

}  // namespace

DrawableWalk DrawableVoxels(const Shell *shell, char paxis) {
  // The entries of the shells last drawn, the latest first.
  constexpr size_t kKept = 2;
  static std::mutex mutex;
  static std::vector<std::shared_ptr<Entry>> entries;
  const uint64_t revision = shell->revision.value();
  std::lock_guard<std::mutex> lock(mutex);
  std::shared_ptr<Entry> entry;
  for (size_t i = 0; i < entries.size() && entry == nullptr; i++) {
    if (entries[i]->revision != revision) continue;
    entry = entries[i];
    entries.erase(entries.begin() + i);
  }
  if (entry == nullptr) {
    if (entries.size() >= kKept) entries.pop_back();  // its memory back first
    entry = std::make_shared<Entry>();
    entry->revision = revision;
    int kept = 0;
    for (int i = 0; i < shell->nvoxels; i++) kept += Drawable(shell->voxel[i]);
    entry->whole = kept == shell->nvoxels;
    if (!entry->whole) entry->rows = GatherRows(shell, kept);
  }
  entries.insert(entries.begin(), entry);
  DrawableWalk walk;
  if (paxis == 'x' && !entry->whole) {
    if (entry->columns == nullptr) entry->columns = GatherColumns(shell, entry->rows->shell.nvoxels);
    walk.hold = entry->columns;
    walk.shell = &entry->columns->shell;
    walk.origin = entry->columns->origin.data();
  } else if (entry->whole) {
    walk.shell = shell;
  } else {
    walk.hold = entry->rows;
    walk.shell = &entry->rows->shell;
    walk.origin = entry->rows->origin.data();
  }
  return walk;
}
