#include <cstdio>
#include <string>

#include "commands/modules.h"
#include "core/geometry.h"

namespace {

// The script form of a vector: a list of exactly three numbers.
struct Vector3 {
  float v[3];
  explicit Vector3(const std::vector<float> &list) {
    if (list.size() != 3) {
      throw CommandError("expected a vector of three numbers but got " +
                         std::to_string(list.size()));
    }
    for (int i = 0; i < 3; i++) v[i] = list[i];
  }
};

// The normalised vector as a list of three "%f" numbers.
std::string NormalizedVector(const std::vector<float> &list) {
  Vector3 a(list);
  VectorNormalize(a.v);
  char text[128];
  snprintf(text, sizeof text, "%f %f %f", a.v[0], a.v[1], a.v[2]);
  return text;
}

float MagnitudeOfVector(const std::vector<float> &list) {
  Vector3 a(list);
  return VectorMagnitude(a.v);
}

}  // namespace

// The vectors are Tcl lists, and VectorNormalize returns the normalised
// vector since a script has no array to receive it in place.
std::vector<CommandSpec> GeometryCommands() {
  return {
      Wrap<&NormalizedVector>("VectorNormalize", {"v"}),
      Wrap<&MagnitudeOfVector>("VectorMagnitude", {"v"}),
  };
}
