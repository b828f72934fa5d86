// A GIF89a encoder: one image with a global colour table and an optional
// transparent colour (the interface's icons), or an animation of frames that
// share one colour table (recorded movies). Pixels are LZW-compressed.
#pragma once

#include <cstdint>
#include <vector>

struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> palette;  // r, g, b per colour: 1 to 256 colours
  std::vector<std::uint8_t> pixels;   // width*height indexes into the palette, rows top down
  int transparent = -1;               // index shown as transparent, or -1 for none
};

// The whole file. The colour table is padded with black to a power of two
// (at least 4 entries); a graphic control extension is written only when a
// transparent index is set. Throws std::invalid_argument for sizes outside
// 1..65535, a palette of no or more than 256 colours, a pixel count that
// differs from width*height, or a pixel or transparent index past the
// palette.
std::vector<std::uint8_t> EncodeGif(const IndexedImage &image);

// The LZW code stream of pixels drawn from 2^minCodeSize colours, packed
// least significant bit first, without the sub-block framing: a clear code
// first, another each time the 4096-entry table fills, the end code last.
std::vector<std::uint8_t> LzwCompress(const std::vector<std::uint8_t> &pixels, int minCodeSize);

// An endlessly looping animation on a width x height screen, one colour
// table for every frame. Frames are added one at a time, so a long movie is
// never held whole; each is drawn at the top left corner, shown for its
// delay and then cleared to the background (index 0) before the next.
class GifAnimation {
 public:
  // Throws std::invalid_argument as EncodeGif does for the size and palette.
  GifAnimation(int width, int height, const std::vector<std::uint8_t> &palette);
  // A frame no larger than the screen; its transparent index is not used.
  // delay: hundredths of a second, 0 to 65535.
  void Add(const IndexedImage &frame, int delay);
  // The whole file; the animation takes no more frames.
  std::vector<std::uint8_t> Finish();

 private:
  int width_, height_, colours_;
  int tableBits_ = 2;
  std::vector<std::uint8_t> out_;
};
