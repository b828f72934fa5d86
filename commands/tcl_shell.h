// What the shell commands share: the handle names of the section arrays,
// and the scenes scripts associate with shells.
//
// A shell only points at its associated scene; the scene lives on its own
// handle and a script may free it first. The command layer remembers the
// handle, and every command that lets the core read the scene first checks
// that the handle still lives, clearing the pointer otherwise.
#pragma once

#include "commands/registry.h"

struct Shell;
struct VoxelArray;
struct ListArray;
struct BodyArray;

template <>
struct HandleName<VoxelArray> {
  static constexpr const char *value = "VoxelArray";
};
template <>
struct HandleName<ListArray> {
  static constexpr const char *value = "ListArray";
};
template <>
struct HandleName<BodyArray> {
  static constexpr const char *value = "BodyArray";
};

// Points the shell at the scene of handle h (0 detaches).
void AssociateShellScene(Shell *shell, Handle scn);
// The shell, its scene pointer cleared if that scene's handle has died.
// Call before any core operation that reads shell->scene.
Shell *WithLiveScene(Shell *shell);
// The handle of the associated scene, 0 when there is none (any more).
Handle ShellSceneHandle(Shell *shell);
// Forgets the association of a shell about to be destroyed.
void ForgetShellScene(const Shell *shell);
