// The hand-made cut-plane commands: a plane's position and direction as
// lists, the direction relative to a view, and the plane free command.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "commands/tcl_io.h"
#include "core/plane.h"
#include "render/context.h"

namespace {

void AppendFormatted(Tcl_Obj *list, const char *format, double value) {
  char text[64];
  snprintf(text, sizeof text, format, value);
  Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(text, -1));
}

void SetFloatListResult(Tcl_Interp *interp, const double v[3]) {
  Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
  for (int i = 0; i < 3; i++) AppendFormatted(list, "%f", v[i]);
  Tcl_SetObjResult(interp, list);
}

// The position truncated toward zero, as integers.
int c_GetPlanePosition(Tcl_Interp *interp, int, const char *argv[]) {
  const Plane *pl = ArgObject<Plane>(argv[1]);
  Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
  for (float c : {pl->px, pl->py, pl->pz}) AppendFormatted(list, "%.0f", std::trunc(c) + 0.0);
  Tcl_SetObjResult(interp, list);
  return TCL_OK;
}

int c_GetPlaneDirection(Tcl_Interp *interp, int, const char *argv[]) {
  const Plane *pl = ArgObject<Plane>(argv[1]);
  const double n[3] = {pl->nx, pl->ny, pl->nz};
  SetFloatListResult(interp, n);
  return TCL_OK;
}

// With M the plane's rotation: M (viewer - M^T (0, 0, -1)), from the upper
// 3x3 part of M.
int c_GetRelativePlaneDirection(Tcl_Interp *interp, int, const char *argv[]) {
  const Context *cxt = ArgObject<Context>(argv[1]);
  const Plane *pl = ArgObject<Plane>(argv[2]);
  const float (*M)[4] = pl->rotation;
  double w[3], r[3];
  for (int i = 0; i < 3; i++) w[i] = cxt->viewer[i] + static_cast<double>(M[2][i]);
  for (int i = 0; i < 3; i++) r[i] = M[i][0] * w[0] + M[i][1] * w[1] + M[i][2] * w[2];
  SetFloatListResult(interp, r);
  return TCL_OK;
}

int c_GetViewer(Tcl_Interp *interp, int, const char *argv[]) {
  const Context *cxt = ArgObject<Context>(argv[1]);
  const double v[3] = {cxt->viewer[0], cxt->viewer[1], cxt->viewer[2]};
  SetFloatListResult(interp, v);
  return TCL_OK;
}

int c_SetPlanePosition(Tcl_Interp *interp, int, const char *argv[]) {
  Plane *pl = ArgObject<Plane>(argv[1]);
  pl->px = static_cast<float>(strtod(argv[2], nullptr));
  pl->py = static_cast<float>(strtod(argv[3], nullptr));
  pl->pz = static_cast<float>(strtod(argv[4], nullptr));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoPlaneCommands() {
  return {
      Hand("c_GetPlanePosition", c_GetPlanePosition, "usage: %s <plane>\n", 1, kAnyCount),
      Hand("c_GetPlaneDirection", c_GetPlaneDirection, "usage: %s <plane>\n", 1, kAnyCount),
      Hand("c_GetRelativePlaneDirection", c_GetRelativePlaneDirection,
           "usage: %s <cxt> <plane>\n", 2, kAnyCount),
      Hand("c_GetViewer", c_GetViewer, "usage: %s <cxt> \n", 1, kAnyCount),
      Hand("c_SetPlanePosition", c_SetPlanePosition, "usage: %s <plane> <x> <y> <z>\n", 4,
           kAnyCount),
      Hand("c_FreePlane", FreeObjectCommand<Plane>, "usage: %s <plane ref>\n", 1, 1),
  };
}
