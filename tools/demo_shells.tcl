# Build-time maker of the demo shells, run by the scripting shell:
#   orvanesh tools/demo_shells.tcl <demo dir>
# The labelled phantom becomes an object shell (borders, normals from each
# object's distance map, antialiased opacities: what the import wizard does),
# the grey phantom a body shell classified opaque (every voxel labelled 1,
# so that the 3D view shows its surface at once).
set dir [lindex $argv 0]
set f [open [file join [file dirname [info script]] shell_steps.tcl]]
eval [read $f]
close $f

set scn [ReadScene $dir/phantom_labels.scn]
WriteShell [stepsLabelShell $scn] $dir/phantom_labels.sh
set grey [ReadScene $dir/phantom.scn]
set body [stepsBodyShell $grey]
set opaque [c_List2Curve {0 1.0 4095 1.0}]
c_ClassifyBodyShell $body $opaque 0
c_FreeCurve $opaque
WriteBodyShell $body $dir/phantom.bsh
