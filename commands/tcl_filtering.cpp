#include "commands/modules.h"
#include "core/kernel.h"

std::vector<CommandSpec> FilteringCommands() {
  return {
      Wrap<&CreateKernel>("CreateKernel", {"A"}),
      Wrap<&GaussianKernel>("GaussianKernel", {"A", "mean", "stddev"}),
      Wrap<&DestroyKernel>("DestroyKernel", {"K"}),
  };
}
