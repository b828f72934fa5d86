// Icons described as vector drawings in a 16-unit square and rendered at
// any pixel size, so that every size is drawn rather than scaled.
//
// A description is text, one primitive a line, painted in order (later
// ones over earlier ones); a word starting with '#' that is not a colour
// starts a comment. Coordinates are in units,
// x to the right and y down; a 1-unit stroke along a line at n + 0.5 fills
// exactly one pixel row at 16 x 16.
//   rect     X0 Y0 X1 Y1        [radius R]
//   circle   CX CY R
//   ellipse  CX CY RX RY
//   polygon  X Y X Y X Y ...
//   line     X0 Y0 X1 Y1
//   polyline X Y X Y ...
//   arc      CX CY R FROM TO    (degrees, counter-clockwise from +x as seen;
//   arc      CX CY RX RY FROM TO  a negative sweep runs clockwise)
// each followed by options: "fill C", "stroke C", "width W" (of the
// stroke, default 1), "cap round|square|butt" (ends of open paths, default
// square). An arc with a fill is a pie slice. C is a colour of the shared
// palette or #rrggbb.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/gif.h"

struct IconPoint {
  double x = 0, y = 0;
};

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

enum class Cap { kRound, kSquare, kButt };

// One primitive as a path in units: closed paths may be filled.
struct IconShape {
  std::vector<IconPoint> path;
  bool closed = false;
  bool filled = false;
  bool stroked = false;
  Rgb fill, stroke;
  double width = 1.0;
  Cap cap = Cap::kSquare;
};

using IconPalette = std::map<std::string, Rgb>;

// "name #rrggbb" a line. Throws std::runtime_error naming the line.
IconPalette ParseIconPalette(const std::string &text, const std::string &source);
// Throws std::runtime_error "<source>:<line>: <what is wrong>".
std::vector<IconShape> ParseIcon(const std::string &text, const IconPalette &palette,
                                 const std::string &source);

// An RGBA pixel: alpha 0 is transparent, 255 opaque.
struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

// size x size pixels, 4 x 4 samples each. A pixel less than half covered is
// transparent; an edge pixel covered more is its colours' mean blended
// with the toolbar's grey `matte` by the uncovered share, so edges look
// smooth where the icon is meant to be seen.
std::vector<Rgba> RenderIcon(const std::vector<IconShape> &shapes, int size, Rgb matte);

// The pixels as a GIF image: index 0 transparent (its colour the matte),
// then the colours in order of first appearance; when more than 255 remain
// they are rounded to fewer bits until they fit.
IndexedImage IndexIcon(const std::vector<Rgba> &pixels, int size, Rgb matte);
