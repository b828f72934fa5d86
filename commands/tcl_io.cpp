#include "commands/tcl_io.h"

#include "commands/modules.h"

std::vector<CommandSpec> IoCommands() {
  std::vector<CommandSpec> all;
  for (auto group : {IoPhotoCommands, IoCurveCommands, IoPlaneCommands, IoContextCommands,
                     IoShellCommands}) {
    for (CommandSpec &spec : group()) all.push_back(std::move(spec));
  }
  return all;
}
