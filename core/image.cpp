#include "core/image.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/common.h"
#include "core/fileio.h"

std::unique_ptr<Image> CreateImage(int ncols, int nrows) {
  int n = CheckedVoxelCount(ncols, nrows, 1, "CreateImage");
  auto img = std::make_unique<Image>();
  try {
    img->val.assign(n, 0);
    img->tbrow.resize(nrows);
  } catch (const std::bad_alloc &) {
    Error("Cannot allocate memory space", "CreateImage");
  }
  img->ncols = ncols;
  img->nrows = nrows;
  for (int y = 0; y < nrows; y++) img->tbrow[y] = y * ncols;
  return img;
}

void DestroyImage(std::unique_ptr<Image> *img) {
  if (img != nullptr) img->reset();
}

void CheckSameSize(const Image *a, const Image *b, const char *func) {
  if (a->ncols != b->ncols || a->nrows != b->nrows) {
    Error("Images differ in size (" + std::to_string(a->ncols) + " x " +
              std::to_string(a->nrows) + " and " + std::to_string(b->ncols) + " x " +
              std::to_string(b->nrows) + ")",
          func);
  }
}

// ---- construction ----

template <class Wave>
static std::unique_ptr<Image> CreateWave(int ncols, int nrows, double wx, double wy, double phix,
                                         double phiy, Wave wave) {
  auto img = CreateImage(ncols, nrows);
  const double twoPi = 2.0 * M_PI;
  for (int y = 0; y < nrows; y++) {
    double ty = twoPi * (wy * y / nrows + phiy);
    for (int x = 0; x < ncols; x++) {
      double t = twoPi * (wx * x / ncols + phix) + ty;
      img->at(x, y) = static_cast<int>(127.5 * (1.0 + wave(t)));
    }
  }
  return img;
}

std::unique_ptr<Image> CreateSine(int ncols, int nrows, float wx, float wy, float phix,
                                  float phiy) {
  return CreateWave(ncols, nrows, wx, wy, phix, phiy, [](double t) { return std::sin(t); });
}

std::unique_ptr<Image> CreateCos(int ncols, int nrows, float wx, float wy, float phix,
                                 float phiy) {
  return CreateWave(ncols, nrows, wx, wy, phix, phiy, [](double t) { return std::cos(t); });
}

std::unique_ptr<Image> CreateSquare(int xo, int yo, int xf, int yf, int ncols, int nrows,
                                    int val) {
  long long w = std::max<long long>(static_cast<long long>(xf) - xo + 1, ncols);
  long long h = std::max<long long>(static_cast<long long>(yf) - yo + 1, nrows);
  CheckedVoxelCount(w, h, 1, "CreateSquare");
  auto img = CreateImage(static_cast<int>(w), static_cast<int>(h));
  int x0 = std::max(xo, 0), x1 = static_cast<int>(std::min<long long>(xf, w));
  int y0 = std::max(yo, 0), y1 = static_cast<int>(std::min<long long>(yf, h));
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) img->at(x, y) = val;
  return img;
}

// ---- files ----

namespace {

// A cursor over the bytes of an image file.
struct PgmReader {
  const std::string &text;
  const char *filename;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' ||
                                       c == '\v' || c == '\f'; }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text[pos])) pos++;
  }
  std::string Word() {
    SkipBlanks();
    size_t start = pos;
    while (!AtEnd() && !IsBlank(text[pos])) pos++;
    return text.substr(start, pos - start);
  }
  // The next line that does not begin with '#', without its newline.
  std::string HeaderLine(const char *what) {
    for (;;) {
      if (AtEnd()) {
        Error(std::string("Image file ") + filename + " ends before its " + what, "ReadImage");
      }
      size_t end = text.find('\n', pos);
      size_t next = end == std::string::npos ? text.size() : end + 1;
      std::string line = text.substr(pos, (end == std::string::npos ? text.size() : end) - pos);
      pos = next;
      if (line.empty() || line[0] != '#') return line;
    }
  }
  // The blank-separated words from the cursor on.
  long long CountWords() const {
    long long count = 0;
    bool inWord = false;
    for (size_t i = pos; i < text.size(); i++) {
      bool blank = IsBlank(text[i]);
      if (!blank && !inWord) count++;
      inWord = !blank;
    }
    return count;
  }
  [[noreturn]] void Truncated(long long expected, long long found, const char *unit) {
    Error(std::string("Truncated image file ") + filename + ": expected " +
              std::to_string(expected) + " " + unit + ", found " + std::to_string(found),
          "ReadImage");
  }
};

}  // namespace

