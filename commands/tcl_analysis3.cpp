#include "commands/modules.h"

std::vector<CommandSpec> Analysis3Commands() {
  return {
  };
}
