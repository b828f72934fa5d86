/* Peer renderer for the rendering benchmark: the shear-warp library VolPack
 * drawing the benchmark's raw grey volume with a piecewise-linear opacity
 * ramp on the grey value, Phong shading through its normal look-up table,
 * depth cueing, one thread, over a list of viewing directions given as
 * (tilt, spin) pairs in degrees. The view of a pair is the same rotation
 * the benchmark's own renderers use, R = Ry(spin) Rx(tilt), with the volume
 * drawn at one voxel per pixel in an isize x isize image.
 *
 *   volpack_render <raw> <n> <bytes> <isize> <ramp> <angles> [repeats] [ppm]
 *
 *   raw     n^3 voxels, x fastest, 1 or 2 bytes each (little-endian)
 *   ramp    "v0:o0,v1:o1,..." opacity o at grey value v, linear between
 *   angles  "t0:s0,t1:s1,..." viewing directions
 *   ppm     if given, the first direction's image is written there
 *
 * Prints a description, then one line
 *   RESULT volpack <threads> <min ms/frame> <mean ms/frame> <classify s>
 * where min is the mean over the directions of each direction's fastest
 * repeat and mean the mean over every frame. A frame is the shading table
 * for the new view plus the rendering. Exit status 0 on success, 1 on a
 * usage or library error, 2 when the raw file cannot be read. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <volpack.h>

#define MAX_POINTS 64
#define MAX_VIEWS 256

typedef struct {
  short normal;
  unsigned char scalar;
  unsigned char gradient;
} PeerVoxel;

enum { NORMAL_FIELD, SCALAR_FIELD, GRADIENT_FIELD };

static double WallMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

static void Check(vpContext *vpc, vpResult r, const char *what) {
  if (r != VP_OK) {
    fprintf(stderr, "volpack_render: %s: %s\n", what, vpGetErrorString(vpGetError(vpc)));
    exit(1);
  }
}

/* "a:b,c:d,..." into pairs; returns the count. */
static int ParsePairs(const char *text, double *a, double *b, int max) {
  int n = 0;
  const char *p = text;
  while (*p && n < max) {
    char *end;
    a[n] = strtod(p, &end);
    if (*end != ':') break;
    b[n] = strtod(end + 1, &end);
    n++;
    if (*end != ',') break;
    p = end + 1;
  }
  return n;
}

/* The benchmark's rotation: rows of Ry(spin) Rx(tilt). */
static void Rotation(double tilt, double spin, double r[3][3]) {
  const double pi = 3.1415926536;
  double t = tilt * pi / 180.0, s = spin * pi / 180.0;
  double ct = cos(t), st = sin(t), cs = cos(s), ss = sin(s);
  double rx[3][3] = {{1, 0, 0}, {0, ct, -st}, {0, st, ct}};
  double ry[3][3] = {{cs, 0, ss}, {0, 1, 0}, {-ss, 0, cs}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) {
      r[i][j] = 0.0;
      for (int k = 0; k < 3; k++) r[i][j] += ry[i][k] * rx[k][j];
    }
}

/* Image column u = r0.c, row v = r1.c, depth r2.c growing away from the
 * viewer. VolPack's eye looks down -z with y up, so its view matrix has
 * the rows r0, -r1, -r2 (a rotation: the determinant stays +1). */
static void SetView(vpContext *vpc, double tilt, double spin) {
  double r[3][3];
  vpMatrix4 m;
  Rotation(tilt, spin, r);
  memset(m, 0, sizeof(m));
  for (int j = 0; j < 3; j++) {
    m[0][j] = r[0][j];
    m[1][j] = -r[1][j];
    m[2][j] = -r[2][j];
  }
  m[3][3] = 1.0;
  Check(vpc, vpCurrentMatrix(vpc, VP_VIEW), "vpCurrentMatrix");
  Check(vpc, vpSetMatrix(vpc, m), "vpSetMatrix");
  /* A light at the viewer, as the benchmark's renderers shade. VolPack's
   * normals follow the gradient, inwards where the volume is brighter
   * inside, while ours point outwards; lighting the inward normals from
   * behind (+r2) gives the headlight picture of the outward ones. */
  Check(vpc, vpSetLight(vpc, VP_LIGHT0, VP_DIRECTION, r[2][0], r[2][1], r[2][2]), "vpSetLight");
}

static void WritePpm(const char *path, const unsigned char *img, int size) {
  FILE *f = fopen(path, "wb");
  if (!f) {
    perror(path);
    return;
  }
  /* VolPack's first image row is the bottom one. */
  fprintf(f, "P6\n%d %d\n255\n", size, size);
  for (int row = size - 1; row >= 0; row--) fwrite(img + (size_t)row * size * 3, 3, size, f);
  fclose(f);
}

