// Distance transforms and label bands, checked three ways: hand-computed
// values on tiny volumes; a slow transcription of the propagation (framed
// arrays, the bucket queue keyed by cost mod nbuckets, a table of squares)
// that must agree voxel for voxel, ties included; and a brute-force exact
// squared Euclidean distance that the propagation may only exceed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/adjacency.h"
#include "core/adjacency3.h"
#include "core/common.h"
#include "core/image.h"
#include "core/queue.h"
#include "core/scene.h"
#include "lib2d/analysis.h"
#include "segment/analysis3.h"
#include "segment/distprop.h"
#include "segment/annscn.h"

namespace {

const int kInf = INT_MAX;

struct Volume {
  int xs, ys, zs;
  std::vector<int> v;
  int at(int x, int y, int z) const { return v[x + xs * (y + ys * z)]; }
};

std::unique_ptr<Scene> ToScene(const Volume &vol) {
  auto s = CreateScene(vol.xs, vol.ys, vol.zs);
  s->data.assign(vol.v.begin(), vol.v.end());
  return s;
}

// What the transcription is asked to compute.
enum class Kind { kDistance, kBand };

// The propagation as a plain program over framed arrays. `seedOf` decides
// which voxels are seeds (3D: a face neighbour of another value or outside;
// 2D: value 1 with a 4-neighbour 0 or outside). Returns the unframed costs
// (fixed zeros as 0) and, for kBand, the spread labels.
struct Transcript {
  std::vector<int> cost;
  std::vector<int> band;
};

Transcript Transcribe(const Volume &in, const std::vector<int> &adx, const std::vector<int> &ady,
                      const std::vector<int> &adz, int side, int limit, Kind kind, bool planar) {
  int d = 0;
  for (size_t i = 0; i < adx.size(); i++) d = std::max({d, std::abs(adx[i]), std::abs(ady[i]), std::abs(adz[i])});
  const int dzf = planar ? 0 : d;  // a plane is framed in x and y only
  const int fx = in.xs + 2 * d, fy = in.ys + 2 * d, fz = in.zs + 2 * dzf;
  const int nf = fx * fy * fz;
  auto fidx = [&](int x, int y, int z) { return (x + d) + fx * ((y + d) + fy * (z + dzf)); };
  auto inside = [&](int x, int y, int z) {
    return x >= 0 && y >= 0 && z >= 0 && x < in.xs && y < in.ys && z < in.zs;
  };

  std::vector<int> F(nf, 0), S(nf, 0), frame(nf, 1);
  for (int z = 0; z < in.zs; z++)
    for (int y = 0; y < in.ys; y++)
      for (int x = 0; x < in.xs; x++) {
        int p = fidx(x, y, z);
        frame[p] = 0;
        F[p] = in.at(x, y, z);
        int l = F[p];
        bool border = false;
        static const int face[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
        for (int k = 0; k < (planar ? 4 : 6); k++) {
          int qx = x + face[k][0], qy = y + face[k][1], qz = z + face[k][2];
          int ql = inside(qx, qy, qz) ? in.at(qx, qy, qz) : 0;
          if (planar ? (l == 1 && (!inside(qx, qy, qz) || ql == 0))
                     : (l != 0 && (!inside(qx, qy, qz) || ql != l)))
            border = true;
        }
        if (border) S[p] = l;
      }

  int maxSide = std::max({in.xs, in.ys, in.zs});
  std::vector<long long> sq(4 * maxSide + 4 * d + 8);
  for (size_t k = 0; k < sq.size(); k++) sq[k] = static_cast<long long>(k) * k;
  const int B = planar ? 2 * d * (d + in.xs + in.ys) : 3 * d * d + 2 * d * (in.xs + in.ys + in.zs);

  std::vector<int> K(nf), Dx(nf, 0), Dy(nf, 0), Dz(nf, 0);
  auto Q = CreateQueue(std::max(B, 1), nf);
  for (int p = 0; p < nf; p++) {
    if (frame[p]) {
      K[p] = INT_MIN;
      continue;
    }
    bool seed = S[p] >= 1;
    if (side == 1) {
      K[p] = F[p] == 0 ? kInf : 0;
    } else if (side == 0) {
      K[p] = F[p] == 0 ? 0 : (seed ? 0 : kInf);
    } else {
      K[p] = seed ? 0 : kInf;
    }
    if (seed) InsertQueue(Q.get(), 0, p);
  }

  std::vector<int> off(adx.size());
  for (size_t i = 0; i < adx.size(); i++) off[i] = adx[i] + fx * ady[i] + fx * fy * adz[i];
  int p;
  while ((p = RemoveQueue(Q.get())) != -1) {
    for (size_t i = 1; i < adx.size(); i++) {
      int q = p + off[i];
      if (kind == Kind::kBand && F[q] != F[p]) continue;
      if (!(K[p] < K[q])) continue;
      int dx = std::abs(adx[i]) + Dx[p], dy = std::abs(ady[i]) + Dy[p], dz = std::abs(adz[i]) + Dz[p];
      long long c = sq[dx] + sq[dy] + sq[dz];
      if (c < K[q] && c <= limit) {
        if (K[q] == kInf)
          InsertQueue(Q.get(), static_cast<int>(c % B), q);
        else
          UpdateQueue(Q.get(), q, K[q] % B, static_cast<int>(c % B));
        K[q] = static_cast<int>(c);
        Dx[q] = dx;
        Dy[q] = dy;
        Dz[q] = dz;
        if (kind == Kind::kBand) S[q] = S[p];
      }
    }
  }

  Transcript t;
  t.cost.resize(in.v.size());
  t.band.resize(in.v.size());
  for (int z = 0; z < in.zs; z++)
    for (int y = 0; y < in.ys; y++)
      for (int x = 0; x < in.xs; x++) {
        size_t u = x + in.xs * (y + in.ys * z);
        t.cost[u] = K[fidx(x, y, z)];
        t.band[u] = S[fidx(x, y, z)];
      }
  return t;
}

// The signed output the transforms promise, from transcribed costs.
std::vector<int> Signed(const Volume &in, const std::vector<int> &cost) {
  std::vector<int> out(cost.size());
  for (size_t i = 0; i < cost.size(); i++) out[i] = in.v[i] == 0 ? -cost[i] : cost[i];
  return out;
}

Transcript Transcribe3(const Volume &in, const AdjRel3 &A, int side, int limit, Kind kind) {
  return Transcribe(in, A.dx, A.dy, A.dz, side, limit, kind, false);
}

// Exact squared distance of every voxel to the nearest seed (border voxel).
std::vector<long long> ExactToSeeds(const Volume &in) {
  std::vector<std::array<int, 3>> seeds;
  for (int z = 0; z < in.zs; z++)
    for (int y = 0; y < in.ys; y++)
      for (int x = 0; x < in.xs; x++) {
        int l = in.at(x, y, z);
        if (l == 0) continue;
        bool b = x == 0 || y == 0 || z == 0 || x == in.xs - 1 || y == in.ys - 1 || z == in.zs - 1 ||
                 in.at(x - 1, y, z) != l || in.at(x + 1, y, z) != l || in.at(x, y - 1, z) != l ||
                 in.at(x, y + 1, z) != l || in.at(x, y, z - 1) != l || in.at(x, y, z + 1) != l;
        if (b) seeds.push_back({x, y, z});
      }
  std::vector<long long> best(in.v.size(), LLONG_MAX);
  for (int z = 0; z < in.zs; z++)
    for (int y = 0; y < in.ys; y++)
      for (int x = 0; x < in.xs; x++)
        for (auto &s : seeds) {
          long long dx = x - s[0], dy = y - s[1], dz = z - s[2];
          long long &b = best[x + in.xs * (y + in.ys * z)];
          b = std::min(b, dx * dx + dy * dy + dz * dz);
        }
  return best;
}

Volume RandomMask(std::mt19937 &rng, int xs, int ys, int zs, int percent, int labels = 1) {
  Volume vol{xs, ys, zs, std::vector<int>(static_cast<size_t>(xs) * ys * zs)};
  for (int &v : vol.v) v = static_cast<int>(rng() % 100) < percent ? 1 + static_cast<int>(rng() % labels) : 0;
  return vol;
}

// A few random balls: objects with interiors, so that distances grow.
Volume RandomBlobs(std::mt19937 &rng, int xs, int ys, int zs, int nballs, int labels = 1) {
  Volume vol{xs, ys, zs, std::vector<int>(static_cast<size_t>(xs) * ys * zs)};
  for (int b = 0; b < nballs; b++) {
    int cx = rng() % xs, cy = rng() % ys, cz = rng() % zs, r = 1 + rng() % 5;
    int l = 1 + static_cast<int>(rng() % labels);
    for (int z = 0; z < zs; z++)
      for (int y = 0; y < ys; y++)
        for (int x = 0; x < xs; x++)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz) <= r * r)
            vol.v[x + xs * (y + ys * z)] = l;
  }
  return vol;
}

