# The cut guidelines of the slice views: in each view a vertical and a
# horizontal line through the cuts of the two axes it shows, each in the
# colour of the axis it cuts.
namespace eval App::guideline {
  variable colours {x {red green} y {blue green} z {blue red}}
}

# Canvas position of the crossing of the two other cuts in a slice view.
proc App::slice::coords {axis} {
  global current last options
  variable across
  variable up
  set view view_$axis
  set c [View::get_path $view]
  set zf [View::factor $view]
  lassign [View::origin $view] x0 y0
  set ha [dict get $across $axis]
  set va [dict get $up $axis]
  set x [expr {round([App::slice::flip_x $view $current(cut_$ha)] * $zf) + $x0}]
  set y [expr {round([App::slice::flip_y $view $current(cut_$va)] * $zf) + $y0}]
  set x [App::slice::Clamp $x 0 [expr {round([App::slice::max $ha] * $zf + $x0)}]]
  set y [App::slice::Clamp $y 0 [expr {round([App::slice::max $va] * $zf + $y0)}]]
  return [list $x $y]
}

proc App::guideline::show {axis} {
  global current last options
  variable colours
  if {[App::slice::all $axis App::guideline::show]} return
  set c [View::get_path view_$axis]
  if {$c eq "-1" || ![winfo exists $c]} return
  $c delete guideline_x guideline_y
  if {$current(shell) eq "" && $current(scn) eq ""} return
  set photo [View::get_image view_$axis]
  $c lower $photo
  set box [View::bbox view_$axis]
  if {$box eq ""} return
  lassign $box bx1 by1 bx2 by2
  lassign [App::slice::coords $axis] x y
  lassign [dict get $colours $axis] vertical horizontal
  # Disabled items take no pointer events: a click beside a line reaches
  # the image under it.
  $c create line $x $by1 $x $by2 -fill $vertical -tags guideline_x -state disabled
  $c create line $bx1 $y $bx2 $y -fill $horizontal -tags guideline_y -state disabled
}

proc App::guideline::hide {axis} {
  if {[App::slice::all $axis App::guideline::hide]} return
  App::slice::DeleteItems $axis guideline_x guideline_y
}

proc App::guideline::update {axis} {
  global current last options
  if {[App::slice::all $axis App::guideline::update]} return
  App::slice::ShowOrHide $options(guideline_$axis) App::guideline $axis
}
