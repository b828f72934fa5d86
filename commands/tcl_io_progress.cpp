// The listener of the core's long loops (core/progress.h): while one runs,
// the windows are redrawn and their buttons answered about ten times a
// second, and a script decides whether the user asked to stop.
//
//   c_ProgressHook script ?ms?   listen (ms 0: at every tick); `script`
//                                returns true to stop
//   c_ProgressHook               stop listening
//   c_LiveObjects                the number of live handles (what a
//                                cancelled operation must leave unchanged)
//
// A stopped command fails with the message "cancelled"; what it had made is
// freed. Only window events and idle work (drawing) are served during a
// step: timers and file events wait for the step's end, so no script of the
// program's own runs in the middle of a core operation except the buttons
// of the window holding the grab and `script`.
#include <string>

#include <tcl.h>

#include "commands/registry.h"
#include "commands/tcl_io.h"
#include "core/progress.h"

namespace {

struct Listening {
  Tcl_Interp *interp = nullptr;
  std::string script;
};

Listening gListening;

// Events served in one call at most: a flood of them must not stall the
// step it interrupts.
constexpr int kMaxEvents = 200;

bool ServeAndAsk(void *data) {
  auto *l = static_cast<Listening *>(data);
  Tcl_InterpState saved = Tcl_SaveInterpState(l->interp, TCL_OK);
  for (int i = 0; i < kMaxEvents; i++) {
    if (!Tcl_DoOneEvent(TCL_WINDOW_EVENTS | TCL_IDLE_EVENTS | TCL_DONT_WAIT)) break;
  }
  int stop = 0;
  if (Tcl_EvalEx(l->interp, l->script.c_str(), -1, TCL_EVAL_GLOBAL) == TCL_OK) {
    if (Tcl_GetBooleanFromObj(nullptr, Tcl_GetObjResult(l->interp), &stop) != TCL_OK) stop = 0;
  }
  Tcl_RestoreInterpState(l->interp, saved);
  return stop != 0;
}

int ProgressHookCmd(Tcl_Interp *interp, int argc, const char *argv[]) {
  if (argc < 2 || argv[1][0] == '\0') {
    progress::Listen(nullptr, nullptr, 0);
    gListening = Listening();
  } else {
    gListening.interp = interp;
    gListening.script = argv[1];
    long ms = argc > 2 ? ArgInt(argv[2]) : 100;
    progress::Listen(ServeAndAsk, &gListening, static_cast<int>(ms < 0 ? 0 : ms > 10000 ? 10000 : ms));
  }
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int LiveObjectsCmd(Tcl_Interp *interp, int, const char *[]) {
  Tcl_SetObjResult(interp, Tcl_NewWideIntObj(static_cast<Tcl_WideInt>(Objects().LiveCount())));
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoProgressCommands() {
  return {Hand("c_ProgressHook", ProgressHookCmd, "usage: %s ?script? ?ms?\n", 0, 2),
          Hand("c_LiveObjects", LiveObjectsCmd, "usage: %s\n", 0, 0)};
}
