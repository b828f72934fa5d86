// Volume files of other tools: files made by the library's own writers read
// back as scenes (sizes, spacing, orientation, values through the value
// rule), scenes written and read back by the library, DICOM folders
// (shuffled names, two series, a missing slice, mixed sizes) and damaged
// files that must fail with a message.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <itkGDCMImageIO.h>
#include <itkImage.h>
#include <itkImageFileReader.h>
#include <itkImageFileWriter.h>
#include <itkMetaDataObject.h>
#include <itkMetaImageIO.h>
#include <itkNiftiImageIO.h>
#include <itkNrrdImageIO.h>
#include <itkPNGImageIO.h>

#include "core/volume_io.h"
#include "tests/support/fatal.h"
#include "tests/support/files.h"

namespace {

long long FileSize(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

template <class T>
using Volume = itk::Image<T, 3>;

// A 5 x 4 x 3 volume with spacing (0.5, 0.75, 2), origin (10, -20, 30),
// direction dir (columns are the axes), voxel i = value(i).
template <class T, class F>
typename Volume<T>::Pointer MakeVolume(F value, const double dir[9] = nullptr) {
  auto img = Volume<T>::New();
  typename Volume<T>::SizeType size = {{5, 4, 3}};
  img->SetRegions(size);
  img->Allocate();
  const double spacing[3] = {0.5, 0.75, 2.0}, origin[3] = {10, -20, 30};
  img->SetSpacing(spacing);
  img->SetOrigin(origin);
  if (dir != nullptr) {
    typename Volume<T>::DirectionType d;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) d[r][c] = dir[3 * r + c];
    img->SetDirection(d);
  }
  T *p = img->GetBufferPointer();
  for (int i = 0; i < 60; ++i) p[i] = static_cast<T>(value(i));
  return img;
}

itk::ImageIOBase::Pointer IoFor(const std::string &name) {
  if (name.find(".nii") != std::string::npos) return itk::NiftiImageIO::New().GetPointer();
  if (name.find(".nrrd") != std::string::npos || name.find(".nhdr") != std::string::npos)
    return itk::NrrdImageIO::New().GetPointer();
  return itk::MetaImageIO::New().GetPointer();
}

template <class Img>
void WriteWithLibrary(Img *img, const std::string &name, bool compress = true) {
  auto writer = itk::ImageFileWriter<Img>::New();
  writer->SetImageIO(IoFor(name));
  writer->SetFileName(name);
  writer->SetInput(img);
  writer->SetUseCompression(compress);
  writer->Update();
}

template <class T>
typename Volume<T>::Pointer ReadWithLibrary(const std::string &name) {
  auto reader = itk::ImageFileReader<Volume<T>>::New();
  reader->SetImageIO(IoFor(name));
  reader->SetFileName(name);
  reader->Update();
  return reader->GetOutput();
}

// The patient position of scene voxel (x, y, z).
void ScenePoint(const Scene &s, int x, int y, int z, double *p) {
  const double step[3] = {x * s.dx, y * s.dy, z * s.dz};
  for (int r = 0; r < 3; ++r) {
    p[r] = s.origin[r];
    for (int c = 0; c < 3; ++c) p[r] += s.axes[3 * r + c] * step[c];
  }
}

// Every voxel of the scene stands, through the value rule, for the file's
// value at the same patient position.
template <class T>
void ExpectSameVolume(const Volume<T> *file, const Scene &scn, double tolerance) {
  ASSERT_EQ(scn.VoxelCount(), 60);
  for (int z = 0; z < scn.zsize; ++z)
    for (int y = 0; y < scn.ysize; ++y)
      for (int x = 0; x < scn.xsize; ++x) {
        double p[3];
        ScenePoint(scn, x, y, z, p);
        typename Volume<T>::PointType point;
        for (int r = 0; r < 3; ++r) point[r] = p[r];
        typename Volume<T>::IndexType index;
        ASSERT_TRUE(file->TransformPhysicalPointToIndex(point, index)) << x << " " << y << " " << z;
        const double want = static_cast<double>(file->GetPixel(index));
        ASSERT_NEAR(scn.OriginalValue(scn.data[scn.Address(x, y, z)]), want, tolerance)
            << "voxel " << x << " " << y << " " << z;
      }
}

const char *kNames[] = {"v.nii", "v.nii.gz", "v.nrrd", "v.nhdr", "v.mha", "v.mhd"};

// Each value type through each format: read as a scene, then written by the
// scene and read back by the library.
template <class T, class F>
void RoundTrip(F value, double tolerance, double wantScale, double wantOffset) {
  TempDir dir;
  auto img = MakeVolume<T>(value);
  for (const char *base : kNames) {
    SCOPED_TRACE(base);
    const std::string in = dir.File(std::string("in_") + base);
    WriteWithLibrary(img.GetPointer(), in);
    auto scn = ReadVolume(in.c_str());
    EXPECT_EQ(scn->xsize, 5);
    EXPECT_EQ(scn->ysize, 4);
    EXPECT_EQ(scn->zsize, 3);
    EXPECT_FLOAT_EQ(scn->dx, 0.5f);
    EXPECT_FLOAT_EQ(scn->dy, 0.75f);
    EXPECT_FLOAT_EQ(scn->dz, 2.0f);
    EXPECT_DOUBLE_EQ(scn->origin[1], -20.0);
    EXPECT_NEAR(scn->value_scale, wantScale, 1e-6 * std::fabs(wantScale));  // a float range
    EXPECT_DOUBLE_EQ(scn->value_offset, wantOffset);
    EXPECT_GE(*std::min_element(scn->data.begin(), scn->data.end()), 0);
    ExpectSameVolume(img.GetPointer(), *scn, tolerance);

    const std::string out = dir.File(std::string("out_") + base);
    WriteVolume(scn.get(), out.c_str());
    auto back = ReadWithLibrary<double>(out);
    for (int i = 0; i < 3; ++i) {
      EXPECT_DOUBLE_EQ(back->GetSpacing()[i], img->GetSpacing()[i]);
      EXPECT_NEAR(back->GetOrigin()[i], img->GetOrigin()[i], 1e-5);
    }
    const double *got = back->GetBufferPointer();
    for (int i = 0; i < 60; ++i) ASSERT_NEAR(got[i], value(i), tolerance) << "voxel " << i;
  }
}

TEST(VolumeIo, EveryFormatAndValueTypeRoundTrips) {
  {
    SCOPED_TRACE("8-bit labels kept");
    RoundTrip<uint8_t>([](int i) { return i % 7; }, 0, 1, 0);
  }
  {
    SCOPED_TRACE("16-bit CT values shifted by their minimum");
    RoundTrip<int16_t>([](int i) { return i * 50 - 1024; }, 0, 1, -1024);
  }
  {
    SCOPED_TRACE("unsigned 16-bit kept");
    RoundTrip<uint16_t>([](int i) { return 65535 - i * 3; }, 0, 1, 0);
  }
  {
    SCOPED_TRACE("32-bit kept");
    RoundTrip<int32_t>([](int i) { return i * 1000000; }, 0, 1, 0);
  }
  {
    SCOPED_TRACE("whole floats taken as integers");
    RoundTrip<float>([](int i) { return i - 30.0; }, 0, 1, -30);
  }
  {
    SCOPED_TRACE("fractions mapped onto 0..65535");
    // Range 0.59 over 65535 steps: half a step of error at most.
    RoundTrip<float>([](int i) { return 0.01 * i; }, 0.59 / 65535, 0.59 / 65535, 0.0);
  }
}

TEST(VolumeIo, FilesOfAnyDirectionComeOutInPatientOrder) {
  // A flipped axial (x to the right, y to the front), a sagittal stack and an
  // oblique one: the scene's axes end up closest to x left, y back, z up.
  const double flipped[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
  const double sagittal[9] = {0, 0, 1, 1, 0, 0, 0, -1, 0};
  const double c = std::cos(0.3), s = std::sin(0.3);
  const double oblique[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
  TempDir dir;
  for (const double *d : {flipped, sagittal, oblique}) {
    auto img = MakeVolume<int16_t>([](int i) { return i; }, d);
    for (const char *base : {"o.nii.gz", "o.nrrd", "o.mha"}) {
      SCOPED_TRACE(base);
      const std::string name = dir.File(base);
      WriteWithLibrary(img.GetPointer(), name);
      auto scn = ReadVolume(name.c_str());
      for (int a = 0; a < 3; ++a) EXPECT_GT(scn->axes[3 * a + a], 0.9) << "axis " << a;
      ExpectSameVolume(img.GetPointer(), *scn, 0);
      // Written back, the physical frame is the same.
      const std::string out = dir.File(std::string("back_") + base);
      WriteVolume(scn.get(), out.c_str());
      ExpectSameVolume(img.GetPointer(), *ReadVolume(out.c_str()), 0);
    }
  }
}

TEST(VolumeIo, LabelSceneGetsTheGreySceneGeometry) {
  TempDir dir;
  const double flipped[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
  const std::string in = dir.File("grey.nii.gz");
  WriteWithLibrary(MakeVolume<int16_t>([](int i) { return i - 100; }, flipped).GetPointer(), in);
  auto grey = ReadVolume(in.c_str());
  auto labels = CreateScene(grey->xsize, grey->ysize, grey->zsize);
  labels->data[7] = 3;
  CopySceneGeometry(grey.get(), labels.get());
  EXPECT_EQ(labels->value_offset, 0.0);  // labels are not shifted
  const std::string out = dir.File("labels.nrrd");
  WriteVolume(labels.get(), out.c_str());
  auto back = ReadVolume(out.c_str());
  EXPECT_EQ(back->data[7], 3);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(back->origin[i], grey->origin[i], 1e-5);
  EXPECT_FLOAT_EQ(back->dz, 2.0f);
  auto other = CreateScene(2, 2, 2);
  EXPECT_NE(FatalText([&] { CopySceneGeometry(grey.get(), other.get()); }), "");
}

// ---- DICOM ----

// One slice file of a series at height z whose pixel i stands for fill + i:
// the library's writer stores fill + i - intercept.
void WriteDicomSlice(const std::string &name, const std::string &series, double z, int nx,
                     int ny, int fill, const char *intercept = "-1024") {
  auto img = Volume<int16_t>::New();
  Volume<int16_t>::SizeType size = {{static_cast<itk::SizeValueType>(nx),
                                     static_cast<itk::SizeValueType>(ny), 1}};
  img->SetRegions(size);
  img->Allocate();
  const double spacing[3] = {0.8, 0.8, 1.0}, origin[3] = {-100, -120, z};
  img->SetSpacing(spacing);
  img->SetOrigin(origin);
  int16_t *p = img->GetBufferPointer();
  for (int i = 0; i < nx * ny; ++i) p[i] = static_cast<int16_t>(fill + i);
  auto &dict = img->GetMetaDataDictionary();
  itk::EncapsulateMetaData<std::string>(dict, "0020|000e", series);
  itk::EncapsulateMetaData<std::string>(dict, "0008|0060", "CT");
  itk::EncapsulateMetaData<std::string>(dict, "0008|103e", "test series");
  itk::EncapsulateMetaData<std::string>(dict, "0028|1052", intercept);
  itk::EncapsulateMetaData<std::string>(dict, "0028|1053", "1");
  auto io = itk::GDCMImageIO::New();
  io->KeepOriginalUIDOn();
  auto writer = itk::ImageFileWriter<Volume<int16_t>>::New();
  writer->SetImageIO(io);
  writer->SetFileName(name);
  writer->SetInput(img);
  writer->Update();
}

const char *kSeriesA = "1.2.826.0.1.3680043.2.1125.1.1";
const char *kSeriesB = "1.2.826.0.1.3680043.2.1125.1.2";

// Slice k at z = 2.5 k, with values 10 k + i - 1000 (stored as 10 k + i + 24
// with intercept -1024); names in reverse order of position.
void WriteSeries(const TempDir &dir, const char *series, const char *prefix, int n, int nx = 6,
                 int ny = 5, int skip = -1) {
  for (int k = 0; k < n; ++k) {
    if (k == skip) continue;
    char name[64];
    snprintf(name, sizeof name, "%s%03d.dcm", prefix, (n - k) * 7 % 100);
    WriteDicomSlice(dir.File(name), series, 2.5 * k, nx, ny, 10 * k - 1000);
  }
}

TEST(VolumeIo, DicomSlicesAreSortedByPositionAndRescaled) {
  TempDir dir;
  WriteSeries(dir, kSeriesA, "im", 8);
  auto scn = ReadVolume(dir.path().c_str());
  ASSERT_EQ(scn->zsize, 8);
  EXPECT_EQ(scn->xsize, 6);
  EXPECT_FLOAT_EQ(scn->dz, 2.5f);
  EXPECT_FLOAT_EQ(scn->dx, 0.8f);
  EXPECT_DOUBLE_EQ(scn->origin[2], 0.0);
  for (int z = 0; z < 8; ++z) {
    EXPECT_EQ(scn->OriginalValue(scn->data[scn->Address(1, 0, z)]), 10 * z + 1 - 1000) << z;
  }
  EXPECT_EQ(scn->value_offset, -1000);  // shifted up by the smallest value
  EXPECT_NE(ReadTestFile(dir.File("im007.dcm")).find("-1024"), std::string::npos);
  // One file of the folder stands for its series.
  auto same = ReadVolume(dir.File("im056.dcm").c_str());
  EXPECT_EQ(same->data, scn->data);
}

TEST(VolumeIo, FolderWithTwoSeriesListsBothAndReadsEither) {
  TempDir dir;
  WriteSeries(dir, kSeriesA, "a", 4);
  WriteSeries(dir, kSeriesB, "b", 6, 3, 3);
  auto list = ListDicomSeries(dir.path().c_str());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].uid, kSeriesB);  // largest first
  EXPECT_EQ(list[0].files, 6);
  EXPECT_NE(list[0].description.find("test series"), std::string::npos);
  EXPECT_EQ(ReadVolume(dir.path().c_str())->zsize, 6);
  auto a = ReadDicomSeries(dir.path().c_str(), kSeriesA);
  EXPECT_EQ(a->zsize, 4);
  EXPECT_EQ(a->xsize, 6);
  EXPECT_NE(FatalText([&] { ReadDicomSeries(dir.path().c_str(), "1.2.3"); }).find("No series 1.2.3"),
            std::string::npos);
}

TEST(VolumeIo, BrokenDicomSeriesAreReportedNotResampled) {
  {
    TempDir dir;
    WriteSeries(dir, kSeriesA, "s", 6, 6, 5, 3);
    std::string text = FatalText([&] { ReadVolume(dir.path().c_str()); });
    EXPECT_NE(text.find("Unequal slice spacing"), std::string::npos) << text;
    EXPECT_NE(text.find("missing"), std::string::npos) << text;
  }
  {
    TempDir dir;
    WriteSeries(dir, kSeriesA, "s", 3);
    WriteDicomSlice(dir.File("odd.dcm"), kSeriesA, 7.5, 4, 4, 0);
    std::string text = FatalText([&] { ReadVolume(dir.path().c_str()); });
    EXPECT_NE(text.find("Mixed series"), std::string::npos) << text;
  }
  {
    TempDir dir;
    WriteSeries(dir, kSeriesA, "s", 3);
    WriteDicomSlice(dir.File("twin.dcm"), kSeriesA, 2.5, 6, 5, 0);
    std::string text = FatalText([&] { ReadVolume(dir.path().c_str()); });
    EXPECT_NE(text.find("Two slices at one position"), std::string::npos) << text;
  }
  {
    TempDir dir;
    WriteTestFile(dir.File("notes.txt"), "no images here\n");
    EXPECT_NE(FatalText([&] { ReadVolume(dir.path().c_str()); }).find("No DICOM series"),
              std::string::npos);
  }
}

// ---- files that Debian packages ship (python3-nibabel, python3-pydicom) ----

const std::string kNibabel = "/usr/lib/python3/dist-packages/nibabel/tests/data/";
const std::string kPydicom = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

double OriginalSum(const Scene &s) {
  double sum = 0;
  for (int v : s.data) sum += s.OriginalValue(v);
  return sum;
}

TEST(VolumeIo, ShippedNiftiFilesReadAsTheirReferenceReaderReadsThem) {
  if (FileSize(kNibabel + "anatomical.nii") < 0) GTEST_SKIP() << "python3-nibabel is not installed";
  // Big-endian int16, axes L A S: y is flipped into P.
  auto anat = ReadVolume((kNibabel + "anatomical.nii").c_str());
  EXPECT_EQ(anat->xsize, 33);
  EXPECT_EQ(anat->ysize, 41);
  EXPECT_EQ(anat->zsize, 25);
  EXPECT_FLOAT_EQ(anat->dz, 2.0f);
  EXPECT_EQ(anat->value_offset, -610);
  EXPECT_EQ(OriginalSum(*anat), 284166082.0);
  for (int a = 0; a < 3; ++a) EXPECT_GT(anat->axes[3 * a + a], 0.99);
  // Voxel (10, 5, 12) of the file (its first two axes run to the left and
  // to the front) is scene voxel (10, 40 - 5, 12); the file has 9284 there.
  EXPECT_EQ(anat->OriginalValue(anat->data[anat->Address(10, 35, 12)]), 7959.0);
  // uint8, axes R A S, voxel sizes 1, 3, 2: x and y flipped.
  auto std8 = ReadVolume((kNibabel + "standard.nii.gz").c_str());
  EXPECT_EQ(std8->xsize, 4);
  EXPECT_EQ(std8->ysize, 5);
  EXPECT_FLOAT_EQ(std8->dy, 3.0f);
  EXPECT_EQ(std8->value_offset, 0);
  EXPECT_EQ(OriginalSum(*std8), 7650.0);
  EXPECT_EQ(std8->data[std8->Address(3 - 1, 4 - 2, 3)], 255);
  // NIfTI-2 (ITK 5.2 reads NIfTI-1 only): refused by name.
  EXPECT_NE(FatalText([&] { ReadVolume((kNibabel + "example_nifti2.nii.gz").c_str()); })
                .find("NIfTI-2"),
            std::string::npos);
  // Four dimensions: refused, not cut.
  EXPECT_NE(FatalText([&] { ReadVolume((kNibabel + "example4d.nii.gz").c_str()); })
                .find("only 3D volumes"),
            std::string::npos);
}

TEST(VolumeIo, ShippedDicomFilesRead) {
  if (FileSize(kPydicom + "CT_small.dcm") < 0) GTEST_SKIP() << "python3-pydicom is not installed";
  // A folder of odd files (other series, compressed, broken ones): listed
  // without a crash, each of its series a UID.
  auto list = ListDicomSeries(kPydicom.c_str());
  EXPECT_GT(list.size(), 10u);
  // CT with intercept -1024, in a folder of its own (scanning the shipped
  // folder takes the library seconds, most of them on SC_rgb_jpeg.dcm).
  TempDir dir;
  WriteTestFile(dir.File("ct"), ReadTestFile(kPydicom + "CT_small.dcm"));
  auto ct = ReadVolume(dir.path().c_str());
  EXPECT_EQ(ct->xsize, 128);
  EXPECT_EQ(ct->zsize, 1);
  EXPECT_FLOAT_EQ(ct->dx, 0.661468f);
  EXPECT_EQ(ct->value_offset, -896);  // the smallest rescaled value
  EXPECT_EQ(OriginalSum(*ct), -1950906.0);
  EXPECT_EQ(ct->OriginalValue(ct->data[ct->Address(7, 5, 0)]), -838);
  EXPECT_NEAR(ct->origin[2], -75.699997, 1e-4);
}

// ---- damaged and hostile files ----

std::string Cut(const std::string &bytes, size_t n) { return bytes.substr(0, std::min(n, bytes.size())); }

TEST(VolumeIo, DamagedFilesFailWithAMessage) {
  TempDir dir;
  auto img = MakeVolume<int16_t>([](int i) { return i; });
  auto fails = [](const std::string &path, const char *words) {
    std::string text = FatalText([&] { ReadVolume(path.c_str()); });
    EXPECT_NE(text.find(words), std::string::npos) << path << ": " << text;
  };
  // A NIfTI whose header claims more than the file holds.
  WriteWithLibrary(img.GetPointer(), dir.File("whole.nii"), false);
  std::string nii = ReadTestFile(dir.File("whole.nii"));
  WriteTestFile(dir.File("short.nii"), Cut(nii, nii.size() - 2));
  fails(dir.File("short.nii"), "claims");
  // A gzip stream that ends early, in the header and in the voxels.
  auto big = MakeVolume<int16_t>([](int i) { return i * 7919 % 32749; });
  WriteWithLibrary(big.GetPointer(), dir.File("whole.nii.gz"));
  std::string gz = ReadTestFile(dir.File("whole.nii.gz"));
  WriteTestFile(dir.File("cut.nii.gz"), Cut(gz, 60));
  fails(dir.File("cut.nii.gz"), "Cannot read");
  WriteTestFile(dir.File("end.nii.gz"), Cut(gz, gz.size() - 12));
  fails(dir.File("end.nii.gz"), "Cannot read");
  // Attached NRRD and MetaImage voxels a few bytes short.
  for (const char *name : {"whole.nrrd", "whole.mha"}) {
    WriteWithLibrary(img.GetPointer(), dir.File(name), false);
    std::string bytes = ReadTestFile(dir.File(name));
    WriteTestFile(dir.File(std::string("short_") + name), Cut(bytes, bytes.size() - 3));
    fails(dir.File(std::string("short_") + name), "");
  }
  // NRRD and MetaImage headers of size 0 and 2^31, and data short of the header.
  WriteTestFile(dir.File("zero.nrrd"),
                "NRRD0004\ntype: short\ndimension: 3\nsizes: 4 0 2\nencoding: raw\nendian: little\n\n");
  fails(dir.File("zero.nrrd"), "");
  WriteTestFile(dir.File("huge.nrrd"),
                "NRRD0004\ntype: uchar\ndimension: 3\nsizes: 2147483648 1 1\nencoding: raw\n\nxyz");
  fails(dir.File("huge.nrrd"), "");
  WriteTestFile(dir.File("huge.mha"),
                "ObjectType = Image\nNDims = 3\nDimSize = 2147483648 2 2\nElementType = MET_UCHAR\n"
                "ElementDataFile = LOCAL\nxyz");
  fails(dir.File("huge.mha"), "");
  WriteTestFile(dir.File("short.mha"),
                "ObjectType = Image\nNDims = 3\nDimSize = 100 100 100\nElementType = MET_SHORT\n"
                "ElementDataFile = LOCAL\nxyz");
  fails(dir.File("short.mha"), "claims");
  WriteTestFile(dir.File("packed.mha"),
                "ObjectType = Image\nNDims = 3\nDimSize = 10 10 10\nElementType = MET_UCHAR\n"
                "CompressedData = True\nCompressedDataSize = 1000000000000\nElementDataFile = LOCAL\nxyz");
  fails(dir.File("packed.mha"), "claims");
  WriteTestFile(dir.File("lost.nhdr"),
                "NRRD0004\ntype: uchar\ndimension: 3\nsizes: 2 2 2\nencoding: raw\ndata file: gone.raw\n\n");
  fails(dir.File("lost.nhdr"), "missing");
  WriteTestFile(dir.File("garbage.nii"), std::string(400, 'x'));
  fails(dir.File("garbage.nii"), "");
  WriteTestFile(dir.File("empty.mhd"), "");
  fails(dir.File("empty.mhd"), "");
  WriteTestFile(dir.File("plain.txt"), "hello\n");
  fails(dir.File("plain.txt"), "not a volume file");
  fails(dir.File("none.nii"), "Cannot open");
  // A DICOM file cut before its pixel data.
  TempDir series;
  WriteDicomSlice(series.File("a.dcm"), kSeriesA, 0, 6, 5, 0);
  std::string dcm = ReadTestFile(series.File("a.dcm"));
  size_t pixels = dcm.rfind(std::string("\xe0\x7f\x10\x00", 4));
  ASSERT_NE(pixels, std::string::npos);
  WriteTestFile(series.File("a.dcm"), Cut(dcm, pixels));
  std::string text = FatalText([&] { ReadVolume(series.File("a.dcm").c_str()); });
  EXPECT_NE(text, "");
}

TEST(VolumeIo, WritingChoosesTheFormatByName) {
  TempDir dir;
  auto scn = CreateScene(2, 2, 2);
  scn->data[3] = 9;
  EXPECT_NE(FatalText([&] { WriteVolume(scn.get(), dir.File("x.scn").c_str()); }).find("WriteScene"),
            std::string::npos);
  EXPECT_NE(FatalText([&] { WriteVolume(scn.get(), "/nonexistent/dir/x.nii"); })
                .find("/nonexistent/dir/x.nii"),
            std::string::npos);
  // A name without a format's extension gets gzipped NIfTI; detached
  // headers bring their data file beside them.
  WriteVolume(scn.get(), dir.File("plain").c_str());
  EXPECT_EQ(ReadTestFile(dir.File("plain")).substr(0, 2), "\x1f\x8b");
  WriteVolume(scn.get(), dir.File("d.nhdr").c_str());
  EXPECT_EQ(ReadVolume(dir.File("d.nhdr").c_str())->data[3], 9);
  WriteVolume(scn.get(), dir.File("d.mhd").c_str());
  EXPECT_EQ(ReadVolume(dir.File("d.mhd").c_str())->data[3], 9);
}

TEST(VolumeIo, PngHoldsTheColourImage) {
  TempDir dir;
  auto cimg = CreateCImage(3, 2);
  cimg->C[0]->val = {0, 255, 300, 10, 20, 30};
  cimg->C[1]->val = {1, 2, 3, 4, 5, -6};
  cimg->C[2]->val = {9, 9, 9, 9, 9, 9};
  const std::string name = dir.File("p.png");
  WriteCImagePng(cimg.get(), name.c_str());
  using Rgb = itk::Image<itk::RGBPixel<unsigned char>, 2>;
  auto reader = itk::ImageFileReader<Rgb>::New();
  reader->SetImageIO(itk::PNGImageIO::New());
  reader->SetFileName(name);
  reader->Update();
  Rgb *back = reader->GetOutput();
  ASSERT_EQ(back->GetLargestPossibleRegion().GetSize()[0], 3u);
  ASSERT_EQ(back->GetLargestPossibleRegion().GetSize()[1], 2u);
  const itk::RGBPixel<unsigned char> *p = back->GetBufferPointer();
  EXPECT_EQ(p[1][0], 255);
  EXPECT_EQ(p[2][0], 255);  // clamped
  EXPECT_EQ(p[5][1], 0);    // clamped
  EXPECT_EQ(p[3][0], 10);
  EXPECT_EQ(p[4][2], 9);
}

}  // namespace
