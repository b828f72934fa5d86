// The hand-made viewing-context commands: the context free command, the
// context's own z-buffer, and picking from the last rendering.
#include <cstdlib>

#include "commands/tcl_io.h"
#include "render/context.h"

namespace {

// A view of the context's z-buffer: its handle dies with the context's.
int c_GetZBuffer(Tcl_Interp *interp, int, const char *argv[]) {
  Handle owner = ArgHandle(argv[1]);
  Context *cxt = Objects().Get<Context>(owner);
  SetHandleResult(interp, Objects().Borrow<ZBuffer>(cxt->zbuffer.get(), owner));
  return TCL_OK;
}

// The label drawn at image position (x, y) of the last rendering, 0
// outside the z-buffer.
int c_GetObject(Tcl_Interp *interp, int, const char *argv[]) {
  const Context *cxt = ArgObject<Context>(argv[1]);
  double x = strtod(argv[2], nullptr), y = strtod(argv[3], nullptr);
  const ZBuffer *zbuffer = cxt->zbuffer.get();
  int label = 0;
  if (x >= 0.0 && y >= 0.0 && x < zbuffer->ncols && y < zbuffer->nrows) {
    label = zbuffer->object[static_cast<int>(x) + zbuffer->tbrow[static_cast<int>(y)]];
  }
  Tcl_SetObjResult(interp, Tcl_NewIntObj(label));
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoContextCommands() {
  return {
      Hand("c_FreeContext", FreeObjectCommand<Context>, "usage: %s <cxtref>\n", 1, 1),
      Hand("c_GetZBuffer", c_GetZBuffer, "usage: %s <cxt>\n", 1, kAnyCount),
      Hand("c_GetObject", c_GetObject, "usage: %s <cxt> <x> <y>\n", 3, kAnyCount),
  };
}
