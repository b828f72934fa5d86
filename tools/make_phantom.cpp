// Build-time generator of the demo volumes: a grey head phantom and its
// labelled twin, written with the core's own scene writer.
//
//   make_phantom <dir> [nx ny nz dz]
//
// writes <dir>/phantom.scn and <dir>/phantom_labels.scn, by default
// 128 x 128 x 64 voxels of 1.0 x 1.0 x 2.0. The head is ten ellipsoids
// whose densities add up; the grey scene maps the density d inside the
// skull to 1000 + 2500 d (skull 3500, brain 1500, ventricles 1000, small
// structures 1750) and the air around it to 0. In the labelled scene each
// voxel carries the number (1 to 10) of the last ellipsoid in the table
// that holds it, 0 outside the head.
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/scene.h"

namespace {

struct Ellipsoid {
  double density;
  double a, b, c;        // half-axes along x, y, z
  double x0, y0, z0;     // centre
  double phiDegrees;     // turn about z, counter-clockwise with y up
};

// A head in the cube [-1, 1]^3 (x to the right, y up, z towards the crown):
// skull and brain, two tilted ventricles, and small structures above and
// at the base (the 3D Shepp-Logan head with higher contrast).
const Ellipsoid kHead[] = {
    {1.0, 0.6900, 0.9200, 0.8100, 0.00, 0.0000, 0.00, 0},
    {-0.8, 0.6624, 0.8740, 0.7800, 0.00, -0.0184, 0.00, 0},
    {-0.2, 0.1100, 0.3100, 0.2200, 0.22, 0.0000, 0.00, -18},
    {-0.2, 0.1600, 0.4100, 0.2800, -0.22, 0.0000, 0.00, 18},
    {0.1, 0.2100, 0.2500, 0.4100, 0.00, 0.3500, -0.15, 0},
    {0.1, 0.0460, 0.0460, 0.0500, 0.00, 0.1000, 0.25, 0},
    {0.1, 0.0460, 0.0460, 0.0500, 0.00, -0.1000, 0.25, 0},
    {0.1, 0.0460, 0.0230, 0.0500, -0.08, -0.6050, 0.00, 0},
    {0.1, 0.0230, 0.0230, 0.0200, 0.00, -0.6060, 0.00, 0},
    {0.1, 0.0230, 0.0460, 0.0200, 0.06, -0.6050, 0.00, 0},
};
constexpr int kEllipsoids = sizeof kHead / sizeof kHead[0];
constexpr double kPi = 3.14159265358979323846;

// An ellipsoid's test with its turn worked out once.
struct PlacedEllipsoid {
  const Ellipsoid *e;
  double cosPhi, sinPhi;
  explicit PlacedEllipsoid(const Ellipsoid &el)
      : e(&el), cosPhi(std::cos(el.phiDegrees * kPi / 180.0)), sinPhi(std::sin(el.phiDegrees * kPi / 180.0)) {}
  bool Contains(double x, double y, double z) const {
    const double px = x - e->x0, py = y - e->y0, pz = z - e->z0;
    const double u = (px * cosPhi + py * sinPhi) / e->a;
    const double v = (-px * sinPhi + py * cosPhi) / e->b;
    const double w = pz / e->c;
    return u * u + v * v + w * w <= 1.0;
  }
};

bool ParseSize(const char *text, int *out) {
  char *end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 1 || v > 4096) return false;
  *out = static_cast<int>(v);
  return true;
}

// Fills both scenes. The head is scaled by the shortest physical side so
// that it lies whole inside any box, centred, with y turned to run up.
void DrawHead(Scene *grey, Scene *labels) {
  const double halfX = grey->xsize * grey->dx / 2.0, halfY = grey->ysize * grey->dy / 2.0,
               halfZ = grey->zsize * grey->dz / 2.0;
  const double scale = std::min(halfX, std::min(halfY, halfZ));
  std::vector<PlacedEllipsoid> head;
  for (const Ellipsoid &e : kHead) head.emplace_back(e);
  for (int z = 0; z < grey->zsize; ++z) {
    const double nz = ((z + 0.5) * grey->dz - halfZ) / scale;
    for (int y = 0; y < grey->ysize; ++y) {
      const double ny = (halfY - (y + 0.5) * grey->dy) / scale;
      for (int x = 0; x < grey->xsize; ++x) {
        const double nx = ((x + 0.5) * grey->dx - halfX) / scale;
        double density = 0;
        int label = 0;
        // The first ellipsoid holds all the others.
        for (int i = 0; i < kEllipsoids && (i == 0 || label > 0); ++i) {
          if (!head[i].Contains(nx, ny, nz)) continue;
          density += kHead[i].density;
          label = i + 1;
        }
        const int v = grey->Address(x, y, z);
        grey->data[v] = label == 0 ? 0 : static_cast<int>(std::lround(1000.0 + 2500.0 * density));
        labels->data[v] = label;
      }
    }
  }
}

}  // namespace

int main(int argc, char *argv[]) {
  int size[3] = {128, 128, 64};
  double dz = 2.0;
  if (argc != 2 && argc != 6) {
    std::cerr << "usage: " << argv[0] << " dir ?nx ny nz dz?\n";
    return 2;
  }
  if (argc == 6) {
    for (int i = 0; i < 3; ++i) {
      if (!ParseSize(argv[2 + i], &size[i])) {
        std::cerr << argv[0] << ": size \"" << argv[2 + i] << "\" is not a whole number from 1 to 4096\n";
        return 2;
      }
    }
    char *end = nullptr;
    dz = std::strtod(argv[5], &end);
    if (end == argv[5] || *end != '\0' || !(dz > 0.0 && dz <= 100.0)) {
      std::cerr << argv[0] << ": voxel size \"" << argv[5] << "\" is not a number above 0 and up to 100\n";
      return 2;
    }
  }
  try {
    std::filesystem::create_directories(argv[1]);
    std::unique_ptr<Scene> grey = CreateScene(size[0], size[1], size[2]);
    std::unique_ptr<Scene> labels = CreateScene(size[0], size[1], size[2]);
    for (Scene *s : {grey.get(), labels.get()}) {
      s->dx = s->dy = 1.0f;
      s->dz = static_cast<float>(dz);
    }
    DrawHead(grey.get(), labels.get());
    const std::string dir = argv[1];
    WriteScene(grey.get(), (dir + "/phantom.scn").c_str());
    WriteScene(labels.get(), (dir + "/phantom_labels.scn").c_str());
  } catch (const std::exception &e) {
    std::cerr << argv[0] << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}
