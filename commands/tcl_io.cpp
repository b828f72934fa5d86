#include "commands/tcl_io.h"

#include "commands/modules.h"

std::vector<CommandSpec> IoCommands() {
  std::vector<CommandSpec> all;
  // The context's commands sit between the two shell groups in the table.
  for (auto group : {IoPhotoCommands, IoCurveCommands, IoPlaneCommands, IoShellCommands,
                     IoContextCommands, IoShellFieldCommands}) {
    for (CommandSpec &spec : group()) all.push_back(std::move(spec));
  }
  return all;
}
