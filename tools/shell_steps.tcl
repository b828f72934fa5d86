# The core steps of the import wizard's two shell builders as a plain script
# runs them, without dialogs: the demo shells are made with them, and the
# interface tests and bench/builder_bench.tcl hold the builders against them.
# Loaded with eval (source reads only the file store).

# The non-zero labels of a scene, rounded, in increasing order.
proc stepsLabels {scn} {
  set curve [SceneLabels $scn]
  set labels {}
  foreach {x y} [c_Curve2List $curve] { lappend labels [expr {round($x)}] }
  c_FreeCurve $curve
  return $labels
}

# A label shell of a labelled scene: borders, each object's normals from its
# distance map and its antialiased opacities.
proc stepsLabelShell {scn} {
  set c [c_List2Curve {0.0 1.0 16 1.0}]
  set A [c_Spheric 1.8]
  set border [Label2Border $scn $A 2 16]
  set shell [NewShell [GetXSize $scn] [GetYSize $scn] [GetNSlices $scn] [c_CountSceneVoxels $border]]
  SetShellVoxels $shell $border
  SetShellList $shell $border
  foreach i [stepsLabels $scn] {
    set bin [Threshold3 $border $i $i]
    set dist [TDistTrans3 $bin $A 2 16]
    c_FreeScene $bin
    c_SetObjectNormal $shell $dist $i
    c_ClassifyObject $shell $dist $c $i
    c_FreeScene $dist
  }
  c_FreeScene $border
  c_FreeCurve $c
  c_FreeAdjRel3 $A
  c_SetShellResolution $shell [GetDx $scn] [GetDy $scn] [GetDz $scn]
  ShellNObjects $shell
  return $shell
}

# A body shell of a grey scene.
proc stepsBodyShell {scn} {
  set shell [NewBodyShell [GetXSize $scn] [GetYSize $scn] [GetNSlices $scn] [c_CountSceneVoxels $scn]]
  SetShellVoxels $shell $scn
  SetShellList $shell $scn
  c_SetShellNormal $shell $scn
  SetBodyShellValue $shell $scn
  c_SetShellResolution $shell [GetDx $scn] [GetDy $scn] [GetDz $scn]
  ShellNObjects $shell
  return $shell
}
