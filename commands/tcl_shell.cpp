// The shell commands: construction, files and sections, exports, setters,
// look-ups, fields and histograms.
#include <cmath>
#include <string>

#include <tcl.h>

#include "commands/modules.h"
#include "commands/tcl_shell.h"
#include "core/curve.h"
#include "core/image.h"
#include "core/plane.h"
#include "core/scene.h"
#include "render/context.h"
#include "render/shell.h"
#include "render/shell_cut.h"
#include "render/shell_render.h"
#include "segment/classify.h"

namespace {

// ---- sections over script channels ----

// Tcl_Read and Tcl_Write take int counts.
constexpr size_t kChannelChunk = 1 << 20;

class ChannelSource : public ByteSource {
 public:
  explicit ChannelSource(Tcl_Channel ch) : ch_(ch) {}
  size_t Read(void *buffer, size_t bytes) override {
    size_t done = 0;
    char *p = static_cast<char *>(buffer);
    while (done < bytes) {
      int want = static_cast<int>(std::min(bytes - done, kChannelChunk));
      int got = Tcl_Read(ch_, p + done, want);
      if (got <= 0) break;
      done += got;
    }
    return done;
  }

 private:
  Tcl_Channel ch_;
};

class ChannelSink : public ByteSink {
 public:
  explicit ChannelSink(Tcl_Channel ch) : ch_(ch) {}
  void Write(const void *buffer, size_t bytes) override {
    const char *p = static_cast<const char *>(buffer);
    for (size_t done = 0; done < bytes;) {
      int n = static_cast<int>(std::min(bytes - done, kChannelChunk));
      if (Tcl_Write(ch_, p + done, n) != n) {
        throw CommandError(std::string("error writing \"") + Tcl_GetChannelName(ch_) +
                           "\": " + Tcl_PosixError(nullptr));
      }
      done += n;
    }
  }

