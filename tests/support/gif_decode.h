// A small GIF reader for tests, written apart from the encoder it checks:
// the first image of a file with a global colour table, its transparent
// index and its pixels. Anything it does not understand, or bytes that
// run out, make it fail with a message instead of guessing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedGif {
  bool ok = false;
  std::string error;
  int width = 0, height = 0;
  std::vector<std::uint8_t> palette;  // 3 bytes a colour, as stored (padded)
  int transparent = -1;
  std::vector<std::uint8_t> pixels;
  int clearCodes = 0;  // clear codes met in the code stream, the first one included
};

namespace gif_decode {

struct Reader {
  const std::vector<std::uint8_t> &bytes;
  size_t at = 0;
  bool failed = false;
  int Byte() {
    if (at >= bytes.size()) {
      failed = true;
      return 0;
    }
    return bytes[at++];
  }
  int Word() {
    const int lo = Byte();
    return lo | (Byte() << 8);
  }
};

// Codes are read least significant bit first; the dictionary is kept as
// (prefix code, last byte) pairs and strings are unwound backwards.
inline bool DecodeCodes(const std::vector<std::uint8_t> &data, int minCodeSize, size_t count,
                        DecodedGif *out) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  std::vector<int> prefix(4096, -1);
  std::vector<std::uint8_t> suffix(4096, 0), first(4096, 0);
  for (int i = 0; i < clear; ++i) suffix[i] = first[i] = static_cast<std::uint8_t>(i);
  size_t bitPos = 0;
  int size = minCodeSize + 1, next = end + 1, previous = -1;
  std::vector<std::uint8_t> stack;
  while (true) {
    if (bitPos + size > data.size() * 8) {
      out->error = "code stream ends without an end code";
      return false;
    }
    int code = 0;
    for (int b = 0; b < size; ++b, ++bitPos)
      code |= ((data[bitPos / 8] >> (bitPos % 8)) & 1) << b;
    if (code == clear) {
      ++out->clearCodes;
      size = minCodeSize + 1;
      next = end + 1;
      previous = -1;
      continue;
    }
    if (code == end) break;
    if (previous < 0 && out->clearCodes == 0) {
      out->error = "no clear code first";
      return false;
    }
    if (code > next || (code == next && previous < 0)) {
      out->error = "code " + std::to_string(code) + " not yet defined";
      return false;
    }
    int walk = code;
    std::uint8_t head;
    stack.clear();
    if (code == next) {  // the string just being defined: previous + its own first byte
      head = first[previous];
      stack.push_back(head);
      walk = previous;
    }
    while (walk >= 0) {
      stack.push_back(suffix[walk]);
      walk = walk < clear ? -1 : prefix[walk];
    }
    head = stack.back();
    out->pixels.insert(out->pixels.end(), stack.rbegin(), stack.rend());
    if (previous >= 0 && next < 4096) {
      prefix[next] = previous;
      suffix[next] = head;
      first[next] = first[previous];
      ++next;
      if (next == (1 << size) && size < 12) ++size;
    }
    previous = code;
    if (out->pixels.size() > count) {
      out->error = "more pixels than the image holds";
      return false;
    }
  }
  if (out->pixels.size() != count) {
    out->error = "pixel count " + std::to_string(out->pixels.size()) + " instead of " + std::to_string(count);
    return false;
  }
  return true;
}

}  // namespace gif_decode

inline DecodedGif DecodeGif(const std::vector<std::uint8_t> &bytes) {
  DecodedGif out;
  gif_decode::Reader in{bytes};
  const std::string magic(bytes.begin(), bytes.begin() + std::min<size_t>(6, bytes.size()));
  if (magic != "GIF89a") {
    out.error = "not a GIF89a file";
    return out;
  }
  in.at = 6;
  out.width = in.Word();
  out.height = in.Word();
  const int flags = in.Byte();
  in.Byte();
  in.Byte();
  if (!(flags & 0x80)) {
    out.error = "no global colour table";
    return out;
  }
  const int colours = 2 << (flags & 7);
  for (int i = 0; i < 3 * colours; ++i) out.palette.push_back(static_cast<std::uint8_t>(in.Byte()));
  while (!in.failed) {
    const int block = in.Byte();
    if (block == 0x21) {
      const int label = in.Byte();
      for (int n = in.Byte(); n > 0 && !in.failed; n = in.Byte()) {
        std::vector<int> sub;
        for (int i = 0; i < n; ++i) sub.push_back(in.Byte());
        if (label == 0xf9 && n == 4 && (sub[0] & 1)) out.transparent = sub[3];
      }
    } else if (block == 0x2c) {
      in.Word();
      in.Word();
      const int w = in.Word(), h = in.Word(), imageFlags = in.Byte();
      if (w != out.width || h != out.height || imageFlags != 0) {
        out.error = "image descriptor differs from the screen or has a local table";
        return out;
      }
      const int minCodeSize = in.Byte();
      std::vector<std::uint8_t> data;
      for (int n = in.Byte(); n > 0 && !in.failed; n = in.Byte())
        for (int i = 0; i < n; ++i) data.push_back(static_cast<std::uint8_t>(in.Byte()));
      if (in.failed) break;
      if (minCodeSize < 2 || minCodeSize > 8) {
        out.error = "bad minimum code size";
        return out;
      }
      if (!gif_decode::DecodeCodes(data, minCodeSize, static_cast<size_t>(w) * h, &out)) return out;
      if (in.Byte() != 0x3b || in.at != bytes.size()) {
        out.error = "no trailer right after the image";
        return out;
      }
      out.ok = true;
      return out;
    } else {
      out.error = "unexpected block " + std::to_string(block);
      return out;
    }
  }
  out.error = "file ends early";
  return out;
}
