#include "core/volume_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

#include <zlib.h>

#include <gdcmScanner.h>
#include <gdcmTag.h>
#include <itkGDCMImageIO.h>
#include <itkImageIOBase.h>
#include <itkMetaImageIO.h>
#include <itkNiftiImageIO.h>
#include <itkNrrdImageIO.h>
#include <itkPNGImageIO.h>

#include "core/common.h"
#include "core/fileio.h"
#include "core/largepage.h"

namespace {

using Component = itk::IOComponentEnum;

// A volume as the file holds it, before orientation and the value rule.
struct RawVolume {
  long long size[3] = {1, 1, 1};
  double spacing[3] = {1, 1, 1};
  double origin[3] = {0, 0, 0};
  double dir[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // dir[3*r + c]: component r of file axis c
  Component type = Component::UCHAR;
  // Filled by the library's reader: on large pages where the system offers
  // them (in a virtual machine each 4 KiB fault of a fresh buffer costs
  // microseconds), and not zeroed first.
  struct Buffer {
    struct Free {
      size_t n;
      void operator()(unsigned char *p) const { LargePageAllocator<unsigned char>().deallocate(p, n); }
    };
    std::unique_ptr<unsigned char[], Free> p{nullptr, Free{0}};
    void resize(size_t n) {
      p = std::unique_ptr<unsigned char[], Free>(LargePageAllocator<unsigned char>().allocate(n),
                                                 Free{n});
    }
    unsigned char *data() { return p.get(); }
    const unsigned char *data() const { return p.get(); }
  } bytes;
};

// ---- file names and sizes ----

bool EndsWith(const std::string &s, const char *tail) {
  size_t n = strlen(tail);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  }
  return true;
}

enum class Format { Nifti, Nrrd, Meta, Unknown };

Format FormatOf(const std::string &name) {
  for (const char *ext : {".nii", ".nii.gz", ".hdr", ".img", ".img.gz", ".hdr.gz"}) {
    if (EndsWith(name, ext)) return Format::Nifti;
  }
  if (EndsWith(name, ".nrrd") || EndsWith(name, ".nhdr")) return Format::Nrrd;
  if (EndsWith(name, ".mha") || EndsWith(name, ".mhd")) return Format::Meta;
  return Format::Unknown;
}

bool IsFolder(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

long long FileSize(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

std::string FolderOf(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string Shorten(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> FilesOf(const std::string &folder) {
  std::vector<std::string> files;
  DIR *d = opendir(folder.c_str());
  if (d == nullptr) return files;
  while (dirent *e = readdir(d)) {
    std::string path = folder + "/" + e->d_name;
    if (e->d_name[0] != '.' && FileSize(path) >= 0) files.push_back(path);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  return files;
}

// What the header text of a NRRD or MetaImage file says about where its
// voxels are and how they are packed (read as plain lines, only to bound
// the buffer before the library reads).
struct HeaderHints {
  std::string dataFile;      // detached data file, "" when attached
  bool compressed = false;   // gzip/zlib
  bool bzip2 = false;
  long long compressedSize = -1;  // MetaImage's CompressedDataSize
};

std::string Trim(std::string s) {
  size_t a = s.find_first_not_of(" \t\r");
  size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

HeaderHints ReadHeaderHints(const std::string &path) {
  HeaderHints hints;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  long long read = 0;
  while (read < (1 << 20) && std::getline(in, line)) {
    read += static_cast<long long>(line.size()) + 1;
    size_t sep = line.find_first_of(":=");
    if (sep == std::string::npos) {
      if (Trim(line).empty()) break;  // NRRD: the blank line ends the header
      continue;
    }
    std::string key = Trim(line.substr(0, sep));
    std::string value = Trim(line.substr(line[sep] == ':' && sep + 1 < line.size() &&
                                                  line[sep + 1] == '=' ? sep + 2 : sep + 1));
    for (char &c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    std::string lower = value;
    for (char &c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (key == "data file" || key == "datafile" || key == "elementdatafile") {
      if (lower != "local") hints.dataFile = value;
      if (key == "elementdatafile") break;  // MetaImage: the last header line
    } else if (key == "encoding") {
      hints.compressed = lower == "gz" || lower == "gzip";
      hints.bzip2 = lower == "bz2" || lower == "bzip2";
    } else if (key == "compresseddata") {
      hints.compressed = lower == "true";
    } else if (key == "compresseddatasize") {
      hints.compressedSize = std::atoll(value.c_str());
    }
  }
  return hints;
}

// Where the voxels of an uncompressed single-file NIfTI start (vox_offset
// of a NIfTI-1 or NIfTI-2 header, either byte order); 352 when unreadable.
// A .gz name is read through zlib.
long long NiftiVoxelOffset(const std::string &path) {
  unsigned char h[176] = {};
  gzFile fp = gzopen(path.c_str(), "rb");
  if (fp == nullptr) return 352;
  int got = gzread(fp, h, sizeof h);
  gzclose(fp);
  if (got < static_cast<int>(sizeof h)) return 352;
  auto field = [&](int at, int n, bool swap) {
    unsigned char b[8];
    for (int i = 0; i < n; ++i) b[i] = h[at + (swap ? n - 1 - i : i)];
    return std::vector<unsigned char>(b, b + n);
  };
  for (bool swap : {false, true}) {
    std::vector<unsigned char> b = field(0, 4, swap);
    int32_t sizeofHdr;
    memcpy(&sizeofHdr, b.data(), 4);
    if (sizeofHdr == 348) {
      b = field(108, 4, swap);
      float off;
      memcpy(&off, b.data(), 4);
      return std::isfinite(off) && off >= 352 ? static_cast<long long>(off) : 352;
    }
    if (sizeofHdr == 540) {
      b = field(168, 8, swap);
      int64_t off;
      memcpy(&off, b.data(), 8);
      return off >= 544 ? off : 544;
    }
  }
  return 352;
}

// The most bytes of voxels the file (and its detached data) could hold.
// Deflate expands at most 1032 to 1; bzip2 has no such bound below the
// array limit.
long long DataBytesBound(const std::string &path, Format format, const char *func) {
  long long total = FileSize(path);
  bool compressed = EndsWith(path, ".gz");
  bool unbounded = false;
  if (format == Format::Nifti && EndsWith(path, ".nii")) total -= NiftiVoxelOffset(path);
  if (format == Format::Nifti && (EndsWith(path, ".hdr") || EndsWith(path, ".hdr.gz"))) {
    total = 0;
    std::string stem = path.substr(0, path.rfind(".hdr"));
    for (const char *ext : {".img", ".img.gz", ".IMG"}) {
      long long n = FileSize(stem + ext);
      if (n >= 0) {
        total += n;
        compressed = compressed || EndsWith(ext, ".gz");
        break;
      }
    }
  }
  if (format == Format::Nrrd || format == Format::Meta) {
    HeaderHints hints = ReadHeaderHints(path);
    compressed = compressed || hints.compressed;
    unbounded = hints.bzip2;
    if (!hints.dataFile.empty()) {
      std::string lower = hints.dataFile;
      for (char &c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      bool list = lower.rfind("list", 0) == 0 || hints.dataFile.find('%') != std::string::npos ||
                  hints.dataFile.find(' ') != std::string::npos;
      std::string data = hints.dataFile[0] == '/' ? hints.dataFile
                                                  : FolderOf(path) + "/" + hints.dataFile;
      long long n = FileSize(data);
      if (!list && n < 0) Error("Data file " + data + " of " + path + " is missing", func);
      if (list || n < 0) {
        for (const std::string &f : FilesOf(FolderOf(path))) total += FileSize(f);
      } else {
        total += n;
      }
    }
    if (hints.compressedSize > total) {
      Error(path + " claims " + std::to_string(hints.compressedSize) +
                " bytes of compressed data but holds " + std::to_string(total),
            func);
    }
  }
  if (unbounded) return kMaxArrayBytes;
  return compressed ? total * 1032 : total;
}

// The NIfTI library takes a gzip stream that ends early for a whole one, so
// the length its trailer records (the last 4 bytes) must be the header's
// plus the voxels'; a cut stream ends in some other 4 bytes.
void CheckGzipLength(const std::string &path, long long voxelBytes, const char *func) {
  unsigned char tail[4] = {};
  FILE *fp = fopen(path.c_str(), "rb");
  bool ok = fp != nullptr && fseek(fp, -4, SEEK_END) == 0 && fread(tail, 1, 4, fp) == 4;
  if (fp != nullptr) fclose(fp);
  const unsigned long long recorded = tail[0] | tail[1] << 8 | tail[2] << 16 |
                                      static_cast<unsigned long long>(tail[3]) << 24;
  const unsigned long long want = (NiftiVoxelOffset(path) + voxelBytes) & 0xffffffffULL;
  if (!ok || recorded != want) {
    Error("Cannot read " + path + ": the gzip stream ends early or is damaged (it records " +
              std::to_string(recorded) + " bytes, the header needs " + std::to_string(want) + ")",
          func);
  }
}

// ---- reading through the library ----

itk::ImageIOBase::Pointer NewIO(Format format) {
  switch (format) {
    case Format::Nifti: return itk::NiftiImageIO::New().GetPointer();
    case Format::Nrrd: return itk::NrrdImageIO::New().GetPointer();
    case Format::Meta: return itk::MetaImageIO::New().GetPointer();
    default: return nullptr;
  }
}

[[noreturn]] void LibraryError(const std::string &path, const itk::ExceptionObject &e,
                               const char *func) {
  std::string what = e.GetDescription();
  while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
  Error("Cannot read " + path + ": " + what, func);
}

bool Scalar(Component t) {
  switch (t) {
    case Component::UCHAR: case Component::CHAR: case Component::USHORT: case Component::SHORT:
    case Component::UINT: case Component::INT: case Component::ULONG: case Component::LONG:
    case Component::ULONGLONG: case Component::LONGLONG: case Component::FLOAT:
    case Component::DOUBLE:
      return true;
    default:
      return false;
  }
}

// Header, checks, then the voxels into a buffer of the checked size.
// The IO's header must have been read.
void TakeHeader(itk::ImageIOBase *io, const std::string &path, RawVolume *raw, const char *func) {
  unsigned dims = io->GetNumberOfDimensions();
  if (dims < 2) Error(path + " is not a volume (" + std::to_string(dims) + " dimensions)", func);
  for (unsigned i = 3; i < dims; ++i) {
    if (io->GetDimensions(i) != 1) {
      Error(path + " has " + std::to_string(dims) + " dimensions; only 3D volumes are read", func);
    }
  }
  if (io->GetNumberOfComponents() != 1) {
    Error(path + " has " + std::to_string(io->GetNumberOfComponents()) +
              " values per voxel; only grey and label volumes are read",
          func);
  }
  raw->type = io->GetComponentType();
  if (!Scalar(raw->type)) Error(path + " has a voxel type this program does not read", func);
  for (unsigned i = 0; i < 3; ++i) {
    raw->size[i] = i < dims ? static_cast<long long>(io->GetDimensions(i)) : 1;
    raw->spacing[i] = i < dims ? io->GetSpacing(i) : 1.0;
    raw->origin[i] = i < dims ? io->GetOrigin(i) : 0.0;
  }
  // A size beyond the int range reads as negative here and fails the same.
  CheckedVoxelCount(raw->size[0], raw->size[1], raw->size[2], func);
  for (unsigned c = 0; c < std::min(dims, 3u); ++c) {
    std::vector<double> d = io->GetDirection(c);
    for (unsigned r = 0; r < 3; ++r) raw->dir[3 * r + c] = r < d.size() ? d[r] : (r == c);
  }
  if (dims == 2) {  // the slice normal
    const double *d = raw->dir;
    raw->dir[2] = d[3] * d[7] - d[6] * d[4];
    raw->dir[5] = d[6] * d[1] - d[0] * d[7];
    raw->dir[8] = d[0] * d[4] - d[3] * d[1];
  }
  for (double s : raw->spacing) {
    if (!(s > 0) || !std::isfinite(s)) Error(path + " has a voxel size that is not positive", func);
  }
}

void ReadWhole(itk::ImageIOBase *io, const std::string &path, unsigned char *into,
               const char *func) {
  unsigned dims = io->GetNumberOfDimensions();
  itk::ImageIORegion region(dims);
  for (unsigned i = 0; i < dims; ++i) {
    region.SetIndex(i, 0);
    region.SetSize(i, io->GetDimensions(i));
  }
  io->SetIORegion(region);
  try {
    io->Read(into);
  } catch (const itk::ExceptionObject &e) {
    LibraryError(path, e, func);
  }
}

long long ComponentBytes(Component t) {
  switch (t) {
    case Component::UCHAR: case Component::CHAR: return 1;
    case Component::USHORT: case Component::SHORT: return 2;
    case Component::UINT: case Component::INT: case Component::FLOAT: return 4;
    default: return 8;
  }
}

long long VoxelBytes(const RawVolume &raw) {
  return raw.size[0] * raw.size[1] * raw.size[2] * ComponentBytes(raw.type);
}

RawVolume ReadRawFile(const std::string &path, Format format, const char *func) {
  RawVolume raw;
  long long bound = DataBytesBound(path, format, func);
  itk::ImageIOBase::Pointer io = NewIO(format);
  try {
    if (!io->CanReadFile(path.c_str())) {
      if (format == Format::Nifti && NiftiVoxelOffset(path) >= 544) {
        Error("Cannot read " + path + ": NIfTI-2 files are not read (the library reads NIfTI-1)",
              func);
      }
      Error("Cannot read " + path + ": its header is damaged or of another format", func);
    }
    io->SetFileName(path);
    io->ReadImageInformation();
  } catch (const itk::ExceptionObject &e) {
    LibraryError(path, e, func);
  }
  TakeHeader(io, path, &raw, func);
  long long bytes = VoxelBytes(raw);
  CheckArrayBytes(bytes, 1, "Voxels", func);
  if (bytes > bound) {
    Error(path + " claims " + std::to_string(bytes) + " bytes of voxels but can hold at most " +
              std::to_string(bound),
          func);
  }
  if (format == Format::Nifti && EndsWith(path, ".nii.gz")) CheckGzipLength(path, bytes, func);
  raw.bytes.resize(static_cast<size_t>(bytes));
  ReadWhole(io, path, raw.bytes.data(), func);
  return raw;
}

// ---- orientation and values ----

// The scene axis r is file axis perm[r], reversed where flip[r].
struct Reorder {
  int perm[3] = {0, 1, 2};
  bool flip[3] = {false, false, false};
};

Reorder NearestLps(const double *dir) {
  Reorder o;
  bool usedFile[3] = {false, false, false}, usedScene[3] = {false, false, false};
  // The largest remaining |component| pairs a file axis with a patient axis.
  for (int k = 0; k < 3; ++k) {
    int br = -1, bc = -1;
    double best = -1;
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        if (!usedScene[r] && !usedFile[c] && std::fabs(dir[3 * r + c]) > best) {
          best = std::fabs(dir[3 * r + c]);
          br = r;
          bc = c;
        }
      }
    }
    usedScene[br] = usedFile[bc] = true;
    o.perm[br] = bc;
    o.flip[br] = dir[3 * br + bc] < 0;
  }
  return o;
}

template <class T>
void MinMax(const T *v, long long n, double *lo, double *hi, bool *whole) {
  T a = std::numeric_limits<T>::max(), b = std::numeric_limits<T>::lowest();
  bool w = true;
  for (long long i = 0; i < n; ++i) {
    T x = v[i];
    if constexpr (std::is_floating_point_v<T>) {
      if (!std::isfinite(x)) continue;
      if (w && std::floor(x) != x) w = false;
    }
    a = std::min(a, x);
    b = std::max(b, x);
  }
  if (a > b) a = b = 0;  // nothing finite
  *lo = static_cast<double>(a);
  *hi = static_cast<double>(b);
  *whole = w;
}

template <class T>
std::unique_ptr<Scene> ToSceneTyped(const RawVolume &raw) {
  const T *src = reinterpret_cast<const T *>(raw.bytes.data());
  const long long n = raw.size[0] * raw.size[1] * raw.size[2];
  double lo, hi;
  bool whole;
  MinMax(src, n, &lo, &hi, &whole);
  double offset = 0, scale = 1;
  if (whole && hi - lo <= INT_MAX && std::fabs(lo) < 9e15 && std::fabs(hi) < 9e15) {
    if (lo < 0 || hi > INT_MAX) offset = lo;
  } else {
    offset = lo;
    scale = hi > lo ? (hi - lo) / 65535.0 : 1.0;
  }
  const bool shiftOnly = scale == 1.0;

  Reorder o = NearestLps(raw.dir);
  long long stride[3] = {1, raw.size[0], raw.size[0] * raw.size[1]};
  int size[3];
  long long step[3], start = 0;
  for (int r = 0; r < 3; ++r) {
    int f = o.perm[r];
    size[r] = static_cast<int>(raw.size[f]);
    step[r] = o.flip[r] ? -stride[f] : stride[f];
    if (o.flip[r]) start += (raw.size[f] - 1) * stride[f];
  }
  auto scn = CreateScene(size[0], size[1], size[2]);
  int *out = scn->data.data();
  const long long off = shiftOnly ? static_cast<long long>(offset) : 0;
  for (int z = 0; z < size[2]; ++z) {
    for (int y = 0; y < size[1]; ++y) {
      const T *p = src + start + z * step[2] + y * step[1];
      int *q = out + scn->Address(0, y, z);
      const long long sx = step[0];
      if (shiftOnly) {
        for (int x = 0; x < size[0]; ++x, p += sx) {
          if constexpr (std::is_floating_point_v<T>) {
            q[x] = std::isfinite(*p) ? static_cast<int>(static_cast<long long>(*p) - off) : 0;
          } else {
            q[x] = static_cast<int>(static_cast<long long>(*p) - off);
          }
        }
      } else {
        for (int x = 0; x < size[0]; ++x, p += sx) {
          double v = static_cast<double>(*p);
          q[x] = std::isfinite(v) ? static_cast<int>(std::lround(std::min(65535.0, (v - lo) / scale)))
                                  : 0;
        }
      }
    }
  }
  scn->value_offset = offset;
  scn->value_scale = scale;
  float *ds[3] = {&scn->dx, &scn->dy, &scn->dz};
  for (int r = 0; r < 3; ++r) *ds[r] = static_cast<float>(raw.spacing[o.perm[r]]);
  // Voxel (0, 0, 0) of the scene and the scene's axes in patient space.
  long long first[3] = {0, 0, 0};
  for (int r = 0; r < 3; ++r) first[o.perm[r]] = o.flip[r] ? raw.size[o.perm[r]] - 1 : 0;
  for (int r = 0; r < 3; ++r) {
    double p = raw.origin[r];
    for (int c = 0; c < 3; ++c) p += raw.dir[3 * r + c] * raw.spacing[c] * first[c];
    scn->origin[r] = p;
    for (int a = 0; a < 3; ++a) {
      scn->axes[3 * r + a] = raw.dir[3 * r + o.perm[a]] * (o.flip[a] ? -1.0 : 1.0);
    }
  }
  // The largest stored value, known from the file's range.
  scn->maxval = static_cast<int>(std::max(0.0, shiftOnly ? hi - static_cast<double>(off)
                                                         : std::round((hi - lo) / scale)));
  return scn;
}

std::unique_ptr<Scene> ToScene(const RawVolume &raw) {
  switch (raw.type) {
    case Component::UCHAR: return ToSceneTyped<uint8_t>(raw);
    case Component::CHAR: return ToSceneTyped<int8_t>(raw);
    case Component::USHORT: return ToSceneTyped<uint16_t>(raw);
    case Component::SHORT: return ToSceneTyped<int16_t>(raw);
    case Component::UINT: return ToSceneTyped<uint32_t>(raw);
    case Component::INT: return ToSceneTyped<int32_t>(raw);
    case Component::ULONG: case Component::ULONGLONG: return ToSceneTyped<uint64_t>(raw);
    case Component::LONG: case Component::LONGLONG: return ToSceneTyped<int64_t>(raw);
    case Component::FLOAT: return ToSceneTyped<float>(raw);
    default: return ToSceneTyped<double>(raw);
  }
}

// ---- DICOM ----

const gdcm::Tag kSeriesUid(0x0020, 0x000e), kDescription(0x0008, 0x103e),
    kModality(0x0008, 0x0060), kRows(0x0028, 0x0010), kColumns(0x0028, 0x0011),
    kTransferSyntax(0x0002, 0x0010), kBitsAllocated(0x0028, 0x0100);

struct DicomFolder {
  std::map<std::string, std::vector<std::string>> series;  // uid -> files
  std::map<std::string, std::string> description;          // uid -> text
  std::map<std::string, std::string> syntax;               // file -> transfer syntax
  std::map<std::string, int> bits;                         // file -> bits allocated
};

std::string TagText(const gdcm::Scanner &s, const std::string &file, const gdcm::Tag &t) {
  const char *v = s.GetValue(file.c_str(), t);
  return v == nullptr ? std::string() : Trim(v);
}

DicomFolder ScanFolder(const std::string &folder, const char *func) {
  if (!IsFolder(folder)) Error("Cannot open folder " + folder, func);
  std::vector<std::string> files = FilesOf(folder);
  gdcm::Scanner scanner;
  for (const gdcm::Tag &t : {kSeriesUid, kDescription, kModality, kRows, kColumns, kTransferSyntax,
                             kBitsAllocated}) {
    scanner.AddTag(t);
  }
  DicomFolder found;
  // Scan is false when some file could not be parsed; the others count.
  if (files.empty()) return found;
  scanner.Scan(files);
  for (const std::string &f : files) {
    if (!scanner.IsKey(f.c_str())) continue;
    std::string uid = TagText(scanner, f, kSeriesUid);
    if (uid.empty()) continue;
    found.series[uid].push_back(f);
    found.syntax[f] = TagText(scanner, f, kTransferSyntax);
    found.bits[f] = std::atoi(TagText(scanner, f, kBitsAllocated).c_str());
    if (found.description.count(uid) == 0) {
      std::string text = TagText(scanner, f, kModality);
      std::string d = TagText(scanner, f, kDescription);
      if (!d.empty()) text += (text.empty() ? "" : " ") + d;
      std::string rows = TagText(scanner, f, kRows), cols = TagText(scanner, f, kColumns);
      if (!rows.empty()) text += (text.empty() ? "" : " ") + cols + "x" + rows;
      found.description[uid] = text;
    }
  }
  return found;
}

std::string NoSeries(const std::string &folder) { return "No DICOM series in " + folder; }

bool Uncompressed(const std::string &syntax) {
  return syntax.empty() || syntax == "1.2.840.10008.1.2" || syntax == "1.2.840.10008.1.2.1" ||
         syntax == "1.2.840.10008.1.2.2";
}

// Error unless the file can hold the stored pixels of one of its images
// (bits allocated per pixel, before rescaling widens them).
void CheckStoredPixels(const std::string &f, const RawVolume &one, const DicomFolder &scan,
                       const char *func) {
  const int bits = scan.bits.count(f) ? scan.bits.at(f) : 0;
  const long long perPixel = bits > 0 ? (bits + 7) / 8 : ComponentBytes(one.type);
  const long long stored = one.size[0] * one.size[1] * one.size[2] * perPixel;
  const long long size = FileSize(f);
  const long long bound = size * (Uncompressed(scan.syntax.at(f)) ? 1 : 1032);
  if (stored > bound) {
    Error(f + " claims " + std::to_string(stored) + " bytes of pixels but holds " +
              std::to_string(size),
          func);
  }
}

struct Slice {
  std::string file;
  double position = 0;  // along the slice normal
  double origin[3];
};


std::unique_ptr<Scene> ReadSeriesFiles(const std::vector<std::string> &files,
                                       const DicomFolder &scan, const char *func) {
  itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
  RawVolume raw;
  std::vector<Slice> slices;
  long long sliceBytes = 0;
  for (const std::string &f : files) {
    RawVolume one;
    try {
      io->SetFileName(f);
      io->ReadImageInformation();
    } catch (const itk::ExceptionObject &e) {
      LibraryError(f, e, func);
    }
    TakeHeader(io, f, &one, func);
    CheckStoredPixels(f, one, scan, func);
    if (files.size() == 1) {  // one file: a single or multi-frame image
      one.bytes.resize(static_cast<size_t>(VoxelBytes(one)));
      ReadWhole(io, f, one.bytes.data(), func);
      return ToScene(one);
    }
    if (one.size[2] != 1) Error(f + " holds several frames; a series of such files is not read", func);
    Slice s;
    s.file = f;
    std::copy(one.origin, one.origin + 3, s.origin);
    if (slices.empty()) {
      sliceBytes = VoxelBytes(one);
      raw = std::move(one);  // the header; it has no voxels yet
    } else {
      if (one.size[0] != raw.size[0] || one.size[1] != raw.size[1]) {
        Error("Mixed series: " + Shorten(f) + " is " + std::to_string(one.size[0]) + " x " +
                  std::to_string(one.size[1]) + ", " + Shorten(slices[0].file) + " is " +
                  std::to_string(raw.size[0]) + " x " + std::to_string(raw.size[1]),
              func);
      }
      for (int i = 0; i < 6; ++i) {
        int k = (i / 2) * 3 + i % 2;  // the row and column directions
        if (std::fabs(one.dir[k] - raw.dir[k]) > 1e-4) {
          Error("Mixed series: " + Shorten(f) + " and " + Shorten(slices[0].file) +
                    " are cut in different orientations",
                func);
        }
      }
      if (one.type != raw.type) {
        Error("Mixed series: " + Shorten(f) + " and " + Shorten(slices[0].file) +
                  " have different value types after rescaling",
              func);
      }
      if (std::fabs(one.spacing[0] - raw.spacing[0]) > 1e-4 ||
          std::fabs(one.spacing[1] - raw.spacing[1]) > 1e-4) {
        Error("Mixed series: " + Shorten(f) + " and " + Shorten(slices[0].file) +
                  " have different pixel spacings",
              func);
      }
    }
    for (int r = 0; r < 3; ++r) s.position += s.origin[r] * raw.dir[3 * r + 2];
    slices.push_back(s);
  }
  std::sort(slices.begin(), slices.end(),
            [](const Slice &a, const Slice &b) { return a.position < b.position; });
  const size_t n = slices.size();
  std::vector<double> gaps;
  for (size_t k = 1; k < n; ++k) gaps.push_back(slices[k].position - slices[k - 1].position);
  std::vector<double> sorted = gaps;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  for (size_t k = 0; k < gaps.size(); ++k) {
    if (gaps[k] < 1e-3) {
      Error("Two slices at one position (" + Shorten(slices[k].file) + ", " +
                Shorten(slices[k + 1].file) + "): the folder mixes acquisitions of one series",
            func);
    }
  }
  const double tolerance = std::max(1e-3, 0.01 * median);
  for (size_t k = 0; k < gaps.size(); ++k) {
    if (std::fabs(gaps[k] - median) > tolerance) {
      char text[256];
      snprintf(text, sizeof text,
               "Unequal slice spacing: %.4g mm between %s and %s, %.4g mm elsewhere%s; "
               "the series is not resampled",
               gaps[k], Shorten(slices[k].file).c_str(), Shorten(slices[k + 1].file).c_str(),
               median, gaps[k] > 1.5 * median ? " (a slice is missing)" : "");
      Error(text, func);
    }
  }
  raw.size[2] = static_cast<long long>(n);
  CheckedVoxelCount(raw.size[0], raw.size[1], raw.size[2], func);
  CheckArrayBytes(static_cast<long long>(n), sliceBytes, "Voxels", func);
  raw.spacing[2] = (slices[n - 1].position - slices[0].position) / static_cast<double>(n - 1);
  std::copy(slices[0].origin, slices[0].origin + 3, raw.origin);
  raw.bytes.resize(static_cast<size_t>(sliceBytes * static_cast<long long>(n)));
  for (size_t k = 0; k < n; ++k) {
    try {
      io->SetFileName(slices[k].file);
      io->ReadImageInformation();
    } catch (const itk::ExceptionObject &e) {
      LibraryError(slices[k].file, e, func);
    }
    if (io->GetComponentType() != raw.type) {
      Error(slices[k].file + " changed while it was read", func);
    }
    ReadWhole(io, slices[k].file, raw.bytes.data() + k * sliceBytes, func);
  }
  return ToScene(raw);
}

std::unique_ptr<Scene> ReadSeriesOf(const std::string &folder, const std::string &uid,
                                    const char *func) {
  DicomFolder scan = ScanFolder(folder, func);
  if (scan.series.empty()) Error(NoSeries(folder), func);
  auto chosen = scan.series.end();
  if (uid.empty()) {
    for (auto it = scan.series.begin(); it != scan.series.end(); ++it) {
      if (chosen == scan.series.end() || it->second.size() > chosen->second.size()) chosen = it;
    }
  } else {
    chosen = scan.series.find(uid);
    if (chosen == scan.series.end()) {
      std::string known;
      for (const auto &s : scan.series) known += " " + s.first;
      Error("No series " + uid + " in " + folder + " (it holds" + known + ")", func);
    }
  }
  return ReadSeriesFiles(chosen->second, scan, func);
}

// ---- writing ----

// The library writes into a private folder; its files are then put in
// place through AtomicWriter, so that a failed write keeps the old file and
// links, devices and modes are treated as by every other writer.
class Staging {
 public:
  explicit Staging(const char *func) {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/orvane_volXXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) Error("Cannot make a temporary folder", func);
    dir_ = buf.data();
  }
  ~Staging() {
    for (const std::string &f : FilesOf(dir_)) remove(f.c_str());
    rmdir(dir_.c_str());
  }
  Staging(const Staging &) = delete;
  Staging &operator=(const Staging &) = delete;
  const std::string &dir() const { return dir_; }

  // Every staged file to the target's folder; `main` to `target` itself.
  void Publish(const std::string &main, const std::string &target, const char *func) const {
    for (const std::string &f : FilesOf(dir_)) {
      std::string to = f == main ? target : FolderOf(target) + "/" + Shorten(f);
      std::string bytes = ReadWholeFile(f.c_str(), func, "Cannot open file " + f);
      AtomicWriter out(to.c_str(), func, "Cannot open file " + to);
      out.Write(bytes.data(), bytes.size());
      out.Commit();
    }
  }

 private:
  std::string dir_;
};

// The staged name of target: its own name, so that a detached header names
// its data file as the target's will be; NIfTI (gzipped) when the name says
// no format.
std::string StagedName(const Staging &stage, const std::string &target, const char *func) {
  if (EndsWith(target, ".scn") || EndsWith(target, ".obj")) {
    Error("Cannot write " + target + " as a volume file: SCN scenes are written by WriteScene", func);
  }
  if (EndsWith(target, ".hdr") || EndsWith(target, ".img") || EndsWith(target, ".img.gz") ||
      EndsWith(target, ".hdr.gz")) {
    Error("Cannot write " + target + ": write .nii or .nii.gz instead of a .hdr/.img pair", func);
  }
  std::string name = stage.dir() + "/" + Shorten(target);
  return FormatOf(name) == Format::Unknown ? name + ".nii.gz" : name;
}

itk::ImageIOBase::Pointer WriterFor(const std::string &name) {
  Format f = FormatOf(name);
  itk::ImageIOBase::Pointer io = NewIO(f);
  io->SetFileName(name);
  // NIfTI compresses by its name; NRRD and MetaImage voxels are gzipped.
  io->SetUseCompression(f != Format::Nifti || EndsWith(name, ".gz"));
  return io;
}

template <class T>
std::vector<unsigned char> Pack(const Scene *scn, bool whole) {
  std::vector<unsigned char> out(scn->data.size() * sizeof(T));
  T *q = reinterpret_cast<T *>(out.data());
  for (size_t i = 0; i < scn->data.size(); ++i) {
    double v = scn->OriginalValue(scn->data[i]);
    q[i] = static_cast<T>(whole ? std::llround(v) : v);
  }
  return out;
}

void WriteWith(itk::ImageIOBase *io, const Scene *scn, Component type,
               const std::vector<unsigned char> &bytes, const std::string &name, const char *func) {
  io->SetNumberOfDimensions(3);
  const int size[3] = {scn->xsize, scn->ysize, scn->zsize};
  const double spacing[3] = {scn->dx, scn->dy, scn->dz};
  itk::ImageIORegion region(3);
  for (unsigned i = 0; i < 3; ++i) {
    io->SetDimensions(i, static_cast<itk::SizeValueType>(size[i]));
    io->SetSpacing(i, spacing[i]);
    io->SetOrigin(i, scn->origin[i]);
    io->SetDirection(i, std::vector<double>{scn->axes[i], scn->axes[3 + i], scn->axes[6 + i]});
    region.SetIndex(i, 0);
    region.SetSize(i, static_cast<itk::SizeValueType>(size[i]));
  }
  io->SetIORegion(region);
  io->SetPixelType(itk::IOPixelEnum::SCALAR);
  io->SetNumberOfComponents(1);
  io->SetComponentType(type);
  try {
    io->WriteImageInformation();
    io->Write(bytes.data());
  } catch (const itk::ExceptionObject &e) {
    std::string what = e.GetDescription();
    while (!what.empty() && (what.back() == '\n' || what.back() == ' ')) what.pop_back();
    Error("Cannot write " + name + ": " + what, func);
  }
}

}  // namespace

bool IsVolumeFileName(const char *path) {
  return IsFolder(path) || FormatOf(path) != Format::Unknown || EndsWith(path, ".dcm");
}

std::unique_ptr<Scene> ReadVolume(const char *path) {
  static const char *func = "ReadVolume";
  std::string name = path;
  if (IsFolder(name)) return ReadSeriesOf(name, "", func);
  if (FileSize(name) < 0) Error("Cannot open file " + name, func);
  Format f = FormatOf(name);
  if (f != Format::Unknown) return ToScene(ReadRawFile(name, f, func));
  itk::GDCMImageIO::Pointer dicom = itk::GDCMImageIO::New();
  if (!dicom->CanReadFile(path)) {
    Error(name + " is not a volume file (.nii, .nii.gz, .nrrd, .nhdr, .mha, .mhd or DICOM)", func);
  }
  // A DICOM file stands for its series in its folder.
  std::string folder = FolderOf(name);
  DicomFolder scan = ScanFolder(folder, func);
  for (const auto &s : scan.series) {
    for (const std::string &f : s.second) {
      if (f == folder + "/" + Shorten(name)) return ReadSeriesFiles(s.second, scan, func);
    }
  }
  Error(name + " has no Series Instance UID", func);
}

std::vector<DicomSeriesEntry> ListDicomSeries(const char *folder) {
  DicomFolder scan = ScanFolder(folder, "ListDicomSeries");
  std::vector<DicomSeriesEntry> list;
  for (const auto &s : scan.series) {
    list.push_back({s.first, static_cast<int>(s.second.size()), scan.description[s.first]});
  }
  std::stable_sort(list.begin(), list.end(), [](const DicomSeriesEntry &a, const DicomSeriesEntry &b) {
    return a.files > b.files;
  });
  return list;
}

std::unique_ptr<Scene> ReadDicomSeries(const char *folder, const char *uid) {
  return ReadSeriesOf(folder, uid, "ReadDicomSeries");
}

void WriteVolume(const Scene *scn, const char *filename) {
  static const char *func = "WriteVolume";
  Staging stage(func);
  const std::string name = StagedName(stage, filename, func);
  itk::ImageIOBase::Pointer io = WriterFor(name);
  double lo = 0, hi = 0;
  if (!scn->data.empty()) {
    auto [a, b] = std::minmax_element(scn->data.begin(), scn->data.end());
    lo = scn->OriginalValue(*a);
    hi = scn->OriginalValue(*b);
    if (lo > hi) std::swap(lo, hi);
  }
  const bool whole = scn->value_scale == std::floor(scn->value_scale) &&
                     scn->value_offset == std::floor(scn->value_offset);
  if (whole && lo >= 0 && hi <= 255) {
    WriteWith(io, scn, Component::UCHAR, Pack<uint8_t>(scn, true), filename, func);
  } else if (whole && lo >= 0 && hi <= 65535) {
    WriteWith(io, scn, Component::USHORT, Pack<uint16_t>(scn, true), filename, func);
  } else if (whole && lo >= -32768 && hi <= 32767) {
    WriteWith(io, scn, Component::SHORT, Pack<int16_t>(scn, true), filename, func);
  } else if (whole && lo >= INT_MIN && hi <= INT_MAX) {
    WriteWith(io, scn, Component::INT, Pack<int32_t>(scn, true), filename, func);
  } else {
    WriteWith(io, scn, Component::FLOAT, Pack<float>(scn, false), filename, func);
  }
  stage.Publish(name, filename, func);
}

void WriteCImagePng(const CImage *cimg, const char *filename) {
  static const char *func = "WriteCImagePng";
  const int w = cimg->ncols(), h = cimg->nrows();
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int c = 0; c < 3; ++c) {
    const std::vector<int> &v = cimg->C[c]->val;
    for (size_t i = 0; i < v.size(); ++i) rgb[3 * i + c] = static_cast<unsigned char>(std::clamp(v[i], 0, 255));
  }
  Staging stage(func);
  const std::string name = stage.dir() + "/picture.png";
  itk::PNGImageIO::Pointer io = itk::PNGImageIO::New();
  io->SetFileName(name);
  io->SetNumberOfDimensions(2);
  itk::ImageIORegion region(2);
  const int size[2] = {w, h};
  for (unsigned i = 0; i < 2; ++i) {
    io->SetDimensions(i, static_cast<itk::SizeValueType>(size[i]));
    io->SetSpacing(i, 1.0);
    io->SetOrigin(i, 0.0);
    region.SetIndex(i, 0);
    region.SetSize(i, static_cast<itk::SizeValueType>(size[i]));
  }
  io->SetIORegion(region);
  io->SetPixelType(itk::IOPixelEnum::RGB);
  io->SetNumberOfComponents(3);
  io->SetComponentType(Component::UCHAR);
  io->SetUseCompression(true);
  try {
    io->WriteImageInformation();
    io->Write(rgb.data());
  } catch (const itk::ExceptionObject &e) {
    Error(std::string("Cannot write ") + filename + ": " + e.GetDescription(), func);
  }
  stage.Publish(name, filename, func);
}
