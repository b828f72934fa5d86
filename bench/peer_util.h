// Running the peer renderers beside a benchmark: their command lines, the
// figures they print, the raw volume they read, and the lines that compare
// them with ours.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/fileio.h"
#include "core/scene.h"

namespace bench {

struct PeerResult {
  bool ok = false;
  int threads = 0;
  double minMs = 0.0, meanMs = 0.0;
  std::string note;  // the peer's description, or why it was skipped
};

inline std::string Dirname(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

inline bool Exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

inline std::string ExecutableDir() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return ".";
  buffer[n] = '\0';
  return Dirname(buffer);
}

// Runs a peer's command line; its "RESULT name threads min mean ..." line
// gives the figures, a "SKIP name reason" line the reason it did not run.
inline PeerResult RunPeer(const std::string &command) {
  PeerResult result;
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) {
    result.note = "cannot start: " + command;
    return result;
  }
  char line[4096];
  while (fgets(line, sizeof(line), pipe)) {
    char name[64];
    if (sscanf(line, "RESULT %63s %d %lf %lf", name, &result.threads, &result.minMs,
               &result.meanMs) == 4) {
      result.ok = true;
    } else if (strncmp(line, "SKIP ", 5) == 0) {
      result.note = line + 5;
    } else if (result.note.size() < 2000) {
      result.note += line;
    }
  }
  pclose(pipe);
  while (!result.note.empty() && result.note.back() == '\n') result.note.pop_back();
  return result;
}

inline std::string Quote(const std::string &s) { return "'" + s + "'"; }

// The scene as 16-bit little-endian voxels, x fastest, as the peers read it.
inline void WriteRawVolume(const Scene *scn, const char *path) {
  AtomicWriter out(path, "WriteRawVolume", "Cannot open file");
  std::vector<uint16_t> row(scn->xsize);
  for (int z = 0; z < scn->zsize; z++)
    for (int y = 0; y < scn->ysize; y++) {
      for (int x = 0; x < scn->xsize; x++)
        row[x] = static_cast<uint16_t>(scn->data[scn->Address(x, y, z)]);
      out.Write(row.data(), row.size() * sizeof(uint16_t));
    }
  out.Commit();
}

// The VTK peer script: beside the executable, or in the source tree.
inline std::string VtkScript(const char *sourceFile) {
  std::string script = ExecutableDir() + "/peers/vtk_render.py";
  if (!Exists(script)) script = Dirname(sourceFile) + "/peers/vtk_render.py";
  return script;
}

inline void PrintPeer(const char *label, const PeerResult &p, double oursMs, const char *ours) {
  if (!p.ok) {
    printf("  %-34s skipped: %s\n", label, p.note.c_str());
    return;
  }
  printf("  %-34s %9.3f %9.3f  %d thread%s   %-22s %9.3f   peer/ours %6.2fx\n", label, p.minMs,
         p.meanMs, p.threads, p.threads == 1 ? " " : "s", ours, oursMs, p.minMs / oursMs);
}

inline void Target(const char *what, bool met) {
  printf("  %-66s %s\n", what, met ? "met" : "MISSED");
}

}  // namespace bench
