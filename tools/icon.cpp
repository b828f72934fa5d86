#include "tools/icon.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSamples = 4;        // per pixel side
constexpr int kCircleSegments = 72;

[[noreturn]] void Fail(const std::string &source, int line, const std::string &what) {
  throw std::runtime_error(source + ":" + std::to_string(line) + ": " + what);
}

bool ParseHexColour(const std::string &word, Rgb *out) {
  if (word.size() != 7 || word[0] != '#') return false;
  for (size_t i = 1; i < 7; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(word[i]))) return false;
  const long v = std::strtol(word.c_str() + 1, nullptr, 16);
  *out = {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>((v >> 8) & 0xff),
          static_cast<std::uint8_t>(v & 0xff)};
  return true;
}

bool ParseNumber(const std::string &word, double *out) {
  char *end = nullptr;
  *out = std::strtod(word.c_str(), &end);
  return !word.empty() && end == word.c_str() + word.size() && std::isfinite(*out);
}

// The words of a line up to a comment: a word starting with '#' that is
// not a colour.
std::vector<std::string> Words(const std::string &line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  Rgb colour;
  for (std::string w; in >> w;) {
    if (w[0] == '#' && !ParseHexColour(w, &colour)) break;
    words.push_back(w);
  }
  return words;
}

// Points of the arc from `from` to `to` degrees, counter-clockwise as seen
// (y runs down, so the sine is subtracted).
void AppendArc(std::vector<IconPoint> &path, double cx, double cy, double rx, double ry,
               double from, double to) {
  const double sweep = to - from;
  const int n = std::max(2, static_cast<int>(std::ceil(std::fabs(sweep) / 360.0 * kCircleSegments)));
  for (int i = 0; i <= n; ++i) {
    const double a = (from + sweep * i / n) * kPi / 180.0;
    path.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
  }
}

std::vector<IconPoint> RoundedRect(double x0, double y0, double x1, double y1, double r) {
  std::vector<IconPoint> path;
  if (r <= 0) return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  r = std::min(r, std::min(x1 - x0, y1 - y0) / 2);
  AppendArc(path, x1 - r, y0 + r, r, r, 90, 0);
  AppendArc(path, x1 - r, y1 - r, r, r, 0, -90);
  AppendArc(path, x0 + r, y1 - r, r, r, -90, -180);
  AppendArc(path, x0 + r, y0 + r, r, r, 180, 90);
  return path;
}

// Calls take(line number, words) for every line with words on it.
template <class F>
void ForEachStatement(const std::string &text, F &&take) {
  std::istringstream in(text);
  int lineNo = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    const std::vector<std::string> words = Words(line);
    if (!words.empty()) take(lineNo, words);
  }
}

}  // namespace

IconPalette ParseIconPalette(const std::string &text, const std::string &source) {
  IconPalette palette;
  ForEachStatement(text, [&](int lineNo, const std::vector<std::string> &w) {
    Rgb colour;
    if (w.size() != 2 || !ParseHexColour(w[1], &colour)) Fail(source, lineNo, "expected: name #rrggbb");
    palette[w[0]] = colour;
  });
  return palette;
}

