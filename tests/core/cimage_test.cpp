// Colour images: PPM writing read back by an independent parser, the luma
// stretch and the YCbCr conversions against hand-computed values, and the
// band-wise operations.
#include "core/cimage.h"

#include <array>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/common.h"
#include "support/fatal.h"
#include "support/files.h"

namespace {

// A colour image from rows of {r, g, b} triples.
std::unique_ptr<CImage> MakeCImage(int ncols, int nrows, const std::vector<std::vector<int>> &px) {
  auto c = CreateCImage(ncols, nrows);
  for (size_t p = 0; p < px.size(); p++)
    for (int b = 0; b < 3; b++) c->C[b]->val[p] = px[p][b];
  return c;
}

std::vector<int> Pixel(const CImage &c, int p) {
  return {c.C[0]->val[p], c.C[1]->val[p], c.C[2]->val[p]};
}

// A minimal P6 reader, independent of the code under test: the three header
// items separated by single blanks or newlines, then raw bytes.
struct Ppm {
  int ncols = 0, nrows = 0, maxval = 0;
  std::vector<unsigned char> bytes;
};
Ppm ParsePpm(const std::string &file) {
  Ppm p;
  std::istringstream in(file);
  std::string magic;
  in >> magic >> p.ncols >> p.nrows >> p.maxval;
  EXPECT_EQ(magic, "P6");
  in.get();  // the single blank after the maximum
  std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  p.bytes.assign(rest.begin(), rest.end());
  return p;
}

}  // namespace

// ---- PPM ----

TEST(WriteCImage, HeaderAndLowBytesReadBackIndependently) {
  TempDir dir;
  auto c = MakeCImage(2, 2, {{0, 128, 255}, {300, -1, 256}, {1, 2, 3}, {65, 66, 67}});
  std::string f = dir.File("a.ppm");
  WriteCImage(c.get(), f.c_str());
  std::string file = ReadTestFile(f);
  EXPECT_EQ(file.substr(0, 11), "P6\n2 2\n255\n");
  Ppm p = ParsePpm(file);
  EXPECT_EQ(p.ncols, 2);
  EXPECT_EQ(p.nrows, 2);
  EXPECT_EQ(p.maxval, 255);
  // 300 -> 44, -1 -> 255, 256 -> 0.
  EXPECT_EQ(p.bytes, (std::vector<unsigned char>{0, 128, 255, 44, 255, 0, 1, 2, 3, 65, 66, 67}));
}

TEST(WriteCImage, FailedWriteKeepsTheOldFile) {
  TempDir dir;
  std::string f = dir.File("a.ppm");
  WriteTestFile(f, "old");
  auto big = CreateCImage(100, 100);  // 30000 bytes of pixels
  std::string msg;
  WithFileSizeLimit(500, [&] { msg = FatalText([&] { WriteCImage(big.get(), f.c_str()); }); });
  EXPECT_EQ(msg.rfind("Error:Cannot write " + f, 0), 0u) << msg;
  EXPECT_EQ(ReadTestFile(f), "old");
  EXPECT_EQ(FatalText([&] { WriteCImage(big.get(), dir.File("x/y.ppm").c_str()); }),
            "Error:Cannot open " + dir.File("x/y.ppm") + " in WriteCImage");
}

// ---- one pixel ----

TEST(YCbCr, UnitScaleConversionsByHand) {
  // White: Y = 0.859 + 16/255 (235.045/255), chroma 0 (up to rounding).
  YCbCr w = RGBtoYCbCr(1, 1, 1);
  EXPECT_NEAR(w.y, 235.045 / 255.0, 1e-12);
  EXPECT_NEAR(w.cb, 0, 1e-12);
  EXPECT_NEAR(w.cr, 0, 1e-12);
  // Red: Y = 0.257 + 16/255, Cb = -0.148, Cr = 0.439.
  YCbCr r = RGBtoYCbCr(1, 0, 0);
  EXPECT_NEAR(r.y, 0.257 + 16.0 / 255.0, 1e-12);
  EXPECT_NEAR(r.cb, -0.148, 1e-12);
  EXPECT_NEAR(r.cr, 0.439, 1e-12);
  // Back: L = 0.257 * 296.82 = 76.28274; R = L + 406.98 * 0.439 = 254.94696,
  // G = L - 91.011285 + 14.79408 = 0.065535, B = L - 76.12158 = 0.16116.
  double R, G, B;
  YCbCrtoRGB(r, &R, &G, &B);
  EXPECT_NEAR(R, 254.94696, 1e-9);
  EXPECT_NEAR(G, 0.065535, 1e-9);
  EXPECT_NEAR(B, 0.16116, 1e-9);
}