std::unique_ptr<Image> ReadImage(const char *filename) {
  std::string text = ReadWholeFile(filename, "ReadImage", std::string("Cannot open ") + filename);
  PgmReader in{text, filename};
  std::string magic = in.Word();
  if (magic != "P5" && magic != "P2") Error("Input image must be P2 or P5", "ReadImage");
  in.SkipBlanks();
  // Read wide, so that a width of 4294967297 is refused, not taken for 1.
  long long wide[2] = {0, 0}, maxval = 0;
  std::string sizeLine = in.HeaderLine("size");
  if (sscanf(sizeLine.c_str(), "%lld %lld", &wide[0], &wide[1]) != 2) {
    Error(std::string("Invalid size line \"") + sizeLine + "\" in image file " + filename,
          "ReadImage");
  }
  CheckedVoxelCount(wide[0], wide[1], 1, "ReadImage");
  const int ncols = static_cast<int>(wide[0]), nrows = static_cast<int>(wide[1]);
  std::string maxLine = in.HeaderLine("maximum value");
  if (sscanf(maxLine.c_str(), "%lld", &maxval) != 1) {
    Error(std::string("Invalid maximum value line \"") + maxLine + "\" in image file " + filename,
          "ReadImage");
  }
  const long long n = static_cast<long long>(ncols) * nrows;
  const long long have = static_cast<long long>(text.size() - in.pos);
  // Short files are refused before the image is allocated: the header of a
  // damaged file may promise far more than the file holds.
  if (magic == "P5") {
    const int bytesPerPixel = maxval > 255 ? 2 : 1;
    const long long need = n * bytesPerPixel;
    if (have < need) in.Truncated(need, have, "bytes of pixel data");
    auto img = CreateImage(ncols, nrows);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data() + in.pos);
    if (bytesPerPixel == 1) {
      for (long long i = 0; i < n; i++) img->val[i] = p[i];
    } else {
      for (long long i = 0; i < n; i++) img->val[i] = p[2 * i] << 8 | p[2 * i + 1];
    }
    return img;
  }
  // n plain values take at least 2n - 1 characters.
  if (have < 2 * n - 1) in.Truncated(n, in.CountWords(), "pixel values");
  auto img = CreateImage(ncols, nrows);
  const char *s = text.c_str();
  for (long long i = 0; i < n; i++) {
    in.SkipBlanks();
    if (in.AtEnd()) in.Truncated(n, i, "pixel values");
    char *end = nullptr;
    long v = strtol(s + in.pos, &end, 10);
    if (end == s + in.pos) {
      Error(std::string("Malformed pixel value in image file ") + filename + " after " +
                std::to_string(i) + " values",
            "ReadImage");
    }
    in.pos = static_cast<size_t>(end - s);
    img->val[i] = static_cast<int>(v);
  }
  return img;
}

// Appends "v " for each value of the range, a newline after every 17th.
static void AppendPlainValues(std::string *out, const Image &img, int infinityAs, bool mapInfinity) {
  char buf[16];
  const size_t n = img.val.size();
  for (size_t i = 0; i < n; i++) {
    int v = img.val[i];
    if (mapInfinity && v == kImageInfinity) v = infinityAs;
    char *end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    *end++ = ' ';
    if ((i + 1) % 17 == 0) *end++ = '\n';
    out->append(buf, end);
  }
}

