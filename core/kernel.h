// Kernels: a weight per 2D displacement.
#pragma once

#include <memory>
#include <vector>

#include "core/adjacency.h"

struct Kernel {
  std::vector<float> weights;           // one per displacement, in their order
  std::unique_ptr<AdjRel> displacements;  // the kernel's own copy
  int width = 0;                        // largest dx - smallest dx + 1
  int height = 0;                       // largest dy - smallest dy + 1
};

// A kernel over a copy of A's displacements, every weight 0. An empty
// relation gives width and height 2.
std::unique_ptr<Kernel> CreateKernel(AdjRel *A);

// Weights exp(-(d2 - mean^2) / (2 stddev^2)) with d2 = dx^2 + dy^2, not
// normalised (the centre weight is exp(mean^2 / (2 stddev^2))). Error for a
// standard deviation of 0 or one whose square vanishes in single precision.
std::unique_ptr<Kernel> GaussianKernel(AdjRel *A, float mean, float stddev);

void DestroyKernel(std::unique_ptr<Kernel> *kernel);
