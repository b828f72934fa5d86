#include "app/startup.h"


#include <cstdlib>
#include <cstring>
#include <tk.h>

#include "app/format.h"
#include "app/store.h"
#include "core/common.h"
#include "commands/table.h"

Tcl_Interp *Et_Interp = nullptr;

const char zBgerror[] =
    "proc Et_Bgerror err {\n"
    "  global errorInfo\n"
    "  if {[info exists errorInfo]} {set ei $errorInfo} else {set ei {}}\n"
    "  if {![catch {bgerror $err}]} return\n"
    "  if {$ei!=\"\"} {set err $ei}\n"
    "  if {[catch {Et_MessageBox {Error} $err}]} {\n"
    "    puts stderr $err\n"
    "  }\n"
    "  exit\n"
    "}\n";

const char zWaitForever[] =
    "bind . <Destroy> {+if {\"%W\"==\".\"} exit}\n"
    "while 1 {vwait forever}";

static const char kTclLibrary[] = ORVANE_TCL_LIBRARY;
static const char kTkLibrary[] = ORVANE_TK_LIBRARY;
static const char kAutoPath[] = ORVANE_TCL_LIBRARY " " ORVANE_TK_LIBRARY " " ORVANE_BWIDGET_LIBRARY;

int Et_CheckTclVersion(Tcl_Interp *interp) {
  if (Tcl_PkgRequire(interp, "Tcl", TCL_PATCH_LEVEL, 1) != nullptr) return TCL_OK;
  Et_EvalF(interp,
           "Et_Bgerror \"Tcl header version (%s) does not match  Tcl library ($tcl_version)\"",
           TCL_PATCH_LEVEL);
  return TCL_ERROR;
}

void Et_PublishArguments(Tcl_Interp *interp, int argc, char **argv) {
  char *args = Tcl_Merge(argc > 0 ? argc - 1 : 0, argc > 0 ? argv + 1 : argv);
  Tcl_SetVar(interp, "argv", args, TCL_GLOBAL_ONLY);
  Tcl_Free(args);
  Et_GlobalEvalF(interp, "set argc %d", argc > 0 ? argc - 1 : 0);
  Tcl_SetVar(interp, "argv0", argc > 0 ? argv[0] : "", TCL_GLOBAL_ONLY);
  Tcl_SetVar(interp, "tcl_interactive", "0", TCL_GLOBAL_ONLY);
}

int Et_PrepareInterp(Tcl_Interp *interp, bool withTk) {
  static int already_run = 0;
  Et_RegisterFileSystem();
  if (!already_run) {
    already_run = 1;
    Et_IndexBuiltinFiles();
    KeepFreedImageMemory();
  }
  Tcl_CreateObjCommand(interp, "Et_NewBuiltinFile", Et_NewBuiltinFileCmd, nullptr, nullptr);
  Tcl_CreateCommand(interp, "source", Et_Source, nullptr, nullptr);
  Et_Interp = interp;
  Tcl_SetVar(interp, "tcl_library", kTclLibrary, TCL_GLOBAL_ONLY);
  Tcl_SetVar(interp, "tcl_libPath", kTclLibrary, TCL_GLOBAL_ONLY);
  Tcl_SetVar2(interp, "env", "TCL_LIBRARY", kTclLibrary, TCL_GLOBAL_ONLY);
  Tcl_SetVar(interp, "tk_library", kTkLibrary, TCL_GLOBAL_ONLY);
  Tcl_SetVar2(interp, "env", "TK_LIBRARY", kTkLibrary, TCL_GLOBAL_ONLY);
  Tcl_Eval(interp, zBgerror);
  if (Tcl_Init(interp) != TCL_OK) return TCL_ERROR;
  Tcl_GlobalEval(interp, "set dir $tcl_library;source $dir/tclIndex;unset dir");
  // Packages are searched only where the store holds them: every package
  // index elsewhere on the machine would name scripts that source cannot
  // serve.
  Tcl_SetVar(interp, "auto_path", kAutoPath, TCL_GLOBAL_ONLY);
  if (withTk) {
    if (Tk_Init(interp) != TCL_OK) return TCL_ERROR;
    Tcl_StaticPackage(interp, "Tk", Tk_Init, nullptr);
    Tcl_GlobalEval(interp, "set dir $tk_library;source $dir/tclIndex;unset dir");
  } else {
    // Tk stays unloaded until a script asks for it.
    Tcl_StaticPackage(nullptr, "Tk", Tk_Init, nullptr);
    Tcl_GlobalEval(interp, "package ifneeded Tk " TK_PATCH_LEVEL
                           " {load {} Tk; set dir $tk_library; source $dir/tclIndex; unset dir}");
  }
  RegisterCommands(interp, AllCommands());
  Tcl_LinkVar(interp, "Et_EvalTrace", reinterpret_cast<char *>(&Et_EvalTrace), TCL_LINK_BOOLEAN);
  Tcl_SetVar(interp, "et_version", "3.11", TCL_GLOBAL_ONLY);
  Et_NewBuiltinFile("builtin:/console.tcl", const_cast<char *>(zEtConsole), zEtConsoleSize);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int Et_DoInit(Tcl_Interp *interp) {
  if (Et_PrepareInterp(interp, true) == TCL_OK &&
      Et_EvalF(interp, "source \"%q\"", "orvane.tcl") == TCL_OK) {
    return TCL_OK;
  }
  Et_EvalF(interp, "Et_Bgerror \"%q\"", Tcl_GetStringResult(interp));
  return TCL_ERROR;
}

int Et_Local_Init(int argc, char **argv) {
  Tcl_FindExecutable(argv[0]);
  Tcl_Interp *interp = Tcl_CreateInterp();
  Tcl_Eval(interp, zBgerror);
  if (Et_CheckTclVersion(interp) != TCL_OK) {
    Tcl_DeleteInterp(interp);
    return 1;
  }
  Et_PublishArguments(interp, argc, argv);
  Et_DoInit(interp);
  Tcl_Eval(interp, zWaitForever);
  return 0;
}

int Et_Init(int argc, char **argv) {
  putenv(const_cast<char *>("TCL_LIBRARY=" ORVANE_TCL_LIBRARY));
  putenv(const_cast<char *>("TK_LIBRARY=" ORVANE_TK_LIBRARY));
  Et_Local_Init(argc, argv);
  return 0;
}
