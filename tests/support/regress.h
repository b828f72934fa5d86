// Small stored regression images under tests/data/regress, compared byte
// for byte: P6 for three bands, P5 for one, values clamped to 0..255.
// ORVANE_REGRESS_WRITE=1 rewrites them (look at each one before storing).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/image.h"

inline std::string RegressPath(const std::string &name) {
  std::string path = __FILE__;
  return path.substr(0, path.rfind("/support/")) + "/data/regress/" + name;
}

inline void ExpectRegression(const std::string &name, const std::vector<const Image *> &bands) {
  const Image *first = bands[0];
  std::string data = std::string(bands.size() == 3 ? "P6" : "P5") + "\n" +
                     std::to_string(first->ncols) + " " + std::to_string(first->nrows) +
                     "\n255\n";
  for (int p = 0; p < first->ncols * first->nrows; p++)
    for (const Image *b : bands) data += static_cast<char>(std::clamp(b->val[p], 0, 255));
  const std::string path = RegressPath(name);
  if (std::getenv("ORVANE_REGRESS_WRITE")) {
    std::ofstream(path, std::ios::binary) << data;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << path;
  std::stringstream stored;
  stored << in.rdbuf();
  EXPECT_TRUE(stored.str() == data) << name << " differs from the stored image";
}
