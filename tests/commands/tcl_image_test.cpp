// The grey and colour image command tables: usage messages, the order of
// registration, and a few calls through the interpreter (handles, lists,
// failures reported as command errors).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "commands/modules.h"
#include "support/interp.h"

namespace {

using UsageTable = std::vector<std::pair<std::string, std::string>>;

const UsageTable kImageUsage = {
    {"CreateSine", "<ncols> <nrows> <wx> <wy> <phix> <phiy>"},
    {"CreateCos", "<ncols> <nrows> <wx> <wy> <phix> <phiy>"},
    {"CreateSquare", "<xo> <yo> <xf> <yf> <ncols> <nrows> <val>"},
    {"CreateImage", "<ncols> <nrows>"},
    {"DestroyImage", "<img>"},
    {"ReadImage", "<filename>"},
    {"WriteImage", "<img> <filename>"},
    {"ConvertToNbits", "<img> <N>"},
    {"MinimumValue", "<img>"},
    {"MaximumValue", "<img>"},
    {"SetImage", "<img> <value>"},
    {"ValidPixel", "<img> <x> <y>"},
    {"CopyImage", "<img>"},
    {"AddFrame", "<img> <sz> <value>"},
    {"RemFrame", "<fimg> <sz>"},
    {"ROI", "<img> <xl> <yl> <xr> <yr>"},
    {"MBB", "<img>"},
    {"MakeFrame", "<ncols> <nrows> <value>"},
    {"PaintCircle", "<img> <center> <radius> <value>"},
    {"DrawPath", "<img> <pred> <dst> <value>"},
    {"InputSeeds", "<ncols> <nrows> <seeds>"},
    {"Rotate", "<img> <theta>"},
    {"Scale", "<img> <Sx> <Sy>"},
    {"ImageMagnitude", "<imgx> <imgy>"},
    {"CreateIntArray", "<data>"},
    {"OverlayAlphaImage", "<img> <alpha>"},
};

const UsageTable kCImageUsage = {
    {"CreateCImage", "<ncols> <nrows>"},
    {"DestroyCImage", "<cimg>"},
    {"WriteCImage", "<cimg> <filename>"},
    {"CopyCImage", "<cimg>"},
    {"Convert2CImage", "<img>"},
    {"CLinearStretch", "<cimg> <f1> <f2> <g1> <g2>"},
    {"CROI", "<cimg> <xl> <yl> <xr> <yr>"},
    {"CScale", "<cimg> <Sx> <Sy>"},
    {"COverlayAlphaImage", "<cimg> <alpha>"},
    {"GetBand", "<cimg> <band>"},
    {"ColorizeImage", "<img> <R> <G> <B>"},
    {"BlendImages", "<cimg1> <cimg2> <alpha1> <alpha2>"},
    {"ColorGradient", "<cimg>"},
    {"CImageRGBtoYCbCr", "<cimg>"},
};

void ExpectTable(const std::vector<CommandSpec> &specs, const UsageTable &expected) {
  ASSERT_EQ(specs.size(), expected.size());
  TestInterp t(specs);
  for (size_t i = 0; i < expected.size(); i++) {
    const std::string &name = expected[i].first;
    EXPECT_EQ(specs[i].name, name) << "position " << i;
    std::string usage = "usage: " + name + " " + expected[i].second + "\n";
    EXPECT_EQ(t.Err(name), usage);
    // One argument too many, even an empty one, also gets the usage.
    int count = 1;
    for (char c : expected[i].second) count += c == '<';
    std::string tooMany = name;
    for (int k = 0; k < count; k++) tooMany += " {}";
    EXPECT_EQ(t.Err(tooMany), usage);
  }
}

std::vector<CommandSpec> BothTables() {
  std::vector<CommandSpec> specs = ImageCommands();
  for (CommandSpec &s : CImageCommands()) specs.push_back(std::move(s));
  return specs;
}

}  // namespace

TEST(ImageCommandTable, UsageMessagesInOrder) { ExpectTable(ImageCommands(), kImageUsage); }

TEST(CImageCommandTable, UsageMessagesInOrder) { ExpectTable(CImageCommands(), kCImageUsage); }

TEST(ImageCommands, HandlesListsAndResults) {
  TestInterp t(BothTables());
  ASSERT_EQ(t.Ok("set a [CreateIntArray {3,1,4,-2,9}]; expr {$a > 0}"), "1");
  EXPECT_EQ(t.Ok("MaximumValue $a"), "9");
  EXPECT_EQ(t.Ok("MinimumValue $a"), "-2");
  EXPECT_EQ(t.Ok("ValidPixel $a 2 0"), "1");
  EXPECT_EQ(t.Ok("ValidPixel $a 3 0"), "0");
  // An invalid rectangle gives the handle 0.
  EXPECT_EQ(t.Ok("ROI $a 2 0 1 0"), "0");
  EXPECT_EQ(t.Ok("MBB [CreateImage 2 2]"), "0");
  // The predecessor map is a Tcl list: 2 -> 1 -> root 0.
  EXPECT_EQ(t.Ok("DrawPath $a {-1 0 1} 2 5; MinimumValue $a"), "5");
  EXPECT_EQ(t.Ok("set c [Convert2CImage $a]; MaximumValue [GetBand $c 1]"), "5");
  EXPECT_EQ(t.Ok("DestroyImage $a"), "");
}

TEST(ImageCommands, FailuresBecomeCommandErrors) {
  TestInterp t(BothTables());
  t.Ok("set a [CreateImage 3 2]");
  EXPECT_EQ(t.Err("PaintCircle $a 6 1.0 1"),
            "Error:Pixel address 6 is outside the 3 x 2 image in PaintCircle");
  EXPECT_EQ(t.Err("DrawPath $a {-1 0} 0 1"),
            "Error:Predecessor map holds 2 entries for a 3 x 2 image in DrawPath");
  EXPECT_EQ(t.Err("ImageMagnitude $a [CreateImage 2 3]"),
            "Error:Images differ in size (3 x 2 and 2 x 3) in ImageMagnitude");
  EXPECT_EQ(t.Err("BlendImages [CreateCImage 1 1] [CreateCImage 1 2] 1 1"),
            "Error:Images differ in size (1 x 1 and 1 x 2) in BlendImages");
  // A handle of the wrong type or a dead one fails the command.
  EXPECT_EQ(t.Err("CopyCImage $a"), "invalid CImage handle " + t.Ok("set a"));
  t.Ok("DestroyImage $a");
  EXPECT_EQ(t.Err("CopyImage $a"), "invalid Image handle " + t.Ok("set a"));
}
