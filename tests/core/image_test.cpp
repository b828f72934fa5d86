// Grey images: PGM reading and writing, the value, frame and drawing
// operations, the geometric transforms and the two-image operations.
// Expected values are worked out by hand in the comments.
#include "core/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common.h"
#include "support/fatal.h"
#include "support/files.h"

namespace {

std::unique_ptr<Image> MakeImage(int ncols, int nrows, std::vector<int> values) {
  auto img = CreateImage(ncols, nrows);
  img->val = std::move(values);
  return img;
}

}  // namespace

// ---- reading ----

TEST(ReadImage, PlainWithCommentsBeforeSizeAndMaximum) {
  TempDir dir;
  WriteTestFile(dir.File("a.pgm"), "P2\n# made by hand\n3 2\n# max next\n9\n1 2 3\n  4\t5\n6\n");
  auto img = ReadImage(dir.File("a.pgm").c_str());
  EXPECT_EQ(img->ncols, 3);
  EXPECT_EQ(img->nrows, 2);
  EXPECT_EQ(img->val, (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(img->tbrow, (std::vector<int>{0, 3}));
}

TEST(ReadImage, RawOneBytePerPixelAndCommentBytesAfterHeader) {
  TempDir dir;
  // A comment between the magic word and the size line is skipped; once the
  // pixel data starts, "#" is just byte 35.
  WriteTestFile(dir.File("a.pgm"), Bytes("P5\n# c\n2 2\n255\n#\x01\xff\x80"));
  auto img = ReadImage(dir.File("a.pgm").c_str());
  EXPECT_EQ(img->val, (std::vector<int>{35, 1, 255, 128}));
}

TEST(ReadImage, RawTwoBytesPerPixelMostSignificantFirst) {
  TempDir dir;
  WriteTestFile(dir.File("a.pgm"), Bytes("P5\n3 1\n65535\n\x01\x02\xff\xff\x00\x07"));
  auto img = ReadImage(dir.File("a.pgm").c_str());
  // 0x0102 = 258, 0xffff = 65535, 0x0007 = 7.
  EXPECT_EQ(img->val, (std::vector<int>{258, 65535, 7}));
}

TEST(ReadImage, TruncatedFilesFail) {
  TempDir dir;
  std::string f = dir.File("short.pgm");
  WriteTestFile(f, Bytes("P5\n2 2\n255\n\x01\x02\x03"));
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Truncated image file " + f +
                ": expected 4 bytes of pixel data, found 3 in ReadImage");
  WriteTestFile(f, Bytes("P5\n2 2\n1000\n\x01\x02\x03\x04\x05"));
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Truncated image file " + f +
                ": expected 8 bytes of pixel data, found 5 in ReadImage");
  WriteTestFile(f, "P2\n2 2\n9\n1 2 3\n");
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Truncated image file " + f + ": expected 4 pixel values, found 3 in ReadImage");
  // A header promising 400 million pixels is refused without allocating them.
  WriteTestFile(f, Bytes("P5\n20000 20000\n255\n\x01"));
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Truncated image file " + f +
                ": expected 400000000 bytes of pixel data, found 1 in ReadImage");
  WriteTestFile(f, "P2\n2 2\n");
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Image file " + f + " ends before its maximum value in ReadImage");
}

TEST(ReadImage, MalformedHeadersFail) {
  TempDir dir;
  std::string f = dir.File("bad.pgm");
  WriteTestFile(f, "P6\n2 2\n255\n");
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Input image must be P2 or P5 in ReadImage");
  WriteTestFile(f, "P2\nwide 2\n9\n1 2\n");
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Invalid size line \"wide 2\" in image file " + f + " in ReadImage");
  WriteTestFile(f, "P2\n0 2\n9\n");
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }), "Error:Invalid size 0 x 2 x 1 in ReadImage");
  WriteTestFile(f, "P2\n2 1\n9\n1 x\n");
  EXPECT_EQ(FatalText([&] { ReadImage(f.c_str()); }),
            "Error:Malformed pixel value in image file " + f + " after 1 values in ReadImage");
  EXPECT_EQ(FatalText([&] { ReadImage(dir.File("none.pgm").c_str()); }),
            "Error:Cannot open " + dir.File("none.pgm") + " in ReadImage");
}

