# The three slice views: view_x shows x = cut_x with y across and z up,
# view_y shows y = cut_y with x across and z up, view_z shows z = cut_z
# with x across and y down.
namespace eval App::slice {
  # The cut last shown along each axis: what a rejected entry goes back to.
  variable shown
  array set shown {x 0 y 0 z 0}
  # The axes shown across and up in each axis's view.
  variable across {x y y x z x}
  variable up {x z y z z y}
}

# The last slice number along an axis: of the current shell, else of the
# current scene, else 0.
proc App::slice::max {axis} {
  global current last options
  if {$axis ni {x y}} { set axis z }
  if {$current(shell) ne ""} {
    set size [dict get {x GetShellXSize y GetShellYSize z GetShellZSize} $axis]
    return [expr {[$size [Shell::get_handle $current(shell)]] - 1}]
  }
  if {$current(scn) ne ""} {
    set size [dict get {x GetXSize y GetYSize z GetNSlices} $axis]
    return [expr {[$size [Scene::get_handle $current(scn)]] - 1}]
  }
  return 0
}

# The name of the registered scene with this handle, or nothing.
proc App::slice::SceneOf {h} {
  foreach name [Scene::names] {
    if {[Scene::get_handle $name] == $h} {return $name}
  }
  return {}
}

# Runs `command` for x, y and z when `axis` is "all"; says whether it did.
proc App::slice::all {axis command} {
  if {$axis ne "all"} {return 0}
  foreach a {x y z} { {*}$command $a }
  return 1
}

# Deletes the items with these tags from an axis's view, when it is shown.
proc App::slice::DeleteItems {axis args} {
  set c [View::get_path view_$axis]
  if {$c eq "-1" || ![winfo exists $c]} return
  $c delete {*}$args
}

# `ns`::show or `ns`::hide for the axis, as the flag says.
proc App::slice::ShowOrHide {flag ns axis} {
  if {$flag} {
    ${ns}::show $axis
  } else {
    ${ns}::hide $axis
  }
}

proc App::slice::HasEditor {name} {
  return [expr {$name ne "" && [info exists Graph::points($name)]}]
}

# The curve editor whose curve draws the slices of the current shell or scene.
proc App::slice::editor {} {
  global current last options
  if {$current(shell) ne ""} {
    set s [Shell::get_scene $current(shell)]
    if {$s != 0} {
      set name [App::slice::SceneOf $s]
      if {$name ne "" && [App::slice::HasEditor $name]} {return $name}
    }
    return $current(shell)
  }
  return $current(scn)
}

# Shows slice n of the axis in the view; a number outside [0, last] shows
# nothing and leaves the cut as it was.
proc App::slice::show {axis n view} {
  global current last options
  variable shown
  set photo [View::get_image $view]
  if {$current(shell) eq "" && $current(scn) eq ""} {
    Image::blank $photo
    View::update $view
    return
  }
  if {![string is integer -strict $n] || $n < 0 || $n > [App::slice::max $axis]} return
  set editor [App::slice::editor]
  if {$current(shell) ne ""} {
    if {[App::slice::HasEditor $editor]} {
      Shell::set_curve $current(shell) [Graph::get_curve $editor]
    }
    set core [Shell::get_slice $current(shell) $axis $n $current(overlay)]
  } else {
    if {[App::slice::HasEditor $editor]} {
      Scene::set_curve $current(scn) [Graph::get_curve $editor]
    }
    set core [Scene::get_slice $current(scn) $axis $n]
  }
  set current(cut_$axis) $n
  set shown($axis) $n
  Image::update $photo $core
  if {$current(shell) ne ""} {
    App::slice::preview $axis
  }
  View::update $view
  if {$current(shell) ne ""} {
    App::slice::draw_points $axis
  }
}

