#include "commands/modules.h"

std::vector<CommandSpec> ContextCommands() {
  return {
  };
}