// ---- writing ----

TEST(WriteImage, SeventeenValuesALineThenReadBack) {
  TempDir dir;
  std::vector<int> v(18);
  for (int i = 0; i < 18; i++) v[i] = i;
  v[5] = -3;
  auto img = MakeImage(6, 3, v);
  std::string f = dir.File("a.pgm");
  WriteImage(img.get(), f.c_str());
  EXPECT_EQ(ReadTestFile(f),
            "P2\n6 3\n17\n0 1 2 3 4 -3 6 7 8 9 10 11 12 13 14 15 16 \n17 ");
  auto back = ReadImage(f.c_str());
  EXPECT_EQ(back->ncols, 6);
  EXPECT_EQ(back->nrows, 3);
  EXPECT_EQ(back->val, v);
}

TEST(WriteImage, MaximumLineOfZeroAndInfiniteImages) {
  TempDir dir;
  std::string f = dir.File("a.pgm");
  auto zero = CreateImage(2, 1);
  WriteImage(zero.get(), f.c_str());
  EXPECT_EQ(ReadTestFile(f), "P2\n2 1\n1\n0 0 ");
  auto inf = MakeImage(3, 1, {9, kImageInfinity, 4});
  WriteImage(inf.get(), f.c_str());
  EXPECT_EQ(ReadTestFile(f), "P2\n3 1\n10\n9 10 4 ");
  auto negative = MakeImage(2, 1, {-5, -2});
  WriteImage(negative.get(), f.c_str());
  EXPECT_EQ(ReadTestFile(f), "P2\n2 1\n-2\n-5 -2 ");
}

TEST(WriteImage, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  std::string f = dir.File("a.pgm");
  WriteTestFile(f, "old contents");
  auto big = CreateImage(200, 200);  // about 80 kB of text
  std::string msg;
  WithFileSizeLimit(1000, [&] { msg = FatalText([&] { WriteImage(big.get(), f.c_str()); }); });
  EXPECT_EQ(msg.rfind("Error:Cannot write " + f, 0), 0u) << msg;
  EXPECT_EQ(ReadTestFile(f), "old contents");
  EXPECT_EQ(FatalText([&] { WriteImage(big.get(), dir.File("no/such.pgm").c_str()); }),
            "Error:Cannot open " + dir.File("no/such.pgm") + " in WriteImage");
  // Nothing but the old file is left behind.
  EXPECT_EQ(std::system(("test $(ls " + dir.path() + " | wc -l) -eq 1").c_str()), 0);
}

// ---- values ----

TEST(ImageValues, MinimumMaximumSetValidCopy) {
  auto img = MakeImage(3, 1, {4, -7, 2});
  EXPECT_EQ(MinimumValue(img.get()), -7);
  EXPECT_EQ(MaximumValue(img.get()), 4);
  auto copy = CopyImage(img.get());
  EXPECT_EQ(copy->val, img->val);
  EXPECT_EQ(copy->tbrow, img->tbrow);
  SetImage(img.get(), 5);
  EXPECT_EQ(img->val, (std::vector<int>{5, 5, 5}));
  EXPECT_EQ(copy->val[1], -7);
  EXPECT_TRUE(ValidPixel(img.get(), 2, 0));
  EXPECT_FALSE(ValidPixel(img.get(), 3, 0));
  EXPECT_FALSE(ValidPixel(img.get(), 0, 1));
  EXPECT_FALSE(ValidPixel(img.get(), -1, 0));
}