std::vector<IconShape> ParseIcon(const std::string &text, const IconPalette &palette,
                                 const std::string &source) {
  std::vector<IconShape> shapes;
  ForEachStatement(text, [&](int lineNo, const std::vector<std::string> &w) {
    const std::string &kind = w[0];
    std::vector<double> numbers;
    size_t at = 1;
    for (double v; at < w.size() && ParseNumber(w[at], &v); ++at) numbers.push_back(v);

    IconShape shape;
    double radius = 0;
    for (; at < w.size(); at += 2) {
      if (at + 1 >= w.size()) Fail(source, lineNo, "option \"" + w[at] + "\" has no value");
      const std::string &key = w[at], &value = w[at + 1];
      if (key == "fill" || key == "stroke") {
        Rgb colour;
        const auto named = palette.find(value);
        if (named != palette.end()) colour = named->second;
        else if (!ParseHexColour(value, &colour)) Fail(source, lineNo, "unknown colour \"" + value + "\"");
        (key == "fill" ? shape.fill : shape.stroke) = colour;
        (key == "fill" ? shape.filled : shape.stroked) = true;
      } else if (key == "width" || key == "radius") {
        double v;
        if (!ParseNumber(value, &v) || v < 0) Fail(source, lineNo, "bad " + key + " \"" + value + "\"");
        (key == "width" ? shape.width : radius) = v;
      } else if (key == "cap") {
        if (value == "round") shape.cap = Cap::kRound;
        else if (value == "square") shape.cap = Cap::kSquare;
        else if (value == "butt") shape.cap = Cap::kButt;
        else Fail(source, lineNo, "unknown cap \"" + value + "\"");
      } else {
        Fail(source, lineNo, "unknown option \"" + key + "\"");
      }
    }

    const auto need = [&](size_t n) {
      if (numbers.size() != n)
        Fail(source, lineNo, kind + " takes " + std::to_string(n) + " numbers, not " +
                                 std::to_string(numbers.size()));
    };
    const auto needPoints = [&](size_t least) {
      if (numbers.size() % 2 != 0 || numbers.size() < 2 * least)
        Fail(source, lineNo, kind + " takes at least " + std::to_string(least) + " x y pairs");
      for (size_t i = 0; i < numbers.size(); i += 2) shape.path.push_back({numbers[i], numbers[i + 1]});
    };
    if (kind == "rect") {
      need(4);
      shape.path = RoundedRect(std::min(numbers[0], numbers[2]), std::min(numbers[1], numbers[3]),
                               std::max(numbers[0], numbers[2]), std::max(numbers[1], numbers[3]), radius);
      shape.closed = true;
    } else if (kind == "circle" || kind == "ellipse") {
      need(kind == "circle" ? 3 : 4);
      const double rx = numbers[2], ry = numbers[kind == "circle" ? 2 : 3];
      AppendArc(shape.path, numbers[0], numbers[1], rx, ry, 0, 360);
      shape.path.pop_back();
      shape.closed = true;
    } else if (kind == "polygon") {
      needPoints(3);
      shape.closed = true;
    } else if (kind == "line") {
      need(4);
      needPoints(2);
    } else if (kind == "polyline") {
      needPoints(2);
    } else if (kind == "arc") {
      if (numbers.size() != 5 && numbers.size() != 6)
        Fail(source, lineNo, "arc takes 5 numbers (circle) or 6 (ellipse), not " +
                                 std::to_string(numbers.size()));
      const bool ellipse = numbers.size() == 6;
      if (shape.filled) shape.path.push_back({numbers[0], numbers[1]});
      AppendArc(shape.path, numbers[0], numbers[1], numbers[2], numbers[ellipse ? 3 : 2],
                numbers[ellipse ? 4 : 3], numbers[ellipse ? 5 : 4]);
      shape.closed = shape.filled;
    } else {
      Fail(source, lineNo, "unknown primitive \"" + kind + "\"");
    }
    if (shape.filled && !shape.closed) Fail(source, lineNo, kind + " cannot be filled");
    if (!shape.filled && !shape.stroked) Fail(source, lineNo, kind + " has neither fill nor stroke");
    shapes.push_back(std::move(shape));
  });
  return shapes;
}

namespace {

// Nonzero winding rule.
bool InsidePath(const std::vector<IconPoint> &path, double x, double y) {
  int winding = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const IconPoint &a = path[i], &b = path[(i + 1) % path.size()];
    if (a.y <= y) {
      if (b.y > y && (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y) > 0) ++winding;
    } else if (b.y <= y && (b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y) < 0) {
      --winding;
    }
  }
  return winding != 0;
}