proc App::slice::update {axis} {
  global current last options
  if {[App::slice::all $axis App::slice::update]} return
  if {$current(window) eq "sequence"} {
    if {$axis ne [App::slice::SequenceAxis]} return
    App::slice::show $axis $current(cut_$axis) view_$axis
    return
  }
  App::slice::show $axis $current(cut_$axis) view_$axis
  App::clip::update $axis
  App::guideline::update $axis
}

proc App::slice::SequenceAxis {} {
  global current last options
  ::switch -- $current(seq) {
    "along x" { return x }
    "along y" { return y }
    default { return z }
  }
}

proc App::slice::refresh {axis} {
  global current last options
  variable shown
  if {[App::slice::all $axis App::slice::refresh]} return
  set current(cut_$axis) [expr {[App::slice::max $axis] / 2}]
  set shown($axis) $current(cut_$axis)
  View::refresh_image view_$axis
  View::set_image view_$axis img_$axis
}

proc App::slice::up {axis} {
  App::slice::Step $axis 1
}

proc App::slice::down {axis} {
  App::slice::Step $axis -1
}

proc App::slice::Step {axis step} {
  global current last options
  if {$current(shell) eq "" && $current(scn) eq ""} return
  set n $current(cut_$axis)
  if {![string is digit -strict $n]} return
  scan $n %d n
  set next [expr {$n + $step}]
  if {$next < [App::clip::min $axis] || $next > [App::clip::max $axis]} return
  set current(cut_$axis) $next
  App::slice::update $axis
  App::ortho App::guideline::show $axis
}

# Return in a slice frame's entry.
proc App::slice::enter {axis entry} {
  global current last options
  variable shown
  set n [$entry get]
  if {![string is digit -strict $n]} {
    set n 0
  } else {
    scan $n %d n
  }
  if {$n > [App::slice::max $axis]} {
    set current(cut_$axis) $shown($axis)
    return
  }
  set current(cut_$axis) $n
  App::slice::update $axis
  App::ortho App::guideline::show $axis
}

# Canvas position of a pointer event in a view, in image pixels before
# rounding.
proc App::slice::Pointer {view x y} {
  set c [View::get_path $view]
  set zf [View::factor $view]
  lassign [View::origin $view] x0 y0
  return [list [expr {([$c canvasx $x] - $x0) / $zf}] [expr {([$c canvasy $y] - $y0) / $zf}]]
}

# Mirroring undone: v becomes m - v in a mirrored direction, m being the
# last slice of the axis shown in that direction.
proc App::slice::flip_x {view v} {
  variable across
  if {![View::is_flipped $view x]} {return $v}
  set axis [dict get $across [App::slice::AxisOf $view]]
  return [expr {[App::slice::max $axis] - $v}]
}

proc App::slice::flip_y {view v} {
  variable up
  if {![View::is_flipped $view y]} {return $v}
  set axis [dict get $up [App::slice::AxisOf $view]]
  return [expr {[App::slice::max $axis] - $v}]
}

proc App::slice::AxisOf {view} {
  return [string index $view end]
}

proc App::slice::Clamp {v lo hi} {
  return [expr {$v < $lo ? $lo : ($v > $hi ? $hi : $v)}]
}

# The voxel under the pointer, rounded, mirrored back and kept inside the
# volume, as {x y z}.
proc App::slice::Voxel {axis x y} {
  global current last options
  variable across
  variable up
  set view view_$axis
  lassign [App::slice::Pointer $view $x $y] px py
  set h [App::slice::flip_x $view [expr {round($px)}]]
  set v [App::slice::flip_y $view [expr {round($py)}]]
  set ha [dict get $across $axis]
  set va [dict get $up $axis]
  set p($axis) $current(cut_$axis)
  set p($ha) [App::slice::Clamp $h 0 [App::slice::max $ha]]
  set p($va) [App::slice::Clamp $v 0 [App::slice::max $va]]
  return [list $p(x) $p(y) $p(z)]
}

