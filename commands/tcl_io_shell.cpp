// The hand-made shell commands: values at a voxel, freeing, fields, the
// associated scene, the normal setters and classification.
#include <cmath>
#include <string>
#include <unordered_map>

#include "commands/tcl_io.h"
#include "commands/tcl_shell.h"
#include "core/curve.h"
#include "core/scene.h"
#include "core/cimage.h"
#include "render/context.h"
#include "render/normal.h"
#include "render/shell.h"
#include "render/shell_query.h"
#include "segment/classify.h"

// ---- associated scenes ----

namespace {

std::unordered_map<const Shell *, Handle> &SceneHandles() {
  static std::unordered_map<const Shell *, Handle> handles;
  return handles;
}

}  // namespace

void AssociateShellScene(Shell *shell, Handle scn) {
  if (scn == 0) {
    shell->scene = nullptr;
    SceneHandles().erase(shell);
    return;
  }
  shell->scene = Objects().Get<Scene>(scn);
  SceneHandles()[shell] = scn;
}

Shell *WithLiveScene(Shell *shell) {
  auto it = SceneHandles().find(shell);
  if (it == SceneHandles().end()) {
    shell->scene = nullptr;
  } else if (!Objects().Alive(it->second)) {
    shell->scene = nullptr;
    SceneHandles().erase(it);
  }
  return shell;
}

Handle ShellSceneHandle(Shell *shell) {
  WithLiveScene(shell);
  auto it = SceneHandles().find(shell);
  return it == SceneHandles().end() ? 0 : it->second;
}

void ForgetShellScene(const Shell *shell) { SceneHandles().erase(shell); }

// ---- commands ----