Volume Empty(int xs, int ys, int zs) { return Volume{xs, ys, zs, std::vector<int>(static_cast<size_t>(xs) * ys * zs)}; }

}  // namespace

// ---- hand-computed cases ----

TEST(DistTrans3, SingleVoxelIsItsOwnSeedAndItsNeighboursAreNegated) {
  Volume vol = Empty(5, 5, 5);
  vol.v[2 + 5 * (2 + 5 * 2)] = 1;
  auto A = Spheric(1.8f);
  auto out = DistTrans3(ToScene(vol).get(), A.get(), 2);
  for (int z = 0; z < 5; z++)
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 5; x++) {
        int e = (x - 2) * (x - 2) + (y - 2) * (y - 2) + (z - 2) * (z - 2);  // one seed: exact
        EXPECT_EQ(out->data[out->Address(x, y, z)], -e) << x << " " << y << " " << z;
      }
  EXPECT_EQ(out->dx, 1.0f);
}

TEST(DistTrans3, CubeInteriorLayers) {
  Volume vol = Empty(7, 7, 7);
  for (int z = 1; z <= 5; z++)
    for (int y = 1; y <= 5; y++)
      for (int x = 1; x <= 5; x++) vol.v[x + 7 * (y + 7 * z)] = 1;
  auto A = Spheric(1.8f);
  auto scn = ToScene(vol);
  auto in = DistTrans3(scn.get(), A.get(), 0);
  auto out = DistTrans3(scn.get(), A.get(), 1);
  for (int z = 0; z < 7; z++)
    for (int y = 0; y < 7; y++)
      for (int x = 0; x < 7; x++) {
        int ring = std::min({x, y, z, 6 - x, 6 - y, 6 - z});  // 0 background, 1 shell, 2, 3 centre
        int expected = ring <= 1 ? 0 : (ring - 1) * (ring - 1);
        EXPECT_EQ(in->data[in->Address(x, y, z)], expected);
        // Outside, only the frame of background voxels: 1, 2 or 3 axes beyond the cube.
        int beyond = (x == 0 || x == 6) + (y == 0 || y == 6) + (z == 0 || z == 6);
        EXPECT_EQ(out->data[out->Address(x, y, z)], ring == 0 ? -beyond : 0);
      }
}

