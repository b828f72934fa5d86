// Slice browsing: c_GetZSlice + c_SetImage + c_FreeImage of a 512 x 512
// slice of a 16-bit scene, and the same for x-slices (the strided case).
// Needs an X display (Tk photos).
//
//   DISPLAY=:0 build/bench/slice_bench
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <tcl.h>

#include "app/format.h"
#include "app/startup.h"
#include "commands/registry.h"
#include "core/scene.h"

static double MsPerSlice(Tcl_Interp *interp, const char *cmd, Handle scn, int slices) {
  const int rounds = 3;
  auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (int i = 0; i < slices; ++i) {
      if (Et_EvalF(interp, "set c [%s %d %d]; c_SetImage $c view 0.1 0.2 0.3; c_FreeImage $c", cmd,
                   i, static_cast<int>(scn)) != TCL_OK) {
        fprintf(stderr, "%s\n", Tcl_GetStringResult(interp));
        exit(1);
      }
    }
  }
  // Let Tk redraw nothing: the photo is not displayed, as a hidden view.
  std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / (rounds * slices);
}

int main(int, char **argv) {
  if (getenv("DISPLAY") == nullptr) {
    fprintf(stderr, "slice_bench needs an X display\n");
    return 1;
  }
  Tcl_FindExecutable(argv[0]);
  Tcl_Interp *interp = Tcl_CreateInterp();
  if (Et_PrepareInterp(interp, true) != TCL_OK) {
    fprintf(stderr, "%s\n", Tcl_GetStringResult(interp));
    return 1;
  }
  Tcl_Eval(interp, "wm withdraw .; image create photo view");

  const int nx = 512, ny = 512, nz = 512;
  auto scene = CreateScene(nx, ny, nz);
  unsigned seed = 12345;
  for (int &v : scene->data) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<int>((seed >> 16) & 0xfff);  // 12-bit CT-like values
  }
  scene->maxval = 4095;
  Handle scn = Objects().Adopt(std::move(scene));

  printf("slice browsing, 512 x 512 x 512 scene of 16-bit values, one thread\n");
  printf("  c_GetZSlice + c_SetImage (512 x 512)  %.3f ms/slice   (aim <= 3 ms)\n",
         MsPerSlice(interp, "c_GetZSlice", scn, 64));
  printf("  c_GetXSlice + c_SetImage (512 x 512)  %.3f ms/slice   (aim <= 3 ms)\n",
         MsPerSlice(interp, "c_GetXSlice", scn, 64));
  printf("  c_GetYSlice + c_SetImage (512 x 512)  %.3f ms/slice   (aim <= 3 ms)\n",
         MsPerSlice(interp, "c_GetYSlice", scn, 64));
  Tcl_DeleteInterp(interp);
  return 0;
}
