// The 2D library's command tables: usage messages in table order, and calls
// through the interpreter (relations and annotations made from scripts,
// integer lists in and out, failures reported as command errors).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/modules.h"
#include "support/interp.h"
#include "support/usage_table.h"

namespace {

const UsageRow kSegmentationUsage[] = {
    {"iftFindOEdge", "usage: %s <aimg> <A> <oimg> <orient> <src> <dst>\n", 6, false},
    {"GetRoot", "usage: %s <aimg>\n", 1, false},
    {"GetSKIZ", "usage: %s <aimg>\n", 1, false},
    {"GetMarker", "usage: %s <aimg>\n", 1, false},
    {"ValidContPoint", "usage: %s <bin> <L> <R> <p>\n", 4, false},
    {"LabelContour", "usage: %s <bin>\n", 1, false},
    {"LabelContPixel", "usage: %s <bin>\n", 1, false},
    {"LabelComp", "usage: %s <img> <A> <thres>\n", 3, false},
    {"LabelBinComp", "usage: %s <bin> <A>\n", 2, false},
    {"Paint", "usage: %s <bin> <value>\n", 2, false},
    {"Threshold", "usage: %s <img> <lower> <higher>\n", 3, false},
    {"AutoThreshold", "usage: %s <img>\n", 1, false},
    {"AcceptEdge", "usage: %s <aimg> <edge>\n", 2, false},
    {"Clustering", "usage: %s <img> <A> <Co> <Ao>\n", 4, false},
    {"Highlight", "usage: %s <img> <label> <value>\n", 3, false},
    {"CHighlight", "usage: %s <cimg> <label> <R> <G> <B>\n", 5, false},
    {"CutPath", "usage: %s <aimg> <src> <dst>\n", 3, false},
    {"iftFindEdge", "usage: %s <aimg> <A> <src> <dst>\n", 4, false},
    {"RegMin", "usage: %s <img> <A>\n", 2, false},
    {"RegMax", "usage: %s <img> <A>\n", 2, false},
    {"HDomes", "usage: %s <img> <A> <H>\n", 3, false},
    {"HBasins", "usage: %s <img> <A> <H>\n", 3, false},
    {"SelectHDomes", "usage: %s <img> <seed> <A> <H>\n", 4, false},
    {"SelectHBasins", "usage: %s <img> <seed> <A> <H>\n", 4, false},
    {"iftWatershed", "usage: %s <aimg> <A>\n", 2, false},
    {"IncWater", "usage: %s <aimg> <A>\n", 2, false},
    {"DecWater", "usage: %s <aimg> <A>\n", 2, false},
    {"WaterLabel", "usage: %s <img> <label> <A>\n", 3, false},
    {"WaterBin", "usage: %s <img> <bin> <A>\n", 3, false},
    {"WaterGray", "usage: %s <img> <marker> <A>\n", 3, false},
    {"WaterMax", "usage: %s <img> <marker> <A>\n", 3, false},
    {"TreeComputing", "usage: %s <grad> <pts>\n", 2, false},
    {"TreeCounting", "usage: %s <pred>\n", 1, false},
    {"TreePruning", "usage: %s <nsons> <pred> <pts>\n", 3, false},
    {"WriteNSons", "usage: %s <nsons> <pred>\n", 2, false},
    {"Circular", "usage: %s <r>\n", 1, false},
    {"DestroyAdjRel", "usage: %s <A>\n", 1, false},
    {"Annotate", "usage: %s <img> <cost> <label>\n", 3, false},
    {"AddSeed", "usage: %s <aimg> <p> <cost> <label> <pred>\n", 5, false},
    {"GetCost", "usage: %s <aimg>\n", 1, false},
    {"GetLabel", "usage: %s <aimg>\n", 1, false},
    {"GetPred", "usage: %s <aimg>\n", 1, false},
    {"DeAnnotate", "usage: %s <aimg>\n", 1, false},
};

const UsageRow kAnalysisUsage[] = {
    {"MSFractal", "usage: %s <bin> <maxdist> <degree> <lower> <higher> <reg> <from> <to>\n", 8, false},
    {"Perimeter", "usage: %s <bin>\n", 1, false},
    {"Area", "usage: %s <bin>\n", 1, false},
    {"GeomCenter", "usage: %s <bin>\n", 1, false},
    {"CompMSSkel", "usage: %s <aimg>\n", 1, false},
    {"Skeleton", "usage: %s <msskel> <perc>\n", 2, false},
    {"CompSKIZ", "usage: %s <aimg>\n", 1, false},
    {"CompSaliences", "usage: %s <aimg> <maxcost>\n", 2, false},
    {"RemSaliencesByAngle", "usage: %s <curve> <radius> <angle>\n", 3, false},
    {"PaintSaliences", "usage: %s <bin> <curve>\n", 2, false},
    {"iftFastDilation", "usage: %s <aimg> <A>\n", 2, false},
    {"iftDilation", "usage: %s <aimg> <A>\n", 2, false},
    {"iftDilationHeap", "usage: %s <aimg> <A>\n", 2, false},
    {"iftGeoDilation", "usage: %s <aimg>\n", 1, false},
    {"iftDistTrans", "usage: %s <aimg> <A> <side>\n", 3, false},
    {"DistTrans", "usage: %s <bin> <A> <side>\n", 3, false},
    {"SignedDistTrans", "usage: %s <bin> <A> <side>\n", 3, false},
    {"iftGeoDist", "usage: %s <aimg>\n", 1, false},
    {"iftGeoPath", "usage: %s <aimg>\n", 1, false},
    {"MSSkel", "usage: %s <bin> <side>\n", 2, false},
    {"SKIZ", "usage: %s <bin> <side>\n", 2, false},
    {"Saliences", "usage: %s <bin> <maxdist>\n", 2, false},
    {"SkelSaliences", "usage: %s <skel> <maxdist> <angle>\n", 3, false},
    {"PaintSkelSaliences", "usage: %s <skel> <angle>\n", 2, false},
    {"ContSaliences", "usage: %s <bin> <maxdist> <threshold> <angle>\n", 4, false},
    {"SkelCont", "usage: %s <bin> <maxdist> <threshold> <angle> <side>\n", 5, false},
    {"LabelSkel", "usage: %s <skel> <curve> <option>\n", 3, false},
};

const UsageRow kFilteringUsage[] = {
    {"MakeKernel", "usage: %s <coefs>\n", 1, false},
    {"CreateKernel", "usage: %s <A>\n", 1, false},
    {"LinearKernel", "usage: %s <A>\n", 1, false},
    {"GaussianKernel", "usage: %s <A> <mean> <stddev>\n", 3, false},
    {"LaplacianKernel", "usage: %s <A> <stddev>\n", 2, false},
    {"CircularGaussianKernel", "usage: %s <R> <s> <f>\n", 3, false},
    {"EllipticalGaussianKernel", "usage: %s <v> <E> <R> <s> <f>\n", 5, false},
    {"DestroyKernel", "usage: %s <K>\n", 1, false},
    {"LinearFilter", "usage: %s <img> <K>\n", 2, false},
    {"LinearFilter2", "usage: %s <img> <K>\n", 2, false},
    {"LaplacianBorder", "usage: %s <img> <K>\n", 2, false},
    {"MedianFilter", "usage: %s <img> <A>\n", 2, false},
    {"ModeFilter", "usage: %s <img> <A>\n", 2, false},
    {"FoldKernel", "usage: %s <K>\n", 1, false},
    {"SobelFilter", "usage: %s <img>\n", 1, false},
    {"ShapeFilter", "usage: %s <bin> <perc>\n", 2, false},
};

const UsageRow kRadiometricUsage[] = {
    {"Histogram", "usage: %s <img>\n", 1, false},
    {"NormHistogram", "usage: %s <img>\n", 1, false},
    {"AccHistogram", "usage: %s <img>\n", 1, false},
    {"NormAccHistogram", "usage: %s <img>\n", 1, false},
    {"Probability", "usage: %s <img>\n", 1, false},
    {"Equalize", "usage: %s <img>\n", 1, false},
    {"MatchHistogram", "usage: %s <img> <des>\n", 2, false},
    {"LinearStretch", "usage: %s <img> <f1> <f2> <g1> <g2>\n", 5, false},
    {"GaussStretch", "usage: %s <img> <mean> <stdev>\n", 3, false},
};
std::vector<CommandSpec> Lib2dCommands() {
  std::vector<CommandSpec> all;
  for (auto module : {SegmentationCommands, AnalysisCommands, FilteringCommands,
                      RadiometricCommands, ImageCommands})
    for (CommandSpec &spec : module()) all.push_back(std::move(spec));
  return all;
}

template <size_t N>
void ExpectModule(std::vector<CommandSpec> (*module)(), const UsageRow (&rows)[N]) {
  std::vector<CommandSpec> specs = module();
  TestInterp t(module());
  ExpectUsageTable(t, specs, rows, N);
  EXPECT_EQ(specs.size(), N);
}

}  // namespace

