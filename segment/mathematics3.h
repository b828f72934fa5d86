// Voxel-by-voxel arithmetic on scenes.
//
// All arithmetic is in 32-bit integers and wraps on overflow. Results are
// new scenes of the first operand's size; the voxel sizes are 1.0 except
// for Mult3 and SQRT3, which start from a copy of the first operand (and
// keep its sizes and stored maximum). The two operands of a binary
// operation must have the same size, else Error.
#pragma once

#include <memory>

#include "core/scene.h"

// max(a - b, 0).
std::unique_ptr<Scene> Diff3(const Scene *scn1, const Scene *scn2);
// a + b.
std::unique_ptr<Scene> Sum3(const Scene *scn1, const Scene *scn2);
// max(a, b).
std::unique_ptr<Scene> Max3(const Scene *scn1, const Scene *scn2);
// m - a, m = MaximumValue3(scn) (stored in scn).
std::unique_ptr<Scene> Complement3(Scene *scn);
// trunc(sqrt(a)); 0 where a is negative.
std::unique_ptr<Scene> SQRT3(const Scene *scn);
// a + value.
std::unique_ptr<Scene> Add3(const Scene *scn, int value);
// a * b.
std::unique_ptr<Scene> Mult3(const Scene *scn1, const Scene *scn2);