 private:
  Tcl_Channel ch_;
};

// The channel a script opened, in binary mode, for reading or writing; a
// channel that translates line ends or characters would corrupt the
// sections silently, so it is refused.
Tcl_Channel ScriptChannel(Tcl_Interp *interp, const char *name, int direction) {
  int mode = 0;
  Tcl_Channel ch = Tcl_GetChannel(interp, name, &mode);
  if (ch == nullptr) throw CommandError(Tcl_GetStringResult(interp));
  if ((mode & direction) == 0) {
    throw CommandError(std::string("channel \"") + name + "\" wasn't opened for " +
                       (direction == TCL_READABLE ? "reading" : "writing"));
  }
  Tcl_DString value;
  Tcl_DStringInit(&value);
  bool binary = Tcl_GetChannelOption(interp, ch, "-encoding", &value) == TCL_OK &&
                std::string(Tcl_DStringValue(&value)) == "binary";
  Tcl_DStringFree(&value);
  Tcl_DStringInit(&value);
  if (binary && Tcl_GetChannelOption(interp, ch, "-translation", &value) == TCL_OK) {
    int count = 0;
    const char **items = nullptr;
    if (Tcl_SplitList(nullptr, Tcl_DStringValue(&value), &count, &items) == TCL_OK) {
      for (int i = 0; i < count; i++) binary = binary && std::string(items[i]) == "lf";
      Tcl_Free(reinterpret_cast<char *>(items));
    }
  }
  Tcl_DStringFree(&value);
  if (!binary) {
    throw CommandError(std::string("channel \"") + name +
                       "\" is not in binary mode (fconfigure -translation binary)");
  }
  return ch;
}

template <class A, std::unique_ptr<A> (*Read)(ByteSource *, int)>
int ReadSectionCommand(Tcl_Interp *interp, int, const char *argv[]) {
  ChannelSource in(ScriptChannel(interp, argv[1], TCL_READABLE));
  SetObjectResult(interp, Read(&in, static_cast<int>(ArgInt(argv[2]))));
  return TCL_OK;
}

int ReadMCommand(Tcl_Interp *interp, int, const char *argv[]) {
  ChannelSource in(ScriptChannel(interp, argv[1], TCL_READABLE));
  SetObjectResult(interp, ReadM(&in, static_cast<int>(ArgInt(argv[2])),
                                static_cast<int>(ArgInt(argv[3]))));
  return TCL_OK;
}

template <class A, void (*Write)(ByteSink *, const A *, int)>
int WriteSectionCommand(Tcl_Interp *interp, int, const char *argv[]) {
  Tcl_Channel ch = ScriptChannel(interp, argv[1], TCL_WRITABLE);
  const A *array = ArgObject<A>(argv[2]);
  ChannelSink out(ch);
  Write(&out, array, static_cast<int>(ArgInt(argv[3])));
  Tcl_ResetResult(interp);
  return TCL_OK;
}

int WriteMCommand(Tcl_Interp *interp, int, const char *argv[]) {
  Tcl_Channel ch = ScriptChannel(interp, argv[1], TCL_WRITABLE);
  const Image *img = ArgObject<Image>(argv[2]);
  ChannelSink out(ch);
  WriteM(&out, img);
  Tcl_ResetResult(interp);
  return TCL_OK;
}

// ---- adapters ----

// Frees a section array that ReadVoxels, ReadList or ReadBody returned.
template <class A>
void DestroySectionArray(std::unique_ptr<A> *array) {
  array->reset();
}

void DestroyShellCommand(std::unique_ptr<Shell> *shell) {
  ForgetShellScene(shell->get());
  DestroyShell(shell);
}

// A position from a list of three integers; anything else names no voxel.
bool Position(const std::vector<double> &v, int p[3]) {
  if (v.size() != 3) throw CommandError("expected a list of three integers");
  for (int i = 0; i < 3; i++) {
    double t = std::trunc(v[i]);
    if (!std::isfinite(t) || std::fabs(t) > 2.0e9) return false;
    p[i] = static_cast<int>(t);
  }
  return true;
}

int GetPointerCommand(const Shell *shell, const std::vector<double> &v) {
  int p[3];
  return Position(v, p) ? GetPointer(shell, p[0], p[1], p[2]) : -1;
}

int VoxelExistCommand(const Shell *shell, const std::vector<double> &v) {
  int p[3];
  return Position(v, p) ? VoxelExist(shell, p[0], p[1], p[2]) : -1;
}

// The queries that read the associated scene see it only while it lives.
int GetShellMaximumCommand(Shell *shell) { return GetShellMaximum(WithLiveScene(shell)); }
int GetShellMinimumCommand(Shell *shell) { return GetShellMinimum(WithLiveScene(shell)); }
std::unique_ptr<Curve> ShellHistogramCommand(Shell *shell) {
  return ShellHistogram(WithLiveScene(shell));
}
std::unique_ptr<Curve> ShellNormHistogramCommand(Shell *shell) {
  return ShellNormHistogram(WithLiveScene(shell));
}
std::unique_ptr<Curve> ShellGradientHistogramCommand(Shell *shell) {
  return ShellGradientHistogram(WithLiveScene(shell));
}

// ---- cut rendering ----

// "<axis>" is one letter: x, y or z.
char AxisArg(const char *s) {
  if ((s[0] == 'x' || s[0] == 'y' || s[0] == 'z') && s[1] == '\0') return s[0];
  throw CommandError(std::string("bad axis \"") + s + "\": must be x, y or z");
}

void SWShellRenderingDrawCutCommand(Image *img, Shell *shell, Context *cxt, FBuffer *shear,
                                    FBuffer *warp, const char *axis) {
  SWShellRenderingDrawCut(img, shell, cxt, shear, warp, AxisArg(axis));
}
void SWShellRenderingDrawSceneCutCommand(Image *img, Shell *shell, Context *cxt, FBuffer *shear,
                                         FBuffer *warp, const char *axis) {
  SWShellRenderingDrawSceneCut(img, WithLiveScene(shell), cxt, shear, warp, AxisArg(axis));
}
// The three near faces are drawn together; the axis is checked and not used.
void ISWShellRenderingDrawSceneCutCommand(Image *img, Shell *shell, Context *cxt,
                                          FBuffer *shear, FBuffer *warp, const char *axis) {
  AxisArg(axis);
  ISWShellRenderingDrawSceneCut(img, WithLiveScene(shell), cxt, shear, warp);
}
void ShellRenderingDrawCutCommand(Image *img, Shell *shell, Context *cxt, FBuffer *cumopac,
                                  const char *axis) {
  ShellRenderingDrawCut(img, shell, cxt, cumopac, AxisArg(axis));
}
void ShellRenderingDrawSceneCutCommand(Image *img, Shell *shell, Context *cxt, FBuffer *cumopac,
                                       const char *axis) {
  ShellRenderingDrawSceneCut(img, WithLiveScene(shell), cxt, cumopac, AxisArg(axis));
}
void ShellRenderingDrawSceneCutPlaneCommand(Image *img, Shell *shell, Context *cxt,
                                            FBuffer *cumopac) {
  ShellRenderingDrawSceneCutPlane(img, WithLiveScene(shell), cxt, cumopac);
}
std::unique_ptr<Image> ShellRenderingDrawObjectCutCommand(Shell *shell, Context *cxt,
                                                          const char *axis) {
  return ShellRenderingDrawObjectCut(shell, cxt, AxisArg(axis));
}
std::unique_ptr<Image> SWShellRenderingCutCommand(Shell *shell, Context *cxt, Curve *cs) {
  return SWShellRenderingCut(WithLiveScene(shell), cxt, cs);
}
std::unique_ptr<CImage> CSWShellRenderingCutCommand(Shell *shell, Context *cxt, Curve *cs) {
  return CSWShellRenderingCut(WithLiveScene(shell), cxt, cs);
}
std::unique_ptr<CImage> FastCSWShellRenderingCutCommand(Shell *shell, Context *cxt, Curve *cs) {
  return FastCSWShellRenderingCut(WithLiveScene(shell), cxt, cs);
}
std::unique_ptr<CImage> CSWShellRenderingCutPlaneCommand(Shell *shell, Context *cxt, Curve *cs,
                                                         Plane *pl) {
  return CSWShellRenderingCutPlane(WithLiveScene(shell), cxt, cs, pl);
}
std::unique_ptr<CImage> CSWShellRenderingStereoCommand(Shell *shell, Context *cxt, Curve *cs) {
  return CSWShellRenderingStereo(WithLiveScene(shell), cxt, cs);
}

}  // namespace