TEST(DistTrans3, EmptySceneHasNoSeeds) {
  auto scn = ToScene(Empty(4, 3, 2));
  auto A = Spheric(1.8f);
  auto both = DistTrans3(scn.get(), A.get(), 2), out = DistTrans3(scn.get(), A.get(), 1),
       in = DistTrans3(scn.get(), A.get(), 0);
  for (int v : both->data) EXPECT_EQ(v, -2147483647);
  for (int v : out->data) EXPECT_EQ(v, -2147483647);
  for (int v : in->data) EXPECT_EQ(v, 0);
}

TEST(DistTrans3, ObjectOnTheSceneEdgeSeedsThere) {
  // A full 4x4x4 scene: the frame is background, so the outer layer seeds.
  Volume vol{4, 4, 4, std::vector<int>(64, 1)};
  auto A = Spheric(1.8f);
  auto out = DistTrans3(ToScene(vol).get(), A.get(), 2);
  for (int z = 0; z < 4; z++)
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 4; x++) {
        bool edge = x == 0 || y == 0 || z == 0 || x == 3 || y == 3 || z == 3;
        EXPECT_EQ(out->data[out->Address(x, y, z)], edge ? 0 : 1);
      }
}

TEST(DistTrans3, SeedsAreVoxelsFacingAnotherValueNotOnlyBackground) {
  // Two labels side by side fill a 4x1x1 row: every voxel faces the frame,
  // and the two middle ones face each other: all are seeds.
  Volume vol{6, 3, 3, std::vector<int>(54, 0)};
  for (int x = 1; x <= 4; x++) vol.v[x + 6 * (1 + 3 * 1)] = x <= 2 ? 1 : 2;
  auto A = Spheric(1.8f);
  auto out = DistTrans3(ToScene(vol).get(), A.get(), 0);
  for (int x = 1; x <= 4; x++) EXPECT_EQ(out->data[out->Address(x, 1, 1)], 0);
}

TEST(TDistTrans3, LimitZeroKeepsOnlyTheSeeds) {
  Volume vol = Empty(7, 7, 7);
  for (int z = 1; z <= 5; z++)
    for (int y = 1; y <= 5; y++)
      for (int x = 1; x <= 5; x++) vol.v[x + 7 * (y + 7 * z)] = 1;
  auto A = Spheric(1.8f);
  auto out = TDistTrans3(ToScene(vol).get(), A.get(), 2, 0);
  for (int z = 0; z < 7; z++)
    for (int y = 0; y < 7; y++)
      for (int x = 0; x < 7; x++) {
        int ring = std::min({x, y, z, 6 - x, 6 - y, 6 - z});
        int e = ring == 0 ? -2147483647 : ring == 1 ? 0 : 2147483647;
        EXPECT_EQ(out->data[out->Address(x, y, z)], e);
      }
}

TEST(TDistTrans3, LimitStopsThePropagation) {
  Volume vol = Empty(9, 9, 9);
  vol.v[4 + 9 * (4 + 9 * 4)] = 1;
  auto A = Spheric(1.8f);
  auto out = TDistTrans3(ToScene(vol).get(), A.get(), 1, 4);
  for (int z = 0; z < 9; z++)
    for (int y = 0; y < 9; y++)
      for (int x = 0; x < 9; x++) {
        int e = (x - 4) * (x - 4) + (y - 4) * (y - 4) + (z - 4) * (z - 4);
        EXPECT_EQ(out->data[out->Address(x, y, z)], e <= 4 ? -e : -2147483647);
      }
}