TEST(ConvertToNbits, LinearOntoTheRangeIgnoringMarkers) {
  // Finite values 10..30 onto 0..255: 20 -> trunc(127.5) = 127, 25 -> 191.
  auto img = MakeImage(6, 1, {10, 20, 30, kImageMinusInfinity, kImageInfinity, 25});
  auto out = ConvertToNbits(img.get(), 8);
  EXPECT_EQ(out->val, (std::vector<int>{0, 127, 255, 0, 255, 191}));
  auto one = ConvertToNbits(img.get(), 1);
  EXPECT_EQ(one->val, (std::vector<int>{0, 0, 1, 0, 1, 0}));
  // Range 7: 1 -> trunc(255/7) = 36, 6 -> trunc(1530/7) = 218, 7 -> 255 exactly.
  auto seven = MakeImage(4, 1, {0, 1, 6, 7});
  EXPECT_EQ(ConvertToNbits(seven.get(), 8)->val, (std::vector<int>{0, 36, 218, 255}));
  // 31 bits over the whole int range: the top value is INT_MAX.
  auto wide = MakeImage(3, 1, {INT_MIN + 1, 0, INT_MAX - 1});
  EXPECT_EQ(ConvertToNbits(wide.get(), 31)->val,
            (std::vector<int>{0, 1073741823, 2147483647}));
  auto flat = MakeImage(3, 1, {7, 7, kImageInfinity});
  EXPECT_EQ(ConvertToNbits(flat.get(), 8)->val, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(FatalText([&] { ConvertToNbits(img.get(), 0); }),
            "Error:Number of bits 0 is not between 1 and 31 in ConvertToNbits");
  EXPECT_EQ(FatalText([&] { ConvertToNbits(img.get(), 32); }),
            "Error:Number of bits 32 is not between 1 and 31 in ConvertToNbits");
}

// ---- construction ----

TEST(CreateWaves, QuarterPeriodsAcrossFourColumns) {
  // t = 0, pi/2, pi, 3pi/2 along x: 127.5 (1 + sin t) = 127.5, 255, 127.5, 0.
  auto s = CreateSine(4, 2, 1, 0, 0, 0);
  EXPECT_EQ(s->val, (std::vector<int>{127, 255, 127, 0, 127, 255, 127, 0}));
  auto c = CreateCos(4, 1, 1, 0, 0, 0);
  EXPECT_EQ(c->val, (std::vector<int>{255, 127, 0, 127}));
  // A phase of a quarter period turns the sine into the cosine; wy acts on rows.
  EXPECT_EQ(CreateSine(4, 1, 1, 0, 0.25f, 0)->val, c->val);
  auto rows = CreateCos(1, 2, 0, 1, 0, 0);
  EXPECT_EQ(rows->val, (std::vector<int>{255, 0}));
}

TEST(CreateSquare, SizeAndHalfOpenRectangle) {
  // max(4-1+1, 2) x max(2-0+1, 5) = 4 x 5; val at x in [1, 4), y in [0, 2).
  auto img = CreateSquare(1, 0, 4, 2, 2, 5, 9);
  ASSERT_EQ(img->ncols, 4);
  ASSERT_EQ(img->nrows, 5);
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 4; x++)
      EXPECT_EQ(img->at(x, y), (x >= 1 && y < 2) ? 9 : 0) << x << "," << y;
}

TEST(MakeFrame, OutermostRowsAndColumns) {
  auto img = MakeFrame(4, 3, 2);
  EXPECT_EQ(img->val, (std::vector<int>{2, 2, 2, 2, 2, 0, 0, 2, 2, 2, 2, 2}));
}

// ---- frames and rectangles ----

