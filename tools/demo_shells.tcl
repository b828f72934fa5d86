# Build-time maker of the demo shells, run by the scripting shell:
#   orvanesh tools/demo_shells.tcl <demo dir>
# The labelled phantom becomes an object shell (borders, normals from each
# object's distance map, antialiased opacities: what the import wizard does),
# the grey phantom a body shell.
set dir [lindex $argv 0]
set f [open [file join [file dirname [info script]] shell_steps.tcl]]
eval [read $f]
close $f

set scn [ReadScene $dir/phantom_labels.scn]
WriteShell [stepsLabelShell $scn] $dir/phantom_labels.sh
set grey [ReadScene $dir/phantom.scn]
WriteBodyShell [stepsBodyShell $grey] $dir/phantom.bsh