TEST(StretchPixelLuma, WindowsAndMarkerSlope) {
  int r, g, b;
  // Identity window: red comes back as (254, 0, 0) after truncation.
  LumaStretch id = MakeLumaStretch(0, 255, 0, 255);
  EXPECT_FLOAT_EQ(id.slope, 1.0f);
  StretchPixelLuma(id, 255, 0, 0, &r, &g, &b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{254, 0, 0}));
  // Grey 100 in window 50..150 onto 0..255: Y = 101.9/255, slope 2.55,
  // Y' = (101.9 - 50)/255 * 2.55 = 0.519, L = (0.519 - 16/255) * 296.82 = 135.43.
  LumaStretch w = MakeLumaStretch(50, 150, 0, 255);
  StretchPixelLuma(w, 100, 100, 100, &r, &g, &b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{135, 135, 135}));
  // f1 = f2: below the threshold luma g1, at or above it g2.
  LumaStretch step = MakeLumaStretch(100, 100, 0, 255);
  EXPECT_EQ(step.slope, 2147483648.0f);
  StretchPixelLuma(step, 50, 50, 50, &r, &g, &b);  // L = -18.6: clamped
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 0, 0}));
  StretchPixelLuma(step, 200, 200, 200, &r, &g, &b);  // L = 278.2: clamped
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 255, 255}));
  // The chroma survives a narrowing of the luma: (10, 200, 30) in 40..120
  // onto 20..230 is (135, 325 -> 255, 155).
  StretchPixelLuma(MakeLumaStretch(40, 120, 20, 230), 10, 200, 30, &r, &g, &b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{135, 255, 155}));
}

