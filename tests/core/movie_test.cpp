// Recorded frames read back and made into one animated GIF: the frames'
// colours kept exactly when there are few, approximated closely when there
// are many; the file's frames, delays and loop; frames that are not frames.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/cimage.h"
#include "core/common.h"
#include "core/movie.h"
#include "support/files.h"
#include "support/gif_decode.h"

namespace {

// A frame whose pixel (x, y) has the colour colour(x, y), written as the 3D
// view writes its frames.
template <class Colour>
void WriteFrame(const std::string &path, int w, int h, Colour colour) {
  auto img = CreateCImage(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int rgb[3];
      colour(x, y, rgb);
      for (int k = 0; k < 3; ++k) img->C[k]->val[y * w + x] = rgb[k];
    }
  WriteCImage(img.get(), path.c_str());
}

std::vector<std::uint8_t> Bytes(const std::string &path) {
  const std::string s = ReadTestFile(path);
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

// The blocks of a GIF after its screen and colour table: the delay of each
// graphic control extension, the size of each image, whether the loop
// extension is there and whether the file ends with its trailer.
struct Blocks {
  std::vector<int> delays;
  std::vector<std::pair<int, int>> images;
  bool loops = false;
  bool trailer = false;
};

Blocks WalkGif(const std::vector<std::uint8_t> &b) {
  Blocks out;
  size_t at = 13;
  if (b.size() < at) return out;
  if (b[10] & 0x80) at += 3u << ((b[10] & 7) + 1);
  auto skipSubBlocks = [&] {
    while (at < b.size() && b[at] != 0) at += b[at] + 1;
    ++at;
  };
  while (at < b.size()) {
    const int kind = b[at++];
    if (kind == 0x3b) {
      out.trailer = at == b.size();
      break;
    }
    if (kind == 0x21 && at + 1 < b.size()) {
      const int label = b[at++];
      if (label == 0xf9 && at + 4 < b.size()) out.delays.push_back(b[at + 2] | b[at + 3] << 8);
      if (label == 0xff && at + 12 < b.size() && std::string(b.begin() + at + 1, b.begin() + at + 12) == "NETSCAPE2.0")
        out.loops = true;
      skipSubBlocks();
    } else if (kind == 0x2c && at + 9 < b.size()) {
      out.images.push_back({b[at + 4] | b[at + 5] << 8, b[at + 6] | b[at + 7] << 8});
      at += 10;  // descriptor, then the minimum code size
      skipSubBlocks();
    } else {
      break;
    }
  }
  return out;
}

// A frame through a table made of it alone: the table's size, and the mean
// and largest difference of a channel from the frame's own.
struct Fit {
  size_t colours;
  double mean;
  int worst;
};

Fit FitOf(const RgbFrame &frame) {
  MoviePalette palette;
  palette.Count(frame);
  palette.Build();
  const std::vector<std::uint8_t> index = palette.Index(frame);
  Fit fit{palette.Colours().size() / 3, 0.0, 0};
  for (size_t i = 0; i < index.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      const int e = std::abs(palette.Colours()[3 * index[i] + k] - frame.rgb[3 * i + k]);
      fit.mean += e;
      fit.worst = std::max(fit.worst, e);
    }
  fit.mean /= 3.0 * index.size();
  return fit;
}

}  // namespace

TEST(MovieFrames, ReadBackWhatTheViewWrote) {
  TempDir dir;
  WriteFrame(dir.File("f"), 5, 3, [](int x, int y, int *c) { c[0] = x; c[1] = y; c[2] = 200 + x + y; });
  const RgbFrame frame = ReadRgbFrame(dir.File("f").c_str());
  ASSERT_EQ(frame.width, 5);
  ASSERT_EQ(frame.height, 3);
  ASSERT_EQ(frame.rgb.size(), 45u);
  EXPECT_EQ(frame.rgb[3 * (2 * 5 + 4) + 0], 4);
  EXPECT_EQ(frame.rgb[3 * (2 * 5 + 4) + 1], 2);
  EXPECT_EQ(frame.rgb[3 * (2 * 5 + 4) + 2], 206);
}

TEST(MovieFrames, FilesThatAreNotFramesAreRefused) {
  TempDir dir;
  const std::vector<std::string> bad = {
      "",                                   // empty
      "P5\n2 2\n255\n1234",                 // a grey image
      "P6\n2 2\n65535\n" + std::string(24, 'x'),  // two bytes a sample
      "P6\n2 2\n255\n" + std::string(11, 'x'),    // one byte short
      "P6\n0 2\n255\n",                     // no columns
      "P6\n70000 70000\n255\n" + std::string(30, 'x'),  // promises gigabytes
      "P6\n99999999999999 1\n255\n",        // a width past any int
      "P6\n2 2\n255",                       // no separator before the pixels
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    const std::string path = dir.File("bad" + std::to_string(i));
    WriteTestFile(path, bad[i]);
    EXPECT_THROW(ReadRgbFrame(path.c_str()), FatalError) << i;
  }
  EXPECT_THROW(ReadRgbFrame(dir.File("missing").c_str()), FatalError);
  // A comment in the header is allowed, as in any PPM.
  WriteTestFile(dir.File("comment"), "P6\n# made here\n1 1\n255\n\x01\x02\x03");
  EXPECT_EQ(ReadRgbFrame(dir.File("comment").c_str()).rgb, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(MoviePalette, FewColoursAreKeptExactly) {
  TempDir dir;
  // 200 distinct colours over two frames.
  WriteFrame(dir.File("a"), 20, 5, [](int x, int y, int *c) { c[0] = 10 * x; c[1] = 7 * y; c[2] = 1; });
  WriteFrame(dir.File("b"), 20, 5, [](int x, int y, int *c) { c[0] = 10 * x; c[1] = 7 * y; c[2] = 2; });
  MoviePalette palette;
  const RgbFrame a = ReadRgbFrame(dir.File("a").c_str()), b = ReadRgbFrame(dir.File("b").c_str());
  palette.Count(a);
  palette.Count(b);
  palette.Build();
  EXPECT_EQ(palette.Colours().size(), 3u * 200);
  for (const RgbFrame *frame : {&a, &b}) {
    const std::vector<std::uint8_t> index = palette.Index(*frame);
    for (size_t i = 0; i < index.size(); ++i)
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(palette.Colours()[3 * index[i] + k], frame->rgb[3 * i + k]) << i;
  }
}

TEST(MoviePalette, ManyColoursStayClose) {
  TempDir dir;
  // A shaded rendering's kind of image: smooth ramps of several hues plus noise.
  std::srand(7);
  WriteFrame(dir.File("a"), 128, 96, [](int x, int y, int *c) {
    const int n = std::rand() % 9 - 4;
    c[0] = std::clamp(2 * x + n, 0, 255);
    c[1] = std::clamp(static_cast<int>(2.6 * y) + n, 0, 255);
    c[2] = std::clamp((x + y) + n, 0, 255);
  });
  const Fit fit = FitOf(ReadRgbFrame(dir.File("a").c_str()));
  EXPECT_EQ(fit.colours, 256u);
  EXPECT_LT(fit.mean, 6.0);
  EXPECT_LT(fit.worst, 40);
}

TEST(MoviePalette, ShadesOfOneHueKeepTheirSteps) {
  // A shaded object of one colour: 512 colours along the green axis, two
  // for each level. Every level keeps a table colour of its own.
  TempDir dir;
  WriteFrame(dir.File("a"), 256, 2, [](int x, int y, int *c) { c[0] = 0; c[1] = x; c[2] = y; });
  const Fit fit = FitOf(ReadRgbFrame(dir.File("a").c_str()));
  EXPECT_EQ(fit.colours, 256u);
  EXPECT_LE(fit.worst, 1);
}

TEST(MoviePalette, NoiseIsCountedCoarserAndStillMapped) {
  // More distinct colours than are counted one by one.
  TempDir dir;
  unsigned seed = 11;
  WriteFrame(dir.File("a"), 600, 480, [&seed](int, int, int *c) {
    for (int k = 0; k < 3; ++k) c[k] = (seed = seed * 1103515245u + 12345u) >> 24;
  });
  const Fit fit = FitOf(ReadRgbFrame(dir.File("a").c_str()));
  EXPECT_EQ(fit.colours, 256u);
  EXPECT_LT(fit.mean, 20.0);
}

TEST(MovieFile, FramesDelaysAndLoop) {
  TempDir dir;
  std::vector<std::string> frames;
  for (int i = 0; i < 3; ++i) {
    frames.push_back(dir.File("m." + std::to_string(100 + i)));
    WriteFrame(frames.back(), 12 + 4 * i, 10, [i](int x, int y, int *c) { c[0] = 40 * i; c[1] = x; c[2] = y; });
  }
  WriteMovie(frames, {7, 1, 100000}, dir.File("m.gif").c_str());
  const std::vector<std::uint8_t> bytes = Bytes(dir.File("m.gif"));
  const Blocks blocks = WalkGif(bytes);
  EXPECT_TRUE(blocks.loops);
  EXPECT_TRUE(blocks.trailer);
  // Delays are clamped to what viewers play; the screen is the largest frame.
  EXPECT_EQ(blocks.delays, (std::vector<int>{7, 2, 65535}));
  EXPECT_EQ(blocks.images, (std::vector<std::pair<int, int>>{{12, 10}, {16, 10}, {20, 10}}));
  EXPECT_EQ(bytes[6] | bytes[7] << 8, 20);
  // A frame as large as the screen decodes to its own colours.
  WriteMovie({frames[2]}, {10}, dir.File("one.gif").c_str());
  const DecodedGif one = DecodeGif(Bytes(dir.File("one.gif")));
  ASSERT_TRUE(one.ok) << one.error;
  const RgbFrame frame = ReadRgbFrame(frames[2].c_str());
  ASSERT_EQ(one.pixels.size(), 200u);
  for (size_t i = 0; i < one.pixels.size(); ++i)
    for (int k = 0; k < 3; ++k) ASSERT_EQ(one.palette[3 * one.pixels[i] + k], frame.rgb[3 * i + k]);
}

TEST(MovieFile, WhatCannotBeAMovieIsRefused) {
  TempDir dir;
  WriteFrame(dir.File("f"), 4, 4, [](int, int, int *c) { c[0] = c[1] = c[2] = 9; });
  const std::string out = dir.File("out.gif");
  EXPECT_THROW(WriteMovie({}, {}, out.c_str()), FatalError);
  EXPECT_THROW(WriteMovie({dir.File("f")}, {1, 2}, out.c_str()), FatalError);
  EXPECT_THROW(WriteMovie({dir.File("f"), dir.File("gone")}, {1, 2}, out.c_str()), FatalError);
  // A failed movie leaves an earlier file as it was.
  WriteTestFile(out, "earlier");
  EXPECT_THROW(WriteMovie({dir.File("gone")}, {1}, out.c_str()), FatalError);
  EXPECT_EQ(ReadTestFile(out), "earlier");
}
