#include "core/movie.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

#include "core/common.h"
#include "core/fileio.h"
#include "core/gif.h"

namespace {

// The next header field of a PPM: whitespace and comments skipped, then a
// decimal number; -1 when there is none.
long long HeaderNumber(const std::string &text, size_t *at) {
  for (;;) {
    while (*at < text.size() && std::isspace(static_cast<unsigned char>(text[*at]))) ++*at;
    if (*at < text.size() && text[*at] == '#') {
      while (*at < text.size() && text[*at] != '\n') ++*at;
      continue;
    }
    break;
  }
  long long value = 0;
  size_t digits = 0;
  while (*at < text.size() && std::isdigit(static_cast<unsigned char>(text[*at])) && digits < 10) {
    value = value * 10 + (text[*at] - '0');
    ++*at;
    ++digits;
  }
  return digits == 0 ? -1 : value;
}

std::uint32_t Packed(const std::uint8_t *p) {
  return static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
}

// A box of grid cells of the median cut, inclusive bounds per channel.
struct Box {
  int lo[3], hi[3];
  std::uint64_t pixels;
};

}  // namespace

RgbFrame ReadRgbFrame(const char *filename) {
  const std::string text =
      ReadWholeFile(filename, "ReadRgbFrame", std::string("Cannot open ") + filename);
  const std::string notFrame = std::string(filename) + " is not a raw PPM frame";
  if (text.size() < 2 || text[0] != 'P' || text[1] != '6') Error(notFrame, "ReadRgbFrame");
  size_t at = 2;
  const long long w = HeaderNumber(text, &at), h = HeaderNumber(text, &at),
                  maxval = HeaderNumber(text, &at);
  if (w < 1 || h < 1 || w > 65535 || h > 65535 || maxval != 255 || at >= text.size() ||
      !std::isspace(static_cast<unsigned char>(text[at])))
    Error(notFrame, "ReadRgbFrame");
  ++at;
  const unsigned long long bytes = 3ULL * w * h;
  if (text.size() - at < bytes)
    Error(std::string(filename) + " holds fewer pixels than its header promises", "ReadRgbFrame");
  RgbFrame frame;
  frame.width = static_cast<int>(w);
  frame.height = static_cast<int>(h);
  frame.rgb.assign(text.begin() + at, text.begin() + at + bytes);
  return frame;
}

void MoviePalette::Count(const RgbFrame &frame) {
  const size_t n = frame.rgb.size() / 3;
  for (size_t i = 0; i < n; ++i) {
    const std::uint8_t *p = &frame.rgb[3 * i];
    const int cell = Cell(p);
    ++count_[cell];
    sum_[3 * cell] += p[0];
    sum_[3 * cell + 1] += p[1];
    sum_[3 * cell + 2] += p[2];
    if (!manyColours_) {
      const std::uint32_t c = Packed(p);
      if (std::find(exact_.begin(), exact_.end(), c) == exact_.end()) {
        exact_.push_back(c);
        if (exact_.size() > 256) manyColours_ = true;
      }
    }
  }
}

