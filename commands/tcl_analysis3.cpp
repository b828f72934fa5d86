#include "commands/modules.h"
#include "core/adjacency3.h"
#include "core/scene.h"
#include "segment/analysis3.h"
#include "segment/annscn.h"

std::vector<CommandSpec> Analysis3Commands() {
  return {
      Wrap<&iftDistTrans3>("iftDistTrans3", {"ascn", "A", "side"}),
      Wrap<&DistTrans3>("DistTrans3", {"bin", "A", "side"}),
      Wrap<&TDistTrans3>("TDistTrans3", {"bin", "A", "side", "limit"}),
      Wrap<&Label2Border>("Label2Border", {"lscn", "A", "side", "limit"}),
  };
}
