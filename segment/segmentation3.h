// Thresholds and border marks on scenes.
#pragma once

#include <memory>

#include "core/scene.h"

// 1 where lower <= value <= higher, else 0; the stored maximum is 1 whatever
// the content. Voxel sizes are scn's.
std::unique_ptr<Scene> Threshold3(const Scene *scn, int lower, int higher);

// The level of the histogram of scn with the most negative second
// difference (the first such level on ties), 0 when none is negative.
int AutoThreshold3(Scene *scn);

// The mask's value where lower <= scn <= higher and the mask is non-zero,
// else 0; voxel sizes of scn; the stored maximum is the largest value
// copied, or -2147483648 when none was. Error when the sizes differ.
std::unique_ptr<Scene> ThresholdMask3(const Scene *scn, const Scene *mask, int lower, int higher);

// A copy of scn with value written at every voxel that has a face neighbour
// (inside the scene) of a smaller label: only the side of the larger label
// of each border is marked. Error when the sizes differ.
std::unique_ptr<Scene> Highlight3(const Scene *scn, const Scene *label, int value);