TEST(CLinearStretch, IdentityKeepsColoursUpToTruncation) {
  auto c = MakeCImage(4, 1, {{0, 0, 0}, {255, 255, 255}, {10, 200, 30}, {255, 0, 0}});
  auto out = CLinearStretch(c.get(), 0, 255, 0, 255);
  EXPECT_EQ(Pixel(*out, 0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(Pixel(*out, 1), (std::vector<int>{254, 254, 254}));
  EXPECT_EQ(Pixel(*out, 2), (std::vector<int>{9, 199, 29}));
  EXPECT_EQ(Pixel(*out, 3), (std::vector<int>{254, 0, 0}));
  EXPECT_EQ(Pixel(*c, 2), (std::vector<int>{10, 200, 30}));  // input unchanged
}

TEST(CLinearStretch, EveryPixelIsItsOwnStretchWhateverColoursRepeat) {
  // Few colours repeated in runs and many colours at random, values past
  // the byte range included, so that results kept by colour are met again
  // and colours that share a table slot replace one another.
  std::vector<std::vector<int>> pixels;
  unsigned seed = 5;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, static_cast<int>(seed >> 16); };
  for (int i = 0; i < 20000; ++i) {
    if (i % 3 == 0) pixels.push_back({next() % 4 * 60, 0, next() % 2 * 255});
    else pixels.push_back({next() % 300 - 20, next() % 256, next() % 256});
  }
  auto c = MakeCImage(static_cast<int>(pixels.size()), 1, pixels);
  for (auto [f1, f2, g1, g2] : {std::array<int, 4>{0, 255, 0, 255}, {40, 120, 20, 230}, {90, 90, 0, 255}}) {
    auto out = CLinearStretch(c.get(), f1, f2, g1, g2);
    const LumaStretch s = MakeLumaStretch(f1, f2, g1, g2);
    for (size_t p = 0; p < pixels.size(); ++p) {
      int r, g, b;
      StretchPixelLuma(s, pixels[p][0], pixels[p][1], pixels[p][2], &r, &g, &b);
      ASSERT_EQ(Pixel(*out, static_cast<int>(p)), (std::vector<int>{r, g, b})) << p;
    }
  }
}

// ---- operations ----

TEST(CImageRGBtoYCbCr, ExactThousandthsTruncated) {
  auto c = MakeCImage(5, 1, {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {77, 77, 77}, {0, 0, 900}});
  auto out = CImageRGBtoYCbCr(c.get());
  EXPECT_EQ(Pixel(*out, 0), (std::vector<int>{16, 128, 128}));
  // 0.859 * 255 + 16 = 235.045.
  EXPECT_EQ(Pixel(*out, 1), (std::vector<int>{235, 128, 128}));
  // Y = 65.535 + 16, Cb = 128 - 37.74, Cr = 128 + 111.945.
  EXPECT_EQ(Pixel(*out, 2), (std::vector<int>{81, 90, 239}));
  // Any grey has chroma exactly 128: 77 * 0.859 + 16 = 82.143.
  EXPECT_EQ(Pixel(*out, 3), (std::vector<int>{82, 128, 128}));
  // Out of range: Cb = 128 + 395.1 -> 255, Cr = 128 - 63.9 = 64.1.
  EXPECT_EQ(Pixel(*out, 4), (std::vector<int>{104, 255, 64}));
}

TEST(ColorizeImage, LumaFromGreyChromaFromColour) {
  auto img = CreateImage(3, 1);
  img->val = {0, 5, 10};
  // White: L = (v/10 - 16/255) * 296.82: -18.6, 129.79, 278.2.
  auto grey = ColorizeImage(img.get(), 1, 1, 1);
  EXPECT_EQ(Pixel(*grey, 0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(Pixel(*grey, 1), (std::vector<int>{129, 129, 129}));
  EXPECT_EQ(Pixel(*grey, 2), (std::vector<int>{255, 255, 255}));
  // Red at v = 10: (278.2 + 178.66, 278.2 - 91.01 + 14.79, 278.2 - 76.12).
  auto red = ColorizeImage(img.get(), 1, 0, 0);
  EXPECT_EQ(Pixel(*red, 2), (std::vector<int>{255, 201, 202}));
  // A maximum below 2 divides by 1: v = 1 is full luma.
  auto one = CreateImage(1, 1);
  one->val = {1};
  EXPECT_EQ(Pixel(*ColorizeImage(one.get(), 0, 0, 1), 0), (std::vector<int>{249, 249, 255}));
}

TEST(BlendImages, WeightedSumPerBandTruncated) {
  auto a = MakeCImage(2, 1, {{10, 20, 30}, {100, 0, -10}});
  auto b = MakeCImage(2, 1, {{1, 2, 3}, {50, 50, 50}});
  auto out = BlendImages(a.get(), b.get(), 0.5f, 0.25f);
  // 5.25, 10.5, 15.75; 62.5, 12.5, 7.5
  EXPECT_EQ(Pixel(*out, 0), (std::vector<int>{5, 10, 15}));
  EXPECT_EQ(Pixel(*out, 1), (std::vector<int>{62, 12, 7}));
  auto small = CreateCImage(1, 1);
  EXPECT_EQ(FatalText([&] { BlendImages(a.get(), small.get(), 1, 1); }),
            "Error:Images differ in size (2 x 1 and 1 x 1) in BlendImages");
}

TEST(CImageBands, CopyConvertGetBand) {
  auto c = MakeCImage(2, 1, {{1, 2, 3}, {4, 5, 6}});
  auto copy = CopyCImage(c.get());
  c->C[0]->val[0] = 99;
  EXPECT_EQ(Pixel(*copy, 0), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(GetBand(c.get(), 2)->val, (std::vector<int>{3, 6}));
  EXPECT_EQ(FatalText([&] { GetBand(c.get(), 3); }), "Error:Band 3 is not 0, 1 or 2 in GetBand");
  EXPECT_EQ(FatalText([&] { GetBand(c.get(), -1); }), "Error:Band -1 is not 0, 1 or 2 in GetBand");
  auto img = CreateImage(2, 1);
  img->val = {7, 8};
  auto three = Convert2CImage(img.get());
  EXPECT_EQ(Pixel(*three, 1), (std::vector<int>{8, 8, 8}));
}

TEST(CImageBands, RoiScaleOverlayPerBand) {
  auto c = MakeCImage(2, 2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}});
  auto roi = CROI(c.get(), 1, 0, 1, 1);
  ASSERT_TRUE(roi);
  EXPECT_EQ(roi->ncols(), 1);
  EXPECT_EQ(Pixel(*roi, 1), (std::vector<int>{10, 11, 12}));
  EXPECT_FALSE(CROI(c.get(), 1, 0, 0, 1));
  auto half = CScale(c.get(), 0.5f, 0.5f);
  // One pixel sampling the centre (0.5, 0.5): the mean of the four.
  ASSERT_EQ(half->ncols(), 1);
  EXPECT_EQ(Pixel(*half, 0), (std::vector<int>{5, 6, 7}));
  auto alpha = CreateImage(2, 2);
  alpha->val = {0, 4, 2, 4};
  auto over = COverlayAlphaImage(c.get(), alpha.get());
  EXPECT_EQ(Pixel(*over, 0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(Pixel(*over, 2), (std::vector<int>{3, 4, 4}));
  auto wrong = CreateImage(1, 2);
  EXPECT_EQ(FatalText([&] { COverlayAlphaImage(c.get(), wrong.get()); }),
            "Error:Images differ in size (2 x 2 and 1 x 2) in OverlayAlphaImage");
}
