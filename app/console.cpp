#include "app/startup.h"

// The interactive console, published as "builtin:/console.tcl".
const char zEtConsole[] = R"TCL(
proc console:create {w prompt title} {}
)TCL";
const int zEtConsoleSize = sizeof(zEtConsole) - 1;