std::vector<CommandSpec> ShellCommands() {
  return {
      Wrap<&SWShellRenderingDrawCutCommand>("SWShellRenderingDrawCut",
                                            {"img", "shell", "cxt", "shear", "warp", "axis"}),
      Wrap<&SWShellRenderingDrawSceneCutCommand>("SWShellRenderingDrawSceneCut",
                                                 {"img", "shell", "cxt", "shear", "warp", "axis"}),
      Wrap<&ISWShellRenderingDrawSceneCutCommand>("ISWShellRenderingDrawSceneCut",
                                                  {"img", "shell", "cxt", "shear", "warp", "axis"}),
      Wrap<&CreateShell>("CreateShell", {"scn", "alpha", "w"}),
      Wrap<&CreateBodyShell>("CreateBodyShell", {"scn", "alpha"}),
      Wrap<&NonTransparentVoxels>("NonTransparentVoxels", {"scn", "alpha"}),
      Wrap<&ReadShell>("ReadShell", {"filename"}),
      Wrap<&ReadBodyShell>("ReadBodyShell", {"filename"}),
      Hand("ReadVoxels", ReadSectionCommand<VoxelArray, ReadVoxels>, "usage: %s <fp> <n>\n", 2, 2),
      Hand("ReadList", ReadSectionCommand<ListArray, ReadList>, "usage: %s <fp> <n>\n", 2, 2),
      Hand("ReadBody", ReadSectionCommand<BodyArray, ReadBody>, "usage: %s <fp> <n>\n", 2, 2),
      Hand("ReadM", ReadMCommand, "usage: %s <fp> <ncols> <nrows>\n", 3, 3),
      Wrap<&DestroySectionArray<VoxelArray>>("DestroyVoxelArray", {"voxel"}),
      Wrap<&DestroySectionArray<ListArray>>("DestroyListArray", {"list"}),
      Wrap<&DestroySectionArray<BodyArray>>("DestroyBodyArray", {"body"}),
      Wrap<&WriteShell>("WriteShell", {"shell", "filename"}),
      Wrap<&WriteBodyShell>("WriteBodyShell", {"shell", "filename"}),
      Hand("WriteVoxels", WriteSectionCommand<VoxelArray, WriteVoxels>,
           "usage: %s <fp> <voxel> <n>\n", 3, 3),
      Hand("WriteList", WriteSectionCommand<ListArray, WriteList>, "usage: %s <fp> <list> <n>\n",
           3, 3),
      Hand("WriteBody", WriteSectionCommand<BodyArray, WriteBody>, "usage: %s <fp> <list> <n>\n",
           3, 3),
      Hand("WriteM", WriteMCommand, "usage: %s <fp> <img>\n", 2, 2),
      Wrap<&NewShell>("NewShell", {"xsize", "ysize", "zsize", "nvoxels"}),
      Wrap<&NewBodyShell>("NewBodyShell", {"xsize", "ysize", "zsize", "nvoxels"}),
      Wrap<&Object2Shell>("Object2Shell", {"scn", "w"}),
      Wrap<&Scene2Shell>("Scene2Shell", {"scn"}),
      Wrap<&MergeShell>("MergeShell", {"shell1", "shell2"}),
      Wrap<&CreateAlpha>("CreateAlpha", {"scn"}),
      Wrap<&InnerBorder>("InnerBorder", {"bin", "w"}),
      Wrap<&ObjectAlpha>("ObjectAlpha", {"scn", "w"}),
      Wrap<&OpacityScene>("OpacityScene", {"shell"}),
      Wrap<&NormalIndexScene>("NormalIndexScene", {"shell"}),
      Wrap<&LabelScene>("LabelScene", {"shell"}),
      Wrap<&FilledLabelScene>("FilledLabelScene", {"shell"}),
      Wrap<&ObjectScene>("ObjectScene", {"shell", "obj"}),
      Wrap<&ValueScene>("ValueScene", {"shell"}),
      Wrap<&RemoveVoxels>("RemoveVoxels", {"shell", "low", "hi"}),
      Wrap<&SetShellVoxels>("SetShellVoxels", {"shell", "scn"}),
      Wrap<&SetShellNormalIndex>("SetShellNormalIndex", {"shell", "nscn"}),
      Wrap<&SetShellList>("SetShellList", {"shell", "scn"}),
      Wrap<&SetBodyShellValue>("SetBodyShellValue", {"shell", "scn"}),
      Wrap<&SetShellLabel>("SetShellLabel", {"shell", "scn"}),
      Wrap<&SetShellOpacity>("SetShellOpacity", {"shell", "alpha"}),
      Wrap<&DestroyShellCommand>("DestroyShell", {"shell"}),
      Wrap<&ShellRenderingDrawCutCommand>("ShellRenderingDrawCut",
                                          {"img", "shell", "cxt", "cumopac", "axis"}),
      Wrap<&ShellRenderingDrawSceneCutCommand>("ShellRenderingDrawSceneCut",
                                               {"img", "shell", "cxt", "cumopac", "axis"}),
      Wrap<&ShellRenderingDrawCutPlane>("ShellRenderingDrawCutPlane",
                                        {"img", "shell", "cxt", "cumopac"}),
      Wrap<&ShellRenderingDrawSceneCutPlaneCommand>("ShellRenderingDrawSceneCutPlane",
                                                    {"img", "shell", "cxt", "cumopac"}),
      Wrap<&RaycastSceneCut>("RaycastSceneCut", {"img", "scn", "cxt", "cumopac"}),
      Wrap<&GetPointerCommand>("GetPointer", {"shell", "v"}),
      Wrap<&VoxelExistCommand>("VoxelExist", {"shell", "v"}),
      Wrap<&SWShellRendering>("SWShellRendering", {"shell", "cxt"}),
      Wrap<&ShellRendering>("ShellRendering", {"shell", "cxt"}),
      Wrap<&ISWShellRendering>("ISWShellRendering", {"shell", "cxt"}),
      Wrap<&DirectVolumeRendering>("DirectVolumeRendering", {"shell", "cxt"}),
      Wrap<&EWASWShellRendering>("EWASWShellRendering", {"shell", "cxt"}),
      Wrap<&MIPShell>("MIPShell", {"shell", "cxt", "cs"}),
      Wrap<&SWShellRenderingCutCommand>("SWShellRenderingCut", {"shell", "cxt", "cs"}),
      Wrap<&ShellRenderingDrawObjectCutCommand>("ShellRenderingDrawObjectCut",
                                                {"shell", "cxt", "axis"}),
      Wrap<&CMIPShell>("CMIPShell", {"shell", "cxt", "cs"}),
      Wrap<&GMIPShell>("GMIPShell", {"shell", "cxt", "cs"}),
      Wrap<&CSWShellRendering>("CSWShellRendering", {"shell", "cxt"}),
      Wrap<&ICSWShellRendering>("ICSWShellRendering", {"shell", "cxt"}),
      Wrap<&CSWShellRenderingCutCommand>("CSWShellRenderingCut", {"shell", "cxt", "cs"}),
      Wrap<&FastCSWShellRenderingCutCommand>("FastCSWShellRenderingCut", {"shell", "cxt", "cs"}),
      Wrap<&CSWShellRenderingCutPlaneCommand>("CSWShellRenderingCutPlane",
                                              {"shell", "cxt", "cs", "pl"}),
      Wrap<&CSWShellRenderingStereoCommand>("CSWShellRenderingStereo", {"shell", "cxt", "cs"}),
      Wrap<&GetShellXSize>("GetShellXSize", {"shell"}),
      Wrap<&GetShellYSize>("GetShellYSize", {"shell"}),
      Wrap<&GetShellZSize>("GetShellZSize", {"shell"}),
      Wrap<&GetShellMaximumCommand>("GetShellMaximum", {"shell"}),
      Wrap<&GetShellMinimumCommand>("GetShellMinimum", {"shell"}),
      Wrap<&ShellNObjects>("ShellNObjects", {"shell"}),
      Wrap<&ShellObjHistogram>("ShellObjHistogram", {"shell"}),
      Wrap<&ShellHistogramCommand>("ShellHistogram", {"shell"}),
      Wrap<&ShellNormHistogramCommand>("ShellNormHistogram", {"shell"}),
      Wrap<&ShellGradientHistogramCommand>("ShellGradientHistogram", {"shell"}),
      Wrap<&GetShellXSlice>("GetShellXSlice", {"shell", "x"}),
      Wrap<&GetShellYSlice>("GetShellYSlice", {"shell", "y"}),
      Wrap<&GetShellZSlice>("GetShellZSlice", {"shell", "z"}),
      Wrap<&GetBodyShellXSlice>("GetBodyShellXSlice", {"shell", "x"}),
      Wrap<&GetBodyShellYSlice>("GetBodyShellYSlice", {"shell", "y"}),
      Wrap<&GetBodyShellZSlice>("GetBodyShellZSlice", {"shell", "z"}),
      Wrap<&SetObjectVisibility>("SetObjectVisibility", {"shell", "cxt", "obj", "visible"})
          .NullOk("cxt"),
  };
}
