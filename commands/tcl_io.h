// The hand-made "c_" commands, grouped by the part of the program they serve.
// IoCommands() in tcl_io.cpp joins them into the module's table.
#pragma once

#include <vector>

#include "commands/table.h"

std::vector<CommandSpec> IoPhotoCommands();   // photo bridge and scene values
std::vector<CommandSpec> IoCurveCommands();   // curves and lists
std::vector<CommandSpec> IoPlaneCommands();   // cut planes
std::vector<CommandSpec> IoContextCommands(); // viewing context and z-buffer
std::vector<CommandSpec> IoShellCommands();   // shells: values, slices and freeing
std::vector<CommandSpec> IoShellFieldCommands();  // shell fields, scenes and normals
std::vector<CommandSpec> IoProgressCommands();    // the long loops' listener
