#include "segment/annimg.h"

#include <string>
#include <utility>

#include "core/common.h"
#include "segment/annscn.h"

namespace {

void CheckSameImageSize(const Image *a, const Image *b, const char *func) {
  if (a->ncols != b->ncols || a->nrows != b->nrows)
    Error("Images have different sizes (" + std::to_string(a->ncols) + " x " +
              std::to_string(a->nrows) + " and " + std::to_string(b->ncols) + " x " +
              std::to_string(b->nrows) + ")",
          func);
}

void CheckPixel(const Image *img, int p, const char *func) {
  int n = static_cast<int>(img->val.size());
  if (p < 0 || p >= n)
    Error("Pixel " + std::to_string(p) + " is outside the image (addresses 0 to " +
              std::to_string(n - 1) + ")",
          func);
}

}  // namespace

std::unique_ptr<AnnImg> Annotate(Image *img, const Image *cost, const Image *label) {
  if (cost) CheckSameImageSize(img, cost, "Annotate");
  if (label) CheckSameImageSize(img, label, "Annotate");
  auto aimg = std::make_unique<AnnImg>();
  aimg->img = img;
  aimg->cost = CreateImage(img->ncols, img->nrows);
  aimg->label = CreateImage(img->ncols, img->nrows);
  aimg->pred = CreateImage(img->ncols, img->nrows);
  const int n = static_cast<int>(img->val.size());
  for (int p = 0; p < n; p++) {
    aimg->pred->val[p] = p;
    bool seed;
    if (label) {
      // With a label image, the labelled pixels are the seeds.
      seed = label->val[p] > 0;
      if (seed || cost) aimg->label->val[p] = label->val[p];
      aimg->cost->val[p] = seed ? (cost ? cost->val[p] : 0) : kInfiniteCost;
    } else if (cost) {
      seed = true;
      aimg->cost->val[p] = cost->val[p];
      aimg->label->val[p] = p;
    } else {
      seed = false;
      aimg->cost->val[p] = kInfiniteCost;
    }
    if (seed) InsertSet(&aimg->seeds, p);
  }
  return aimg;
}

std::unique_ptr<AnnImg> AnnotateCopy(const Image *img, const Image *cost, const Image *label) {
  std::unique_ptr<Image> own = CopyImage(img);
  std::unique_ptr<AnnImg> aimg = Annotate(own.get(), cost, label);
  aimg->ownImage = std::move(own);
  return aimg;
}

void DeAnnotate(std::unique_ptr<AnnImg> *aimg) {
  if (aimg != nullptr) aimg->reset();
}

void AddSeed(AnnImg *aimg, int p, int cost, int label, int pred) {
  CheckPixel(aimg->img, p, "AddSeed");
  CheckPixel(aimg->img, pred, "AddSeed");
  InsertSet(&aimg->seeds, p);
  aimg->cost->val[p] = cost;
  aimg->label->val[p] = label;
  aimg->pred->val[p] = pred;
}

int RemSeed(AnnImg *aimg, const AdjRel *A, int p) {
  CheckPixel(aimg->img, p, "RemSeed");
  if (aimg->pred->val[p] != p) return 0;
  std::unique_ptr<Image> root = CompPaths(aimg->pred.get());
  const Image *img = aimg->img;
  std::vector<bool> marked(img->val.size(), false);
  for (int y = 0; y < img->nrows; y++)
    for (int x = 0; x < img->ncols; x++) {
      int r = x + img->tbrow[y];
      if (root->val[r] != p) continue;
      aimg->cost->val[r] = kInfiniteCost;
      aimg->label->val[r] = 0;
      aimg->pred->val[r] = r;
      for (int i = 0; i < A->n; i++) {
        int qx = x + A->dx[i], qy = y + A->dy[i];
        if (!img->Valid(qx, qy)) continue;
        int q = qx + img->tbrow[qy];
        if (root->val[q] == p || marked[q]) continue;
        marked[q] = true;
        InsertSet(&aimg->seeds, q);
      }
    }
  return 1;
}

int Seed(const Image *pred, int p) {
  const int n = static_cast<int>(pred->val.size());
  // A chain longer than the pixel count has a cycle.
  for (int steps = 0; steps <= n; steps++) {
    CheckPixel(pred, p, "Seed");
    int next = pred->val[p];
    if (next == p) return p;
    p = next;
  }
  Error("The predecessor map has a cycle", "Seed");
}

std::unique_ptr<Image> CompPaths(const Image *pred) {
  std::unique_ptr<Image> root = CreateImage(pred->ncols, pred->nrows);
  const int n = static_cast<int>(pred->val.size());
  for (int p = 0; p < n; p++) root->val[p] = Seed(pred, p);
  return root;
}

int SeedComp(Image *img, int p) {
  int r = Seed(img, p);
  while (img->val[p] != p) {
    int next = img->val[p];
    img->val[p] = r;
    p = next;
  }
  return r;
}

std::vector<int> Path(const Image *pred, int p) {
  Seed(pred, p);  // validates the chain before it is walked
  std::vector<int> path{0};
  for (;;) {
    path.push_back(p);
    int next = pred->val[p];
    if (next == p) break;
    p = next;
  }
  path[0] = static_cast<int>(path.size()) - 1;
  return path;
}

std::unique_ptr<Image> GetCost(const AnnImg *aimg) { return CopyImage(aimg->cost.get()); }
std::unique_ptr<Image> GetLabel(const AnnImg *aimg) { return CopyImage(aimg->label.get()); }
std::unique_ptr<Image> GetPred(const AnnImg *aimg) { return CopyImage(aimg->pred.get()); }

std::unique_ptr<Image> Label2Root(const Image *label) {
  std::unique_ptr<Image> root = CreateImage(label->ncols, label->nrows);
  const int n = static_cast<int>(label->val.size());
  for (int p = 0; p < n; p++) root->val[p] = label->val[p] > 0 ? p : -1;
  return root;
}

std::unique_ptr<Image> Root2Label(const Image *root, const Image *label) {
  CheckSameImageSize(root, label, "Root2Label");
  std::unique_ptr<Image> out = CreateImage(root->ncols, root->nrows);
  const int n = static_cast<int>(root->val.size());
  for (int p = 0; p < n; p++) {
    int r = root->val[p];
    if (r == -1) continue;
    CheckPixel(label, r, "Root2Label");
    out->val[p] = label->val[r];
  }
  return out;
}
