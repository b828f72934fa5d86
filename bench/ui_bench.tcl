# Interface timing against the real program on the current display:
#   start-up: from exec to the main window mapped, median of 10 starts;
#   slice browsing: one press of a slice frame's up arrow on a large scene
#     (core slice, window/level, photo, zoomed copy, guidelines and clip
#     redrawn, the canvas displayed) at zoom 100 and 400.
#   build/orvanesh -tk bench/ui_bench.tcl ?scene.scn? ?starts? ?presses?
# Without a scene, one of 512 x 512 x 200 voxels is made with make_phantom.
package require Tk
wm withdraw .
tk appname ui-bench-[pid]

set f [open [file join [file dirname [info script]] bench_util.tcl]]
eval [read $f]
close $f

lassign [list {*}$argv {} 10 40] scene starts presses
set work [file join /tmp orvane_ui_bench_[pid]]
file mkdir $work
if {$scene eq ""} {
  puts "making a 512 x 512 x 200 scene ..."
  exec [file join $bin make_phantom] $work 512 512 200 1.0
  set scene [file join $work phantom.scn]
}

set times {}
set readyTimes {}
for {set i 0} {$i < $starts} {incr i} {
  lassign [start] app ms
  lappend times $ms
  lappend readyTimes $::ready
  stop $app
}
puts [format "start-up to main window mapped: median %.0f ms over %d starts (min %.0f, max %.0f; target <= 500 ms)" \
    [median $times] $starts [lindex [lsort -real $times] 0] [lindex [lsort -real $times] end]]
puts [format "start-up to the whole main window built (every frame and view): median %.0f ms" \
    [median $readyTimes]]

lassign [start $scene] app ms
while {[catch {send $app {set App::loaded}}]} { after 20 }
puts [send $app {
  set h [Scene::get_handle $current(scn)]
  format "scene %s: %d x %d x %d" $current(scn) [GetXSize $h] [GetYSize $h] [GetNSlices $h]
}]
foreach zoom {100 400} target {15 30} {
  set per [send $app [list apply {{zoom presses} {
    App::zoom reset view_z
    while {$View::zoom(view_z) < $zoom} { App::zoom in view_z }
    set current(cut_z) 0
    App::slice::update z
    update
    set arrow [[[Frame::get_path zslices] getframe].tf getframe].row.up
    set times {}
    for {set i 0} {$i < $presses} {incr i} {
      set t0 [clock microseconds]
      # What a press of the arrow runs, then everything it leaves to draw.
      uplevel #0 [$arrow cget -armcommand]
      update idletasks
      lappend times [expr {([clock microseconds] - $t0) / 1000.0}]
    }
    set times [lsort -real $times]
    list [lindex $times [expr {[llength $times] / 2}]] [lindex $times end]
  }} $zoom $presses]]
  lassign $per median worst
  puts [format "up arrow at zoom %d: median %.1f ms, worst %.1f ms over %d presses (target <= %d ms)" \
      $zoom $median $worst $presses $target]
}
stop $app
file delete -force $work
exit