TEST(Label2Border, TouchingObjectsEachKeepTheirOwnBand) {
  // Two 4x3x3 boxes meeting at x = 3|4 inside a 10x5x5 scene.
  Volume vol = Empty(10, 5, 5);
  for (int z = 1; z <= 3; z++)
    for (int y = 1; y <= 3; y++)
      for (int x = 0; x < 8; x++) vol.v[(x + 1) + 10 * (y + 5 * z)] = x < 4 ? 1 : 2;
  auto A = Spheric(1.8f);
  auto scn = ToScene(vol);
  // Limit 0: only border voxels. The inner voxels of each box are the
  // column (y, z) = (2, 2), x = 2, 3 for label 1 and 6, 7 for label 2; the
  // voxels at x = 4 and x = 5 face the other label, so they are border.
  auto b0 = Label2Border(scn.get(), A.get(), 2, 0);
  for (int z = 0; z < 5; z++)
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 10; x++) {
        int l = vol.at(x, y, z);
        bool inner = y == 2 && z == 2 && (x == 2 || x == 3 || x == 6 || x == 7);
        EXPECT_EQ(b0->data[b0->Address(x, y, z)], inner ? 0 : l) << x << y << z;
      }
  // Limit 1: every voxel is within 1 of its own border, and keeps its label.
  auto b1 = Label2Border(scn.get(), A.get(), 2, 1);
  EXPECT_EQ(b1->data, vol.v);
  auto b1side0 = Label2Border(scn.get(), A.get(), 0, 1);
  EXPECT_EQ(b1side0->data, vol.v);
  // Side 1 leaves only the border voxels whatever the limit.
  auto s1 = Label2Border(scn.get(), A.get(), 1, 100);
  EXPECT_EQ(s1->data, b0->data);
}

TEST(Label2Border, BandIsMeasuredInsideItsOwnObject) {
  // A 7x7x7 cube of label 1 whose central voxel is label 2: the cube's band
  // of squared width 1 includes the voxels around the hole (they face label
  // 2, so they are seeds), and the centre keeps 2.
  Volume vol = Empty(9, 9, 9);
  for (int z = 1; z <= 7; z++)
    for (int y = 1; y <= 7; y++)
      for (int x = 1; x <= 7; x++) vol.v[x + 9 * (y + 9 * z)] = 1;
  vol.v[4 + 9 * (4 + 9 * 4)] = 2;
  auto A = Spheric(1.8f);
  auto band = Label2Border(ToScene(vol).get(), A.get(), 2, 1);
  EXPECT_EQ(band->data[band->Address(4, 4, 4)], 2);
  EXPECT_EQ(band->data[band->Address(1, 4, 4)], 1);  // seed on the outer face
  EXPECT_EQ(band->data[band->Address(2, 4, 4)], 1);  // 1 from the outer face
  EXPECT_EQ(band->data[band->Address(3, 4, 4)], 1);  // seed next to the hole
  EXPECT_EQ(band->data[band->Address(3, 3, 4)], 1);  // 1 from a voxel facing the hole
  EXPECT_EQ(band->data[band->Address(3, 3, 3)], 0);  // 2 from every seed
  EXPECT_EQ(band->data[band->Address(0, 0, 0)], 0);
}

TEST(SignedDistTrans, SinglePixelAndSigns) {
  auto img = CreateImage(5, 4);
  img->at(2, 1) = 1;
  auto A = Circular(1.5f);
  auto out = SignedDistTrans(img.get(), A.get(), 2);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 5; x++) {
      int e = (x - 2) * (x - 2) + (y - 1) * (y - 1);
      EXPECT_EQ(out->at(x, y), -e);
    }
  // A 5x5 block inside 7x7: the inside is positive, the outside negative.
  auto blk = CreateImage(7, 7);
  for (int y = 1; y <= 5; y++)
    for (int x = 1; x <= 5; x++) blk->at(x, y) = 1;
  auto s = SignedDistTrans(blk.get(), A.get(), 2);
  EXPECT_EQ(s->at(3, 3), 4);
  EXPECT_EQ(s->at(2, 3), 1);
  EXPECT_EQ(s->at(1, 1), 0);
  EXPECT_EQ(s->at(0, 0), -2);
  EXPECT_EQ(s->at(0, 3), -1);
  EXPECT_EQ(SignedDistTrans(blk.get(), A.get(), 0)->at(0, 3), 0);
  EXPECT_EQ(SignedDistTrans(blk.get(), A.get(), 1)->at(3, 3), 0);
}

TEST(SignedDistTrans, OnlyPixelsOfValueOneSeed) {
  // A row of value-2 pixels is object (positive) but never a seed.
  auto img = CreateImage(5, 3);
  img->at(0, 1) = 1;
  for (int x = 1; x < 5; x++) img->at(x, 1) = 2;
  auto A = Circular(1.5f);
  auto out = SignedDistTrans(img.get(), A.get(), 2);
  EXPECT_EQ(out->at(0, 1), 0);
  for (int x = 1; x < 5; x++) EXPECT_EQ(out->at(x, 1), x * x);
  EXPECT_EQ(out->at(4, 0), -17);
}

// ---- the propagation against its transcription and the exact distance ----

