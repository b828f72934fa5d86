// Recorded movies: the frames the 3D view writes while recording (raw PPM
// files, one per rendering) made into one animated GIF that any viewer or
// browser plays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A raw PPM (P6, maximum 255) read back: rgb holds 3 bytes a pixel, rows
// top down. Error naming the file when it is not such a file, or when its
// header promises more pixels than the file holds.
struct RgbFrame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};
RgbFrame ReadRgbFrame(const char *filename);

// One colour table of at most 256 colours for a set of frames, and the
// index of each pixel's colour in it. When the frames hold 256 colours or
// fewer, the table is exactly those colours; otherwise it is a median cut
// of the colours on a 5-bit-per-channel grid, each colour the mean of the
// pixels of its box, and a pixel takes the table colour nearest its grid
// cell's mean.
class MoviePalette {
 public:
  void Count(const RgbFrame &frame);  // every frame, before the first Index
  void Build();
  const std::vector<std::uint8_t> &Colours() const { return palette_; }
  std::vector<std::uint8_t> Index(const RgbFrame &frame) const;

 private:
  static int Cell(const std::uint8_t *p) { return (p[0] >> 3) << 10 | (p[1] >> 3) << 5 | p[2] >> 3; }
  std::vector<std::uint32_t> exact_;      // distinct colours while there are at most 256
  bool manyColours_ = false;
  std::vector<std::uint64_t> count_ = std::vector<std::uint64_t>(32768);
  std::vector<std::uint64_t> sum_ = std::vector<std::uint64_t>(3 * 32768);
  std::vector<std::uint8_t> palette_;
  std::vector<std::uint8_t> cellIndex_;   // grid cell -> table index
};

// Writes the frames, in order, as an endlessly looping animated GIF; frame
// i is shown for delays[i] hundredths of a second (clamped to 2..65535).
// The screen is as large as the largest frame. The write is atomic. Error
// for no frames, a delay count that differs from the frame count, or a
// frame that cannot be read.
void WriteMovie(const std::vector<std::string> &frames, const std::vector<int> &delays,
                const char *filename);
