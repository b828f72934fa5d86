#include "commands/modules.h"
#include "core/adjacency.h"
#include "lib2d/segmentation.h"
#include "segment/annimg.h"

std::vector<CommandSpec> SegmentationCommands() {
  return {
      Wrap<&iftFindOEdge>("iftFindOEdge", {"aimg", "A", "oimg", "orient", "src", "dst"}),
      Wrap<&GetRoot>("GetRoot", {"aimg"}),
      Wrap<&GetSKIZ>("GetSKIZ", {"aimg"}),
      Wrap<&GetMarker>("GetMarker", {"aimg"}),
      Wrap<&ValidContPoint>("ValidContPoint", {"bin", "L", "R", "p"}),
      Wrap<&LabelContour>("LabelContour", {"bin"}),
      Wrap<&LabelContPixel>("LabelContPixel", {"bin"}),
      Wrap<&LabelComp>("LabelComp", {"img", "A", "thres"}),
      Wrap<&LabelBinComp>("LabelBinComp", {"bin", "A"}),
      Wrap<&Paint>("Paint", {"bin", "value"}),
      Wrap<&Threshold>("Threshold", {"img", "lower", "higher"}),
      Wrap<&AutoThreshold>("AutoThreshold", {"img"}),
      Wrap<&AcceptEdge>("AcceptEdge", {"aimg", "edge"}),
      Wrap<&Clustering>("Clustering", {"img", "A", "Co", "Ao"}),
      Wrap<&Highlight>("Highlight", {"img", "label", "value"}),
      Wrap<&CHighlight>("CHighlight", {"cimg", "label", "R", "G", "B"}),
      Wrap<&CutPath>("CutPath", {"aimg", "src", "dst"}),
      Wrap<&iftFindEdge>("iftFindEdge", {"aimg", "A", "src", "dst"}),
      Wrap<&RegMin>("RegMin", {"img", "A"}),
      Wrap<&RegMax>("RegMax", {"img", "A"}),
      Wrap<&HDomes>("HDomes", {"img", "A", "H"}),
      Wrap<&HBasins>("HBasins", {"img", "A", "H"}),
      Wrap<&SelectHDomes>("SelectHDomes", {"img", "seed", "A", "H"}),
      Wrap<&SelectHBasins>("SelectHBasins", {"img", "seed", "A", "H"}),
      Wrap<&iftWatershed>("iftWatershed", {"aimg", "A"}),
      Wrap<&IncWater>("IncWater", {"aimg", "A"}),
      Wrap<&DecWater>("DecWater", {"aimg", "A"}),
      Wrap<&WaterLabel>("WaterLabel", {"img", "label", "A"}),
      Wrap<&WaterBin>("WaterBin", {"img", "bin", "A"}),
      Wrap<&WaterGray>("WaterGray", {"img", "marker", "A"}),
      Wrap<&WaterMax>("WaterMax", {"img", "marker", "A"}),
      Wrap<&TreeComputing>("TreeComputing", {"grad", "pts"}),
      Wrap<&TreeCounting>("TreeCounting", {"pred"}),
      Wrap<&TreePruning>("TreePruning", {"nsons", "pred", "pts"}),
      Wrap<&WriteNSons>("WriteNSons", {"nsons", "pred"}),

      // The 2D relations and annotated images the commands above take. The
      // annotation keeps its own copy of the image, so the image's handle
      // may be freed while it lives; GetCost, GetLabel and GetPred return
      // copies of its maps.
      Wrap<&Circular>("Circular", {"r"}),
      Wrap<&DestroyAdjRel>("DestroyAdjRel", {"A"}),
      Wrap<&AnnotateCopy>("Annotate", {"img", "cost", "label"}).NullOk("cost").NullOk("label"),
      Wrap<&AddSeed>("AddSeed", {"aimg", "p", "cost", "label", "pred"}),
      Wrap<&GetCost>("GetCost", {"aimg"}),
      Wrap<&GetLabel>("GetLabel", {"aimg"}),
      Wrap<&GetPred>("GetPred", {"aimg"}),
      Wrap<&DeAnnotate>("DeAnnotate", {"aimg"}),
  };
}
