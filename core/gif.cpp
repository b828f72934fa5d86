#include "core/gif.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace {

constexpr int kMaxCode = 4096;

class BitWriter {
 public:
  void Put(int code, int width) {
    buffer_ |= static_cast<std::uint32_t>(code) << count_;
    count_ += width;
    while (count_ >= 8) {
      bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xff));
      buffer_ >>= 8;
      count_ -= 8;
    }
  }
  std::vector<std::uint8_t> Finish() {
    if (count_ > 0) bytes_.push_back(static_cast<std::uint8_t>(buffer_ & 0xff));
    buffer_ = 0;
    count_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
};

void PutWord(std::vector<std::uint8_t> &out, int value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xff));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
}

}  // namespace

// The table maps (prefix code, next pixel) to a code. The code width grows
// once the last code added needs the next bit, which is the moment the
// decoder, one entry behind, first meets a code of that width.
std::vector<std::uint8_t> LzwCompress(const std::vector<std::uint8_t> &pixels, int minCodeSize) {
  const int clearCode = 1 << minCodeSize;
  const int endCode = clearCode + 1;
  BitWriter bits;
  std::unordered_map<int, int> table;
  int width = minCodeSize + 1;
  int next = endCode + 1;
  bits.Put(clearCode, width);
  if (!pixels.empty()) {
    int prefix = pixels[0];
    for (size_t i = 1; i < pixels.size(); ++i) {
      const int pixel = pixels[i];
      const int key = (prefix << 8) | pixel;
      const auto found = table.find(key);
      if (found != table.end()) {
        prefix = found->second;
        continue;
      }
      bits.Put(prefix, width);
      if (next < kMaxCode) {
        table.emplace(key, next);
        if (next == (1 << width)) ++width;
        ++next;
      } else {
        bits.Put(clearCode, width);
        table.clear();
        width = minCodeSize + 1;
        next = endCode + 1;
      }
      prefix = pixel;
    }
    bits.Put(prefix, width);
  }
  bits.Put(endCode, width);
  return bits.Finish();
}

namespace {

void CheckScreen(int width, int height, const std::vector<std::uint8_t> &palette) {
  if (width < 1 || width > 65535 || height < 1 || height > 65535)
    throw std::invalid_argument("image size out of range");
  const size_t colours = palette.size() / 3;
  if (colours < 1 || colours > 256 || palette.size() % 3 != 0)
    throw std::invalid_argument("palette must hold 1 to 256 colours");
}

void CheckPixels(const IndexedImage &image, size_t colours) {
  if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
    throw std::invalid_argument("pixel count differs from the image size");
  for (std::uint8_t p : image.pixels)
    if (p >= colours) throw std::invalid_argument("pixel index past the palette");
}

// Bits of a colour table that holds the palette (at least 2: LZW needs a
// minimum code size of 2).
int TableBits(size_t colours) {
  int bits = 2;
  while ((1u << bits) < colours) ++bits;
  return bits;
}

// Signature, logical screen and the global colour table padded with black.
void PutScreen(std::vector<std::uint8_t> &out, int width, int height,
               const std::vector<std::uint8_t> &palette, int tableBits) {
  out.insert(out.end(), {'G', 'I', 'F', '8', '9', 'a'});
  PutWord(out, width);
  PutWord(out, height);
  // Global table present, 8 bits of colour resolution, table size.
  out.push_back(static_cast<std::uint8_t>(0x80 | 0x70 | (tableBits - 1)));
  out.push_back(0);  // background colour index
  out.push_back(0);  // no aspect ratio
  for (size_t i = 0; i < (size_t(1) << tableBits) * 3; ++i)
    out.push_back(i < palette.size() ? palette[i] : 0);
}

// A graphic control extension: disposal method, delay, transparent index.
void PutControl(std::vector<std::uint8_t> &out, int disposal, int delay, int transparent) {
  out.insert(out.end(), {0x21, 0xf9, 0x04});
  out.push_back(static_cast<std::uint8_t>((disposal << 2) | (transparent >= 0 ? 1 : 0)));
  PutWord(out, delay);
  out.push_back(static_cast<std::uint8_t>(transparent >= 0 ? transparent : 0));
  out.push_back(0);
}

// Image descriptor at (0, 0) and the pixels in 255-byte sub-blocks.
void PutImage(std::vector<std::uint8_t> &out, const IndexedImage &image, int tableBits) {
  out.push_back(0x2c);
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, image.width);
  PutWord(out, image.height);
  out.push_back(0);  // no local table, not interlaced
  out.push_back(static_cast<std::uint8_t>(tableBits));
  const std::vector<std::uint8_t> codes = LzwCompress(image.pixels, tableBits);
  for (size_t at = 0; at < codes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, codes.size() - at);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), codes.begin() + at, codes.begin() + at + n);
  }
  out.push_back(0);
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const IndexedImage &image) {
  CheckScreen(image.width, image.height, image.palette);
  const size_t colours = image.palette.size() / 3;
  CheckPixels(image, colours);
  if (image.transparent >= static_cast<int>(colours))
    throw std::invalid_argument("transparent index past the palette");

  const int tableBits = TableBits(colours);
  std::vector<std::uint8_t> out;
  PutScreen(out, image.width, image.height, image.palette, tableBits);
  if (image.transparent >= 0) PutControl(out, 0, 0, image.transparent);
  PutImage(out, image, tableBits);
  out.push_back(0x3b);
  return out;
}

GifAnimation::GifAnimation(int width, int height, const std::vector<std::uint8_t> &palette)
    : width_(width), height_(height) {
  CheckScreen(width, height, palette);
  colours_ = static_cast<int>(palette.size() / 3);
  tableBits_ = TableBits(colours_);
  PutScreen(out_, width, height, palette, tableBits_);
  // The application extension that makes viewers loop for ever.
  out_.insert(out_.end(), {0x21, 0xff, 0x0b, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.',
                           '0', 0x03, 0x01, 0x00, 0x00, 0x00});
}

void GifAnimation::Add(const IndexedImage &frame, int delay) {
  if (frame.width < 1 || frame.width > width_ || frame.height < 1 || frame.height > height_)
    throw std::invalid_argument("frame larger than the screen");
  if (delay < 0 || delay > 65535) throw std::invalid_argument("delay out of range");
  CheckPixels(frame, colours_);
  PutControl(out_, 2, delay, -1);
  PutImage(out_, frame, tableBits_);
}

std::vector<std::uint8_t> GifAnimation::Finish() {
  out_.push_back(0x3b);
  return std::move(out_);
}