int main(int argc, char **argv) {
  if (argc < 7) {
    fprintf(stderr,
            "usage: %s <raw> <n> <bytes> <isize> <ramp v:o,...> <angles t:s,...> [repeats] "
            "[ppm]\n",
            argv[0]);
    return 1;
  }
  const char *raw = argv[1];
  int n = atoi(argv[2]), bytes = atoi(argv[3]), isize = atoi(argv[4]);
  int repeats = argc > 7 ? atoi(argv[7]) : 3;
  const char *ppm = argc > 8 ? argv[8] : NULL;
  double rampV[MAX_POINTS], rampO[MAX_POINTS], tilt[MAX_VIEWS], spin[MAX_VIEWS];
  int npoints = ParsePairs(argv[5], rampV, rampO, MAX_POINTS);
  int nviews = ParsePairs(argv[6], tilt, spin, MAX_VIEWS);
  if (n < 2 || (bytes != 1 && bytes != 2) || isize < 2 || npoints < 1 || nviews < 1 ||
      repeats < 1) {
    fprintf(stderr, "volpack_render: bad arguments\n");
    return 1;
  }

  /* Read the grey values; VolPack classifies 8-bit scalars, so 16-bit
   * values are scaled by 255 / their maximum (and the ramp with them). */
  size_t count = (size_t)n * n * n;
  unsigned char *scalars = malloc(count);
  unsigned char *buffer = malloc(count * bytes);
  FILE *in = fopen(raw, "rb");
  if (!scalars || !buffer || !in || fread(buffer, bytes, count, in) != count) {
    fprintf(stderr, "volpack_render: cannot read %zu voxels from %s\n", count, raw);
    return 2;
  }
  fclose(in);
  int maxv = 1;
  for (size_t i = 0; i < count; i++) {
    int v = bytes == 1 ? buffer[i] : buffer[2 * i] | buffer[2 * i + 1] << 8;
    if (v > maxv) maxv = v;
  }
  double scale = bytes == 1 ? 1.0 : 255.0 / maxv;
  for (size_t i = 0; i < count; i++) {
    int v = bytes == 1 ? buffer[i] : buffer[2 * i] | buffer[2 * i + 1] << 8;
    scalars[i] = (unsigned char)(v * scale + 0.5);
  }
  free(buffer);

  int rampX[MAX_POINTS];
  float rampY[MAX_POINTS];
  for (int i = 0; i < npoints; i++) {
    int x = (int)(rampV[i] * scale + 0.5);
    if (i > 0 && x <= rampX[i - 1]) x = rampX[i - 1] + 1; /* keep it increasing */
    rampX[i] = x > VP_SCALAR_MAX ? VP_SCALAR_MAX : x;
    rampY[i] = (float)rampO[i];
  }
  if (rampX[npoints - 1] < VP_SCALAR_MAX) {
    rampX[npoints] = VP_SCALAR_MAX;
    rampY[npoints] = rampY[npoints - 1];
    npoints++;
  }
  static float opacity[VP_SCALAR_MAX + 1];
  memset(opacity, 0, sizeof(opacity));

  vpContext *vpc = vpCreateContext();
  PeerVoxel *dummy = NULL;
  Check(vpc, vpSetVolumeSize(vpc, n, n, n), "vpSetVolumeSize");
  Check(vpc, vpSetVoxelSize(vpc, sizeof(PeerVoxel), 3, 1, 1), "vpSetVoxelSize");
  Check(vpc, vpSetVoxelField(vpc, NORMAL_FIELD, sizeof(short), vpFieldOffset(dummy, normal),
                             VP_NORM_MAX),
        "vpSetVoxelField");
  Check(vpc, vpSetVoxelField(vpc, SCALAR_FIELD, 1, vpFieldOffset(dummy, scalar), VP_SCALAR_MAX),
        "vpSetVoxelField");
  Check(vpc, vpSetVoxelField(vpc, GRADIENT_FIELD, 1, vpFieldOffset(dummy, gradient),
                             VP_GRAD_MAX),
        "vpSetVoxelField");
  Check(vpc, vpRamp(opacity, sizeof(float), npoints, rampX, rampY), "vpRamp");
  Check(vpc, vpSetClassifierTable(vpc, 0, SCALAR_FIELD, opacity, sizeof(opacity)),
        "vpSetClassifierTable");
  Check(vpc, vpSetd(vpc, VP_MIN_VOXEL_OPACITY, 0.01), "vpSetd");
  /* The classification as the benchmark compares it: per grey value that
   * occurs, its count and the opacity the ramp gives its scaled scalar;
   * and how many voxels the classified volume keeps (those at or above the
   * least opacity, the only ones a rendering visits). */
  {
    static int counts[65536];
    static unsigned char scaledOf[65536];
    memset(counts, 0, sizeof(counts));
    long kept = 0;
    for (size_t i = 0; i < count; i++) kept += opacity[scalars[i]] >= 0.01f;
    FILE *again = fopen(raw, "rb");
    unsigned short *row = malloc(sizeof(unsigned short) * n);
    if (again && row && bytes == 2) {
      size_t i = 0;
      while (fread(row, 2, n, again) == (size_t)n)
        for (int x = 0; x < n; x++, i++) {
          counts[row[x]]++;
          scaledOf[row[x]] = scalars[i];
        }
    }
    if (again) fclose(again);
    free(row);
    printf("CLASSES ");
    int first = 1;
    for (int v = 0; v < 65536; v++)
      if (counts[v] > 0) {
        printf("%s%d:%.6f:%d", first ? "" : ",", v, opacity[scaledOf[v]], counts[v]);
        first = 0;
      }
    printf("\nPEERVOXELS %zu %ld\n", count, kept);
  }
  double t0 = WallMs();
  Check(vpc, vpClassifyScalars(vpc, scalars, (int)count, SCALAR_FIELD, GRADIENT_FIELD,
                               NORMAL_FIELD),
        "vpClassifyScalars");
  double classifySeconds = (WallMs() - t0) * 1e-3;
  free(scalars);

  /* Phong coefficients of the benchmark's objects: ambient 0.1, diffuse
   * 0.7, specular 0.2, exponent 2; white, colour output. */
  static float shade[VP_NORM_MAX + 1][3];
  Check(vpc, vpSetLookupShader(vpc, 3, 1, NORMAL_FIELD, &shade[0][0], sizeof(shade), 0, NULL, 0),
        "vpSetLookupShader");
  Check(vpc, vpSetMaterial(vpc, VP_MATERIAL0, VP_AMBIENT, VP_BOTH_SIDES, 0.1, 0.1, 0.1),
        "vpSetMaterial");
  Check(vpc, vpSetMaterial(vpc, VP_MATERIAL0, VP_DIFFUSE, VP_BOTH_SIDES, 0.7, 0.7, 0.7),
        "vpSetMaterial");
  Check(vpc, vpSetMaterial(vpc, VP_MATERIAL0, VP_SPECULAR, VP_BOTH_SIDES, 0.2, 0.2, 0.2),
        "vpSetMaterial");
  Check(vpc, vpSetMaterial(vpc, VP_MATERIAL0, VP_SHINYNESS, VP_BOTH_SIDES, 2.0, 0.0, 0.0),
        "vpSetMaterial");
  Check(vpc, vpSetLight(vpc, VP_LIGHT0, VP_COLOR, 1.0, 1.0, 1.0), "vpSetLight");
  Check(vpc, vpEnable(vpc, VP_LIGHT0, 1), "vpEnable");
  Check(vpc, vpSetDepthCueing(vpc, 1.0, 1.0), "vpSetDepthCueing");
  Check(vpc, vpEnable(vpc, VP_DEPTH_CUE, 1), "vpEnable");
  Check(vpc, vpSetd(vpc, VP_MAX_RAY_OPACITY, 0.95), "vpSetd");

  /* One voxel per pixel: the unit cube holds n voxels across, the window
   * isize of them. */
  double half = isize / (2.0 * n);
  Check(vpc, vpCurrentMatrix(vpc, VP_PROJECT), "vpCurrentMatrix");
  Check(vpc, vpIdentityMatrix(vpc), "vpIdentityMatrix");
  Check(vpc, vpWindow(vpc, VP_PARALLEL, -half, half, -half, half, -1.0, 1.0), "vpWindow");
  Check(vpc, vpSeti(vpc, VP_INT_WIDTH_HINT, 2 * n), "vpSeti");
  Check(vpc, vpSeti(vpc, VP_INT_HEIGHT_HINT, 2 * n), "vpSeti");

  unsigned char *image = calloc((size_t)isize * isize, 3);
  if (!image) return 1;
  Check(vpc, vpSetImage(vpc, image, isize, isize, isize * 3, VP_RGB), "vpSetImage");

  double *best = malloc(sizeof(double) * nviews);
  double total = 0.0;
  for (int v = 0; v < nviews; v++) best[v] = 1e30;
  for (int r = 0; r < repeats; r++)
    for (int v = 0; v < nviews; v++) {
      double start = WallMs();
      SetView(vpc, tilt[v], spin[v]);
      Check(vpc, vpShadeTable(vpc), "vpShadeTable");
      Check(vpc, vpRenderClassifiedVolume(vpc), "vpRenderClassifiedVolume");
      double ms = WallMs() - start;
      if (ms < best[v]) best[v] = ms;
      total += ms;
      if (ppm && r == 0 && v == 0) WritePpm(ppm, image, isize);
    }
  double minMs = 0.0;
  for (int v = 0; v < nviews; v++) minMs += best[v];
  minMs /= nviews;
  printf("volpack: %d^3 %s scalars, image %d^2 RGB, %d-point opacity ramp, %d directions x %d "
         "repeats, 1 thread\n",
         n, bytes == 1 ? "8-bit" : "16-bit scaled to 8-bit", isize, npoints, nviews, repeats);
  printf("RESULT volpack 1 %.3f %.3f %.3f\n", minMs, total / (nviews * repeats), classifySeconds);
  free(best);
  free(image);
  vpDestroyContext(vpc);
  return 0;
}