TEST(Frames, AddThenRemoveGivesTheImageBack) {
  auto img = MakeImage(2, 1, {3, 4});
  auto framed = AddFrame(img.get(), 1, 8);
  EXPECT_EQ(framed->ncols, 4);
  EXPECT_EQ(framed->nrows, 3);
  EXPECT_EQ(framed->val, (std::vector<int>{8, 8, 8, 8, 8, 3, 4, 8, 8, 8, 8, 8}));
  auto back = RemFrame(framed.get(), 1);
  EXPECT_EQ(back->val, img->val);
  EXPECT_EQ(back->ncols, 2);
  EXPECT_EQ(FatalText([&] { RemFrame(framed.get(), 2); }),
            "Error:Frame size 2 leaves nothing of a 4 x 3 image in RemFrame");
  EXPECT_EQ(FatalText([&] { AddFrame(img.get(), -1, 0); }),
            "Error:Frame size -1 is negative in AddFrame");
}

TEST(ROI, ValidCornersOnly) {
  auto img = MakeImage(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  auto roi = ROI(img.get(), 1, 1, 2, 2);
  ASSERT_TRUE(roi);
  EXPECT_EQ(roi->val, (std::vector<int>{5, 6, 8, 9}));
  EXPECT_EQ(ROI(img.get(), 1, 1, 1, 1)->val, (std::vector<int>{5}));
  EXPECT_FALSE(ROI(img.get(), 2, 0, 1, 2));
  EXPECT_FALSE(ROI(img.get(), 0, 0, 3, 2));
  EXPECT_FALSE(ROI(img.get(), -1, 0, 2, 2));
}

TEST(MBB, BoundingRectangleOfPositivePixels) {
  auto img = MakeImage(4, 3, {0, 0, 0, 0, 0, 0, 5, -2, 0, 3, 0, 0});
  auto box = MBB(img.get());
  ASSERT_TRUE(box);
  EXPECT_EQ(box->ncols, 2);
  EXPECT_EQ(box->nrows, 2);
  EXPECT_EQ(box->val, (std::vector<int>{0, 5, 3, 0}));
  auto none = MakeImage(2, 1, {0, -1});
  EXPECT_FALSE(MBB(none.get()));
}

// ---- drawing ----

TEST(PaintCircle, RadiusComparedWithTruncatedSquare) {
  auto img = CreateImage(5, 5);
  PaintCircle(img.get(), 12, 1.0f, 1);  // centre (2, 2): a plus
  PaintCircle(img.get(), 0, 1.5f, 2);   // trunc(2.25) = 2: the 3 x 3 square, clipped
  EXPECT_EQ(img->val, (std::vector<int>{2, 2, 0, 0, 0,  //
                                        2, 2, 1, 0, 0,  //
                                        0, 1, 1, 1, 0,  //
                                        0, 0, 1, 0, 0,  //
                                        0, 0, 0, 0, 0}));
  PaintCircle(img.get(), 24, 1e6f, 7);  // a huge radius covers everything, no more
  EXPECT_EQ(img->val, std::vector<int>(25, 7));
}

TEST(PaintCircle, CentreOutsideFails) {
  auto img = CreateImage(3, 2);
  EXPECT_EQ(FatalText([&] { PaintCircle(img.get(), 6, 1, 1); }),
            "Error:Pixel address 6 is outside the 3 x 2 image in PaintCircle");
  EXPECT_EQ(FatalText([&] { PaintCircle(img.get(), -1, 1, 1); }),
            "Error:Pixel address -1 is outside the 3 x 2 image in PaintCircle");
  EXPECT_EQ(img->val, std::vector<int>(6, 0));
}

TEST(DrawPath, FollowsPredecessorsToTheRoot) {
  auto img = CreateImage(3, 2);
  // 5 -> 4 -> 1 -> root 0 (-1); 2 and 3 are off the path.
  DrawPath(img.get(), {-1, 0, 1, 0, 1, 4}, 5, 9);
  EXPECT_EQ(img->val, (std::vector<int>{9, 9, 0, 0, 9, 9}));
  // A root may also be its own predecessor.
  auto other = CreateImage(2, 1);
  DrawPath(other.get(), {1, 1}, 0, 3);
  EXPECT_EQ(other->val, (std::vector<int>{3, 3}));
}

TEST(DrawPath, BadMapsAndAddressesFail) {
  auto img = CreateImage(2, 2);
  EXPECT_EQ(FatalText([&] { DrawPath(img.get(), {-1, 0, 1}, 2, 1); }),
            "Error:Predecessor map holds 3 entries for a 2 x 2 image in DrawPath");
  EXPECT_EQ(FatalText([&] { DrawPath(img.get(), {-1, 0, 1, 2}, 4, 1); }),
            "Error:Pixel address 4 is outside the 2 x 2 image in DrawPath");
  EXPECT_EQ(FatalText([&] { DrawPath(img.get(), {-1, 7, 1, 2}, 1, 1); }),
            "Error:Predecessor 7 is outside the 2 x 2 image in DrawPath");
  EXPECT_EQ(FatalText([&] { DrawPath(img.get(), {1, 2, 0, -1}, 0, 1); }),
            "Error:Predecessor map has a cycle in DrawPath");
}

TEST(InputSeeds, TriplesWithInvalidPositionsSkipped) {
  auto img = InputSeeds(3, 2, "3, 0,0,5, 2,1,7, 3,0,9");
  EXPECT_EQ(img->val, (std::vector<int>{5, 0, 0, 0, 0, 7}));
  EXPECT_EQ(InputSeeds(2, 1, "1 1 0 4")->val, (std::vector<int>{0, 4}));
  EXPECT_EQ(FatalText([&] { InputSeeds(3, 2, "2,0,0,1,1"); }),
            "Error:Seed list holds 5 integers, expected 7 in InputSeeds");
  EXPECT_EQ(FatalText([&] { InputSeeds(3, 2, ""); }), "Error:Seed list is empty in InputSeeds");
}

TEST(CreateIntArray, SizeThenValues) {
  auto img = CreateIntArray("2,3,1,2,3,4,5,-6");
  EXPECT_EQ(img->ncols, 2);
  EXPECT_EQ(img->nrows, 3);
  EXPECT_EQ(img->val, (std::vector<int>{1, 2, 3, 4, 5, -6}));
  EXPECT_EQ(FatalText([&] { CreateIntArray("2,2,1,2,3"); }),
            "Error:Integer array holds 3 values, expected 4 in CreateIntArray");
  EXPECT_EQ(FatalText([&] { CreateIntArray("-2,2"); }),
            "Error:Invalid size -2 x 2 x 1 in CreateIntArray");
}

// ---- geometry ----

TEST(Rotate, QuarterAndHalfTurns) {
  auto img = MakeImage(3, 2, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Rotate(img.get(), 0)->val, img->val);
  // Counter-clockwise on the screen: the right column becomes the top row.
  auto left = Rotate(img.get(), 90);
  EXPECT_EQ(left->ncols, 2);
  EXPECT_EQ(left->nrows, 3);
  EXPECT_EQ(left->val, (std::vector<int>{3, 6, 2, 5, 1, 4}));
  auto right = Rotate(img.get(), -90);
  EXPECT_EQ(right->val, (std::vector<int>{4, 1, 5, 2, 6, 3}));
  auto half = Rotate(img.get(), 180);
  EXPECT_EQ(half->val, (std::vector<int>{6, 5, 4, 3, 2, 1}));
}

TEST(Rotate, FortyFiveDegreesSamplesBilinearly) {
  // v(x, y) = 10x + 100y is reproduced exactly by bilinear sampling.
  auto img = CreateImage(3, 3);
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++) img->at(x, y) = 10 * x + 100 * y;
  auto out = Rotate(img.get(), 45);
  // Size ceil(3 cos 45 + 3 sin 45) = ceil(4.243) = 5; centre (2, 2) <- (1, 1).
  ASSERT_EQ(out->ncols, 5);
  ASSERT_EQ(out->nrows, 5);
  EXPECT_EQ(out->at(2, 2), 110);
  // (2, 1) is one row up from the centre: source (1 + sin 45, 1 - cos 45)
  // = (1.7071, 0.2929), value 17.071 + 29.289 = 46.36.
  EXPECT_EQ(out->at(2, 1), 46);
  // (3, 2): source (1 + cos 45, 1 + sin 45) = (1.7071, 1.7071): 187.78.
  EXPECT_EQ(out->at(3, 2), 187);
  // The corners of the bounding box fall outside the input.
  EXPECT_EQ(out->at(0, 0), 0);
  EXPECT_EQ(out->at(4, 4), 0);
  EXPECT_EQ(out->at(0, 2), 0);  // source (1 - 2 cos 45, 1 - 2 sin 45): outside
}