// Whether (x, y) lies within h of the segment a-b, the ends shaped by the
// caps. Inside a path each segment runs on by half the width, which joins
// right angles as crisp corners and gentler turns with little overshoot.
bool OnSegment(IconPoint a, IconPoint b, double x, double y, double h, Cap startCap, Cap endCap) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  if (length == 0) return startCap == Cap::kRound && std::hypot(x - a.x, y - a.y) <= h;
  const double ux = dx / length, uy = dy / length;
  const double t = (x - a.x) * ux + (y - a.y) * uy;
  const double across = std::fabs(-(x - a.x) * uy + (y - a.y) * ux);
  if (t >= 0 && t <= length) return across <= h;
  const Cap cap = t < 0 ? startCap : endCap;
  const double beyond = t < 0 ? -t : t - length;
  switch (cap) {
    case Cap::kRound: return beyond * beyond + across * across <= h * h;
    case Cap::kSquare: return beyond <= h && across <= h;
    case Cap::kButt: return false;
  }
  return false;
}

bool OnStroke(const IconShape &s, double x, double y) {
  const double h = s.width / 2;
  const size_t n = s.path.size();
  const size_t segments = s.closed ? n : n - 1;
  for (size_t i = 0; i < segments; ++i) {
    const Cap startCap = (!s.closed && i == 0) ? s.cap : Cap::kSquare;
    const Cap endCap = (!s.closed && i + 1 == segments) ? s.cap : Cap::kSquare;
    if (OnSegment(s.path[i], s.path[(i + 1) % n], x, y, h, startCap, endCap)) return true;
  }
  return false;
}

}  // namespace

std::vector<Rgba> RenderIcon(const std::vector<IconShape> &shapes, int size, Rgb matte) {
  std::vector<Rgba> pixels(static_cast<size_t>(size) * size);
  const double unitsPerSample = 16.0 / (size * kSamples);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      int covered = 0;
      double r = 0, g = 0, b = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const double x = (px * kSamples + sx + 0.5) * unitsPerSample;
          const double y = (py * kSamples + sy + 0.5) * unitsPerSample;
          const Rgb *colour = nullptr;
          for (const IconShape &s : shapes) {
            if (s.filled && InsidePath(s.path, x, y)) colour = &s.fill;
            if (s.stroked && OnStroke(s, x, y)) colour = &s.stroke;
          }
          if (!colour) continue;
          ++covered;
          r += colour->r;
          g += colour->g;
          b += colour->b;
        }
      }
      const int all = kSamples * kSamples;
      if (2 * covered < all) continue;
      const double share = static_cast<double>(covered) / all;
      const auto blend = [&](double sum, std::uint8_t m) {
        return static_cast<std::uint8_t>(std::lround(sum / all + (1 - share) * m));
      };
      pixels[static_cast<size_t>(py) * size + px] = {blend(r, matte.r), blend(g, matte.g),
                                                     blend(b, matte.b), 255};
    }
  }
  return pixels;
}

IndexedImage IndexIcon(const std::vector<Rgba> &pixels, int size, Rgb matte) {
  for (int dropBits = 0; dropBits < 8; ++dropBits) {
    const auto reduce = [dropBits](std::uint8_t c) {
      if (dropBits == 0) return c;
      const int step = 1 << dropBits;
      return static_cast<std::uint8_t>(std::min(255, (c / step) * step + step / 2));
    };
    IndexedImage image;
    image.width = image.height = size;
    image.transparent = 0;
    image.palette = {matte.r, matte.g, matte.b};
    std::map<std::uint32_t, std::uint8_t> index;
    bool fits = true;
    for (const Rgba &p : pixels) {
      if (p.a == 0) {
        image.pixels.push_back(0);
        continue;
      }
      const std::uint8_t r = reduce(p.r), g = reduce(p.g), b = reduce(p.b);
      const std::uint32_t key = (r << 16) | (g << 8) | b;
      auto found = index.find(key);
      if (found == index.end()) {
        if (index.size() == 255) {
          fits = false;
          break;
        }
        found = index.emplace(key, static_cast<std::uint8_t>(index.size() + 1)).first;
        image.palette.insert(image.palette.end(), {r, g, b});
      }
      image.pixels.push_back(found->second);
    }
    if (fits) return image;
  }
  throw std::logic_error("icon colours do not reduce to 255");  // 1 bit a channel gives 8
}
