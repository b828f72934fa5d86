#include "commands/modules.h"
#include "core/curve.h"

std::vector<CommandSpec> CurveCommands() {
  return {
      Wrap<&CreateCurve>("CreateCurve", {"n"}),
      Wrap<&DestroyCurve>("DestroyCurve", {"curve"}),
      Wrap<&ReadCurve>("ReadCurve", {"filename"}),
      Wrap<&WriteCurve>("WriteCurve", {"curve", "filename"}),
      Wrap<&CopyCurve>("CopyCurve", {"curve"}),
      Wrap<&CreateCurve3D>("CreateCurve3D", {"n"}),
      Wrap<&DestroyCurve3D>("DestroyCurve3D", {"curve"}),
      Wrap<&WriteCurve3D>("WriteCurve3D", {"curve", "filename"}),
      Wrap<&SortCurve3D>("SortCurve3D", {"curve", "left", "right", "order"}),
      Wrap<&PartCurve3D>("PartCurve3D", {"curve", "left", "right", "order"}),
      Wrap<&SortCurve>("SortCurve", {"curve", "left", "right", "order"}),
      Wrap<&PartCurve>("PartCurve", {"curve", "left", "right", "order"}),
      Wrap<&InvertXY>("InvertXY", {"curve"}),
      Wrap<&FillCurve>("FillCurve", {"c1", "dx"}),
      Wrap<&JoinCurve>("JoinCurve", {"c1", "c2"}),
      Wrap<&CurveMaximum>("CurveMaximum", {"c"}),
      Wrap<&GetLinePoints>("GetLinePoints", {"p", "q"}),
  };
}