TEST(Scale, AboutTheCentreWithClampedBorders) {
  auto img = MakeImage(2, 1, {0, 10});
  // X -> 0.5 + (X - 1.5)/2: -0.25 (clamped 0), 0.25, 0.75, 1.25 (clamped 1).
  auto up = Scale(img.get(), 2, 1);
  EXPECT_EQ(up->val, (std::vector<int>{0, 2, 7, 10}));
  auto row = MakeImage(4, 1, {0, 10, 20, 30});
  // X -> 1.5 + (X - 0.5)*2: 0.5 and 2.5.
  EXPECT_EQ(Scale(row.get(), 0.5f, 1)->val, (std::vector<int>{5, 25}));
  auto column = MakeImage(1, 2, {0, 100});
  auto tall = Scale(column.get(), 3, 1.5f);
  ASSERT_EQ(tall->ncols, 3);
  ASSERT_EQ(tall->nrows, 3);  // round(1.5 * 2)
  // Rows: 0.5 + (Y - 1)/1.5 = -0.167 (0), 0.5, 1.167 (1).
  EXPECT_EQ(tall->val, (std::vector<int>{0, 0, 0, 50, 50, 50, 100, 100, 100}));
  EXPECT_EQ(FatalText([&] { Scale(img.get(), 0, 1); }),
            "Error:Scale factors must be positive in Scale");
  EXPECT_EQ(FatalText([&] { Scale(img.get(), 1, -2); }),
            "Error:Scale factors must be positive in Scale");
}