# Right click: the two other cuts move to the pointer.
proc App::slice::cut {axis x y} {
  global current last options
  variable across
  variable up
  if {$current(shell) eq "" && $current(scn) eq ""} return
  set view view_$axis
  lassign [App::slice::Pointer $view $x $y] px py
  set h [App::slice::flip_x $view [expr {round($px)}]]
  set v [App::slice::flip_y $view [expr {round($py)}]]
  set ha [dict get $across $axis]
  set va [dict get $up $axis]
  set current(cut_$ha) [App::slice::Clamp $h 0 [App::slice::max $ha]]
  set current(cut_$va) [App::slice::Clamp $v 0 [App::slice::max $va]]
  App::ortho App::slice::update $axis
  App::guideline::show $axis
}

# Pointer motion: coordinates and values in the status indicator.
proc App::slice::value {axis x y} {
  global current last options
  if {$current(shell) eq "" && $current(scn) eq ""} return
  lassign [App::slice::Voxel $axis $x $y] vx vy vz
  if {$current(shell) ne ""} {
    set h [Shell::get_handle $current(shell)]
    set value [c_GetShellValue $h $vx $vy $vz]
    if {$value < 0} {
      set App::status [format "(x,y,z) = (%d,%d,%d) (not in shell)" $vx $vy $vz]
    } elseif {[c_IsBodyShell $h]} {
      set App::status [format "(x,y,z)=(%d,%d,%d) intensity=%d gradient=%d" $vx $vy $vz \
          $value [c_GetShellGradient $h $vx $vy $vz]]
    } else {
      set App::status [format "(x,y,z) = (%d,%d,%d) intensity=%d" $vx $vy $vz $value]
    }
  } else {
    set h [Scene::get_handle $current(scn)]
    set value [c_GetSceneValue $h $vx $vy $vz]
    set App::status [format "(x,y,z) = (%d,%d,%d) intensity=%d%s" $vx $vy $vz $value \
        [Formats::status_note $h $value]]
  }
}

# Left click in the slice layout: selects the object under the pointer.
proc App::slice::select_object {view axis x y} {
  global current last options
  if {$current(shell) eq ""} return
  lassign [App::slice::Pointer $view $x $y] px py
  set label [App::slice::get_object $axis $current(cut_$axis) \
      [App::slice::flip_x $view $px] [App::slice::flip_y $view $py]]
  App::object::select view_3 $label
}

# The label at (x, y) of the shell's label slice n along the axis.
proc App::slice::get_object {axis n x y} {
  global current last options
  set h [Shell::get_handle $current(shell)]
  set img [GetShell[string toupper $axis]Slice $h $n]
  if {$img == 0} {return 0}
  if {![c_IsBodyShell $h]} {
    set filled [FillSlice $img]
    c_FreeGrayImage $img
    set img $filled
  }
  set label [c_GetLabel $img $x $y]
  c_FreeGrayImage $img
  return $label
}

# Lays the classification preview over the slice, in the classify layout
# with a preview flag on.
proc App::slice::preview {axis} {
  global current last options
  if {$current(window) ne "classify" || $current(shell) eq ""} return
  if {!$current(preview,den) && !$current(preview,grad)} return
  if {![Shell::is_body $current(shell)]} return
  set den 0
  set grad 0
  if {$current(preview,den) && $current(den) ne ""} {
    set den [c_List2Curve [DGraph::get_opacity $current(den)]]
  }
  if {$current(preview,grad) && $current(grad) ne ""} {
    set grad [c_List2Curve [GGraph::get_opacity $current(grad)]]
  }
  set photo img_$axis
  set h [Shell::get_handle $current(shell)]
  set status [catch {
    set img [c_Preview[string toupper $axis]Slice $h [Image::get_handle $photo] \
        $current(cut_$axis) $den $grad]
    Image::overlay $photo $img
    c_FreeImage $img
  } message]
  if {$den != 0} { c_FreeCurve $den }
  if {$grad != 0} { c_FreeCurve $grad }
  if {$status} {error $message}
}

