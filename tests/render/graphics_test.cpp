// Scene drawing: lines and frames with their depth test, the faces of a
// scene, cut scenes and cut objects, on 4^3 scenes at angles (0, 0) whose
// pixels are worked out in the comments (isize 6, a centred point (x, y,
// z) at column x + 3, row y + 3, depth z + 3); the faults that must fail
// cleanly, and regression images.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/graphics.h"
#include "segment/annscn.h"
#include "support/fatal.h"
#include "support/phantom.h"
#include "support/regress.h"

namespace {

int Pixel(int u, int v) { return u + 6 * v; }

// The outline of the square of pixels 1..4: where the frame of a 4^3 clip
// box lies at (0, 0), its corners at -2 and 1.
bool OnOutline(int u, int v) {
  const bool inU = u >= 1 && u <= 4, inV = v >= 1 && v <= 4;
  return inU && inV && (u == 1 || u == 4 || v == 1 || v == 4);
}

TEST(DrawLine, DrawsOnlyWhereStrictlyNearer) {
  auto img = CreateImage(6, 6);
  auto zb = CreateZBuffer(6, 6);
  zb->dist.assign(36, 2.0f);
  DrawLine(img.get(), 0, 1, 5, 1, 2.0f, 2.0f, zb.get());  // equal depth: nothing
  for (int v : img->val) EXPECT_EQ(v, 0);
  // From (5, 4) back to (0, 0): walked from x = 0, depth 1.5 at the start.
  DrawLine(img.get(), 5, 4, 0, 0, 2.5f, 1.5f, zb.get());
  EXPECT_EQ(img->val[Pixel(0, 0)], 255);
  EXPECT_FLOAT_EQ(zb->dist[Pixel(0, 0)], 1.5f);
  EXPECT_EQ(zb->voxel[Pixel(0, 0)], -1);
  EXPECT_EQ(img->val[Pixel(5, 4)], 0);  // 2.5 is behind
  int drawn = 0;
  for (int v : img->val) drawn += v == 255;
  EXPECT_EQ(drawn, 3);  // depths 1.5, 1.7, 1.9 (of 1.5 .. 2.5 over 5 steps)
  // Lines far outside the image draw nothing and return.
  DrawLine(img.get(), -2000000000, 0, 2000000000, 5, 0.0f, 0.0f, zb.get());
  EXPECT_EQ(FatalText([&] { DrawLine(CreateImage(5, 6).get(), 0, 0, 1, 1, 0, 0, zb.get()); }),
            "Error:The image is 5 x 6 but the z-buffer 6 x 6 in DrawLine");
}

// At (0, 0) the front (z = -2, depth 1 - 5) and back (z = 1, depth 4 - 5)
// rectangles of the clip box fall on one outline, drawn at the front's
// depth; inside and outside it nothing.
TEST(DrawFrame, FrontAndBackRectanglesCoincideAlongZ) {
  auto cxt = NewContext(4, 4, 4);
  auto img = CreateImage(6, 6);
  DrawFrame(img.get(), cxt.get());
  for (int v = 0; v < 6; v++)
    for (int u = 0; u < 6; u++) {
      EXPECT_EQ(img->val[Pixel(u, v)], OnOutline(u, v) ? 255 : 0) << u << "," << v;
      EXPECT_FLOAT_EQ(cxt->zbuffer->dist[Pixel(u, v)], OnOutline(u, v) ? -4.0f : 6.0f);
    }
  // The antialiased frame covers the outline at full intensity and its
  // neighbours across each line at trunc(255 (1 - 1/1.5)) = 85.
  InitZBuffer(cxt->zbuffer.get());
  auto aa = CreateImage(6, 6);
  DrawAAFrame(aa.get(), cxt.get());
  EXPECT_EQ(aa->val[Pixel(2, 1)], 255);
  EXPECT_EQ(aa->val[Pixel(2, 0)], 85);
  EXPECT_EQ(aa->val[Pixel(3, 3)], 85);  // inside, beside the lines x = 4 and y = 4
  // One pixel: w is its distance from the ideal line.
  auto zb = CreateZBuffer(6, 6);
  IntensifyPixel(aa.get(), 0, 5, 0.75f, -1.0f, zb.get());
  EXPECT_EQ(aa->val[Pixel(0, 5)], 127);
  IntensifyPixel(aa.get(), 9, 9, 0.0f, -1.0f, zb.get());  // outside: nothing
}

// A scene whose maximum is 1000 shows its faces shifted right by 2 bits;
// the frame's outline lies in front of them.
TEST(DrawScene, FacesShowShiftedGreyInsideTheFrame) {
  auto scn = CreateScene(4, 4, 4);
  for (int &v : scn->data) v = 1000;
  scn->maxval = 1000;
  auto cxt = NewContext(4, 4, 4);
  auto img = DrawScene(scn.get(), cxt.get());
  for (int v = 0; v < 6; v++)
    for (int u = 0; u < 6; u++) {
      const bool face = u >= 1 && u <= 4 && v >= 1 && v <= 4;
      EXPECT_EQ(img->val[Pixel(u, v)], OnOutline(u, v) ? 255 : face ? 250 : 0) << u << "," << v;
    }
  // The face z = 0 is nearest (depth 1); the z-buffer records its voxels.
  EXPECT_EQ(cxt->zbuffer->voxel[Pixel(2, 3)], 1 + 2 * 4);
  EXPECT_FLOAT_EQ(cxt->zbuffer->dist[Pixel(2, 3)], 1.0f);
}

// A plane at z = -10 facing away from the volume keeps nothing and cuts
// nothing: only the frame is drawn.
TEST(DrawCutScene, PlaneFacingAwayLeavesOnlyTheFrame) {
  auto scn = CreateScene(4, 4, 4);
  for (int &v : scn->data) v = 100;
  scn->maxval = 100;
  auto cxt = NewContext(4, 4, 4);
  auto pl = CreatePlane(cxt.get());
  pl->nz = -1.0f;
  pl->pz = -10.0f;
  auto img = DrawCutScene(scn.get(), cxt.get(), pl.get());
  for (int v = 0; v < 6; v++)
    for (int u = 0; u < 6; u++) EXPECT_EQ(img->val[Pixel(u, v)], OnOutline(u, v) ? 255 : 0);
}

// The plane z = 0 (centred) facing +z: the faces of the kept half are
// drawn, the section at z = 0 is the cut face, and the cut frame's outline
// (where the plane meets the box) joins the frame.
TEST(DrawCutScene, PlaneThroughTheMiddleDrawsTheSection) {
  auto scn = CreateScene(4, 4, 4);
  for (int i = 0; i < 64; i++) scn->data[i] = 10 + i / 16;  // 10 + z
  scn->maxval = 13;
  auto cxt = NewContext(4, 4, 4);
  auto pl = CreatePlane(cxt.get());
  auto img = DrawCutScene(scn.get(), cxt.get(), pl.get());
  // Inside the outline the section z = 2 (centred 0) shows, at depth 3.
  EXPECT_EQ(img->val[Pixel(2, 3)], 12);
  EXPECT_EQ(cxt->zbuffer->voxel[Pixel(2, 3)], 1 + 2 * 4 + 2 * 16);
  EXPECT_FLOAT_EQ(cxt->zbuffer->dist[Pixel(2, 3)], 3.0f);
  EXPECT_EQ(img->val[Pixel(1, 1)], 255);
}

// Objects of labels 1 and 2 side by side, cut by the plane z = 0: the cut
// face (z = 2) shows the grey values, the rest of the kept objects is
// depth shaded and the frame lies on top.
TEST(DrawCutObjects, CutFaceShowsGreyAndObjectsAreDepthShaded) {
  auto grey = CreateScene(4, 4, 4);
  auto labels = CreateScene(4, 4, 4);
  for (int z = 0; z < 4; z++)
    for (int y = 0; y < 4; y++)
      for (int x = 0; x < 4; x++) {
        grey->data[grey->Address(x, y, z)] = 40 + x;
        if (y >= 1 && y <= 2 && z >= 1) labels->data[labels->Address(x, y, z)] = x < 2 ? 1 : 2;
      }
  grey->maxval = 43;
  auto cxt = NewContext(4, 4, 4);
  SetObjectColor(cxt.get(), 1, 1.0f, 0.0f, 0.0f);
  auto pl = CreatePlane(cxt.get());
  auto ascn = AnnotateCopy3(grey.get());
  ascn->label->data = labels->data;
  auto img = DrawCutObjects(ascn.get(), cxt.get(), pl.get());
  // Voxel (x, y, 2) is on the cut face at pixel (x + 1, y + 1), and the
  // spread map also gives it to the pixels right and below.
  EXPECT_EQ(img->val[Pixel(2, 2)], 41);
  EXPECT_EQ(img->val[Pixel(3, 3)], 42);
  EXPECT_EQ(cxt->zbuffer->object[Pixel(2, 2)], 1);
  EXPECT_EQ(cxt->zbuffer->object[Pixel(4, 3)], 2);
  EXPECT_EQ(img->val[Pixel(0, 0)], 0);
  EXPECT_EQ(img->val[Pixel(1, 1)], 255);
  // The colour variant: the same grey on the cut face in all three bands.
  auto cimg = DrawCutObjectsAux(grey.get(), labels.get(), cxt.get(), pl.get());
  for (int c = 0; c < 3; c++) EXPECT_EQ(cimg->C[c]->val[Pixel(2, 2)], 41);
  for (int c = 0; c < 3; c++) EXPECT_EQ(cimg->C[c]->val[Pixel(1, 1)], 255);
  EXPECT_EQ(FatalText([&] { DrawCutObjectsAux(grey.get(), CreateScene(4, 4, 3).get(), cxt.get(), pl.get()); }),
            "Error:The label scene is 4 x 4 x 3 but the scene is 4 x 4 x 4 in DrawCutObjectsAux");
}

// Every drawer from every octant and axis, with the clip box open and
// narrowed and planes in and out of the volume: nothing is read or written
// outside a buffer (the sanitizer build checks).
TEST(SceneDrawing, EveryDirectionStaysInsideTheBuffers) {
  auto scn = phantom::GreyPhantom(9, 8, 10, 1.0f, 1.0f);
  auto labels = phantom::LabelledPhantom(9, 8, 10);
  auto ascn = AnnotateCopy3(scn.get());
  ascn->label->data = labels->data;
  auto cxt = NewContext(9, 8, 10);
  auto pl = CreatePlane(cxt.get());
  for (float tilt : {0.f, 45.f, 90.f, 180.f, 270.f, 315.f})
    for (float spin : {0.f, 45.f, 90.f, 135.f, 270.f}) {
      SetAngles(cxt.get(), tilt, spin);
      for (int narrow = 0; narrow < 2; narrow++) {
        SetClip(cxt.get(), narrow ? 2 : 0, narrow ? 2 : 8, 1, narrow ? 5 : 7, 0, 9);
        RotatePlaneAbs(pl.get(), tilt + 10, spin + 20);
        TranslatePlaneAbs(pl.get(), narrow ? 30.0f : 1.0f);
        DrawScene(scn.get(), cxt.get());
        DrawCutScene(scn.get(), cxt.get(), pl.get());
        DrawCutObjects(ascn.get(), cxt.get(), pl.get());
        DrawCutObjectsAux(scn.get(), labels.get(), cxt.get(), pl.get());
        auto img = CreateImage(cxt->isize, cxt->isize);
        DrawAAFrame(img.get(), cxt.get());
        DrawPlane(scn.get(), cxt.get(), pl.get(), img.get());
      }
    }
  auto other = NewContext(9, 8, 9);
  EXPECT_EQ(FatalText([&] { DrawScene(scn.get(), other.get()); }),
            "Error:The context was made for a volume of 9 x 8 x 9 but the scene is 9 x 8 x 10 in "
            "DrawScene");
}

TEST(SceneDrawing, RegressionImagesOfThePhantoms) {
  auto grey = phantom::GreyPhantom(24, 24, 24, 1.0f, 1.0f);
  auto labels = phantom::LabelledPhantom(24, 24, 24);
  auto cxt = NewContext(24, 24, 24);
  SetAngles(cxt.get(), 30, 40);
  SetObjectColor(cxt.get(), 1, 1.0f, 0.3f, 0.3f);
  SetObjectColor(cxt.get(), 2, 0.3f, 1.0f, 0.3f);
  SetObjectColor(cxt.get(), 3, 0.3f, 0.3f, 1.0f);
  auto pl = CreatePlane(cxt.get());
  RotatePlaneAbs(pl.get(), 20, 60);
  TranslatePlane(pl.get(), 2);
  ExpectRegression("DrawScene_grey.pgm", {DrawScene(grey.get(), cxt.get()).get()});
  ExpectRegression("DrawCutScene_grey.pgm", {DrawCutScene(grey.get(), cxt.get(), pl.get()).get()});
  auto ascn = AnnotateCopy3(grey.get());
  ascn->label->data = labels->data;
  ExpectRegression("DrawCutObjects_labels.pgm",
                   {DrawCutObjects(ascn.get(), cxt.get(), pl.get()).get()});
  auto c = DrawCutObjectsAux(grey.get(), labels.get(), cxt.get(), pl.get());
  ExpectRegression("DrawCutObjectsAux_labels.ppm", {c->C[0].get(), c->C[1].get(), c->C[2].get()});
  InitZBuffer(cxt->zbuffer.get());
  auto frame = CreateImage(cxt->isize, cxt->isize);
  DrawAAFrame(frame.get(), cxt.get());
  ExpectRegression("DrawAAFrame.pgm", {frame.get()});
}

}  // namespace
