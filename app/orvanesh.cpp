// orvanesh: the scripting shell. The interpreter of the program, with the
// same file store, formatted evaluation and command table, without the
// interface and without forking.
//
//   orvanesh ?-tk? ?script ?arg ...??
//
// Runs the script file (standard input when none is given, or "-"), loads Tk
// only with -tk (or when the script asks for it with package require Tk),
// and exits with the script's status: 0, the code given to exit, or 1 after
// an error, whose trace goes to standard error.
#include <cstdio>
#include <cstring>
#include <string>

#include <tcl.h>

#include "app/startup.h"

static int RunScript(Tcl_Interp *interp, const char *path) {
  if (path != nullptr) return Tcl_EvalFile(interp, path);
  std::string script;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, stdin)) > 0) script.append(buf, n);
  return Tcl_Eval(interp, script.c_str());
}

int main(int argc, char **argv) {
  bool withTk = false;
  int first = 1;
  if (first < argc && strcmp(argv[first], "-tk") == 0) {
    withTk = true;
    ++first;
  }
  const char *script = nullptr;
  if (first < argc && strcmp(argv[first], "-") != 0) script = argv[first];

  Tcl_FindExecutable(argv[0]);
  Tcl_Interp *interp = Tcl_CreateInterp();
  if (Et_CheckTclVersion(interp) != TCL_OK) return 1;

  // argv0 is the script, argv what follows it, as tclsh does.
  std::string self = script ? script : argv[0];
  int shift = first < argc ? first : argc - 1;
  argv[shift] = self.data();
  Et_PublishArguments(interp, argc - shift, argv + shift);

  if (Et_PrepareInterp(interp, withTk) != TCL_OK) {
    fprintf(stderr, "%s\n", Tcl_GetStringResult(interp));
    return 1;
  }
  int code = RunScript(interp, script);
  if (code == TCL_ERROR) {
    const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
    fprintf(stderr, "%s\n", info ? info : Tcl_GetStringResult(interp));
    Tcl_Exit(1);
  }
  Tcl_Exit(0);
}
