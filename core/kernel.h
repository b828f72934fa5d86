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

void DestroyKernel(std::unique_ptr<Kernel> *kernel);
