// Front-to-back traversal of a shell as a context sees it: the order every
// object-order renderer and face drawer visits voxels in.
//
// By the principal axis:
//   'z': z over (zi, zf, dz), y over (yi, yf, dy), the row (y, z) of the
//        voxel array, increasing index when dx = +1, decreasing otherwise;
//        in-row coordinate x.
//   'y': y over (yi, yf, dy), z over (zi, zf, dz), the row (y, z) as above.
//   'x': x over (xi, xf, dx), z over (zi, zf, dz), the column (x, z) of the
//        list array, increasing when dy = +1, decreasing otherwise; each
//        entry stands for the voxel its pointer names; in-row coordinate y.
// With clipRow, a voxel whose in-row coordinate lies outside the clip box
// on that axis is skipped. The other two coordinates are bounded by the
// traversal fields.
//
// The visitor is called as visit(index, x, y, z) with the voxel's index in
// the voxel array. It is a template parameter so that the per-voxel work of
// a renderer is inlined into these loops.
#pragma once

#include "render/context.h"
#include "render/shell.h"

// A run of one axis: first, end (exclusive) and step, as the context holds
// them.
struct AxisRun {
  int first = 0, end = 0, step = 1;
};

inline AxisRun RunOfAxis(const Context *cxt, char axis) {
  switch (axis) {
    case 'x':
      return {cxt->xi, cxt->xf, cxt->dx};
    case 'y':
      return {cxt->yi, cxt->yf, cxt->dy};
    default:
      return {cxt->zi, cxt->zf, cxt->dz};
  }
}

// The principal axis's run as the angle operations last stored it (ki, kf,
// dk); it differs from RunOfAxis after a SetClip until the next angle change.
inline AxisRun PrincipalRun(const Context *cxt) { return {cxt->ki, cxt->kf, cxt->dk}; }

// Calls visit for every voxel of the shell in the context's order; outer is
// the run of the principal (outermost) axis.
template <class Visit>
void TraverseShell(const Shell *shell, const Context *cxt, const AxisRun &outer, bool clipRow,
                   Visit &&visit) {
  const int *mzy = shell->Mzy->val.data();
  const int *mxz = shell->Mxz->val.data();
  const Voxel *voxel = shell->voxel.data();
  const ListEntry *list = shell->list.data();
  const int ysize = shell->ysize, zsize = shell->zsize;
  // [first, end) of the run starting at entry `index` of a row index; the
  // sentinel row ends every scan.
  auto range = [](const int *m, int index, int *first, int *end) {
    *first = m[index];
    if (*first < 0) return false;
    int j = index + 1;
    while (m[j] < 0) j++;
    *end = m[j];
    return *end > *first;
  };
  auto row = [&](int y, int z) {
    int first, end;
    if (!range(mzy, y + z * ysize, &first, &end)) return;
    const int lo = clipRow ? cxt->xmin : 0, hi = clipRow ? cxt->xmax : 65535;
    if (cxt->dx > 0) {
      for (int i = first; i < end; i++) {
        const int x = voxel[i].x;
        if (x >= lo && x <= hi) visit(i, x, y, z);
      }
    } else {
      for (int i = end - 1; i >= first; i--) {
        const int x = voxel[i].x;
        if (x >= lo && x <= hi) visit(i, x, y, z);
      }
    }
  };
  const AxisRun zr = RunOfAxis(cxt, 'z'), yr = RunOfAxis(cxt, 'y');
  switch (cxt->paxis) {
    case 'z':
      for (int z = outer.first; z != outer.end; z += outer.step)
        for (int y = yr.first; y != yr.end; y += yr.step) row(y, z);
      break;
    case 'y':
      for (int y = outer.first; y != outer.end; y += outer.step)
        for (int z = zr.first; z != zr.end; z += zr.step) row(y, z);
      break;
    default: {
      const int lo = clipRow ? cxt->ymin : 0, hi = clipRow ? cxt->ymax : 65535;
      for (int x = outer.first; x != outer.end; x += outer.step) {
        for (int z = zr.first; z != zr.end; z += zr.step) {
          int first, end;
          if (!range(mxz, z + x * zsize, &first, &end)) continue;
          if (cxt->dy > 0) {
            for (int e = first; e < end; e++) {
              const int y = list[e].y;
              if (y >= lo && y <= hi) visit(list[e].pointer, x, y, z);
            }
          } else {
            for (int e = end - 1; e >= first; e--) {
              const int y = list[e].y;
              if (y >= lo && y <= hi) visit(list[e].pointer, x, y, z);
            }
          }
        }
      }
    }
  }
}
