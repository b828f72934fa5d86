#include "commands/modules.h"

std::vector<CommandSpec> ShellCommands() {
  return {
  };
}
