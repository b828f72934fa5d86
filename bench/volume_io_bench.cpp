// Reading a 512 x 512 x 300 16-bit volume: NIfTI uncompressed (GB/s of file
// read into a scene), .nii.gz against `gzip -dc` of the same file, and a
// 300-file DICOM series against the library's own series reader (ITK's
// ImageSeriesReader over GDCM, the file list given) timed alone. The files
// are written once with the library's writers into the directory given.
//
//   volume_io_bench [directory] [slices]   (default /dev/shm, 300)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <itkGDCMImageIO.h>
#include <itkImage.h>
#include <itkImageFileWriter.h>
#include <itkImageSeriesReader.h>
#include <itkMetaDataObject.h>
#include <itkNiftiImageIO.h>

#include "bench/bench_util.h"
#include "core/volume_io.h"

namespace {

using Volume = itk::Image<int16_t, 3>;

using bench::BestSeconds;

long long FileSize(const std::string &path) { return bench::FileBytes(path); }

// A CT-like volume: air -1000, a body of soft tissue with noise, bone.
Volume::Pointer MakeVolume(int n, int slices, int z0 = 0) {
  auto img = Volume::New();
  Volume::SizeType size = {{static_cast<itk::SizeValueType>(n), static_cast<itk::SizeValueType>(n),
                            static_cast<itk::SizeValueType>(slices)}};
  img->SetRegions(size);
  img->Allocate();
  const double spacing[3] = {0.7, 0.7, 1.25}, origin[3] = {-180, -180, 1.25 * z0};
  img->SetSpacing(spacing);
  img->SetOrigin(origin);
  int16_t *p = img->GetBufferPointer();
  unsigned seed = 12345;
  for (int z = 0; z < slices; z++)
    for (int y = 0; y < n; y++)
      for (int x = 0; x < n; x++) {
        seed = seed * 1103515245u + 12345u;
        int dx = x - n / 2, dy = y - n / 2, r2 = dx * dx + dy * dy;
        int v = -1000;
        if (r2 < n * n / 5) v = 40 + static_cast<int>(seed >> 28);
        if (r2 < n * n / 60 && r2 > n * n / 90) v = 1200 + static_cast<int>(seed >> 26);
        *p++ = static_cast<int16_t>(v);
      }
  return img;
}

template <class IO>
void Write(Volume *img, const std::string &name, IO *io) {
  auto writer = itk::ImageFileWriter<Volume>::New();
  writer->SetImageIO(io);
  writer->SetFileName(name);
  writer->SetInput(img);
  writer->SetUseCompression(name.size() > 3 && name.substr(name.size() - 3) == ".gz");
  writer->Update();
}

}  // namespace

int main(int argc, char **argv) {
  const std::string dir = std::string(argc > 1 ? argv[1] : "/dev/shm") + "/orvane_volume_bench";
  const int slices = argc > 2 ? std::atoi(argv[2]) : 300;
  const int n = 512;
  mkdir(dir.c_str(), 0755);
  const std::string nii = dir + "/ct.nii", gz = dir + "/ct.nii.gz", dcm = dir + "/dicom";
  {
    auto img = MakeVolume(n, slices);
    Write(img.GetPointer(), nii, itk::NiftiImageIO::New().GetPointer());
    Write(img.GetPointer(), gz, itk::NiftiImageIO::New().GetPointer());
  }
  mkdir(dcm.c_str(), 0755);
  std::vector<std::string> files;
  for (int k = 0; k < slices; k++) {
    auto slice = MakeVolume(n, 1, k);
    auto &dict = slice->GetMetaDataDictionary();
    itk::EncapsulateMetaData<std::string>(dict, "0020|000e", "1.2.826.0.1.3680043.2.1125.9.1");
    itk::EncapsulateMetaData<std::string>(dict, "0008|0060", "CT");  // CT Image Storage: positions are written
    itk::EncapsulateMetaData<std::string>(dict, "0028|1052", "-1024");
    itk::EncapsulateMetaData<std::string>(dict, "0028|1053", "1");
    auto io = itk::GDCMImageIO::New();
    io->KeepOriginalUIDOn();
    char name[64];
    snprintf(name, sizeof name, "/im%04d.dcm", (k * 7919) % 10000);  // names out of order
    files.push_back(dcm + name);
    Write(slice.GetPointer(), files.back(), io.GetPointer());
  }
  printf("volume_io_bench: %d x %d x %d 16-bit, files in %s\n", n, n, slices, dir.c_str());

  const double tNii = BestSeconds(5, [&] { ReadVolume(nii.c_str()); });
  printf("NIfTI .nii  (%lld bytes): ReadVolume %.3f s = %.2f GB/s (target >= 1 GB/s)\n",
         FileSize(nii), tNii, FileSize(nii) / tNii / 1e9);

  const double tGz = BestSeconds(3, [&] { ReadVolume(gz.c_str()); });
  const std::string gunzip = "gzip -dc '" + gz + "' > /dev/null";
  const double tGunzip = BestSeconds(3, [&] {
    if (std::system(gunzip.c_str()) != 0) fprintf(stderr, "gzip failed\n");
  });
  printf("NIfTI .nii.gz (%lld bytes): ReadVolume %.3f s, gzip -dc %.3f s, ratio %.2f (target <= 1.2)\n",
         FileSize(gz), tGz, tGunzip, tGz / tGunzip);

  // The library's series reader needs the files in position order; the
  // sort is ours to do in both cases, so it is given the sorted list.
  std::vector<std::string> sorted(slices);
  for (int k = 0; k < slices; k++) sorted[k] = files[k];
  const double tSeries = BestSeconds(3, [&] { ReadVolume(dcm.c_str()); });
  const double tPeer = BestSeconds(3, [&] {
    auto reader = itk::ImageSeriesReader<itk::Image<int16_t, 3>>::New();
    reader->SetImageIO(itk::GDCMImageIO::New());
    reader->SetFileNames(sorted);
    reader->Update();
  });
  printf("DICOM %d files: ReadVolume (scan, sort, check, read) %.3f s, ImageSeriesReader %.3f s, "
         "ratio %.2f (target <= 1.5)\n",
         slices, tSeries, tPeer, tSeries / tPeer);
  std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
