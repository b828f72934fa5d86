// Build-time generator of the interface's icons.
//
//   make_icons <icons_dir> <out_dir>
//
// Reads the shared colours from <icons_dir>/palette.txt and every
// <icons_dir>/<name>.icon, and writes <out_dir>/16x16/<name>.gif and
// <out_dir>/32x32/<name>.gif, each drawn at its own size. Any error in a
// description names its file and line and fails the build.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/gif.h"
#include "tools/icon.h"

namespace fs = std::filesystem;

// The toolbar's background, over which edge pixels are blended.
constexpr Rgb kToolbarGrey = {0xd9, 0xd9, 0xd9};

static std::string ReadText(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static void WriteBytes(const fs::path &path, const std::vector<std::uint8_t> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

int main(int argc, char *argv[]) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " icons_dir out_dir\n";
    return 2;
  }
  try {
    const fs::path source(argv[1]), out(argv[2]);
    const fs::path palettePath = source / "palette.txt";
    const IconPalette palette = ParseIconPalette(ReadText(palettePath), palettePath.string());
    std::vector<fs::path> icons;
    for (const auto &entry : fs::directory_iterator(source))
      if (entry.path().extension() == ".icon") icons.push_back(entry.path());
    std::sort(icons.begin(), icons.end());
    if (icons.empty()) throw std::runtime_error("no .icon files in " + source.string());
    for (int size : {16, 32}) {
      const fs::path dir = out / (std::to_string(size) + "x" + std::to_string(size));
      fs::remove_all(dir);  // no icon that lost its description outlives it
      fs::create_directories(dir);
      for (const fs::path &icon : icons) {
        const std::vector<IconShape> shapes = ParseIcon(ReadText(icon), palette, icon.string());
        const std::vector<Rgba> pixels = RenderIcon(shapes, size, kToolbarGrey);
        WriteBytes(dir / (icon.stem().string() + ".gif"), EncodeGif(IndexIcon(pixels, size, kToolbarGrey)));
      }
    }
  } catch (const std::exception &e) {
    std::cerr << argv[0] << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
