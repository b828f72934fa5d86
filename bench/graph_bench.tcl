# Curve editor timing: one drag motion event on a point (moving only the
# items that show it) against one full redraw of the editor (DGraph::update),
# both with the redisplay they cause, over histograms of 256 and 4096 bars.
#   build/orvanesh -tk bench/graph_bench.tcl ?width height? ?events?
lappend ::auto_path BWidget
package require BWidget
source graph.tcl
source dgraph.tcl

lassign [list {*}$argv 800 200 400] width height events
wm withdraw .

# Milliseconds per run of script, over count runs, redisplay included.
proc timeRuns {count script} {
  ::update
  set start [clock microseconds]
  for {set i 0} {$i < $count} {incr i} {
    uplevel 1 $script
    ::update idletasks
  }
  return [expr {([clock microseconds] - $start)/1000.0/$count}]
}

foreach bars {256 4096} {
  ::destroy .t
  toplevel .t
  set name bench$bars
  DGraph::new $name
  DGraph::set_size $name $width $height
  DGraph::set_max $name [expr {$bars - 1}] 255
  set counts {}
  for {set x 0} {$x < $bars} {incr x} {
    lappend counts $x [expr {int(1000*exp(-((($x - $bars/3.0)/($bars/8.0))**2))) + $x % 17}]
  }
  set hist [c_List2Curve $counts]
  DGraph::set_histogram $name $hist
  c_FreeCurve $hist
  DGraph::set_curve $name [list 0 0 [expr {$bars/4}] 60 [expr {$bars/2}] 200 [expr {$bars - 1}] 255]
  set c [DGraph::show $name in .t]
  ::update

  # Press on the second point, then move it back and forth along its segment.
  lassign [$c coords point1] x0 y0 x1 y1
  set px [expr {round(($x0 + $x1)/2 - [$c canvasx 0])}]
  set py [expr {round(($y0 + $y1)/2 - [$c canvasy 0])}]
  event generate $c <Motion> -x $px -y $py
  event generate $c <ButtonPress-1> -x $px -y $py
  set step 0
  set motion [timeRuns $events {
    set dx [expr {($step % 40) - 20}]
    event generate $c <Motion> -x [expr {$px + $dx}] -y [expr {$py + $dx}] -state 256
    incr step
  }]
  event generate $c <ButtonRelease-1> -x $px -y $py -state 256
  set full [timeRuns [expr {$events/10}] {DGraph::update $name}]
  puts [format "%4d bars, %dx%d canvas: motion %.3f ms/event, full update %.3f ms, update/motion %.1fx" \
      $bars $width $height $motion $full [expr {$full/$motion}]]
  DGraph::destroy $name
}
exit