TEST(DistTrans3, AgreesWithTheTranscriptionOnRandomMasks) {
  std::mt19937 rng(20261208);
  long long voxels = 0, inexact = 0;
  const float radii[] = {1.8f, 1.0f, 1.5f, 2.0f};
  for (int trial = 0; trial < 60; trial++) {
    int xs = 3 + rng() % 10, ys = 3 + rng() % 10, zs = 1 + rng() % 9;
    Volume vol = trial % 2 ? RandomMask(rng, xs, ys, zs, 10 + rng() % 60)
                           : RandomBlobs(rng, xs, ys, zs, 1 + rng() % 4);
    auto scn = ToScene(vol);
    auto A = Spheric(radii[trial % 4]);
    std::vector<long long> exact = ExactToSeeds(vol);
    for (int side : {0, 1, 2}) {
      auto out = DistTrans3(scn.get(), A.get(), static_cast<signed char>(side));
      Transcript t = Transcribe3(vol, *A, side, INT_MAX, Kind::kDistance);
      ASSERT_EQ(out->data, Signed(vol, t.cost)) << "trial " << trial << " side " << side;
      if (side != 2) continue;
      for (size_t i = 0; i < vol.v.size(); i++) {
        long long got = std::llabs(out->data[i]);
        if (exact[i] == LLONG_MAX) {
          EXPECT_EQ(got, 2147483647);
          continue;
        }
        // The displacement belongs to a real seed, so it is never too short.
        EXPECT_GE(got, exact[i]);
        if (radii[trial % 4] == 1.8f) {
          voxels++;
          inexact += got != exact[i];
        }
      }
    }
  }
  printf("[ figure ] 26-neighbour propagation differs from the exact distance on %lld of %lld voxels (%.3f%%)\n",
         inexact, voxels, 100.0 * inexact / voxels);
}

TEST(TDistTrans3, AgreesWithTheTranscriptionOnRandomMasks) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 40; trial++) {
    int xs = 4 + rng() % 10, ys = 4 + rng() % 10, zs = 1 + rng() % 10;
    Volume vol = RandomBlobs(rng, xs, ys, zs, 1 + rng() % 4);
    auto scn = ToScene(vol);
    auto A = Spheric(trial % 3 ? 1.8f : 1.5f);
    int limit = static_cast<int>(rng() % 20);
    for (int side : {0, 1, 2}) {
      auto out = TDistTrans3(scn.get(), A.get(), static_cast<signed char>(side), limit);
      Transcript t = Transcribe3(vol, *A, side, limit, Kind::kDistance);
      ASSERT_EQ(out->data, Signed(vol, t.cost)) << "trial " << trial << " side " << side;
    }
  }
}

TEST(Label2Border, AgreesWithTheTranscriptionOnRandomLabelScenes) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 40; trial++) {
    int xs = 4 + rng() % 10, ys = 4 + rng() % 10, zs = 1 + rng() % 10;
    Volume vol = trial % 2 ? RandomBlobs(rng, xs, ys, zs, 2 + rng() % 5, 4)
                           : RandomMask(rng, xs, ys, zs, 40 + rng() % 50, 3);
    auto scn = ToScene(vol);
    auto A = Spheric(trial % 4 ? 1.8f : 2.0f);
    int limit = static_cast<int>(rng() % 20);
    for (int side : {0, 1, 2}) {
      auto out = Label2Border(scn.get(), A.get(), static_cast<signed char>(side), limit);
      Transcript t = Transcribe3(vol, *A, side, limit, Kind::kBand);
      ASSERT_EQ(out->data, t.band) << "trial " << trial << " side " << side;
    }
  }
}

TEST(SignedDistTrans, AgreesWithTheTranscriptionOnRandomImages) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 60; trial++) {
    int nc = 2 + rng() % 20, nr = 1 + rng() % 20;
    Volume vol{nc, nr, 1, std::vector<int>(nc * nr)};
    int percent = 20 + rng() % 70;
    for (int &v : vol.v) v = static_cast<int>(rng() % 100) < percent ? (rng() % 8 ? 1 : 2) : 0;
    auto img = CreateImage(nc, nr);
    img->val = vol.v;
    auto A = Circular(trial % 3 ? 1.5f : 2.3f);
    std::vector<int> az(A->n, 0);
    for (int side : {0, 1, 2}) {
      auto out = SignedDistTrans(img.get(), A.get(), static_cast<signed char>(side));
      Transcript t = Transcribe(vol, A->dx, A->dy, az, side, INT_MAX, Kind::kDistance, true);
      ASSERT_EQ(out->val, Signed(vol, t.cost)) << "trial " << trial << " side " << side;
    }
  }
}

TEST(DistTrans3, LongScenesUseWideDisplacements) {
  // A side beyond 8192 takes the 32-bit displacement path; two seeds far
  // apart along x.
  Volume vol = Empty(9000, 2, 1);
  vol.v[0] = 1;
  vol.v[8999 + 9000] = 1;
  auto A = Spheric(1.8f);
  auto out = DistTrans3(ToScene(vol).get(), A.get(), 2);
  Transcript t = Transcribe3(vol, *A, 2, INT_MAX, Kind::kDistance);
  EXPECT_EQ(out->data, Signed(vol, t.cost));
  EXPECT_EQ(out->data[100], -100 * 100);
}