TEST(Lib2dCommands, UsageMessagesInTableOrder) {
  ExpectModule(SegmentationCommands, kSegmentationUsage);
  ExpectModule(AnalysisCommands, kAnalysisUsage);
  ExpectModule(FilteringCommands, kFilteringUsage);
  ExpectModule(RadiometricCommands, kRadiometricUsage);
}

class Lib2dScript : public ::testing::Test {
 protected:
  TestInterp t{Lib2dCommands()};
};

TEST_F(Lib2dScript, AWatershedFromScriptMadeRelationsAndAnnotations) {
  ASSERT_EQ(t.Ok("set img [CreateIntArray {5,1,0,1,5,1,0}];"
                 "set seeds [CreateIntArray {5,1,1,0,0,0,2}];"
                 "set A [Circular 1.0]; set ai [Annotate $img 0 $seeds];"
                 "set l [iftWatershed $ai $A]; MaximumValue $l"),
            "2");
  // The annotation keeps its own copy: the image's handle may go first.
  EXPECT_EQ(t.Ok("DestroyImage $img; set l2 [GetLabel $ai]; MinimumValue $l2"), "1");
  EXPECT_EQ(t.Ok("iftFindEdge [Annotate [CreateIntArray {3,1,1,1,1}] 0 0] $A 0 2"), "3 2 1 0");
  EXPECT_EQ(t.Ok("DeAnnotate $ai; DestroyAdjRel $A"), "");
  EXPECT_EQ(t.Err("iftWatershed $ai 1"), "invalid AnnImg handle " + t.Ok("set ai"));
}

