#include "commands/modules.h"
#include "segment/radiometric3.h"

std::vector<CommandSpec> Radiometric3Commands() {
  return {
      Wrap<&Histogram3>("Histogram3", {"scn"}),
      Wrap<&NormHistogram3>("NormHistogram3", {"scn"}),
      Wrap<&AccHistogram3>("AccHistogram3", {"scn"}),
      Wrap<&NormAccHistogram3>("NormAccHistogram3", {"scn"}),
      Wrap<&SceneLabels>("SceneLabels", {"scn"}),
      Wrap<&GaussStretch3>("GaussStretch3", {"scn", "mean", "stdev"}),
      Wrap<&LinearStretch3>("LinearStretch3", {"scn", "f1", "f2", "g1", "g2"}),
  };
}
