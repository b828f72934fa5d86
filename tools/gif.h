// A GIF89a encoder for the interface's icons: one image with a global
// colour table, an optional transparent colour, LZW-compressed pixels.
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
