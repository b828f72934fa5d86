// The icons and the palette as the interface finds them in the file store.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/store.h"
#include "support/gif_decode.h"

namespace {

const char *const kIcons[] = {
    "border_grid", "border_none", "border_inside", "border_out", "cancel", "classify", "clip",
    "cut", "default", "exit", "filter", "flip_x", "flip_y", "help", "hide", "lock", "move",
    "movie", "new", "noobjects", "objects", "open", "paint", "pencil", "picker", "point",
    "record", "refresh", "repeat", "rotate", "save", "selcolor", "show", "tick", "unlock",
    "view_details", "volume", "windowlevel", "wizard", "zoom_in", "zoom_out"};

std::vector<std::uint8_t> StoredBytes(const std::string &name) {
  const Et_File *file = Et_FindFile(name.c_str());
  if (!file) return {};
  return std::vector<std::uint8_t>(file->data, file->data + file->size);
}

}  // namespace

TEST(StoredIcons, EveryIconAtBothSizesDecodes) {
  Et_IndexBuiltinFiles();
  ASSERT_EQ(sizeof kIcons / sizeof kIcons[0], 41u);
  for (int size : {16, 32}) {
    const std::string dir = "images/" + std::to_string(size) + "x" + std::to_string(size) + "/";
    for (const char *icon : kIcons) {
      const std::string name = dir + icon + ".gif";
      const DecodedGif gif = DecodeGif(StoredBytes(name));
      ASSERT_TRUE(gif.ok) << name << ": " << gif.error;
      EXPECT_EQ(gif.width, size) << name;
      EXPECT_EQ(gif.height, size) << name;
      // A transparent background around something drawn.
      ASSERT_EQ(gif.transparent, 0) << name;
      size_t clear = 0;
      for (std::uint8_t p : gif.pixels) clear += p == 0;
      EXPECT_GT(clear, 0u) << name;
      EXPECT_GT(gif.pixels.size() - clear, gif.pixels.size() / 8) << name;
    }
  }
}

TEST(StoredIcons, NoOtherIconsAreStored) {
  int count = 0;
  const std::set<std::string> known(std::begin(kIcons), std::end(kIcons));
  for (const Et_File *e = Et_FileSet; e->name; ++e) {
    const std::string name = e->name;
    if (name.rfind("images/", 0) != 0) continue;
    ++count;
    const size_t slash = name.rfind('/');
    const std::string dir = name.substr(0, slash), base = name.substr(slash + 1);
    EXPECT_TRUE(dir == "images/16x16" || dir == "images/32x32") << name;
    EXPECT_TRUE(base.size() > 4 && known.count(base.substr(0, base.size() - 4)) &&
                base.compare(base.size() - 4, 4, ".gif") == 0)
        << name;
  }
  EXPECT_EQ(count, 82);
}

// 742 lines "new" + three components right-aligned in 3 columns, 3 spaces
// apart; the first three and the last fixed; one trailing space, on the
// last line; no colour twice.
TEST(StoredPalette, LinesHaveTheFormAndTheFixedColours) {
  Et_IndexBuiltinFiles();
  const std::vector<std::uint8_t> bytes = StoredBytes("colors.pal");
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_FALSE(text.empty());
  ASSERT_EQ(text.back(), '\n');
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 742u);
  std::set<std::string> seen;
  int trailing = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (line.size() == 20 && line.back() == ' ') {
      ++trailing;
      EXPECT_EQ(i, 741u) << "trailing space on line " << i + 1;
      line.pop_back();
    }
    ASSERT_EQ(line.size(), 19u) << "line " << i + 1 << ": \"" << line << "\"";
    EXPECT_EQ(line.substr(0, 4), "new ");
    EXPECT_EQ(line.substr(7, 3), "   ");
    EXPECT_EQ(line.substr(13, 3), "   ");
    for (size_t at : {4u, 10u, 16u}) {
      int value = -1, used = 0;
      ASSERT_EQ(std::sscanf(line.c_str() + at, "%3d%n", &value, &used), 1) << line;
      char expected[4];
      std::snprintf(expected, sizeof expected, "%3d", value);
      EXPECT_EQ(line.substr(at, 3), expected) << "line " << i + 1;
      EXPECT_TRUE(value >= 0 && value <= 255) << "line " << i + 1;
    }
    EXPECT_TRUE(seen.insert(line).second) << "line " << i + 1 << " repeats a colour";
  }
  EXPECT_EQ(trailing, 1);
  EXPECT_EQ(lines[0], "new 240   248   255");
  EXPECT_EQ(lines[1], "new 250   235   215");
  EXPECT_EQ(lines[2], "new 255   239   219");
  EXPECT_EQ(lines[741], "new 154   205    50 ");
}
