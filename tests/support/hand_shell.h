// Shells for tests and benchmarks: one holding exactly the voxels at given
// positions, the import wizard's object shell of a label scene, and a
// labelled body shell of a grey phantom.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/adjacency3.h"
#include "core/scene.h"
#include "render/normal.h"
#include "render/shell.h"
#include "segment/analysis3.h"
#include "segment/segmentation3.h"

// Every field but the position is left at its default for the test to set.
inline std::unique_ptr<Shell> ShellAt(int xs, int ys, int zs,
                                      const std::vector<std::array<int, 3>> &at, bool body) {
  auto scn = CreateScene(xs, ys, zs);
  for (const auto &p : at) scn->data[scn->Address(p[0], p[1], p[2])] = 1;
  const int n = static_cast<int>(at.size());
  auto shell = body ? NewBodyShell(xs, ys, zs, n) : NewShell(xs, ys, zs, n);
  SetShellVoxels(shell.get(), scn.get());
  SetShellList(shell.get(), scn.get());
  return shell;
}

// The label border of width 4 (squared 16), normals from each object's
// distance map for labels 1..nobjects, opacities 255.
inline std::unique_ptr<Shell> ObjectShell(const Scene *labels, int nobjects = 5) {
  auto A = Spheric(1.8f);
  auto border = Label2Border(labels, A.get(), 2, 16);
  int k = 0;
  for (int v : border->data) k += v != 0;
  auto shell = NewShell(labels->xsize, labels->ysize, labels->zsize, k);
  SetShellVoxels(shell.get(), border.get());
  SetShellList(shell.get(), border.get());
  for (int i = 1; i <= nobjects; i++) {
    auto bin = Threshold3(border.get(), i, i);
    SetObjectNormal(shell.get(), TDistTrans3(bin.get(), A.get(), 2, 16).get(), DistGradient3, i);
  }
  return shell;
}

// The body shell of every voxel of a grey phantom, labelled by value
// (2 from 2000, 1 from 1000, 3 below) and opaque from 1000 (30 below).
inline std::unique_ptr<Shell> LabelledBodyShell(Scene *grey) {
  auto body = Scene2Shell(grey);
  for (int i = 0; i < body->nvoxels; i++) {
    const int value = body->body[i].value;
    body->voxel[i].label = value >= 2000 ? 2 : value >= 1000 ? 1 : 3;
    body->voxel[i].opacity = value >= 1000 ? 255 : 30;
  }
  return body;
}