namespace {

Shell *ShellArg(const char *s) { return ArgObject<Shell>(s); }

// A coordinate read as a number and truncated; one beyond the integers
// lies outside every shell.
int Coordinate(const char *s) {
  double v = std::trunc(ArgDouble(s));
  return std::isfinite(v) && std::fabs(v) < 2.0e9 ? static_cast<int>(v) : -1;
}

void SetInt(Tcl_Interp *interp, long long v) { Tcl_SetObjResult(interp, Tcl_NewWideIntObj(v)); }

// Integers, and the handles of the query, slice and classification
// commands, read with the interpreter's own parser: malformed text fails.
int InterpInt(Tcl_Interp *interp, const char *s) {
  int v = 0;
  if (Tcl_GetInt(interp, s, &v) != TCL_OK) throw CommandError(Tcl_GetStringResult(interp));
  return v;
}

template <class T>
T *InterpObject(Tcl_Interp *interp, const char *s) {
  return Objects().Get<T>(InterpInt(interp, s));
}

// A handle of 0 names no object.
template <class T>
T *OptionalObject(Tcl_Interp *interp, const char *s) {
  int h = InterpInt(interp, s);
  return h == 0 ? nullptr : Objects().Get<T>(h);
}

Curve *OptionalCurve(Tcl_Interp *interp, const char *s) { return OptionalObject<Curve>(interp, s); }

// ---- queries, slices and picking ----

int c_GetShellValue(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = WithLiveScene(InterpObject<Shell>(interp, argv[1]));
  SetInt(interp, ShellValue(shell, Coordinate(argv[2]), Coordinate(argv[3]), Coordinate(argv[4])));
  return TCL_OK;
}

int c_GetShellGradient(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = InterpObject<Shell>(interp, argv[1]);
  SetInt(interp,
         ShellGradient(shell, Coordinate(argv[2]), Coordinate(argv[3]), Coordinate(argv[4])));
  return TCL_OK;
}

// c_HighlightObject and c_ContourObject: <cxt> <img> <obj>; 0 for object 0.
template <std::unique_ptr<CImage> (*Mark)(const Context *, const CImage *, int)>
int MarkObjectCommand(Tcl_Interp *interp, int, const char *argv[]) {
  const Context *cxt = InterpObject<Context>(interp, argv[1]);
  const CImage *img = InterpObject<CImage>(interp, argv[2]);
  SetObjectResult(interp, Mark(cxt, img, InterpInt(interp, argv[3])));
  return TCL_OK;
}

// c_GetShellXSlice and its twins: <n> <cxt> <shell> ?curve?, cxt 0 for
// grey pictures.
template <char axis>
int ShellSliceCommand(Tcl_Interp *interp, int argc, const char *argv[]) {
  const int n = InterpInt(interp, argv[1]);
  const Context *cxt = OptionalObject<Context>(interp, argv[2]);
  Shell *shell = WithLiveScene(InterpObject<Shell>(interp, argv[3]));
  const Curve *window = argc > 4 ? OptionalCurve(interp, argv[4]) : nullptr;
  SetObjectResult(interp, ShellSliceImage(shell, cxt, axis, n, window));
  return TCL_OK;
}

// c_PreviewXSlice and its twins: <shell> <cimg> <n> <curve> <curve>.
template <char axis>
int PreviewSliceCommand(Tcl_Interp *interp, int, const char *argv[]) {
  const Shell *shell = InterpObject<Shell>(interp, argv[1]);
  const CImage *cimg = InterpObject<CImage>(interp, argv[2]);
  const int n = InterpInt(interp, argv[3]);
  Curve *density = OptionalCurve(interp, argv[4]);
  Curve *gradient = OptionalCurve(interp, argv[5]);
  SetObjectResult(interp, PreviewShellSlice(shell, cimg, axis, n, density, gradient));
  return TCL_OK;
}

int c_FreeShell(Tcl_Interp *interp, int, const char *argv[]) {
  std::unique_ptr<Shell> shell = Objects().Take<Shell>(ArgHandle(argv[1]));
  ForgetShellScene(shell.get());
  DestroyShell(&shell);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_GetShellMaximum(Tcl_Interp *interp, int, const char *argv[]) {
  SetInt(interp, ShellArg(argv[1])->maximum);
  return TCL_OK;
}

int c_GetShellNObjects(Tcl_Interp *interp, int, const char *argv[]) {
  SetInt(interp, ShellArg(argv[1])->nobjects & 0xFF);
  return TCL_OK;
}

int c_CountShellVoxels(Tcl_Interp *interp, int, const char *argv[]) {
  SetInt(interp, ShellArg(argv[1])->nvoxels);
  return TCL_OK;
}

int c_SetObjectNormal(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = ShellArg(argv[1]);
  Scene *dist = ArgObject<Scene>(argv[2]);
  int obj = static_cast<int>(ArgInt(argv[3]));
  CheckShellScene(shell, dist, "c_SetObjectNormal");
  SetObjectNormal(shell, dist, DistGradient3, obj);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_IsBodyShell(Tcl_Interp *interp, int, const char *argv[]) {
  SetInt(interp, IsBodyShell(ShellArg(argv[1])) ? 1 : 0);
  return TCL_OK;
}

int c_ShellHasScene(Tcl_Interp *interp, int, const char *argv[]) {
  SetInt(interp, ShellSceneHandle(ShellArg(argv[1])) != 0 ? 1 : 0);
  return TCL_OK;
}

int c_GetShellScene(Tcl_Interp *interp, int, const char *argv[]) {
  SetHandleResult(interp, ShellSceneHandle(ShellArg(argv[1])));
  return TCL_OK;
}

int c_SetDistNormal(Tcl_Interp *interp, int, const char *argv[]) {
  SetDistNormal(ShellArg(argv[1]));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_SetShellNormal(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = ShellArg(argv[1]);
  Scene *scn = ArgObject<Scene>(argv[2]);
  CheckShellScene(shell, scn, "c_SetShellNormal");
  if (IsBodyShell(shell)) {
    SetBodyShellNormal(shell, scn, Gradient3);
  } else {
    SetShellNormal(shell, scn, Gradient3);
  }
  Tcl_ResetResult(interp);
  return TCL_OK;
}

// Scene 0 detaches the shell's scene.
int c_SetShellScene(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = ShellArg(argv[1]);
  Handle h = ArgHandle(argv[2]);
  if (h != 0) CheckShellScene(shell, Objects().Get<Scene>(h), "c_SetShellScene");
  AssociateShellScene(shell, h);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_SetShellResolution(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = ShellArg(argv[1]);
  shell->dx = static_cast<float>(ArgDouble(argv[2]));
  shell->dy = static_cast<float>(ArgDouble(argv[3]));
  shell->dz = static_cast<float>(ArgDouble(argv[4]));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

// ---- classification ----
//
// The classification commands read their handles with the interpreter's
// integer parser, except c_ClassifyObject, c_RestoreLabels and the two
// resets, which read plain base-10 numbers like the generated commands.

int c_ClassifyBodyShell(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = InterpObject<Shell>(interp, argv[1]);
  Curve *density = OptionalCurve(interp, argv[2]);
  Curve *gradient = OptionalCurve(interp, argv[3]);
  ReclassifyBodyShell(shell, density, gradient);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_ShellAutoLabel(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = InterpObject<Shell>(interp, argv[1]);
  int histHandle = InterpInt(interp, argv[2]);
  const Curve *hist = Objects().Get<Curve>(histHandle);
  double percent = 0.0;
  if (Tcl_GetDouble(interp, argv[3], &percent) != TCL_OK) {
    throw CommandError(Tcl_GetStringResult(interp));
  }
  ShellAutoLabel(shell, hist, percent);
  SetInt(interp, histHandle);
  return TCL_OK;
}

int c_ClassifyLabel(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = InterpObject<Shell>(interp, argv[1]);
  ClassifyLabel(shell, InterpObject<Curve>(interp, argv[2]));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_ShellTrainingIntensity(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = InterpObject<Shell>(interp, argv[1]);
  SetObjectResult(interp, ShellTrainingIntensity(shell, InterpObject<Curve3D>(interp, argv[2])));
  return TCL_OK;
}

// The ramp ends at the shell's maximum, which reads the associated scene.
int c_ShellTrainingGradient(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = WithLiveScene(InterpObject<Shell>(interp, argv[1]));
  SetObjectResult(interp, ShellTrainingGradient(shell, InterpObject<Curve3D>(interp, argv[2])));
  return TCL_OK;
}

int c_ClassifyObject(Tcl_Interp *interp, int, const char *argv[]) {
  Shell *shell = ShellArg(argv[1]);
  Scene *scn = ArgObject<Scene>(argv[2]);
  Curve *curve = ArgObject<Curve>(argv[3]);
  ClassifyObject(shell, scn, curve, Intensity3, static_cast<int>(ArgInt(argv[4])));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_RestoreLabels(Tcl_Interp *interp, int, const char *argv[]) {
  Scene *scn = ArgObject<Scene>(argv[1]);
  Scene *lscn = ArgObject<Scene>(argv[2]);
  RestoreLabels(scn, lscn, static_cast<int>(ArgInt(argv[3])));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_ResetShellOpacity(Tcl_Interp *interp, int, const char *argv[]) {
  ResetShellOpacity(ShellArg(argv[1]));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int c_ResetShellLabel(Tcl_Interp *interp, int, const char *argv[]) {
  ResetShellLabel(ShellArg(argv[1]));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoShellCommands() {
  return {
      Hand("c_GetShellValue", c_GetShellValue, "usage: %s <shell> <x> <y> <z>\n", 4, kAnyCount),
      Hand("c_GetShellGradient", c_GetShellGradient, "usage: %s <shell> <x> <y> <z>\n", 4,
           kAnyCount),
      Hand("c_HighlightObject", MarkObjectCommand<HighlightObject>,
           "usage: %s <cxt> <img> <obj> \n", 3, kAnyCount),
      Hand("c_ContourObject", MarkObjectCommand<ContourObject>, "usage: %s <cxt> <img> <obj> \n",
           3, kAnyCount),
      Hand("c_GetShellXSlice", ShellSliceCommand<'x'>, "usage: %s <x> <cxt> <shell> ?curve?\n", 3,
           kAnyCount),
      Hand("c_GetShellYSlice", ShellSliceCommand<'y'>, "usage: %s <y> <cxt> <shell> ?curve?\n", 3,
           kAnyCount),
      Hand("c_GetShellZSlice", ShellSliceCommand<'z'>, "usage: %s <z> <cxt> <shell> ?curve?\n", 3,
           kAnyCount),
      Hand("c_PreviewXSlice", PreviewSliceCommand<'x'>,
           "usage: %s <shell> <cimg> <x> <curve> <curve>\n", 5, kAnyCount),
      Hand("c_PreviewYSlice", PreviewSliceCommand<'y'>,
           "usage: %s <shell> <cimg> <y> <curve> <curve>\n", 5, kAnyCount),
      Hand("c_PreviewZSlice", PreviewSliceCommand<'z'>,
           "usage: %s <shell> <cimg> <z> <curve> <curve>\n", 5, kAnyCount),
      Hand("c_FreeShell", c_FreeShell, "usage: %s <shellref>\n", 1, 1),
  };
}

std::vector<CommandSpec> IoShellFieldCommands() {
  return {
      Hand("c_GetShellMaximum", c_GetShellMaximum, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_GetShellNObjects", c_GetShellNObjects, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_CountShellVoxels", c_CountShellVoxels, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_SetObjectNormal", c_SetObjectNormal, "usage: %s <shell> <dist scene> <obj>\n", 3,
           kAnyCount),
      Hand("c_IsBodyShell", c_IsBodyShell, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_ShellHasScene", c_ShellHasScene, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_GetShellScene", c_GetShellScene, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_SetDistNormal", c_SetDistNormal, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_SetShellNormal", c_SetShellNormal, "usage: %s <shell> <scn>\n", 2, kAnyCount),
      Hand("c_SetShellScene", c_SetShellScene, "usage: %s <shell> <scn>\n", 2, 2),
      Hand("c_SetShellResolution", c_SetShellResolution, "usage: %s <shell> <dx> <dy> <dz>\n",
           4, 4),
      Hand("c_ClassifyBodyShell", c_ClassifyBodyShell, "usage: %s <shell> <curve1> curve2>\n", 3,
           kAnyCount),
      Hand("c_ShellAutoLabel", c_ShellAutoLabel, "usage: %s <shell> <curve> <percent>\n", 3, 3),
      Hand("c_ClassifyLabel", c_ClassifyLabel, "usage: %s <shell> <curve1>\n", 2, kAnyCount),
      Hand("c_ShellTrainingIntensity", c_ShellTrainingIntensity, "usage: %s <shell> <curve>\n", 2,
           2),
      Hand("c_ShellTrainingGradient", c_ShellTrainingGradient, "usage: %s <shell> <curve>\n", 2,
           2),
      Hand("c_ClassifyObject", c_ClassifyObject,
           "usage: %s <shell> <dist scene> <curve> <obj>\n", 4, kAnyCount),
      Hand("c_RestoreLabels", c_RestoreLabels, "usage: %s <scn> <lscn> <label>\n", 3, kAnyCount),
      Hand("c_ResetShellOpacity", c_ResetShellOpacity, "usage: %s <shell>\n", 1, kAnyCount),
      Hand("c_ResetShellLabel", c_ResetShellLabel, "usage: %s <shell>\n", 1, kAnyCount),
  };
}
