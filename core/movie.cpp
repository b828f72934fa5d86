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

// Distinct colours counted before their lowest bits are dropped.
constexpr size_t kMaxTallies = 1u << 18;

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

std::uint32_t MoviePalette::Key(const std::uint8_t *p) const {
  const std::uint32_t mask = 0xffu >> drop_ << drop_;
  return (p[0] & mask) << 16 | (p[1] & mask) << 8 | (p[2] & mask);
}

// Drops one more low bit of each channel, merging the colours it joins.
void MoviePalette::Coarsen() {
  ++drop_;
  const std::uint32_t mask = 0xffu >> drop_ << drop_;
  const std::uint32_t keep = mask << 16 | mask << 8 | mask;
  for (Tally &t : tally_) t.key &= keep;
  // Cleared bits of green and blue move keys past others: order again.
  std::sort(tally_.begin(), tally_.end(), [](const Tally &a, const Tally &b) { return a.key < b.key; });
  std::vector<Tally> merged;
  merged.reserve(tally_.size());
  for (const Tally &t : tally_) {
    if (merged.empty() || merged.back().key != t.key) {
      merged.push_back(t);
    } else {
      Tally &m = merged.back();
      m.pixels += t.pixels;
      m.r += t.r;
      m.g += t.g;
      m.b += t.b;
    }
  }
  tally_.swap(merged);
}

// A frame's colours sorted (key above, the colour itself below, so that
// the sums of a key's pixels come from their own colours), run-length
// counted, then merged into the tallies of the frames before.
void MoviePalette::Count(const RgbFrame &frame) {
  const size_t n = frame.rgb.size() / 3;
  std::vector<std::uint64_t> pixels(n);
  for (size_t i = 0; i < n; ++i) {
    const std::uint8_t *p = &frame.rgb[3 * i];
    const std::uint32_t colour = static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    pixels[i] = static_cast<std::uint64_t>(Key(p)) << 24 | colour;
  }
  std::sort(pixels.begin(), pixels.end());
  std::vector<Tally> runs;
  runs.reserve(std::min(n, kMaxTallies + 1));
  for (std::uint64_t v : pixels) {
    const std::uint32_t key = static_cast<std::uint32_t>(v >> 24);
    if (runs.empty() || runs.back().key != key) {
      runs.push_back(Tally{});
      runs.back().key = key;
    }
    Tally &t = runs.back();
    ++t.pixels;
    t.r += (v >> 16) & 0xff;
    t.g += (v >> 8) & 0xff;
    t.b += v & 0xff;
  }
  std::vector<Tally> merged;
  merged.reserve(tally_.size() + runs.size());
  size_t a = 0, b = 0;
  while (a < tally_.size() || b < runs.size()) {
    if (b == runs.size() || (a < tally_.size() && tally_[a].key < runs[b].key)) {
      merged.push_back(tally_[a++]);
    } else if (a == tally_.size() || runs[b].key < tally_[a].key) {
      merged.push_back(runs[b++]);
    } else {
      Tally t = tally_[a++];
      const Tally &u = runs[b++];
      t.pixels += u.pixels;
      t.r += u.r;
      t.g += u.g;
      t.b += u.b;
      merged.push_back(t);
    }
  }
  tally_.swap(merged);
  while (tally_.size() > kMaxTallies) Coarsen();
}

void MoviePalette::Build() {
  palette_.clear();
  struct Colour {
    std::uint8_t c[3];
    Tally *tally;
  };
  std::vector<Colour> colours;
  colours.reserve(tally_.size());
  for (Tally &t : tally_) {
    colours.push_back({{static_cast<std::uint8_t>(t.key >> 16), static_cast<std::uint8_t>(t.key >> 8),
                        static_cast<std::uint8_t>(t.key)}, &t});
  }
  if (colours.empty()) colours.push_back({{0, 0, 0}, nullptr});

  struct Box {
    size_t begin, end;
    std::uint64_t pixels;
  };
  auto pixelsOf = [&](size_t begin, size_t end) {
    std::uint64_t n = 0;
    for (size_t i = begin; i < end; ++i) n += colours[i].tally ? colours[i].tally->pixels : 1;
    return n;
  };
  std::vector<Box> boxes{{0, colours.size(), pixelsOf(0, colours.size())}};
  while (boxes.size() < 256) {
    // The box of most pixels that holds two colours or more is split.
    int pick = -1;
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].end - boxes[i].begin > 1 && (pick < 0 || boxes[i].pixels > boxes[pick].pixels))
        pick = static_cast<int>(i);
    if (pick < 0) break;
    const Box box = boxes[pick];
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (size_t i = box.begin; i < box.end; ++i)
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min<int>(lo[k], colours[i].c[k]);
        hi[k] = std::max<int>(hi[k], colours[i].c[k]);
      }
    int axis = 0;
    for (int k = 1; k < 3; ++k)
      if (hi[k] - lo[k] > hi[axis] - lo[axis]) axis = k;
    std::stable_sort(colours.begin() + box.begin, colours.begin() + box.end,
                     [axis](const Colour &a, const Colour &b) { return a.c[axis] < b.c[axis]; });
    // The first colour past half the box's pixels starts the upper box;
    // each side keeps at least one colour.
    std::uint64_t below = 0;
    size_t cut = box.begin + 1;
    for (; cut < box.end - 1; ++cut) {
      below += colours[cut - 1].tally->pixels;
      if (2 * below >= box.pixels) break;
    }
    boxes[pick] = {box.begin, cut, pixelsOf(box.begin, cut)};
    boxes.push_back({cut, box.end, pixelsOf(cut, box.end)});
  }
  for (size_t b = 0; b < boxes.size(); ++b) {
    std::uint64_t n = 0, sum[3] = {0, 0, 0};
    for (size_t i = boxes[b].begin; i < boxes[b].end; ++i) {
      Tally *t = colours[i].tally;
      if (t == nullptr) continue;
      t->index = static_cast<int>(b);
      n += t->pixels;
      sum[0] += t->r;
      sum[1] += t->g;
      sum[2] += t->b;
    }
    for (int k = 0; k < 3; ++k)
      palette_.push_back(static_cast<std::uint8_t>(n ? (sum[k] + n / 2) / n : 0));
  }
}

std::vector<std::uint8_t> MoviePalette::Index(const RgbFrame &frame) const {
  const size_t n = frame.rgb.size() / 3;
  std::vector<std::uint8_t> pixels(n);
  for (size_t i = 0; i < n; ++i) {
    // A colour not counted (a frame that changed since) takes the first.
    const std::uint32_t key = Key(&frame.rgb[3 * i]);
    const auto at = std::lower_bound(tally_.begin(), tally_.end(), key,
                                     [](const Tally &t, std::uint32_t k) { return t.key < k; });
    pixels[i] = static_cast<std::uint8_t>(at == tally_.end() || at->key != key ? 0 : at->index);
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
