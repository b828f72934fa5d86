// The gatherings of drawable voxels: per row and per column exactly the
// visible, labelled voxels of the source in its order, each mapped back to
// its source index; the source itself when every voxel is drawable; a new
// gathering for a new revision. (Packed fields are compared by value.)
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/scene.h"
#include "render/shell.h"
#include "render/shell_drawable.h"
#include "support/hand_shell.h"
#include "support/phantom.h"

namespace {

bool Drawable(const Voxel &v) { return v.visible != 0 && v.label != 0; }

bool SameVoxel(const Voxel &a, const Voxel &b) {
  return a.label == b.label && a.opacity == b.opacity && a.visible == b.visible && a.x == b.x &&
         a.normal == b.normal;
}

// A body shell of the grey phantom with a hidden voxel and a label-0 voxel
// here and there, and whole rows without a drawable voxel.
std::unique_ptr<Shell> Ragged() {
  static auto grey = phantom::GreyPhantom(14, 12, 10, 1.0f, 1.0f);
  auto shell = Scene2Shell(grey.get());
  for (int i = 0; i < shell->nvoxels; i++) {
    Voxel &v = shell->voxel[i];
    v.label = i % 5 == 0 ? 0 : 1 + i % 3;
    v.visible = i % 7 == 0 ? 0 : 1;
    if (i / 14 % 4 == 1) v.label = 0;  // every fourth row empties
  }
  return shell;
}

TEST(DrawableVoxels, RowsHoldTheDrawableVoxelsInOrderAndMapBack) {
  auto src = Ragged();
  const DrawableWalk w = DrawableVoxels(src.get(), 'z');
  ASSERT_NE(w.shell, src.get());
  const Shell *g = w.shell;
  int total = 0;
  for (int z = 0; z < src->zsize; z++)
    for (int y = 0; y < src->ysize; y++) {
      int first, end, gfirst, gend;
      ShellRow(src.get(), y, z, &first, &end);
      ShellRow(g, y, z, &gfirst, &gend);
      std::vector<int> expected;
      for (int i = first; i < end; i++)
        if (Drawable(src->voxel[i])) expected.push_back(i);
      ASSERT_EQ(gend - gfirst, static_cast<int>(expected.size())) << y << "," << z;
      for (int k = 0; k < gend - gfirst; k++) {
        EXPECT_EQ(w.Origin(gfirst + k), expected[k]);
        EXPECT_TRUE(SameVoxel(g->voxel[gfirst + k], src->voxel[expected[k]]));
      }
      total += static_cast<int>(expected.size());
    }
  EXPECT_EQ(g->nvoxels, total);
  // The columns name the same voxels as the rows.
  for (int x = 0; x < src->xsize; x++)
    for (int z = 0; z < src->zsize; z++) {
      int first, end;
      ShellColumn(g, x, z, &first, &end);
      for (int e = first; e < end; e++) {
        const int i = g->list[e].pointer;
        EXPECT_EQ(static_cast<int>(g->voxel[i].x), x);
        EXPECT_EQ(GetPointer(src.get(), x, static_cast<int>(g->list[e].y), z), w.Origin(i));
      }
    }
  EXPECT_EQ(g->normaltable->entry.size(), src->normaltable->entry.size());
}

TEST(DrawableVoxels, ColumnsHoldTheirVoxelsOneAfterTheOther) {
  auto src = Ragged();
  const DrawableWalk w = DrawableVoxels(src.get(), 'x');
  const Shell *g = w.shell;
  for (int x = 0; x < src->xsize; x++)
    for (int z = 0; z < src->zsize; z++) {
      int first, end, gfirst, gend;
      ShellColumn(src.get(), x, z, &first, &end);
      ShellColumn(g, x, z, &gfirst, &gend);
      int k = gfirst;
      for (int e = first; e < end; e++) {
        const int i = src->list[e].pointer;
        if (!Drawable(src->voxel[i])) continue;
        ASSERT_LT(k, gend);
        EXPECT_EQ(static_cast<int>(g->list[k].pointer), k);
        EXPECT_EQ(static_cast<int>(g->list[k].y), static_cast<int>(src->list[e].y));
        EXPECT_EQ(w.Origin(k), i);
        EXPECT_TRUE(SameVoxel(g->voxel[k], src->voxel[i]));
        k++;
      }
      EXPECT_EQ(k, gend);
      // No rows: a traversal along x only.
    }
  for (int z = 0; z < src->zsize; z++) {
    int first, end;
    ShellRow(g, 0, z, &first, &end);
    EXPECT_EQ(end - first, 0);
  }
}

TEST(DrawableVoxels, AWhollyDrawableShellIsTraversedItselfUntilItChanges) {
  auto src = Ragged();
  {
    const ShellChange change(src.get());
    for (Voxel &v : src->voxel) v.label = 1, v.visible = 1;
  }
  const DrawableWalk whole = DrawableVoxels(src.get(), 'y');
  EXPECT_EQ(whole.shell, src.get());
  EXPECT_EQ(whole.origin, nullptr);
  EXPECT_EQ(DrawableVoxels(src.get(), 'x').shell, src.get());
  {
    const ShellChange change(src.get());
    src->voxel[3].visible = 0;
  }
  const DrawableWalk fewer = DrawableVoxels(src.get(), 'y');
  ASSERT_NE(fewer.shell, src.get());
  EXPECT_EQ(fewer.shell->nvoxels, src->nvoxels - 1);
  EXPECT_EQ(fewer.Origin(3), 4);
}

}  // namespace
