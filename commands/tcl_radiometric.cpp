#include "commands/modules.h"

std::vector<CommandSpec> RadiometricCommands() {
  return {
  };
}
