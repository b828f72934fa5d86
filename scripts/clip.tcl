# The clip box {xmin xmax ymin ymax zmin zmax}, in voxels, inclusive: drawn
# in each slice view as a rectangle with a handle at each corner.
namespace eval App::clip {
  # The two ranges each view shows: positions in the box of its across and
  # up axes.
  variable ranges {x {2 4} y {0 4} z {0 2}}
  # For each corner handle, the corner sharing its row and the one sharing
  # its column.
  variable partners {
    nw_box {ne_box sw_box} ne_box {nw_box se_box}
    sw_box {se_box nw_box} se_box {sw_box ne_box}
  }
  variable size 10
}

proc App::clip::reset {} {
  global current last options
  set current(clip) [list 0 [App::slice::max x] 0 [App::slice::max y] 0 [App::slice::max z]]
  if {$current(shell) ne ""} {
    Shell::set_cutplanes $current(shell) $current(clip)
  }
}

proc App::clip::min {axis} {
  global current last options
  return [lindex $current(clip) [expr {2 * [App::clip::Index $axis]}]]
}

proc App::clip::max {axis} {
  global current last options
  return [lindex $current(clip) [expr {2 * [App::clip::Index $axis] + 1}]]
}

proc App::clip::Index {axis} {
  return [dict get {x 0 y 1 z 2} $axis]
}

proc App::clip::show {axis} {
  global current last options
  variable ranges
  variable size
  if {[App::slice::all $axis App::clip::show]} return
  set view view_$axis
  set c [View::get_path $view]
  if {$c eq "-1" || ![winfo exists $c]} return
  App::clip::hide $axis
  if {$current(shell) eq "" && $current(scn) eq ""} return
  set photo [View::get_image $view]
  $c lower $photo
  lassign [View::origin $view] x0 y0
  set zf [View::factor $view]
  lassign [dict get $ranges $axis] hi vi
  set xs {}
  foreach v [lrange $current(clip) $hi [expr {$hi + 1}]] {
    lappend xs [expr {round([App::slice::flip_x $view $v] * $zf + $x0)}]
  }
  set ys {}
  foreach v [lrange $current(clip) $vi [expr {$vi + 1}]] {
    lappend ys [expr {round([App::slice::flip_y $view $v] * $zf + $y0)}]
  }
  set xs [lsort -integer $xs]
  set ys [lsort -integer $ys]
  lassign $xs left right
  lassign $ys top bottom
  set colour $options(color_$axis)
  $c create rectangle $left $top $right $bottom -outline $colour -tags clip -state disabled
  set half [expr {$size / 2}]
  foreach {tag x y} [list nw_box $left $top ne_box $right $top sw_box $left $bottom \
                         se_box $right $bottom] {
    set item [$c create rectangle [expr {$x - $half}] [expr {$y - $half}] \
        [expr {$x + $half}] [expr {$y + $half}] -fill $colour -outline $colour \
        -tags [list clip_box $tag]]
    $c bind $item <Enter> [list $c itemconfigure $item -fill white -outline white]
    $c bind $item <Leave> [list $c itemconfigure $item -fill $colour -outline $colour]
    $c bind $item <ButtonPress-1> [list App::clip::down $axis $tag]
    $c bind $item <B1-Motion> [list App::clip::move $axis %x %y]
    $c bind $item <ButtonRelease-1> [list App::clip::up $axis]
  }
}

proc App::clip::hide {axis} {
  if {[App::slice::all $axis App::clip::hide]} return
  App::slice::DeleteItems $axis clip clip_box
}

proc App::clip::update {axis} {
  global current last options
  if {[App::slice::all $axis App::clip::update]} return
  App::slice::ShowOrHide $options(clip_$axis) App::clip $axis
  if {$current(shell) ne ""} {
    Shell::set_cutplanes $current(shell) $current(clip)
  }
}