// ---- two images ----

TEST(ImageMagnitude, SumOfSquaresSaturated) {
  auto x = MakeImage(3, 1, {3, -5, 50000});
  auto y = MakeImage(3, 1, {4, 0, 50000});
  EXPECT_EQ(ImageMagnitude(x.get(), y.get())->val,
            (std::vector<int>{25, 25, 2147483647}));
  auto other = CreateImage(1, 3);
  EXPECT_EQ(FatalText([&] { ImageMagnitude(x.get(), other.get()); }),
            "Error:Images differ in size (3 x 1 and 1 x 3) in ImageMagnitude");
}

TEST(OverlayAlphaImage, NormalisedByTheAlphaMaximum) {
  auto img = MakeImage(3, 1, {100, 100, 7});
  auto alpha = MakeImage(3, 1, {4, 1, 2});
  // m = 4: 100, 25, 3.5
  EXPECT_EQ(OverlayAlphaImage(img.get(), alpha.get())->val, (std::vector<int>{100, 25, 3}));
  auto binary = MakeImage(3, 1, {1, 0, 1});
  EXPECT_EQ(OverlayAlphaImage(img.get(), binary.get())->val, (std::vector<int>{100, 0, 7}));
  auto other = CreateImage(2, 1);
  EXPECT_EQ(FatalText([&] { OverlayAlphaImage(img.get(), other.get()); }),
            "Error:Images differ in size (3 x 1 and 2 x 1) in OverlayAlphaImage");
}
