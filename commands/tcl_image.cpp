#include "commands/modules.h"

std::vector<CommandSpec> ImageCommands() {
  return {
  };
}