# Pressing a handle marks it, and the corners sharing its row and column.
proc App::clip::down {axis tag} {
  variable partners
  set c [View::get_path view_$axis]
  $c dtag selected_box
  $c dtag selected_box_x
  $c dtag selected_box_y
  lassign [dict get $partners $tag] row column
  $c addtag selected_box withtag $tag
  $c addtag selected_box_x withtag $row
  $c addtag selected_box_y withtag $column
}

# Dragging a handle: it follows the pointer inside the image, its row
# partner follows vertically and its column partner horizontally.
proc App::clip::move {axis x y} {
  variable size
  set view view_$axis
  set c [View::get_path $view]
  if {[$c find withtag selected_box] eq ""} return
  set box [View::bbox $view]
  if {$box eq ""} return
  lassign $box bx1 by1 bx2 by2
  set x [App::slice::Clamp [$c canvasx $x] $bx1 $bx2]
  set y [App::slice::Clamp [$c canvasy $y] $by1 $by2]
  set half [expr {$size / 2.0}]
  lassign [App::clip::Centre $c selected_box] px py
  $c move selected_box [expr {$x - $px}] [expr {$y - $py}]
  lassign [App::clip::Centre $c selected_box_x] rx ry
  $c move selected_box_x 0 [expr {$y - $ry}]
  lassign [App::clip::Centre $c selected_box_y] cx cy
  $c move selected_box_y [expr {$x - $cx}] 0
  lassign [App::clip::Centre $c nw_box] x1 y1
  lassign [App::clip::Centre $c se_box] x2 y2
  $c coords clip $x1 $y1 $x2 $y2
}

proc App::clip::Centre {c tag} {
  lassign [$c coords $tag] x1 y1 x2 y2
  return [list [expr {($x1 + $x2) / 2.0}] [expr {($y1 + $y2) / 2.0}]]
}

# Release: the rectangle's corners become the view's two clip ranges.
proc App::clip::up {axis} {
  global current last options
  set view view_$axis
  set c [View::get_path $view]
  if {[$c find withtag selected_box] eq ""} return
  $c dtag selected_box
  $c dtag selected_box_x
  $c dtag selected_box_y
  lassign [App::clip::Centre $c nw_box] x1 y1
  lassign [App::clip::Centre $c se_box] x2 y2
  App::clip::cut $axis $x1 $y1 $x2 $y2
}

# Applies a rectangle of canvas coordinates to the view's two ranges; the
# third range stays, the cuts are kept inside their ranges.
proc App::clip::cut {axis x1 y1 x2 y2} {
  global current last options
  variable ranges
  set view view_$axis
  set c [View::get_path $view]
  lassign [View::origin $view] x0 y0
  set zf [View::factor $view]
  set across [dict get $App::slice::across $axis]
  set up [dict get $App::slice::up $axis]
  set h1 [App::slice::flip_x $view [expr {round(($x1 - $x0) / $zf)}]]
  set h2 [App::slice::flip_x $view [expr {round(($x2 - $x0) / $zf)}]]
  set v1 [App::slice::flip_y $view [expr {round(($y1 - $y0) / $zf)}]]
  set v2 [App::slice::flip_y $view [expr {round(($y2 - $y0) / $zf)}]]
  set box $current(clip)
  lassign [dict get $ranges $axis] hi vi
  foreach {i a b a_axis} [list $hi $h1 $h2 $across $vi $v1 $v2 $up] {
    set lo [App::slice::Clamp [expr {$a < $b ? $a : $b}] 0 [App::slice::max $a_axis]]
    set hi_ [App::slice::Clamp [expr {$a < $b ? $b : $a}] 0 [App::slice::max $a_axis]]
    lset box $i $lo
    lset box [expr {$i + 1}] $hi_
  }
  set current(clip) $box
  foreach a [list $across $up] {
    set current(cut_$a) [App::slice::Clamp $current(cut_$a) [App::clip::min $a] [App::clip::max $a]]
  }
  App::clip::update all
  App::window::update
}
