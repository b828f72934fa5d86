// Quantised surface normals: a fixed table of unit directions addressed by
// a 16-bit index, and the estimators that give each shell voxel its index.
//
// A direction is quantised by its whole-degree elevation e (-90..90) and
// azimuth a (0..359), both truncated toward zero, to the index
// 1 + (e + 90) * 360 + a; index 0 means "no normal". Renderers shade with
// one table look-up per voxel, so normals are estimated once, when a shell
// is built, never while it is drawn.
#pragma once

#include <memory>
#include <vector>

struct Scene;
struct AdjRel3;
struct AdjVxl;
struct Shell;

// 181 elevations x 360 azimuths, plus entry 0.
constexpr int kNormalDirections = 65161;
// The table is padded to every 16-bit value: the entries past the
// directions are (0, 0, 0), so any index a shell holds (from a file, or set
// by a script) is a safe look-up.
constexpr int kNormalTableEntries = 65536;

struct NormalVector {
  float x;
  float y;
  float z;
};

struct NormalTable {
  std::vector<NormalVector> entry;  // kNormalTableEntries; 768 KiB per shell
};

// Entry 0 is (0, 0, 0); entry 1 + (e + 90) * 360 + a is
// (cos e cos a, cos e sin a, sin e).
std::unique_ptr<NormalTable> CreateNormalTable();
void DestroyNormalTable(std::unique_ptr<NormalTable> *table);

// The index of a unit vector (0 for the zero vector, and for a vector with
// a component that is not a number). Truncation, not rounding: the entry of
// the index is not always the nearest direction, and exact right angles
// come out at 89 degrees.
unsigned short GetNormalIndex(const float v[3]);

// The estimators share one signature: the scene, a voxel of it, the triple
// to fill with the (unnormalised) gradient direction, a relation whose
// origin comes first and its offsets for this scene. The result is the
// gradient magnitude |g| / n, n the relation's count.
using GradientFunction = double (*)(const Scene *scn, int x, int y, int z, float g[3],
                                    const AdjRel3 *A, const AdjVxl *offsets);

// Differences of grey values, I(p) - I(q) (I(p) for q outside the scene),
// divided by each non-zero displacement component: g points from bright to
// dark. The magnitude is a single-precision value.
double Gradient3(const Scene *scn, int x, int y, int z, float g[3], const AdjRel3 *A,
                 const AdjVxl *offsets);
// The same on a signed squared distance map, with square roots of the
// distances: a neighbour across the surface (negative distance) adds its
// distance, one outside the scene counts as distance 0.
double DistGradient3(const Scene *dist, int x, int y, int z, float g[3], const AdjRel3 *A,
                     const AdjVxl *offsets);
// The voxel's value; the other inputs are ignored (a feature for the
// classification's curves).
double Intensity3(const Scene *scn, int x, int y, int z, float g[3], const AdjRel3 *A,
                  const AdjVxl *offsets);

// Normal assignment, voxel by voxel in row order. Each fails (Error) when
// the scene does not have the shell's size.
//
// Every voxel, over the ball of radius 2.5. A body shell is handed to
// SetBodyShellNormal.
void SetShellNormal(Shell *shell, const Scene *scn, GradientFunction gradient);
// Every voxel of a body shell, storing the magnitude as its gradient too;
// Error for a shell without a body.
void SetBodyShellNormal(Shell *shell, const Scene *scn, GradientFunction gradient);
// Only the voxels of one label, from a distance map of that object.
void SetObjectNormal(Shell *shell, const Scene *dist, GradientFunction gradient, int label);
// Labels 1 .. nobjects (none when the low byte of nobjects is 0), each from
// the distance transform of its own voxels, over the ball of radius 1.8.
void SetDistNormal(Shell *shell);
// A scene of the normal index of every non-zero voxel (0 elsewhere), over
// the ball of radius 1.8.
std::unique_ptr<Scene> NormalScene(const Scene *scn, GradientFunction gradient);
