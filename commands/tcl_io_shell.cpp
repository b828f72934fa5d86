#include "commands/tcl_io.h"

std::vector<CommandSpec> IoShellCommands() {
  return {
  };
}