# Applies the window/level sliders to the grey-level curve.
proc App::slice::adjust {} {
  global current last options
  if {$current(graph) ne "" && [App::slice::HasEditor $current(graph)]} {
    Graph::set_windowlevel $current(graph)
  }
}

# Training strokes: a left press starts one, a drag adds voxels to it.
proc App::slice::set_point {axis x y} {
  global current last options
  switch -- $current(training) {
    den { lappend current(dpoints) {} }
    grad { lappend current(gpoints) {} }
  }
}

proc App::slice::set_points {axis x y} {
  global current last options
  if {$current(shell) eq ""} return
  if {$current(training) eq "none"} {
    App::message "Select the intensity or gradient pencil to draw points and preview the classification"
    return
  }
  set list [expr {$current(training) eq "den" ? "dpoints" : "gpoints"}]
  set point [App::slice::Voxel $axis $x $y]
  set strokes $current($list)
  if {[llength $strokes] == 0} { lappend strokes {} }
  set n [expr {[llength $strokes] - 1}]
  lset strokes $n [linsert [lindex $strokes $n] end $point]
  set current($list) $strokes
  set c [View::get_path view_$axis]
  set r [expr {[View::factor view_$axis] + 1}]
  set cx [$c canvasx $x]
  set cy [$c canvasy $y]
  App::slice::Dot $c $cx $cy $r $current(training) $n
}

proc App::slice::Dot {c cx cy r kind n} {
  global current last options
  set colour [expr {$kind eq "den" ? $options(color_d) : $options(color_g)}]
  set tag [expr {$kind eq "den" ? "dseg$n" : "gseg$n"}]
  set item [$c create oval [expr {$cx - $r}] [expr {$cy - $r}] [expr {$cx + $r}] \
      [expr {$cy + $r}] -fill $colour -outline {} -tags [list class_points $tag]]
  $c bind $item <Enter> [list App::slice::HighlightDot $c $item]
  $c bind $item <Leave> [list $c itemconfigure $item -fill $colour]
  $c bind $item <ButtonPress-1> [list App::slice::unset_points $kind $n]
  return $item
}

proc App::slice::HighlightDot {c item} {
  $c itemconfigure $item -fill white
  App::message "Use the left mouse button to delete the highlighted points" delay 10000
}

# A click on a dot: its stroke is emptied (its place stays), the curves are
# trained again and the views redrawn.
proc App::slice::unset_points {kind n} {
  global current last options
  set list [expr {$kind eq "den" ? "dpoints" : "gpoints"}]
  if {$n < [llength $current($list)]} {
    lset current($list) $n {}
  }
  foreach d {x y z} {
    set c [View::get_path view_$d]
    if {$c ne "-1" && [winfo exists $c]} {
      $c delete [expr {$kind eq "den" ? "dseg$n" : "gseg$n"}]
    }
  }
  App::training
  App::slice::update all
}

# Redraws the training dots that lie on the shown slice.
proc App::slice::draw_points {axis} {
  global current last options
  variable across
  variable up
  if {$current(window) ne "classify"} return
  set view view_$axis
  set c [View::get_path $view]
  if {$c eq "-1" || ![winfo exists $c]} return
  $c delete class_points
  set zf [View::factor $view]
  set r [expr {$zf + 1}]
  set index [dict get {x 0 y 1 z 2} $axis]
  set hi [dict get {x 0 y 1 z 2} [dict get $across $axis]]
  set vi [dict get {x 0 y 1 z 2} [dict get $up $axis]]
  foreach {kind list} {den dpoints grad gpoints} {
    if {![info exists current($list)]} continue
    set n 0
    foreach stroke $current($list) {
      foreach point $stroke {
        if {[lindex $point $index] != $current(cut_$axis)} continue
        set cx [expr {round([App::slice::flip_x $view [lindex $point $hi]] * $zf)}]
        set cy [expr {round([App::slice::flip_y $view [lindex $point $vi]] * $zf)}]
        App::slice::Dot $c $cx $cy $r $kind $n
      }
      incr n
    }
  }
}
