#include "commands/modules.h"
#include "core/set.h"
#include "segment/annscn.h"
#include "segment/genift3.h"
#include "segment/segmentation3.h"

// A frontier can be empty, and an empty set is handle 0: freeing it is
// allowed and does nothing.
static int DestroySetCommand(Tcl_Interp *interp, int, const char *argv[]) {
  Handle h = ArgHandle(argv[1]);
  if (h != 0) Objects().Take<Set>(h);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

std::vector<CommandSpec> Segmentation3Commands() {
  return {
      Wrap<&TreeRemoval>("TreeRemoval", {"ascn", "A"}),
      Wrap<&DIFT>("DIFT", {"ascn", "A"}),
      Wrap<&BTreeRemoval>("BTreeRemoval", {"ascn", "A", "border", "bordermap"}),
      Wrap<&BDIFT>("BDIFT", {"ascn", "A", "isobj", "bordermap", "border"}),
      Wrap<&Threshold3>("Threshold3", {"scn", "lower", "higher"}),
      Wrap<&AutoThreshold3>("AutoThreshold3", {"scn"}),
      Wrap<&ThresholdMask3>("ThresholdMask3", {"scn", "mask", "lower", "higher"}),
      Wrap<&Highlight3>("Highlight3", {"scn", "label", "value"}),

      // The annotation, its sets and the bit maps and border list of the
      // border variants. The annotation keeps its own copy of the scene, so
      // the scene's handle may be freed while it lives; the maps GetCost3,
      // GetPred3 and GetLabel3 return die with the annotation.
      Wrap<&AnnotateCopy3>("Annotate3", {"scn"}),
      Wrap<&AddSeed3>("AddSeed3", {"ascn", "x", "y", "z", "cost", "label", "pred"}),
      Wrap<&AddMark3>("AddMark3", {"ascn", "x", "y", "z"}),
      Wrap<&GetCost3>("GetCost3", {"ascn"}),
      Wrap<&GetLabel3>("GetLabel3", {"ascn"}),
      Wrap<&GetPred3>("GetPred3", {"ascn"}),
      Wrap<&DeAnnotate3>("DeAnnotate3", {"ascn"}),
      Hand("DestroySet", DestroySetCommand, "usage: %s <set>\n", 1, 1),
      Wrap<&BMapNew>("BMapNew", {"n"}),
      Wrap<&BMapGet>("BMapGet", {"b", "n"}),
      Wrap<&BMapSet>("BMapSet", {"b", "n", "v"}),
      Wrap<&BMapDestroy>("BMapDestroy", {"b"}),
      Wrap<&CreateBorder>("CreateBorder", {"n"}),
      Wrap<&DestroyBorder>("DestroyBorder", {"B"}),
  };
}
