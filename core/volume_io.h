// Volumes of other tools' files: DICOM series, NIfTI (.nii, .nii.gz,
// .hdr/.img), NRRD (.nrrd, .nhdr) and MetaImage (.mha, .mhd) read as
// scenes; scenes written as NIfTI, NRRD and MetaImage; colour images
// written as PNG. The file library stays inside volume_io.cpp: this header
// speaks only the program's own types.
//
// Orientation: every volume is brought to one anatomical order, the one of
// DICOM's patient axes (LPS): x runs to the patient's left, y to the back
// (posterior), z up (superior). The file's axes are permuted and flipped to
// the nearest such order (voxels are moved, never resampled); what is left
// of the file's direction (an oblique cut) is kept in Scene::axes and
// Scene::origin and written back with the scene.
//
// Values (one rule, kept in Scene::value_scale and value_offset, where the
// value in the file = value_scale * voxel + value_offset):
//   - whole numbers (integer types, and floating-point data whose values are
//     all whole) between 0 and 2^31 - 1 are kept as they are;
//   - whole numbers with negatives are shifted up by the smallest value
//     (offset = minimum, scale 1): CT's -1024 becomes 0;
//   - anything else (fractions, or a range wider than 2^31 - 1) is mapped
//     linearly onto 0 .. 65535 (offset = minimum, scale = range / 65535);
//     NaN becomes 0.
// Writing undoes the rule, so exported files hold the original values.
//
// A damaged or hostile file fails with Error naming the file; no buffer is
// allocated beyond what the file (or, compressed, the most its deflate
// stream could expand to) can hold.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/cimage.h"
#include "core/scene.h"

struct DicomSeriesEntry {
  std::string uid;          // Series Instance UID
  int files = 0;            // files of the folder in the series
  std::string description;  // Series Description, modality and size, for a chooser
};

// A volume file by its extension; a DICOM file reads the series it belongs
// to from its folder; a folder reads its largest DICOM series.
std::unique_ptr<Scene> ReadVolume(const char *path);

// The DICOM series of a folder (not its subfolders), largest first.
std::vector<DicomSeriesEntry> ListDicomSeries(const char *folder);

// One series of a folder (uid "" for the largest): slices sorted by their
// position along the slice normal, the slice spacing from the positions,
// rescale slope and intercept applied. Mixed sizes or orientations, two
// slices at one position and unequal gaps (a missing slice) fail with a
// message saying so; nothing is resampled.
std::unique_ptr<Scene> ReadDicomSeries(const char *folder, const char *uid);

// By extension: .nii, .nii.gz, .nrrd, .nhdr (+ .raw.gz), .mha, .mhd (+ .raw).
// Whole numbers go out in the smallest integer type that holds them, other
// values as 32-bit floats; with the scene's voxel sizes, origin and axes.
void WriteVolume(const Scene *scn, const char *filename);

// An RGB PNG of a colour image (channels clamped to 0 .. 255).
void WriteCImagePng(const CImage *cimg, const char *filename);

// Whether the file name has one of the extensions ReadVolume knows, or
// names a folder (a DICOM series). DICOM files need not have an extension.
bool IsVolumeFileName(const char *path);