TEST(DistTrans3, RelationWithoutNeighboursLeavesEverythingUnreached) {
  Volume vol = Empty(3, 3, 3);
  vol.v[13] = 1;
  vol.v[14] = 1;
  auto A = CreateAdjRel3(1);  // the origin only
  auto out = DistTrans3(ToScene(vol).get(), A.get(), 2);
  for (int i = 0; i < 27; i++) EXPECT_EQ(out->data[i], (i == 13 || i == 14) ? 0 : -2147483647);
}

TEST(DistTrans3, HowOftenThe26NeighbourPropagationIsInexact) {
  // Scattered voxels in 48^3, 24^3 blobs, and dense 24^3 noise, every side:
  // many seeds far apart, and objects whose inside is reached only around
  // corners, are where spreading displacements can go wrong. The figures
  // are printed, the bound asserted.
  std::mt19937 rng(42);
  auto A = Spheric(1.8f);
  long long voxels[3] = {0, 0, 0}, inexact[3] = {0, 0, 0}, worst = 0;
  for (int trial = 0; trial < 9; trial++) {
    Volume vol = trial % 3 == 0 ? Empty(48, 48, 48)
                 : trial % 3 == 1 ? RandomBlobs(rng, 24, 24, 24, 6 + rng() % 6)
                                  : RandomMask(rng, 24, 24, 24, 70);
    if (trial % 3 == 0)
      for (int k = 0; k < 40; k++) vol.v[rng() % vol.v.size()] = 1;
    auto scn = ToScene(vol);
    std::vector<long long> exact = ExactToSeeds(vol);
    for (int side = 0; side < 3; side++) {
      auto out = DistTrans3(scn.get(), A.get(), static_cast<signed char>(side));
      for (size_t i = 0; i < vol.v.size(); i++) {
        long long got = std::llabs(out->data[i]);
        bool asked = side == 2 || (side == 0) == (vol.v[i] != 0);
        if (!asked || exact[i] == LLONG_MAX || got == 2147483647) continue;
        ASSERT_GE(got, exact[i]);
        voxels[side]++;
        inexact[side] += got != exact[i];
        worst = std::max(worst, got - exact[i]);
      }
    }
  }
  for (int side = 0; side < 3; side++)
    printf("[ figure ] side %d: propagation differs from the exact squared distance on %lld of %lld "
           "voxels (%.3f%%)\n",
           side, inexact[side], voxels[side], 100.0 * inexact[side] / std::max(1LL, voxels[side]));
  printf("[ figure ] largest excess %lld\n", worst);
}

// ---- shape-based resampling ----

TEST(ShapeBasedInterp, ColumnsGrowAlongZAndLoneSlicesShrink) {
  // 3x3x2, dz = 2, to dz = 1: three slices. Label 5 is a column through
  // both slices at (1, 1); label 7 sits at (0, 0) in slice 0 only.
  auto scn = CreateScene(3, 3, 2);
  scn->dz = 2.0f;
  scn->data[scn->Address(1, 1, 0)] = 5;
  scn->data[scn->Address(1, 1, 1)] = 5;
  scn->data[scn->Address(0, 0, 0)] = 7;
  auto out = ShapeBasedInterp(scn.get(), 1.0f, 1.0f, 1.0f);
  ASSERT_EQ(out->zsize, 3);
  ASSERT_EQ(out->xsize, 3);
  EXPECT_EQ(out->dz, 1.0f);
  for (int z = 0; z < 3; z++)
    for (int y = 0; y < 3; y++)
      for (int x = 0; x < 3; x++) {
        // Midway (z = 1) the column's centre blends 0 and 0; label 7 blends
        // its seed 0 with an empty slice's -2147483647 and vanishes.
        int e = (x == 1 && y == 1) ? 5 : (x == 0 && y == 0 && z == 0) ? 7 : 0;
        EXPECT_EQ(out->data[out->Address(x, y, z)], e) << x << y << z;
      }
}

TEST(ShapeBasedInterp, EqualSizesCopyAndZeroSizesMeanTheSmallest) {
  auto scn = CreateScene(2, 2, 2);
  scn->dx = 0.5f;
  scn->data[3] = 4;
  auto same = ShapeBasedInterp(scn.get(), 0.5f, 1.0f, 1.0f);
  EXPECT_EQ(same->data, scn->data);
  EXPECT_EQ(same->dx, 0.5f);
  // 0 asks for 0.5 on every axis: y and z double their slices.
  auto iso = ShapeBasedInterp(scn.get(), 0.0f, 0.0f, 0.0f);
  EXPECT_EQ(iso->xsize, 2);
  EXPECT_EQ(iso->ysize, 3);
  EXPECT_EQ(iso->zsize, 3);
  EXPECT_EQ(iso->dy, 0.5f);
  EXPECT_EQ(iso->data[iso->Address(1, 2, 0)], 4);  // the voxel (1, 1, 0) itself
}

TEST(ShapeBasedInterp, NonPositiveSizesFail) {
  auto scn = CreateScene(2, 2, 2);
  scn->dx = -1.0f;
  EXPECT_THROW(ShapeBasedInterp(scn.get(), 0.0f, 1.0f, 1.0f), FatalError);
  EXPECT_THROW(ShapeBasedInterp(scn.get(), 2.0f, 1.0f, 1.0f), FatalError);
}

