#include "commands/modules.h"
#include "lib2d/analysis.h"

std::vector<CommandSpec> AnalysisCommands() {
  return {
      Wrap<&MSFractal>("MSFractal",
                       {"bin", "maxdist", "degree", "lower", "higher", "reg", "from", "to"}),
      Wrap<&Perimeter>("Perimeter", {"bin"}),
      Wrap<&Area>("Area", {"bin"}),
      Wrap<&GeomCenter>("GeomCenter", {"bin"}),
      Wrap<&CompMSSkel>("CompMSSkel", {"aimg"}),
      Wrap<&Skeleton>("Skeleton", {"msskel", "perc"}),
      Wrap<&CompSKIZ>("CompSKIZ", {"aimg"}),
      Wrap<&CompSaliences>("CompSaliences", {"aimg", "maxcost"}),
      Wrap<&RemSaliencesByAngle>("RemSaliencesByAngle", {"curve", "radius", "angle"}),
      Wrap<&PaintSaliences>("PaintSaliences", {"bin", "curve"}),
      Wrap<&iftFastDilation>("iftFastDilation", {"aimg", "A"}),
      Wrap<&iftDilation>("iftDilation", {"aimg", "A"}),
      Wrap<&iftDilationHeap>("iftDilationHeap", {"aimg", "A"}),
      Wrap<&iftGeoDilation>("iftGeoDilation", {"aimg"}),
      Wrap<&iftDistTrans>("iftDistTrans", {"aimg", "A", "side"}),
      Wrap<&DistTrans>("DistTrans", {"bin", "A", "side"}),
      Wrap<&SignedDistTrans>("SignedDistTrans", {"bin", "A", "side"}),
      Wrap<&iftGeoDist>("iftGeoDist", {"aimg"}),
      Wrap<&iftGeoPath>("iftGeoPath", {"aimg"}),
      Wrap<&MSSkel>("MSSkel", {"bin", "side"}),
      Wrap<&SKIZ>("SKIZ", {"bin", "side"}),
      Wrap<&Saliences>("Saliences", {"bin", "maxdist"}),
      Wrap<&SkelSaliences>("SkelSaliences", {"skel", "maxdist", "angle"}),
      Wrap<&PaintSkelSaliences>("PaintSkelSaliences", {"skel", "angle"}),
      Wrap<&ContSaliences>("ContSaliences", {"bin", "maxdist", "threshold", "angle"}),
      Wrap<&SkelCont>("SkelCont", {"bin", "maxdist", "threshold", "angle", "side"}),
      Wrap<&LabelSkel>("LabelSkel", {"skel", "curve", "option"}),
  };
}