void MoviePalette::Build() {
  palette_.clear();
  if (!manyColours_) {
    std::sort(exact_.begin(), exact_.end());
    if (exact_.empty()) exact_.push_back(0);
    for (std::uint32_t c : exact_) {
      palette_.push_back(static_cast<std::uint8_t>(c >> 16));
      palette_.push_back(static_cast<std::uint8_t>(c >> 8));
      palette_.push_back(static_cast<std::uint8_t>(c));
    }
    return;
  }
  auto cellOf = [](int r, int g, int b) { return r << 10 | g << 5 | b; };
  // Shrinks a box to the cells it holds pixels in and counts them.
  auto fit = [&](Box &box) {
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    box.pixels = 0;
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
      for (int g = box.lo[1]; g <= box.hi[1]; ++g)
        for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
          const std::uint64_t n = count_[cellOf(r, g, b)];
          if (n == 0) continue;
          box.pixels += n;
          const int v[3] = {r, g, b};
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
          }
        }
    std::copy(lo, lo + 3, box.lo);
    std::copy(hi, hi + 3, box.hi);
  };
  std::vector<Box> boxes(1, Box{{0, 0, 0}, {31, 31, 31}, 0});
  fit(boxes[0]);
  while (boxes.size() < 256) {
    // The box with the most pixels that still spans more than one cell is
    // split across its longest side where half its pixels lie below.
    int pick = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
      const Box &b = boxes[i];
      const bool single = b.lo[0] == b.hi[0] && b.lo[1] == b.hi[1] && b.lo[2] == b.hi[2];
      if (!single && b.pixels > 0 && (pick < 0 || b.pixels > boxes[pick].pixels)) pick = static_cast<int>(i);
    }
    if (pick < 0) break;
    Box box = boxes[pick];
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (box.hi[k] - box.lo[k] > box.hi[axis] - box.lo[axis]) axis = k;
    std::vector<std::uint64_t> plane(32, 0);
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
      for (int g = box.lo[1]; g <= box.hi[1]; ++g)
        for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
          const int v[3] = {r, g, b};
          plane[v[axis]] += count_[cellOf(r, g, b)];
        }
    std::uint64_t below = 0;
    int cut = box.lo[axis];
    for (; cut < box.hi[axis] - 1; ++cut) {
      below += plane[cut];
      if (2 * below >= box.pixels) break;
    }
    Box low = box, high = box;
    low.hi[axis] = cut;
    high.lo[axis] = cut + 1;
    fit(low);
    fit(high);
    boxes[pick] = low;
    boxes.push_back(high);
  }
  for (const Box &box : boxes) {
    std::uint64_t s[3] = {0, 0, 0};
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
      for (int g = box.lo[1]; g <= box.hi[1]; ++g)
        for (int b = box.lo[2]; b <= box.hi[2]; ++b)
          for (int k = 0; k < 3; ++k) s[k] += sum_[3 * cellOf(r, g, b) + k];
    for (int k = 0; k < 3; ++k)
      palette_.push_back(static_cast<std::uint8_t>(box.pixels ? (s[k] + box.pixels / 2) / box.pixels : 0));
  }
  // Each occupied cell takes the colour nearest its own mean.
  cellIndex_.assign(32768, 0);
  const int colours = static_cast<int>(palette_.size() / 3);
  for (int cell = 0; cell < 32768; ++cell) {
    const std::uint64_t n = count_[cell];
    if (n == 0) continue;
    long best = -1;
    for (int i = 0; i < colours; ++i) {
      long d = 0;
      for (int k = 0; k < 3; ++k) {
        const long mean = static_cast<long>((sum_[3 * cell + k] + n / 2) / n);
        const long e = mean - palette_[3 * i + k];
        d += e * e;
      }
      if (best < 0 || d < best) {
        best = d;
        cellIndex_[cell] = static_cast<std::uint8_t>(i);
      }
    }
  }
}

std::vector<std::uint8_t> MoviePalette::Index(const RgbFrame &frame) const {
  const size_t n = frame.rgb.size() / 3;
  std::vector<std::uint8_t> pixels(n);
  for (size_t i = 0; i < n; ++i) {
    const std::uint8_t *p = &frame.rgb[3 * i];
    if (manyColours_) {
      pixels[i] = cellIndex_[Cell(p)];
    } else {
      const auto at = std::lower_bound(exact_.begin(), exact_.end(), Packed(p));
      pixels[i] = static_cast<std::uint8_t>(at - exact_.begin());
    }
  }
  return pixels;
}

void WriteMovie(const std::vector<std::string> &frames, const std::vector<int> &delays,
                const char *filename) {
  if (frames.empty()) Error("A movie needs at least one frame", "WriteMovie");
  if (delays.size() != frames.size())
    Error("A movie needs one delay for each frame", "WriteMovie");
  // Two passes over the files: the colours of all, then each frame's pixels,
  // so that only one frame is held at a time.
  MoviePalette palette;
  int width = 0, height = 0;
  for (const std::string &file : frames) {
    const RgbFrame frame = ReadRgbFrame(file.c_str());
    width = std::max(width, frame.width);
    height = std::max(height, frame.height);
    palette.Count(frame);
  }
  palette.Build();
  GifAnimation movie(width, height, palette.Colours());
  for (size_t i = 0; i < frames.size(); ++i) {
    const RgbFrame frame = ReadRgbFrame(frames[i].c_str());
    IndexedImage image;
    image.width = frame.width;
    image.height = frame.height;
    image.pixels = palette.Index(frame);
    movie.Add(image, std::clamp(delays[i], 2, 65535));
  }
  const std::vector<std::uint8_t> bytes = movie.Finish();
  AtomicWriter out(filename, "WriteMovie", std::string("Cannot open ") + filename);
  out.Write(bytes.data(), bytes.size());
  out.Commit();
}
