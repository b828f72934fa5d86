// Writes the seed corpora of the reader fuzz targets: small valid files
// made by the program's own writers, one folder per target.
//   make_seeds <dir>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "core/curve.h"
#include "core/image.h"
#include "core/scene.h"
#include "render/shell.h"

namespace {

std::string Folder(const std::string &top, const char *name) {
  std::string dir = top + "/" + name;
  mkdir(dir.c_str(), 0755);
  return dir + "/";
}

class StringSink : public ByteSink {
 public:
  void Write(const void *buffer, size_t bytes) override {
    text.append(static_cast<const char *>(buffer), bytes);
  }
  std::string text;
};

void Save(const std::string &path, const std::string &bytes) {
  FILE *fp = fopen(path.c_str(), "wb");
  if (fp == nullptr) return;
  fwrite(bytes.data(), 1, bytes.size(), fp);
  fclose(fp);
}

// Selector byte and a 4-byte count (or 2-byte columns and rows), then the section.
std::string Section(char selector, int32_t n, const std::string &bytes) {
  std::string s(1, selector);
  s.append(reinterpret_cast<const char *>(&n), 4);
  return s + bytes;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <dir>\n", argv[0]);
    return 2;
  }
  const std::string top = argv[1];
  mkdir(top.c_str(), 0755);

  auto grey = CreateScene(4, 3, 2);
  for (int i = 0; i < grey->VoxelCount(); i++) grey->data[i] = (i * 37) % 300;
  grey->maxval = 299;
  WriteScene(grey.get(), (Folder(top, "scene") + "grey.scn").c_str());
  auto label = CreateScene(4, 4, 4);
  for (int z = 1; z < 3; z++)
    for (int y = 1; y < 3; y++)
      for (int x = 1; x < 3; x++) label->data[label->Address(x, y, z)] = 1;
  label->maxval = 1;
  WriteScene(label.get(), (Folder(top, "scene") + "label.scn").c_str());

  auto img = CreateImage(3, 2);
  for (int i = 0; i < 6; i++) img->val[i] = i * 40;
  WriteImage(img.get(), (Folder(top, "pgm") + "small.pgm").c_str());
  Save(Folder(top, "pgm") + "raw.pgm", std::string("P5\n2 2\n255\n\x01\x02\x03\x04", 15));

  auto curve = CreateCurve(3);
  for (int i = 0; i < 3; i++) curve->X[i] = i, curve->Y[i] = 0.5 * i;
  WriteCurve(curve.get(), (Folder(top, "curve") + "three.cur").c_str());

  auto alpha = CreateAlpha(label.get());
  auto shell = CreateShell(label.get(), alpha.get(), 1.0f);
  WriteShell(shell.get(), (Folder(top, "shell") + "cube.sh").c_str());
  auto body = CreateBodyShell(label.get(), alpha.get());
  WriteBodyShell(body.get(), (Folder(top, "bodyshell") + "cube.bsh").c_str());

  const int n = shell->nvoxels;
  const std::string sections = Folder(top, "sections");
  StringSink voxels, list, bodySink, index;
  VoxelArray va{shell->voxel};
  ListArray la{shell->list};
  BodyArray ba{body->body};
  WriteVoxels(&voxels, &va, n);
  WriteList(&list, &la, n);
  WriteBody(&bodySink, &ba, body->nvoxels);
  WriteM(&index, shell->Mzy.get());
  Save(sections + "voxels", Section(0, n, voxels.text));
  Save(sections + "list", Section(1, n, list.text));
  Save(sections + "body", Section(2, body->nvoxels, bodySink.text));
  const int16_t dims[2] = {static_cast<int16_t>(shell->Mzy->ncols),
                           static_cast<int16_t>(shell->Mzy->nrows)};
  int32_t packed;
  memcpy(&packed, dims, 4);
  Save(sections + "index", Section(3, packed, index.text));
  return 0;
}
