// Curves to and from script lists, label lists, and the curve free
// commands. Lists are flat: x0 y0 x1 y1 ... (with z for a Curve3D).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "commands/tcl_io.h"
#include "core/curve.h"
#include "core/scene.h"

namespace {

// The elements of a list, released with the interpreter's allocator.
struct SplitList {
  int count = 0;
  const char **items = nullptr;
  ~SplitList() {
    if (items != nullptr) Tcl_Free(reinterpret_cast<char *>(items));
  }
  // False with the parser's message in the result for a malformed list.
  bool Parse(Tcl_Interp *interp, const char *text) {
    return Tcl_SplitList(interp, text, &count, &items) == TCL_OK;
  }
};

template <class C>
constexpr int kDims = 2;
template <>
constexpr int kDims<Curve3D> = 3;

std::unique_ptr<Curve> NewCurve(Curve *, int n) { return CreateCurve(n); }
std::unique_ptr<Curve3D> NewCurve(Curve3D *, int n) { return CreateCurve3D(n); }

template <class C>
std::vector<double> *Coords(C *c, int axis) {
  if constexpr (kDims<C> == 3) {
    if (axis == 2) return &c->Z;
  }
  return axis == 0 ? &c->X : &c->Y;
}

// c_List2Curve and c_List2Curve3D: a trailing incomplete point is ignored,
// non-numbers read as 0.0.
template <class C>
int ListToCurveCommand(Tcl_Interp *interp, int, const char *argv[]) {
  SplitList list;
  if (!list.Parse(interp, argv[1])) return TCL_ERROR;
  auto curve = NewCurve(static_cast<C *>(nullptr), list.count / kDims<C>);
  for (int i = 0; i < curve->n; i++)
    for (int a = 0; a < kDims<C>; a++)
      (*Coords(curve.get(), a))[i] = strtod(list.items[kDims<C> * i + a], nullptr);
  SetObjectResult(interp, std::move(curve));
  return TCL_OK;
}

// c_Curve2List and c_Curve3D2List: each value narrowed to single precision,
// then written with one decimal.
template <class C>
int CurveToListCommand(Tcl_Interp *interp, int, const char *argv[]) {
  C *curve = ArgObject<C>(argv[1]);
  Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
  char buf[64];
  for (int i = 0; i < curve->n; i++)
    for (int a = 0; a < kDims<C>; a++) {
      snprintf(buf, sizeof buf, "%3.1f", static_cast<double>(static_cast<float>((*Coords(curve, a))[i])));
      Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(buf, -1));
    }
  Tcl_SetObjResult(interp, list);
  return TCL_OK;
}

// The x of a label list is the position, the odd elements the values.
int c_Label2Curve(Tcl_Interp *interp, int, const char *argv[]) {
  SplitList list;
  if (!list.Parse(interp, argv[1])) return TCL_ERROR;
  auto curve = CreateCurve(list.count / 2);
  for (int i = 0; i < curve->n; i++) {
    curve->X[i] = i;
    curve->Y[i] = strtod(list.items[2 * i + 1], nullptr);
  }
  SetObjectResult(interp, std::move(curve));
  return TCL_OK;
}

// One element per unit step of the curve: "0" where the filled y is at
// most 0.5, the label text elsewhere. Sorts the curve by x, as filling
// does. An empty curve labels nothing and gives an empty list.
int c_Curve2Label(Tcl_Interp *interp, int, const char *argv[]) {
  Curve *curve = ArgObject<Curve>(argv[1]);
  Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
  if (curve->n > 0) {
    auto filled = FillCurve(curve, 1.0);
    for (int i = 0; i < filled->n; i++) {
      const char *element = filled->Y[i] <= 0.5 ? "0" : argv[2];
      Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(element, -1));
    }
  }
  Tcl_SetObjResult(interp, list);
  return TCL_OK;
}

// The distinct positive voxel values, increasing. Labels are never
// negative: a scene holding a negative value is refused rather than
// listed wrongly.
int c_SceneLabelList(Tcl_Interp *interp, int, const char *argv[]) {
  Scene *scn = ArgObject<Scene>(argv[1]);
  const auto &data = scn->data;
  int max = 0;
  for (int v : data) {
    if (v < 0) {
      throw CommandError("scene holds the negative value " + std::to_string(v) +
                         "; labels must not be negative");
    }
    max = std::max(max, v);
  }
  std::vector<int> labels;
  if (static_cast<size_t>(max) <= 4 * data.size() + 65536) {
    // A mark per value, as long as the marks cost no more than the scene.
    std::vector<char> present(static_cast<size_t>(max) + 1, 0);
    for (int v : data) present[v] = 1;
    for (int v = 1; v <= max; v++)
      if (present[v]) labels.push_back(v);
  } else {
    labels.assign(data.begin(), data.end());
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    labels.erase(std::remove(labels.begin(), labels.end(), 0), labels.end());
  }
  Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
  for (int v : labels) Tcl_ListObjAppendElement(nullptr, list, Tcl_NewIntObj(v));
  Tcl_SetObjResult(interp, list);
  return TCL_OK;
}

// The pointwise larger y of two curves of equal length, on the x of the
// first (the second's y when equal); curves of different lengths fail with
// an empty result.
int c_CurveMax(Tcl_Interp *interp, int, const char *argv[]) {
  Curve *c1 = ArgObject<Curve>(argv[1]);
  Curve *c2 = ArgObject<Curve>(argv[2]);
  if (c1->n != c2->n) {
    Tcl_ResetResult(interp);
    return TCL_ERROR;
  }
  auto max = CreateCurve(c1->n);
  for (int i = 0; i < c1->n; i++) {
    max->X[i] = c1->X[i];
    max->Y[i] = c1->Y[i] > c2->Y[i] ? c1->Y[i] : c2->Y[i];
  }
  SetObjectResult(interp, std::move(max));
  return TCL_OK;
}

// Sorts the whole curve by increasing y.
int c_SortCurve(Tcl_Interp *interp, int, const char *argv[]) {
  Curve *curve = ArgObject<Curve>(argv[1]);
  SortCurve(curve, 0, curve->n - 1, 1);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

}  // namespace

std::vector<CommandSpec> IoCurveCommands() {
  return {
      Hand("c_List2Curve", ListToCurveCommand<Curve>, "usage: %s <coords list>\n", 1, 1),
      Hand("c_Curve2List", CurveToListCommand<Curve>, "usage: %s <curve>\n", 1, 1),
      Hand("c_List2Curve3D", ListToCurveCommand<Curve3D>, "usage: %s <3D coords list>\n", 1, 1),
      Hand("c_Curve3D2List", CurveToListCommand<Curve3D>, "usage: %s <curve3D>\n", 1, 1),
      Hand("c_Label2Curve", c_Label2Curve, "usage: %s <label list>\n", 1, 1),
      Hand("c_Curve2Label", c_Curve2Label, "usage: %s <curve> <label>\n", 2, 2),
      Hand("c_SceneLabelList", c_SceneLabelList, "usage: %s <scn>\n", 1, 1),
      Hand("c_CurveMax", c_CurveMax, "usage: %s <filledcurve1> <filledcurve2>\n", 2, kAnyCount),
      Hand("c_SortCurve", c_SortCurve, "usage: %s <curve>\n", 1, 1),
      Hand("c_FreeCurve", FreeObjectCommand<Curve>, "usage: %s <curveref>\n", 1, 1),
      Hand("c_FreeCurve3D", FreeObjectCommand<Curve3D>, "usage: %s <curveref>\n", 1, 1),
  };
}
