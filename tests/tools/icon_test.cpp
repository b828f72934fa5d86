#include "tools/icon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace {

const Rgb kMatte = {0xd9, 0xd9, 0xd9};
const IconPalette kPalette = {{"ink", {0, 0, 0}}, {"red", {255, 0, 0}}};

std::vector<Rgba> Render(const std::string &text, int size) {
  return RenderIcon(ParseIcon(text, kPalette, "test.icon"), size, kMatte);
}

std::string ParseError(const std::string &text) {
  try {
    ParseIcon(text, kPalette, "bad.icon");
  } catch (const std::runtime_error &e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(IconRender, OneUnitStrokesFillWholePixelRowsAtEitherSize) {
  const std::string line = "line 2 3.5 14 3.5 stroke ink cap butt  # a comment\n";
  for (int size : {16, 32}) {
    const std::vector<Rgba> pixels = Render(line, size);
    const int k = size / 16;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const bool onLine = y >= 3 * k && y < 4 * k && x >= 2 * k && x < 14 * k;
        const Rgba &p = pixels[y * size + x];
        ASSERT_EQ(p.a, onLine ? 255 : 0) << size << ": " << x << "," << y;
        if (onLine) {
          ASSERT_EQ(p.r + p.g + p.b, 0);
        }
      }
    }
  }
}

TEST(IconRender, CirclesAreDrawnAtEachSizeNotScaled) {
  // Pixels wholly inside the disc take its colour, pixels wholly outside
  // stay transparent, judged from the exact circle at 4 x 4 sample points.
  for (int size : {16, 32}) {
    const std::vector<Rgba> pixels = Render("circle 8 8 6.3 fill red\n", size);
    const double unit = 16.0 / size;
    int inside = 0, outside = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        double nearest = 1e9, farthest = 0;
        for (int s = 0; s < 16; ++s) {
          const double d = std::hypot((x + (s % 4 + 0.5) / 4) * unit - 8, (y + (s / 4 + 0.5) / 4) * unit - 8);
          nearest = std::min(nearest, d);
          farthest = std::max(farthest, d);
        }
        const Rgba &p = pixels[y * size + x];
        if (farthest < 6.25) {
          ++inside;
          EXPECT_TRUE(p.a == 255 && p.r == 255 && p.g == 0) << size << ": " << x << "," << y;
        } else if (nearest > 6.35) {
          ++outside;
          EXPECT_EQ(p.a, 0) << size << ": " << x << "," << y;
        }
      }
    }
    EXPECT_GT(inside, size * size / 3);
    EXPECT_GT(outside, size * size / 8);
  }
}

TEST(IconRender, LaterShapesWinAndEdgesBlendWithTheMatte) {
  const std::vector<Rgba> pixels =
      Render("rect 0 0 16 8.5 fill ink\nrect 4 0 8 4 fill red\ncircle 12 2 1 stroke #0000ff width 0.5\n", 16);
  EXPECT_EQ(pixels[1 * 16 + 5].r, 255);              // red over ink
  EXPECT_EQ(pixels[6 * 16 + 5].r, 0);                // ink alone
  const Rgba &edge = pixels[8 * 16 + 3];             // half covered by ink
  EXPECT_EQ(edge.a, 255);
  EXPECT_EQ(edge.r, 109);                            // 0.5 * 0xd9, rounded
  EXPECT_EQ(pixels[9 * 16 + 3].a, 0);
}

TEST(IconParse, ErrorsNameTheFileAndLine) {
  EXPECT_EQ(ParseError("\nrect 1 1 2 2 fill mauve\n"), "bad.icon:2: unknown colour \"mauve\"");
  EXPECT_EQ(ParseError("rect 1 1 2 fill ink\n"), "bad.icon:1: rect takes 4 numbers, not 3");
  EXPECT_EQ(ParseError("line 1 1 2 2\n"), "bad.icon:1: line has neither fill nor stroke");
  EXPECT_EQ(ParseError("line 1 1 2 2 fill ink\n"), "bad.icon:1: line cannot be filled");
  EXPECT_EQ(ParseError("# fine\nstar 1 2 3 fill ink\n"), "bad.icon:2: unknown primitive \"star\"");
  EXPECT_EQ(ParseError("circle 1 1 1 stroke ink width\n"), "bad.icon:1: option \"width\" has no value");
  EXPECT_EQ(ParseError("polygon 1 1 2 2 stroke ink\n"), "bad.icon:1: polygon takes at least 3 x y pairs");
  EXPECT_EQ(ParseError("circle 1 1 1 stroke ink cap flat\n"), "bad.icon:1: unknown cap \"flat\"");
}

TEST(IconIndex, TransparencyFirstAndColoursReducedToFit) {
  std::vector<Rgba> pixels(32 * 32);
  for (size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 2), 7, 255};
  pixels[0].a = 0;
  const IndexedImage image = IndexIcon(pixels, 32, kMatte);
  EXPECT_EQ(image.transparent, 0);
  EXPECT_EQ(image.pixels[0], 0);
  EXPECT_EQ(std::vector<std::uint8_t>(image.palette.begin(), image.palette.begin() + 3),
            (std::vector<std::uint8_t>{0xd9, 0xd9, 0xd9}));
  EXPECT_LE(image.palette.size(), 256u * 3);
  // Every opaque pixel keeps its colour to within the rounding applied.
  for (size_t i = 1; i < pixels.size(); ++i) {
    ASSERT_NE(image.pixels[i], 0);
    const std::uint8_t *c = &image.palette[image.pixels[i] * 3];
    EXPECT_LE(std::abs(c[0] - pixels[i].r), 4) << i;
    EXPECT_LE(std::abs(c[1] - pixels[i].g), 4) << i;
  }
}