void WriteImage(const Image *img, const char *filename) {
  AtomicWriter out(filename, "WriteImage", std::string("Cannot open ") + filename);
  int m = MaximumValue(img);
  std::string text;
  text.reserve(img->val.size() * 5 + 32);
  if (m == kImageInfinity) {
    Warning("Image with infinity values", "WriteImage");
    int finiteMax = INT_MIN;
    for (int v : img->val)
      if (v != kImageInfinity && v > finiteMax) finiteMax = v;
    // finiteMax + 1 cannot overflow: finiteMax < INT_MAX.
    text += "P2\n" + std::to_string(img->ncols) + " " + std::to_string(img->nrows) + "\n" +
            std::to_string(finiteMax + 1) + "\n";
    AppendPlainValues(&text, *img, finiteMax + 1, true);
  } else {
    text += "P2\n" + std::to_string(img->ncols) + " " + std::to_string(img->nrows) + "\n" +
            std::to_string(m == 0 ? 1 : m) + "\n";
    AppendPlainValues(&text, *img, 0, false);
  }
  out.Write(text.data(), text.size());
  out.Commit();
}

// ---- values ----

std::unique_ptr<Image> ConvertToNbits(const Image *img, int N) {
  if (N < 1 || N > 31) {
    Error("Number of bits " + std::to_string(N) + " is not between 1 and 31", "ConvertToNbits");
  }
  auto out = CreateImage(img->ncols, img->nrows);
  bool any = false;
  int lo = 0, hi = 0;
  for (int v : img->val) {
    if (v == kImageMinusInfinity || v == kImageInfinity) continue;
    if (!any) {
      lo = hi = v;
      any = true;
    }
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  if (!any || lo == hi) return out;
  const long long top = (1LL << N) - 1;
  const long long range = static_cast<long long>(hi) - lo;
  const size_t n = img->val.size();
  // In integers the truncation is exact: (v - lo) * top < 2^32 * 2^31.
  for (size_t p = 0; p < n; p++) {
    int v = img->val[p];
    if (v == kImageMinusInfinity) out->val[p] = 0;
    else if (v == kImageInfinity) out->val[p] = static_cast<int>(top);
    else out->val[p] = static_cast<int>((static_cast<long long>(v) - lo) * top / range);
  }
  return out;
}

int MinimumValue(const Image *img) { return *std::min_element(img->val.begin(), img->val.end()); }

int MaximumValue(const Image *img) { return *std::max_element(img->val.begin(), img->val.end()); }

void SetImage(Image *img, int value) { std::fill(img->val.begin(), img->val.end(), value); }

bool ValidPixel(const Image *img, int x, int y) { return img->Valid(x, y); }

std::unique_ptr<Image> CopyImage(const Image *img) {
  auto out = CreateImage(img->ncols, img->nrows);
  out->val = img->val;
  return out;
}

// ---- frames and rectangles ----

// Copies the w x h block of src at (sx, sy) to dst at (dx, dy).
static void CopyBlock(const Image &src, int sx, int sy, int w, int h, Image *dst, int dx, int dy) {
  for (int y = 0; y < h; y++) {
    const int *from = &src.val[sx + src.tbrow[sy + y]];
    std::copy(from, from + w, &dst->val[dx + dst->tbrow[dy + y]]);
  }
}

static void CheckFrameSize(int sz, const char *func) {
  if (sz < 0) Error("Frame size " + std::to_string(sz) + " is negative", func);
}

std::unique_ptr<Image> AddFrame(const Image *img, int sz, int value) {
  CheckFrameSize(sz, "AddFrame");
  long long w = img->ncols + 2LL * sz, h = img->nrows + 2LL * sz;
  CheckedVoxelCount(w, h, 1, "AddFrame");
  auto out = CreateImage(static_cast<int>(w), static_cast<int>(h));
  SetImage(out.get(), value);
  CopyBlock(*img, 0, 0, img->ncols, img->nrows, out.get(), sz, sz);
  return out;
}

std::unique_ptr<Image> RemFrame(const Image *fimg, int sz) {
  CheckFrameSize(sz, "RemFrame");
  if (2LL * sz >= fimg->ncols || 2LL * sz >= fimg->nrows) {
    Error("Frame size " + std::to_string(sz) + " leaves nothing of a " +
              std::to_string(fimg->ncols) + " x " + std::to_string(fimg->nrows) + " image",
          "RemFrame");
  }
  auto out = CreateImage(fimg->ncols - 2 * sz, fimg->nrows - 2 * sz);
  CopyBlock(*fimg, sz, sz, out->ncols, out->nrows, out.get(), 0, 0);
  return out;
}

std::unique_ptr<Image> ROI(const Image *img, int xl, int yl, int xr, int yr) {
  if (!img->Valid(xl, yl) || !img->Valid(xr, yr) || xl > xr || yl > yr) return nullptr;
  auto out = CreateImage(xr - xl + 1, yr - yl + 1);
  CopyBlock(*img, xl, yl, out->ncols, out->nrows, out.get(), 0, 0);
  return out;
}

std::unique_ptr<Image> MBB(const Image *img) {
  int xl = img->ncols, yl = img->nrows, xr = -1, yr = -1;
  for (int y = 0; y < img->nrows; y++)
    for (int x = 0; x < img->ncols; x++)
      if (img->at(x, y) > 0) {
        xl = std::min(xl, x);
        xr = std::max(xr, x);
        yl = std::min(yl, y);
        yr = std::max(yr, y);
      }
  if (xr < 0) return nullptr;
  return ROI(img, xl, yl, xr, yr);
}

std::unique_ptr<Image> MakeFrame(int ncols, int nrows, int value) {
  auto img = CreateImage(ncols, nrows);
  for (int x = 0; x < ncols; x++) img->at(x, 0) = img->at(x, nrows - 1) = value;
  for (int y = 0; y < nrows; y++) img->at(0, y) = img->at(ncols - 1, y) = value;
  return img;
}

// ---- drawing ----

static void CheckAddress(const Image *img, long long p, const char *what, const char *func) {
  if (p < 0 || p >= static_cast<long long>(img->val.size())) {
    Error(std::string(what) + " " + std::to_string(p) + " is outside the " +
              std::to_string(img->ncols) + " x " + std::to_string(img->nrows) + " image",
          func);
  }
}

void PaintCircle(Image *img, int center, float radius, int value) {
  CheckAddress(img, center, "Pixel address", "PaintCircle");
  const int cx = center % img->ncols, cy = center / img->ncols;
  const double r2d = std::trunc(static_cast<double>(radius) * radius);
  // The disc cannot reach further than the image in any direction; a NaN
  // radius holds no pixel.
  if (std::isnan(r2d)) return;
  const long long r2 = static_cast<long long>(std::min(r2d, 4.0e18));
  const long long reach = static_cast<long long>(std::sqrt(static_cast<double>(r2))) + 1;
  const int y0 = static_cast<int>(std::max<long long>(0, cy - reach));
  const int y1 = static_cast<int>(std::min<long long>(img->nrows - 1, cy + reach));
  const int x0 = static_cast<int>(std::max<long long>(0, cx - reach));
  const int x1 = static_cast<int>(std::min<long long>(img->ncols - 1, cx + reach));
  for (int y = y0; y <= y1; y++) {
    const long long dy = y - cy;
    for (int x = x0; x <= x1; x++) {
      const long long dx = x - cx;
      if (dx * dx + dy * dy <= r2) img->at(x, y) = value;
    }
  }
}

void DrawPath(Image *img, const std::vector<int> &pred, int dst, int value) {
  if (pred.size() != img->val.size()) {
    Error("Predecessor map holds " + std::to_string(pred.size()) + " entries for a " +
              std::to_string(img->ncols) + " x " + std::to_string(img->nrows) + " image",
          "DrawPath");
  }
  CheckAddress(img, dst, "Pixel address", "DrawPath");
  int p = dst;
  // A path visits every pixel at most once; more steps means a cycle.
  for (size_t steps = 0;; steps++) {
    if (steps > pred.size()) Error("Predecessor map has a cycle", "DrawPath");
    img->val[p] = value;
    int q = pred[p];
    if (q == -1 || q == p) return;
    CheckAddress(img, q, "Predecessor", "DrawPath");
    p = q;
  }
}

// The integers of a text separated by commas and/or blanks; each item is
// read as its leading decimal part (0 when it has none).
static std::vector<long> IntegersOfText(const char *text) {
  std::vector<long> values;
  const char *s = text;
  for (;;) {
    while (*s == ',' || PgmReader::IsBlank(*s)) s++;
    if (*s == '\0') break;
    values.push_back(strtol(s, nullptr, 10));
    while (*s != '\0' && *s != ',' && !PgmReader::IsBlank(*s)) s++;
  }
  return values;
}

std::unique_ptr<Image> InputSeeds(int ncols, int nrows, const char *seeds) {
  auto img = CreateImage(ncols, nrows);
  std::vector<long> v = IntegersOfText(seeds);
  if (v.empty()) Error("Seed list is empty", "InputSeeds");
  if (v[0] < 0 || v[0] > INT_MAX) {
    Error("Seed count " + std::to_string(v[0]) + " is invalid", "InputSeeds");
  }
  const long long need = 1 + 3LL * v[0];
  if (static_cast<long long>(v.size()) < need) {
    Error("Seed list holds " + std::to_string(v.size()) + " integers, expected " +
              std::to_string(need),
          "InputSeeds");
  }
  for (long long i = 1; i < need; i += 3) {
    long x = v[i], y = v[i + 1];
    if (x >= 0 && x < ncols && y >= 0 && y < nrows)
      img->at(static_cast<int>(x), static_cast<int>(y)) = static_cast<int>(v[i + 2]);
  }
  return img;
}

std::unique_ptr<Image> CreateIntArray(const char *data) {
  std::vector<long> v = IntegersOfText(data);
  if (v.size() < 2) Error("Integer array lacks its size", "CreateIntArray");
  CheckedVoxelCount(v[0], v[1], 1, "CreateIntArray");
  auto img = CreateImage(static_cast<int>(v[0]), static_cast<int>(v[1]));
  const size_t n = img->val.size();
  if (v.size() - 2 < n) {
    Error("Integer array holds " + std::to_string(v.size() - 2) + " values, expected " +
              std::to_string(n),
          "CreateIntArray");
  }
  for (size_t p = 0; p < n; p++) img->val[p] = static_cast<int>(v[p + 2]);
  return img;
}

// ---- geometry ----

// Positions within this distance of a pixel centre are taken as the centre,
// so that exact rotations and scalings are not spoilt by rounding of the
// trigonometry.
static constexpr double kSnap = 1e-9;

static double Snap(double v) {
  double r = std::round(v);
  return std::fabs(v - r) < kSnap ? r : v;
}

// Bilinear value of img at (x, y), which must lie in [0, ncols-1] x
// [0, nrows-1].
static double Bilinear(const Image &img, double x, double y) {
  int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
  int x1 = std::min(x0 + 1, img.ncols - 1), y1 = std::min(y0 + 1, img.nrows - 1);
  double fx = x - x0, fy = y - y0;
  double top = (1.0 - fx) * img.at(x0, y0) + fx * img.at(x1, y0);
  double bottom = (1.0 - fx) * img.at(x0, y1) + fx * img.at(x1, y1);
  return (1.0 - fy) * top + fy * bottom;
}

std::unique_ptr<Image> Rotate(const Image *img, float theta) {
  if (!std::isfinite(theta)) Error("Invalid angle", "Rotate");
  const double t = static_cast<double>(theta) * M_PI / 180.0;
  const double c = Snap(std::cos(t)), s = Snap(std::sin(t));
  const double w = std::fabs(img->ncols * c) + std::fabs(img->nrows * s);
  const double h = std::fabs(img->ncols * s) + std::fabs(img->nrows * c);
  const int ncols = CheckedVoxelCount(std::max(1LL, static_cast<long long>(std::ceil(w - kSnap))),
                                      1, 1, "Rotate");
  const int nrows = CheckedVoxelCount(std::max(1LL, static_cast<long long>(std::ceil(h - kSnap))),
                                      1, 1, "Rotate");
  auto out = CreateImage(ncols, nrows);
  const double cx = (img->ncols - 1) / 2.0, cy = (img->nrows - 1) / 2.0;
  const double ox = (ncols - 1) / 2.0, oy = (nrows - 1) / 2.0;
  const double xmax = img->ncols - 1, ymax = img->nrows - 1;
  for (int v = 0; v < nrows; v++) {
    const double dv = v - oy;
    for (int u = 0; u < ncols; u++) {
      const double du = u - ox;
      // The inverse rotation of (du, dv): on the screen a counter-clockwise
      // turn maps (1, 0) to (cos, -sin).
      double x = Snap(cx + c * du - s * dv);
      double y = Snap(cy + s * du + c * dv);
      if (x < 0.0 || y < 0.0 || x > xmax || y > ymax) continue;
      out->at(u, v) = static_cast<int>(Bilinear(*img, x, y));
    }
  }
  return out;
}

std::unique_ptr<Image> Scale(const Image *img, float Sx, float Sy) {
  if (!(Sx > 0.0f) || !(Sy > 0.0f)) {
    Error("Scale factors must be positive", "Scale");
  }
  const double sx = Sx, sy = Sy;
  const double w = std::max(1.0, std::round(img->ncols * sx));
  const double h = std::max(1.0, std::round(img->nrows * sy));
  CheckedVoxelCount(static_cast<long long>(std::min(w, 4.0e9)),
                    static_cast<long long>(std::min(h, 4.0e9)), 1, "Scale");
  auto out = CreateImage(static_cast<int>(w), static_cast<int>(h));
  const double cx = (img->ncols - 1) / 2.0, cy = (img->nrows - 1) / 2.0;
  const double ox = (out->ncols - 1) / 2.0, oy = (out->nrows - 1) / 2.0;
  const double xmax = img->ncols - 1, ymax = img->nrows - 1;
  std::vector<double> xs(out->ncols);
  for (int u = 0; u < out->ncols; u++) xs[u] = std::clamp(Snap(cx + (u - ox) / sx), 0.0, xmax);
  for (int v = 0; v < out->nrows; v++) {
    const double y = std::clamp(Snap(cy + (v - oy) / sy), 0.0, ymax);
    for (int u = 0; u < out->ncols; u++) out->at(u, v) = static_cast<int>(Bilinear(*img, xs[u], y));
  }
  return out;
}

// ---- two images ----

std::unique_ptr<Image> ImageMagnitude(const Image *imgx, const Image *imgy) {
  CheckSameSize(imgx, imgy, "ImageMagnitude");
  auto out = CreateImage(imgx->ncols, imgx->nrows);
  const size_t n = out->val.size();
  for (size_t p = 0; p < n; p++) {
    long long a = imgx->val[p], b = imgy->val[p];
    // Each square is at most 2^62, so the sum fits an unsigned 64-bit value.
    unsigned long long m = static_cast<unsigned long long>(a * a) +
                           static_cast<unsigned long long>(b * b);
    out->val[p] = m > static_cast<unsigned long long>(INT_MAX) ? INT_MAX : static_cast<int>(m);
  }
  return out;
}

std::unique_ptr<Image> OverlayAlphaImage(const Image *img, const Image *alpha) {
  CheckSameSize(img, alpha, "OverlayAlphaImage");
  int amax = MaximumValue(alpha);
  const double norm = amax < 2 ? 1.0 : amax;
  auto out = CreateImage(img->ncols, img->nrows);
  const size_t n = out->val.size();
  for (size_t p = 0; p < n; p++) {
    double v = static_cast<double>(img->val[p]) * alpha->val[p] / norm;
    out->val[p] = static_cast<int>(std::clamp(v, static_cast<double>(INT_MIN),
                                              static_cast<double>(INT_MAX)));
  }
  return out;
}
