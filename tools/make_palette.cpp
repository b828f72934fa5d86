// Build-time generator of the colour palette "colors.pal".
//
//   make_palette <out_file>
//
// 742 lines "new R G B", each component right-aligned in 3 columns and
// the three separated by 3 spaces. The first three colours and the last
// are fixed; between them lie a grey ramp from white to black and then,
// for each of 20 pairs of saturation and lightness, 36 hues 10 degrees
// apart starting at red. The last line alone ends with a trailing space.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

struct Colour {
  int r, g, b;
};

// HSL to 8-bit RGB: hue in degrees, saturation and lightness in [0, 1].
static Colour FromHsl(double hue, double saturation, double lightness) {
  const double chroma = (1 - std::fabs(2 * lightness - 1)) * saturation;
  const double h = std::fmod(hue, 360.0) / 60.0;
  const double second = chroma * (1 - std::fabs(std::fmod(h, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0: r = chroma, g = second; break;
    case 1: r = second, g = chroma; break;
    case 2: g = chroma, b = second; break;
    case 3: g = second, b = chroma; break;
    case 4: r = second, b = chroma; break;
    default: r = chroma, b = second; break;
  }
  const double m = lightness - chroma / 2;
  const auto byte = [m](double c) { return static_cast<int>(std::lround((c + m) * 255)); };
  return {byte(r), byte(g), byte(b)};
}

static std::vector<Colour> Palette() {
  std::vector<Colour> colours = {{240, 248, 255}, {250, 235, 215}, {255, 239, 219}};
  for (int level = 255; level >= 0; level -= 15) colours.push_back({level, level, level});
  for (double saturation : {1.0, 0.75, 0.5, 0.3}) {
    for (double lightness : {0.5, 0.35, 0.65, 0.2, 0.8}) {
      for (int hue = 0; hue < 360; hue += 10) colours.push_back(FromHsl(hue, saturation, lightness));
    }
  }
  colours.push_back({154, 205, 50});
  return colours;
}

int main(int argc, char *argv[]) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " out_file\n";
    return 2;
  }
  const std::vector<Colour> colours = Palette();
  std::set<int> seen;
  for (const Colour &c : colours) {
    if (!seen.insert((c.r << 16) | (c.g << 8) | c.b).second) {
      std::cerr << argv[0] << ": colour " << c.r << " " << c.g << " " << c.b << " appears twice\n";
      return 1;
    }
  }
  if (colours.size() != 742) {
    std::cerr << argv[0] << ": " << colours.size() << " colours instead of 742\n";
    return 1;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  for (size_t i = 0; i < colours.size(); ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "new %3d   %3d   %3d%s\n", colours[i].r, colours[i].g, colours[i].b,
                  i + 1 == colours.size() ? " " : "");
    out << line;
  }
  if (!out.flush()) {
    std::cerr << argv[0] << ": cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