TEST(DistTrans3, DisplacementsThatOutgrowTheCompactFormAndTheBucketRing) {
  // Steps of +60 and -59 along x: the one seed's displacement zigzags
  // (x = 0, 60, 1, 61, ..., 39, 99, 40), accumulating |dx| far beyond the
  // scene's width: beyond what the compact per-voxel form holds (the run is
  // redone in the general form), and with cost steps larger than the ring
  // of buckets. Each voxel has a single path, so its value is known.
  auto A = CreateAdjRel3(3);
  A->dx[1] = 60;
  A->dx[2] = -59;
  Volume vol = Empty(100, 1, 1);
  vol.v[0] = 1;
  auto out = DistTrans3(ToScene(vol).get(), A.get(), 2);
  std::vector<int> expected(100, -2147483647);
  expected[0] = 0;
  for (int k = 1; k <= 40; k++) expected[k] = -(119 * k) * (119 * k);
  for (int k = 0; k < 40; k++) expected[60 + k] = -(119 * k + 60) * (119 * k + 60);
  EXPECT_EQ(out->data, expected);
  // A scene too wide for the compact form (1500 > 1000).
  Volume wide = Empty(1500, 2, 1);
  wide.v[3] = 1;
  wide.v[1400 + 1500] = 1;
  auto B = Spheric(1.8f);
  auto w = DistTrans3(ToScene(wide).get(), B.get(), 2);
  EXPECT_EQ(w->data, Signed(wide, Transcribe3(wide, *B, 2, INT_MAX, Kind::kDistance).cost));
}

// ---- the transform by the image foresting transform ----

TEST(iftDistTrans3, SidesOnACubeAndASingleVoxel) {
  auto A = Spheric(1.8f);
  // A single voxel in 5^3, both sides: one root, so the costs are exact and
  // every voxel's label is the root's index.
  auto dot = CreateScene(5, 5, 5);
  int centre = dot->Address(2, 2, 2);
  dot->data[centre] = 1;
  auto a = Annotate3(dot.get());
  iftDistTrans3(a.get(), A.get(), 2);
  for (int z = 0; z < 5; z++)
    for (int y = 0; y < 5; y++)
      for (int x = 0; x < 5; x++) {
        int p = dot->Address(x, y, z);
        EXPECT_EQ(a->cost->data[p], (x - 2) * (x - 2) + (y - 2) * (y - 2) + (z - 2) * (z - 2));
        EXPECT_EQ(a->label->data[p], centre);
      }
  // The 5^3 cube in 7^3, side 0: background 0, shell 0, then 1, centre 4.
  auto cube = CreateScene(7, 7, 7);
  for (int z = 1; z <= 5; z++)
    for (int y = 1; y <= 5; y++)
      for (int x = 1; x <= 5; x++) cube->data[cube->Address(x, y, z)] = 1;
  auto in = Annotate3(cube.get());
  iftDistTrans3(in.get(), A.get(), 0);
  auto out = Annotate3(cube.get());
  iftDistTrans3(out.get(), A.get(), 1);
  for (int z = 0; z < 7; z++)
    for (int y = 0; y < 7; y++)
      for (int x = 0; x < 7; x++) {
        int p = cube->Address(x, y, z);
        int ring = std::min({x, y, z, 6 - x, 6 - y, 6 - z});
        EXPECT_EQ(in->cost->data[p], ring <= 1 ? 0 : (ring - 1) * (ring - 1));
        // Side 1 fixes the object at 0 and refuses its border seeds.
        EXPECT_EQ(out->cost->data[p], ring == 0 ? 2147483647 : 0);
      }
}

// ---- the row-at-a-time neighbour test against the transcription ----

namespace {

// Boxes, plates one voxel thick and lines: flat faces give many equal
// offers, where which neighbour is served first decides the displacement.
Volume BoxesAndThinShapes(std::mt19937 &rng, int xs, int ys, int zs) {
  Volume vol = Empty(xs, ys, zs);
  for (int s = 0; s < 4; s++) {
    int x0 = rng() % xs, y0 = rng() % ys, z0 = rng() % zs;
    int ex = 1 + rng() % 6, ey = 1 + rng() % 6, ez = 1 + rng() % 6;
    if (s % 2) (rng() % 2 ? ex : ey) = 1;  // a plate or a line
    for (int z = z0; z < std::min(zs, z0 + ez); z++)
      for (int y = y0; y < std::min(ys, y0 + ey); y++)
        for (int x = x0; x < std::min(xs, x0 + ex); x++) vol.v[x + xs * (y + ys * z)] = 1;
  }
  return vol;
}

}  // namespace

