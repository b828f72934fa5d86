# Build-time maker of the demo shells, run by the scripting shell:
#   orvanesh tools/demo_shells.tcl <demo dir>
# The labelled phantom becomes an object shell (borders, normals from each
# object's distance map, antialiased opacities: what the import wizard does),
# the grey phantom a body shell classified opaque (every voxel labelled 1,
# so that the 3D view shows its surface at once).
set dir [lindex $argv 0]

set scn [ReadScene $dir/phantom_labels.scn]
set A [c_Spheric 1.8]
set ramp [c_List2Curve {0.0 1.0 16 1.0}]
set border [Label2Border $scn $A 2 16]
set shell [NewShell [GetXSize $scn] [GetYSize $scn] [GetNSlices $scn] [c_CountSceneVoxels $border]]
SetShellVoxels $shell $border
SetShellList $shell $border
foreach {label count} [c_Curve2List [SceneLabels $scn]] {
  set bin [Threshold3 $border [expr {round($label)}] [expr {round($label)}]]
  set dist [TDistTrans3 $bin $A 2 16]
  c_FreeScene $bin
  c_SetObjectNormal $shell $dist [expr {round($label)}]
  c_ClassifyObject $shell $dist $ramp [expr {round($label)}]
  c_FreeScene $dist
}
c_SetShellResolution $shell [GetDx $scn] [GetDy $scn] [GetDz $scn]
WriteShell $shell $dir/phantom_labels.sh

set grey [ReadScene $dir/phantom.scn]
set body [NewBodyShell [GetXSize $grey] [GetYSize $grey] [GetNSlices $grey] [c_CountSceneVoxels $grey]]
SetShellVoxels $body $grey
SetShellList $body $grey
c_SetShellNormal $body $grey
SetBodyShellValue $body $grey
set opaque [c_List2Curve {0 1.0 4095 1.0}]
c_ClassifyBodyShell $body $opaque 0
c_FreeCurve $opaque
c_SetShellResolution $body [GetDx $grey] [GetDy $grey] [GetDz $grey]
WriteBodyShell $body $dir/phantom.bsh