TEST_F(Lib2dScript, BadPositionsListsAndSizesFailTheCommand) {
  t.Ok("set img [CreateImage 3 2]; set A [Circular 1.5]; set ai [Annotate $img 0 0]");
  EXPECT_EQ(t.Err("iftFindEdge $ai $A 0 6"),
            "Error:Pixel 6 is outside the image of 3 x 2 in iftFindEdge");
  EXPECT_EQ(t.Err("AcceptEdge $ai {2 1}"),
            "Error:A path is its length followed by that many pixels in AcceptEdge");
  EXPECT_EQ(t.Err("AddSeed $ai -1 0 1 0"),
            "Error:Pixel -1 is outside the image (addresses 0 to 5) in AddSeed");
  EXPECT_EQ(t.Err("WaterLabel $img [CreateImage 2 2] $A"),
            "Error:Images differ in size (3 x 2 and 2 x 2) in WaterLabel");
  EXPECT_EQ(t.Err("LinearFilter2 $img [MakeKernel 5,5,[string repeat 1, 24]1]"),
            "Error:A kernel of 5 x 5 is larger than the image of 3 x 2 in LinearFilter2");
  EXPECT_EQ(t.Err("Circular inf"), "Error:Invalid radius inf in Circular");
  EXPECT_EQ(t.Err("CircularGaussianKernel 0 1 1"),
            "Error:Invalid radius 0.000000 in CircularGaussianKernel");
  EXPECT_EQ(t.Err("EllipticalGaussianKernel {1} 1 2 1 1"),
            "Error:The direction needs two components in EllipticalGaussianKernel");
}
