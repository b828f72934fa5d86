// Volume files of other tools, the value rule and orientation they leave
// with a scene, and PNG pictures (core/volume_io.h).
#include <cstdio>
#include <string>

#include <tcl.h>

#include "commands/modules.h"
#include "core/volume_io.h"

namespace {

std::string MergeList(const std::vector<std::string> &items) {
  std::vector<const char *> argv;
  for (const std::string &s : items) argv.push_back(s.c_str());
  char *merged = Tcl_Merge(static_cast<int>(argv.size()), argv.data());
  std::string list = merged;
  Tcl_Free(merged);
  return list;
}

std::string Numbers(const double *v, int n) {
  std::string text;
  char number[32];
  for (int i = 0; i < n; ++i) {
    snprintf(number, sizeof number, "%s%.10g", i == 0 ? "" : " ", v[i] + 0.0);  // no "-0"
    text += number;
  }
  return text;
}

// {uid files description} for each series, largest first.
std::string DicomSeriesList(const char *folder) {
  std::vector<std::string> entries;
  for (const DicomSeriesEntry &e : ListDicomSeries(folder)) {
    entries.push_back(MergeList({e.uid, std::to_string(e.files), e.description}));
  }
  return MergeList(entries);
}

// "scale offset": the value in the file is scale * voxel + offset.
std::string SceneValueRule(const Scene *scn) {
  const double rule[2] = {scn->value_scale, scn->value_offset};
  return Numbers(rule, 2);
}

double SceneOriginalValue(const Scene *scn, int value) { return scn->OriginalValue(value); }

// The origin (three numbers) and the axes (nine, row by row).
std::string SceneOrientation(const Scene *scn) {
  return Numbers(scn->origin, 3) + " " + Numbers(scn->axes, 9);
}

}  // namespace

std::vector<CommandSpec> VolumeIoCommands() {
  return {
      Wrap<&ReadVolume>("ReadVolume", {"path"}),
      Wrap<&ReadDicomSeries>("ReadDicomSeries", {"folder", "uid"}),
      Wrap<&DicomSeriesList>("ListDicomSeries", {"folder"}),
      Wrap<&WriteVolume>("WriteVolume", {"scn", "filename"}),
      Wrap<&WriteCImagePng>("WriteCImagePng", {"cimg", "filename"}),
      Wrap<&IsVolumeFileName>("IsVolumeFile", {"path"}),
      Wrap<&SceneValueRule>("SceneValueRule", {"scn"}),
      Wrap<&SceneOriginalValue>("SceneOriginalValue", {"scn", "value"}),
      Wrap<&SceneOrientation>("SceneOrientation", {"scn"}),
      Wrap<&CopySceneGeometry>("CopySceneGeometry", {"from", "to"}),
  };
}
