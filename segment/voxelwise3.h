// What the voxel-by-voxel operations of this folder share: a result scene
// shaped like an operand, and the size check of two operands.
#pragma once

#include <memory>

#include "core/scene.h"

// A zero scene of scn's sizes and voxel sizes.
std::unique_ptr<Scene> CreateSceneLike3(const Scene *scn);

// Error "Scenes have different sizes (...)" in func unless a and b have the
// same xsize, ysize and zsize.
void CheckSameSize3(const Scene *a, const Scene *b, const char *func);

// trunc(v) as a 32-bit integer: NaN gives 0, values beyond the range the
// nearest end of it.
int TruncToInt(double v);