TEST(DistTrans3, BoxesAndThinShapesAgreeWithTheTranscriptionFor6And18And26Neighbours) {
  std::mt19937 rng(31);
  const float radii[] = {1.0f, 1.5f, 1.8f};
  for (int trial = 0; trial < 45; trial++) {
    Volume vol = BoxesAndThinShapes(rng, 3 + rng() % 12, 3 + rng() % 12, 1 + rng() % 10);
    auto scn = ToScene(vol);
    auto A = Spheric(radii[trial % 3]);
    for (int side : {0, 1, 2}) {
      auto out = DistTrans3(scn.get(), A.get(), static_cast<signed char>(side));
      ASSERT_EQ(out->data, Signed(vol, Transcribe3(vol, *A, side, INT_MAX, Kind::kDistance).cost))
          << "trial " << trial << " side " << side;
      auto band = Label2Border(scn.get(), A.get(), static_cast<signed char>(side), 5);
      ASSERT_EQ(band->data, Transcribe3(vol, *A, side, 5, Kind::kBand).band) << "trial " << trial;
    }
  }
}

TEST(DistTrans3, RelationOutOfScanOrderKeepsItsOwnOrder) {
  // The 26 neighbours listed backwards: ties go to the other neighbour, so
  // the neighbourhood must be walked in the relation's order, not by rows.
  auto fwd = Spheric(1.8f);
  auto A = CreateAdjRel3(fwd->n);
  for (int i = 1; i < fwd->n; i++) {
    A->dx[i] = fwd->dx[fwd->n - i];
    A->dy[i] = fwd->dy[fwd->n - i];
    A->dz[i] = fwd->dz[fwd->n - i];
  }
  std::mt19937 rng(77);
  for (int trial = 0; trial < 20; trial++) {
    Volume vol = trial % 2 ? BoxesAndThinShapes(rng, 12, 11, 9) : RandomBlobs(rng, 12, 11, 9, 3);
    for (int side : {0, 1, 2}) {
      auto out = DistTrans3(ToScene(vol).get(), A.get(), static_cast<signed char>(side));
      ASSERT_EQ(out->data, Signed(vol, Transcribe3(vol, *A, side, INT_MAX, Kind::kDistance).cost))
          << "trial " << trial << " side " << side;
    }
  }
}

// ---- the tiled cost map against the transcription ----

TEST(DistTrans3, EverySizeModuloTheTileAndObjectsOnTheFarFaces) {
  // Framed rows and columns are padded to multiples of 4: sides 2 to 13 give
  // every remainder and every position in a tile, and objects on the last column, row and plane sit next
  // to the padding, which must stay out of the propagation. Each side and a
  // limit, for the 6, 18 and 26 neighbours; both ways of testing the
  // neighbours, eight a load where the processor can and one at a time.
  for (bool gathers : {true, false}) {
    AllowVectorGathers(gathers);
    std::mt19937 rng(404);
    const float radii[] = {1.0f, 1.5f, 1.8f};
    for (int xs = 2; xs <= 13; xs++)
      for (int ys = 2; ys <= 13; ys++) {
        const int zs = 1 + (xs + ys) % 5;
        Volume vol = Empty(xs, ys, zs);
        for (int z = 0; z < zs; z++)
          for (int y = 0; y < ys; y++)
            for (int x = 0; x < xs; x++)
              if (x == xs - 1 || y == ys - 1 || (z == zs - 1 && rng() % 2) || rng() % 3 == 0)
                vol.v[x + xs * (y + ys * z)] = 1;
        auto scn = ToScene(vol);
        auto A = Spheric(radii[(xs + ys) % 3]);
        for (int side : {0, 1, 2}) {
          auto out = DistTrans3(scn.get(), A.get(), static_cast<signed char>(side));
          ASSERT_EQ(out->data, Signed(vol, Transcribe3(vol, *A, side, INT_MAX, Kind::kDistance).cost))
              << xs << "x" << ys << "x" << zs << " side " << side << " gathers " << gathers;
          auto cut = TDistTrans3(scn.get(), A.get(), static_cast<signed char>(side), 2);
          ASSERT_EQ(cut->data, Signed(vol, Transcribe3(vol, *A, side, 2, Kind::kDistance).cost))
              << xs << "x" << ys << "x" << zs << " side " << side << " gathers " << gathers;
        }
      }
  }
  AllowVectorGathers(true);
}

TEST(DistTrans3, BothSidesEqualTheInteriorAndExteriorRunsFor26Neighbours) {
  // With a relation of faces, edges and corners, a voxel inside an object
  // and a background voxel that touch only along an edge or at a corner
  // both have a seed closer than each other, so neither ever improves the
  // other: both sides at once give the interior run inside the objects and
  // the exterior run outside. Checked on dense noise, where such contacts
  // are everywhere.
  std::mt19937 rng(515);
  auto A = Spheric(1.8f);
  for (int trial = 0; trial < 20; trial++) {
    Volume vol = RandomMask(rng, 6 + rng() % 10, 6 + rng() % 10, 2 + rng() % 8, 30 + rng() % 60, 1 + trial % 3);
    auto scn = ToScene(vol);
    auto both = DistTrans3(scn.get(), A.get(), 2), in = DistTrans3(scn.get(), A.get(), 0),
         out = DistTrans3(scn.get(), A.get(), 1);
    for (size_t i = 0; i < vol.v.size(); i++)
      ASSERT_EQ(both->data[i], vol.v[i] != 0 ? in->data[i] : out->data[i]) << "trial " << trial << " voxel " << i;
  }
}
