#include "tools/gif.h"

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

std::vector<std::uint8_t> EncodeGif(const IndexedImage &image) {
  if (image.width < 1 || image.width > 65535 || image.height < 1 || image.height > 65535)
    throw std::invalid_argument("image size out of range");
  const size_t colours = image.palette.size() / 3;
  if (colours < 1 || colours > 256 || image.palette.size() % 3 != 0)
    throw std::invalid_argument("palette must hold 1 to 256 colours");
  if (image.pixels.size() != static_cast<size_t>(image.width) * image.height)
    throw std::invalid_argument("pixel count differs from the image size");
  for (std::uint8_t p : image.pixels)
    if (p >= colours) throw std::invalid_argument("pixel index past the palette");
  if (image.transparent >= static_cast<int>(colours))
    throw std::invalid_argument("transparent index past the palette");

  int tableBits = 2;  // LZW needs a minimum code size of 2
  while ((1u << tableBits) < colours) ++tableBits;

  std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  PutWord(out, image.width);
  PutWord(out, image.height);
  // Global table present, 8 bits of colour resolution, table size.
  out.push_back(static_cast<std::uint8_t>(0x80 | 0x70 | (tableBits - 1)));
  out.push_back(0);  // background colour index
  out.push_back(0);  // no aspect ratio
  for (size_t i = 0; i < (size_t(1) << tableBits) * 3; ++i)
    out.push_back(i < image.palette.size() ? image.palette[i] : 0);

  if (image.transparent >= 0) {
    out.insert(out.end(), {0x21, 0xf9, 0x04, 0x01, 0x00, 0x00});
    out.push_back(static_cast<std::uint8_t>(image.transparent));
    out.push_back(0);
  }

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
  out.push_back(0x3b);
  return out;
}
