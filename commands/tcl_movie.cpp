// Recorded movies: the frames of a recording made into one animated file.
#include "commands/modules.h"
#include "core/movie.h"

std::vector<CommandSpec> MovieCommands() {
  return {
      Wrap<&WriteMovie>("WriteMovie", {"frames", "delays", "filename"}),
  };
}
