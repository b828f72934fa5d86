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
// of the colours the frames hold (each box split where half its pixels lie
// on either side of its longest side), each table colour the mean of the
// pixels of its box. Frames of very many colours (noise) are counted with
// their lowest bits dropped, so that counting never takes more than a few
// megabytes.
class MoviePalette {
 public:
  void Count(const RgbFrame &frame);  // every frame, before Build
  void Build();
  const std::vector<std::uint8_t> &Colours() const { return palette_; }
  std::vector<std::uint8_t> Index(const RgbFrame &frame) const;

 private:
  // The pixels of one colour key (0xRRGGBB with the dropped bits cleared)
  // and the sums of their channels.
  struct Tally {
    std::uint32_t key = 0;
    std::uint64_t pixels = 0, r = 0, g = 0, b = 0;
    int index = 0;
  };
  std::uint32_t Key(const std::uint8_t *p) const;
  void Coarsen();
  int drop_ = 0;  // low bits of each channel left out of the key
  std::vector<Tally> tally_;  // ordered by key, one entry a key
  std::vector<std::uint8_t> palette_;
};

// Writes the frames, in order, as an endlessly looping animated GIF; frame
// i is shown for delays[i] hundredths of a second (clamped to 2..65535).
// The screen is as large as the largest frame. The write is atomic. Error
// for no frames, a delay count that differs from the frame count, or a
// frame that cannot be read.
void WriteMovie(const std::vector<std::string> &frames, const std::vector<int> &delays,
                const char *filename);
