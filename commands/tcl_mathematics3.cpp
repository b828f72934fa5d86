#include "commands/modules.h"

std::vector<CommandSpec> Mathematics3Commands() {
  return {
  };
}
