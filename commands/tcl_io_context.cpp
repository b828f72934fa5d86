#include "commands/tcl_io.h"

std::vector<CommandSpec> IoContextCommands() {
  return {
  };
}
