// Shells made by hand for tests: a shell holding exactly the voxels at the
// given positions, every field but the position left at its default for
// the test to set.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "core/scene.h"
#include "render/shell.h"

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
