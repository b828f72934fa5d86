// The program's own printf engine and its front ends.
//
// vxprintf is a small printf of its own (not the C library's): 32-bit
// integers, its own floating-point digit generation, and the %q conversion
// that escapes a string so that it survives inside a double-quoted Tcl word.
// Every command reports errors through Et_ResultF; start-up evaluates
// scripts through Et_EvalF with %q.
#pragma once

#include <cstdarg>
#include <tcl.h>

// Receives (sink argument, text, length); the text is not NUL-terminated.
using Et_Sink = void (*)(void *arg, const char *text, int n);

// Formats into the sink; returns the number of characters written, or -1
// when the format ends with a lone '%'.
int vxprintf(Et_Sink sink, void *arg, const char *format, va_list ap);

// A newly allocated string, to be released with Tcl_Free.
char *mprintf(const char *format, ...);
char *vmprintf(const char *format, va_list ap);

char *Et_DStringAppendF(Tcl_DString *str, const char *format, ...);
void Et_ResultF(Tcl_Interp *interp, const char *format, ...);
int Et_AppendObjF(Tcl_Obj *obj, const char *format, ...);
int Et_EvalF(Tcl_Interp *interp, const char *format, ...);
int Et_GlobalEvalF(Tcl_Interp *interp, const char *format, ...);

// When non-zero, the two evaluating front ends print what they evaluate and
// its outcome on standard output. Linked to the script variable
// "Et_EvalTrace" at start-up.
extern int Et_EvalTrace;
