#include "core/gif.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/gif_decode.h"

namespace {

IndexedImage MakeImage(int width, int height, int colours) {
  IndexedImage image;
  image.width = width;
  image.height = height;
  for (int i = 0; i < colours; ++i)
    image.palette.insert(image.palette.end(), {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
  image.pixels.assign(static_cast<size_t>(width) * height, 0);
  return image;
}

void ExpectRoundTrip(const IndexedImage &image, int expectedClears = -1) {
  const DecodedGif back = DecodeGif(EncodeGif(image));
  ASSERT_TRUE(back.ok) << back.error;
  EXPECT_EQ(back.width, image.width);
  EXPECT_EQ(back.height, image.height);
  EXPECT_EQ(back.transparent, image.transparent);
  ASSERT_GE(back.palette.size(), image.palette.size());
  EXPECT_EQ(std::vector<std::uint8_t>(back.palette.begin(), back.palette.begin() + image.palette.size()),
            image.palette);
  EXPECT_EQ(back.pixels, image.pixels);
  if (expectedClears >= 0) {
    EXPECT_EQ(back.clearCodes, expectedClears);
  }
}

// A reproducible scramble of the colours, hard on the dictionary.
std::uint32_t NextRandom(std::uint32_t *state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 24;
}

}  // namespace

TEST(GifEncoder, SmallImagesDecodeToTheSamePixels) {
  // One pixel, and a two-colour image (the code size is still 2 bits).
  IndexedImage one = MakeImage(1, 1, 1);
  ExpectRoundTrip(one, 1);
  IndexedImage two = MakeImage(5, 3, 2);
  for (size_t i = 0; i < two.pixels.size(); ++i) two.pixels[i] = (i % 3 == 0);
  two.transparent = 1;
  ExpectRoundTrip(two, 1);
  // An icon-sized image with a transparent colour and runs of every length.
  IndexedImage icon = MakeImage(16, 16, 5);
  for (int i = 0; i < 256; ++i) icon.pixels[i] = static_cast<std::uint8_t>((i / 7 + i / 16) % 5);
  icon.transparent = 0;
  ExpectRoundTrip(icon, 1);
}

TEST(GifEncoder, CodeWidthsGrowAndTheTableStartsAfresh) {
  // A long run of one colour makes each new code the one just being
  // defined (the decoder's special case), and crosses widths 3 to 12.
  IndexedImage run = MakeImage(200, 150, 3);
  ExpectRoundTrip(run);
  // Scrambled 256-colour pixels fill the 4096 codes many times over: the
  // encoder must send a clear code each time, at the width the decoder has.
  IndexedImage noise = MakeImage(300, 200, 256);
  std::uint32_t state = 12345;
  for (auto &p : noise.pixels) p = static_cast<std::uint8_t>(NextRandom(&state));
  const DecodedGif back = DecodeGif(EncodeGif(noise));
  ASSERT_TRUE(back.ok) << back.error;
  EXPECT_EQ(back.pixels, noise.pixels);
  EXPECT_GT(back.clearCodes, 10);
  // Few colours in long random runs: widths rise and fall between resets.
  IndexedImage runs = MakeImage(257, 97, 16);
  std::uint8_t colour = 0;
  for (size_t i = 0; i < runs.pixels.size(); ++i) {
    if (NextRandom(&state) < 40) colour = static_cast<std::uint8_t>(NextRandom(&state) % 16);
    runs.pixels[i] = colour;
  }
  ExpectRoundTrip(runs);
}

TEST(GifEncoder, FileLayout) {
  IndexedImage image = MakeImage(32, 16, 3);
  image.transparent = 2;
  const std::vector<std::uint8_t> gif = EncodeGif(image);
  // Screen size, a global table of 4 entries (flags 0xf1), padded with black.
  EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
  EXPECT_EQ(gif[6] | gif[7] << 8, 32);
  EXPECT_EQ(gif[8] | gif[9] << 8, 16);
  EXPECT_EQ(gif[10], 0xf1);
  EXPECT_EQ(std::vector<std::uint8_t>(gif.begin() + 22, gif.begin() + 25), std::vector<std::uint8_t>(3, 0));
  // The graphic control extension right after the table marks index 2.
  EXPECT_EQ(std::vector<std::uint8_t>(gif.begin() + 25, gif.begin() + 33),
            (std::vector<std::uint8_t>{0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x02, 0x00}));
  EXPECT_EQ(gif.back(), 0x3b);
  // Without a transparent colour there is no extension at all.
  image.transparent = -1;
  EXPECT_EQ(EncodeGif(image)[25], 0x2c);
}

TEST(GifEncoder, RefusesWhatItCannotWrite) {
  IndexedImage image = MakeImage(4, 4, 2);
  IndexedImage bad = image;
  bad.pixels[5] = 2;
  EXPECT_THROW(EncodeGif(bad), std::invalid_argument);
  bad = image;
  bad.pixels.pop_back();
  EXPECT_THROW(EncodeGif(bad), std::invalid_argument);
  bad = image;
  bad.transparent = 2;
  EXPECT_THROW(EncodeGif(bad), std::invalid_argument);
  bad = image;
  bad.palette.clear();
  EXPECT_THROW(EncodeGif(bad), std::invalid_argument);
  bad = MakeImage(1, 1, 257);
  EXPECT_THROW(EncodeGif(bad), std::invalid_argument);
  bad = image;
  bad.width = 0;
  bad.pixels.clear();
  EXPECT_THROW(EncodeGif(bad), std::invalid_argument);
}
