#include "core/kernel.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "core/common.h"

std::unique_ptr<Kernel> CreateKernel(AdjRel *A) {
  auto K = std::make_unique<Kernel>();
  K->displacements = CreateAdjRel(A->n);
  try {
    K->weights.assign(A->n, 0.0f);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateKernel");
  }
  if (A->n == 0) {
    K->width = K->height = 2;
    return K;
  }
  int minx = A->dx[0], maxx = A->dx[0], miny = A->dy[0], maxy = A->dy[0];
  for (int i = 0; i < A->n; i++) {
    K->displacements->dx[i] = A->dx[i];
    K->displacements->dy[i] = A->dy[i];
    minx = std::min(minx, A->dx[i]);
    maxx = std::max(maxx, A->dx[i]);
    miny = std::min(miny, A->dy[i]);
    maxy = std::max(maxy, A->dy[i]);
  }
  K->width = maxx - minx + 1;
  K->height = maxy - miny + 1;
  return K;
}

std::unique_ptr<Kernel> GaussianKernel(AdjRel *A, float mean, float stddev) {
  // Both products are kept in single precision, as the weights were always
  // computed; the exponential itself runs in double.
  float m = mean * mean;
  float s = 2.0f * stddev * stddev;
  if (!(s > 0.0f) || !std::isfinite(s))
    Error("Invalid standard deviation " + std::to_string(stddev), "GaussianKernel");
  auto K = CreateKernel(A);
  for (int i = 0; i < A->n; i++) {
    long long d2 = 1LL * A->dx[i] * A->dx[i] + 1LL * A->dy[i] * A->dy[i];
    K->weights[i] = static_cast<float>(std::exp(-(static_cast<double>(d2) - m) / s));
  }
  return K;
}

void DestroyKernel(std::unique_ptr<Kernel> *kernel) {
  if (kernel != nullptr) kernel->reset();
}
