// Start-up: one interpreter with the file store, the libraries, the command
// table and the main interface script.
#pragma once

#include <tcl.h>

extern Tcl_Interp *Et_Interp;

// Start-up without forking and without touching file descriptors.
int Et_Init(int argc, char **argv);
// Creates the interpreter, publishes the arguments, initialises it and runs
// the event loop. Returns 1 when the Tcl version check fails, otherwise 0.
int Et_Local_Init(int argc, char **argv);
// Makes an interpreter ready for the application and sources "orvane.tcl".
// TCL_OK when the main script ran without error.
int Et_DoInit(Tcl_Interp *interp);

// Everything Et_DoInit does before the main script; Tk only when withTk.
// The scripting shell uses it directly. Errors are left in the result.
int Et_PrepareInterp(Tcl_Interp *interp, bool withTk);

// The Tcl version check; reports through Et_Bgerror and returns TCL_ERROR
// when the library is not the one the program was built against.
int Et_CheckTclVersion(Tcl_Interp *interp);

// Sets argv, argc, argv0 and tcl_interactive from the process arguments.
void Et_PublishArguments(Tcl_Interp *interp, int argc, char **argv);

// The stored script that defines Et_Bgerror, and the console script.
extern const char zBgerror[];
extern const char zWaitForever[];
extern const char zEtConsole[];
extern const int zEtConsoleSize;
