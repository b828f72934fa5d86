# Curve editors: a piecewise-linear curve drawn over a histogram on a small
# canvas, whose points the user drags, adds and removes with the mouse.
#
# Three namespaces share one implementation, the procedures of CurveEditor,
# which take the editor namespace as their first argument: Graph (grey-level
# curves and their window/level), DGraph (density opacity) and GGraph
# (gradient opacity). Each editor namespace keeps, per editor name, the
# arrays points, hpoints, path, w, h, xo, yo, xm, ym, file, color and
# selcolor (Graph also window and level); its procedures (Graph::new,
# DGraph::show ...) are aliases of the shared ones with the namespace bound.
#
# Curve points are x in data units and y in graph units (0 to ym, 255 for an
# opacity of 1.0). Canvas positions come from the stored values through Tcl's
# own expr arithmetic, so integer values map with integer (floor) division.

namespace eval CurveEditor {
  # Per editor namespace, a dict of its creation values and drawing rules:
  #   file points w h  creation values
  #   ylabel           raw (the y values) or opacity (y as a fraction, "%1.2f")
  #   closing          top or bottom: where the area after the last point ends
  #   ends             the y values put before and after the curve by
  #                    get_fullcurve: a number or the name of an editor field
  #   windowlevel      1 when the editor derives a window and level
  #   filetype         the kind of curve file its read dialog offers
  variable kinds
  variable font {Helvetica 5}
}

# Sets up the editor namespace ns with its margins and the aliases
# ${ns}::<op> for each shared procedure named in ops.
proc CurveEditor::define {ns kind ops} {
  global current last options
  variable kinds
  set kinds($ns) $kind
  namespace eval $ns {
    variable padx 30
    variable pady 10
  }
  foreach op $ops {
    interp alias {} ${ns}::$op {} ::CurveEditor::$op $ns
  }
}

proc CurveEditor::Kind {ns key} {
  global current last options
  variable kinds
  return [dict get $kinds($ns) $key]
}

proc CurveEditor::Fields {ns} {
  global current last options
  set fields {points hpoints path w h xo yo xm ym file color selcolor}
  if {[Kind $ns windowlevel]} {lappend fields window level}
  return $fields
}

# ---------------------------------------------------------------- life cycle

proc CurveEditor::new {ns name} {
  global current last options
  foreach field [Fields $ns] {namespace upvar $ns $field $field}
  set points($name) [Kind $ns points]
  set hpoints($name) {}
  set path($name) -1
  set w($name) [Kind $ns w]
  set h($name) [Kind $ns h]
  set xo($name) 0
  set yo($name) 0
  set xm($name) 255
  set ym($name) 255
  set file($name) [Kind $ns file]
  set color($name) SkyBlue2
  set selcolor($name) green
  if {[Kind $ns windowlevel]} {update_windowlevel $ns $name}
}

# Removes every entry of the editor, and its canvas when one is shown.
proc CurveEditor::destroy {ns name} {
  global current last options
  namespace upvar $ns path path
  if {[info exists path($name)] && $path($name) ne "-1" && [winfo exists $path($name)]} {
    ::destroy [winfo parent $path($name)]
  }
  foreach field [Fields $ns] {
    unset -nocomplain ${ns}::${field}($name)
  }
}

# The window name of an editor inside a parent: the editor's own name when it
# is a plain word that Tk accepts (no dot, no capital first letter), else one
# spelt from its bytes, so that every name has one window name.
proc CurveEditor::WidgetName {name} {
  global current last options
  if {[regexp {^[a-z0-9_][A-Za-z0-9_-]*$} $name]} {return $name}
  return editor_[binary encode hex [encoding convertto utf-8 $name]]
}

# Creates a ScrolledWindow <parent>.<name> holding a w x h canvas, binds the
# mouse editing to the canvas's items and draws. Returns the canvas.
proc CurveEditor::show {ns name in parent} {
  global current last options
  namespace upvar $ns path path w w h h
  set sw [expr {$parent eq "." ? "" : $parent}].[WidgetName $name]
  ::destroy $sw
  ScrolledWindow $sw -auto both
  set c [canvas $sw.c -width $w($name) -height $h($name)]
  $sw setwidget $c
  pack $sw -fill both -expand yes
  foreach tag {line point} {
    $c bind $tag <Enter> [list ::CurveEditor::Highlight $ns $name %W selcolor]
    $c bind $tag <Leave> [list ::CurveEditor::Highlight $ns $name %W color]
  }
  $c bind line <Button-3> [list ::CurveEditor::Insert $ns $name %W %x %y]
  $c bind point <Button-3> [list ::CurveEditor::Remove $ns $name %W]
  $c bind point <Button-1> [list ::CurveEditor::Select $ns $name %W]
  $c bind point <B1-Motion> [list ::CurveEditor::Drag $ns $name %W %x %y]
  $c bind point <ButtonRelease-1> [list ::CurveEditor::Release $ns $name %W]
  set path($name) $c
  update $ns $name
  return $c
}

proc CurveEditor::hide {ns name} {
  global current last options
  namespace upvar $ns path path
  set path($name) -1
}

# A size too small for the margins is raised to the smallest one that
# leaves a plot area of one pixel each way.
proc CurveEditor::set_size {ns name width height} {
  global current last options
  namespace upvar $ns w w h h padx padx pady pady
  set w($name) [expr {max(int($width), 2*$padx + 1)}]
  set h($name) [expr {max(int($height), 2*$pady + 1)}]
}

# A maximum that does not exceed its origin becomes the origin + 1, along y
# as along x, so that the axes never have a zero length.
proc CurveEditor::set_max {ns name x y} {
  global current last options
  namespace upvar $ns xo xo yo yo xm xm ym ym
  set xm($name) [expr {$x <= $xo($name) ? $xo($name) + 1 : $x}]
  set ym($name) [expr {$y <= $yo($name) ? $yo($name) + 1 : $y}]
}

# --------------------------------------------------------------- the curves

# Bars from a Curve handle, scaled so that its largest count reaches ym.
proc CurveEditor::set_histogram {ns name curve} {
  global current last options
  namespace upvar $ns hpoints hpoints ym ym
  set max [CurveMaximum $curve]
  set bars {}
  if {$max != 0} {
    foreach {x y} [c_Curve2List $curve] {
      lappend bars [expr {round($x)}] [expr {round($y*$ym($name)/$max)}]
    }
  }
  set hpoints($name) $bars
}

proc CurveEditor::set_curve {ns name list} {
  global current last options
  namespace upvar $ns points points
  set rounded {}
  foreach value $list {lappend rounded [expr {round($value)}]}
  set points($name) $rounded
  update $ns $name
}

proc CurveEditor::get_curve {ns name} {
  global current last options
  namespace upvar $ns points points
  return $points($name)
}

# Opacities (0 to 1) in and out of graph units.
proc CurveEditor::set_opacity {ns name list} {
  global current last options
  set scaled {}
  foreach {x y} $list {lappend scaled $x [expr {$y*255}]}
  set_curve $ns $name $scaled
}

proc CurveEditor::get_opacity {ns name} {
  global current last options
  set opacity {}
  foreach {x y} [get_fullcurve $ns $name] {lappend opacity $x [expr {$y/255.0}]}
  return $opacity
}

# The curve with a point put at xo in front and one at xm behind it, where
# it does not reach them already.
proc CurveEditor::get_fullcurve {ns name} {
  global current last options
  namespace upvar $ns points points xo xo xm xm
  lassign [Kind $ns ends] front back
  set curve $points($name)
  if {[lindex $curve 0] != $xo($name)} {
    set curve [linsert $curve 0 $xo($name) [EndValue $ns $name $front]]
  }
  if {[lindex $curve end-1] != $xm($name)} {
    lappend curve $xm($name) [EndValue $ns $name $back]
  }
  return $curve
}

proc CurveEditor::EndValue {ns name value} {
  global current last options
  if {[string is double -strict $value]} {return $value}
  namespace upvar $ns $value field
  return $field($name)
}

# ------------------------------------------------------------ window/level

# Window and level from the x values of the first two points.
proc CurveEditor::update_windowlevel {ns name} {
  global current last options
  namespace upvar $ns points points window window level level
  lassign $points($name) x1 y1 x2 y2
  set window($name) [expr {$x2 - $x1}]
  set level($name) [expr {($x1 + $x2)/2}]
}

# The two-point curve of the window and level, within xo..xm, keeping the y
# values of the first two points.
proc CurveEditor::set_windowlevel {ns name} {
  global current last options
  namespace upvar $ns points points window window level level xo xo xm xm
  lassign $points($name) -> y1 -> y2
  set x1 [expr {$level($name) - $window($name)/2}]
  set x2 [expr {$level($name) + $window($name)/2}]
  if {$x1 < $xo($name)} {set x1 $xo($name)}
  if {$x2 > $xm($name)} {set x2 $xm($name)}
  set points($name) [list $x1 $y1 $x2 $y2]
  update $ns $name
}

# Writes the curve onto itself, which wakes whatever traces it.
proc CurveEditor::refresh {ns name} {
  global current last options
  namespace upvar $ns points points
  set points($name) $points($name)
}

# ------------------------------------------------------------- curve files

# Reads a curve file (or one chosen in a dialog for ".") into an editor named
# after the file, created anew. The first token is the count; every following
# pair x y is a point (x, round(y*ym)), a last lone value is left unread.
# A file that is not a curve fails with a message and changes nothing.
proc CurveEditor::read_curve {ns file} {
  global current last options
  if {$file eq "."} {
    set file [tk_getOpenFile -initialdir [pwd] \
        -filetypes [list {"All Files" *} [Kind $ns filetype]]]
    if {$file eq ""} return
  }
  if {[catch {open $file r} f]} {
    error "Cannot open curve file $file: $f"
  }
  set text [read $f]
  close $f
  set tokens [regexp -all -inline {\S+} $text]
  set count [lindex $tokens 0]
  if {![string is integer -strict $count] || $count < 0} {
    error "Not a curve file: $file has no point count"
  }
  set values [lrange $tokens 1 end]
  set available [expr {[llength $values]/2}]
  if {$count > $available} {
    error "Not a curve file: $file counts $count points but holds $available"
  }
  if {$available == 0} {
    error "Not a curve file: $file holds no points"
  }
  set points {}
  foreach {x y} [lrange $values 0 [expr {2*$available - 1}]] {
    foreach value [list $x $y] {
      if {![string is double -strict $value]} {
        error "Not a curve file: \"$value\" in $file is not a number"
      }
    }
    lappend points $x $y
  }
  set name [file rootname [file tail $file]]
  new $ns $name
  namespace upvar $ns ym ym
  set curve {}
  foreach {x y} $points {lappend curve $x [expr {round($y*$ym($name))}]}
  namespace upvar $ns points stored
  set stored($name) $curve
  return $name
}

# Writes the curve to file (or to one chosen in a save dialog): the count,
# then "%f %1.2f" of x and the opacity per point. The text goes to a fresh
# file beside the target that is renamed over it, so a failed write leaves
# an earlier file whole. Returns the file written, empty when cancelled.
proc CurveEditor::write_curve {ns name as {file ""}} {
  global current last options
  namespace upvar $ns points points file editorFile
  if {$file eq ""} {
    set file [tk_getSaveFile -initialdir [pwd] -initialfile $editorFile($name) \
        -filetypes {{"All Files" *} {"DEN Files" .den} {"GRAD Files" .grad}}]
    if {$file eq ""} return
  }
  set text "[expr {[llength $points($name)]/2}]\n"
  foreach {x y} $points($name) {
    append text [format "%f %1.2f\n" $x [Opacity $ns $name $y]]
  }
  set temp $file.tmp[pid]
  set created 0
  if {[catch {
    if {[file isdirectory $file]} {error "is a directory"}
    set f [open $temp {WRONLY CREAT EXCL}]
    set created 1
    try {
      puts -nonewline $f $text
    } finally {
      close $f
    }
    file rename -force $temp $file
  } message]} {
    if {$created} {file delete $temp}
    error "Cannot write curve file $file: $message"
  }
  set editorFile($name) $file
  return $file
}

# ----------------------------------------------------------------- drawing

# The plot area {x1 x2 y1 y2}: left, right, bottom and top canvas positions.
proc CurveEditor::Area {ns name} {
  global current last options
  namespace upvar $ns w w h h padx padx pady pady
  return [list $padx [expr {$w($name) - $padx}] [expr {$h($name) - $pady}] $pady]
}

# The data range and canvas range of axis x or y: {origin maximum low high},
# where low and high are the canvas positions of origin and maximum.
proc CurveEditor::Axis {ns name axis} {
  global current last options
  namespace upvar $ns ${axis}o o ${axis}m m
  lassign [Area $ns $name] x1 x2 y1 y2
  if {$axis eq "x"} {return [list $o($name) $m($name) $x1 $x2]}
  return [list $o($name) $m($name) $y1 $y2]
}

# Canvas positions of data values along an axis, by expr's own rules (whole
# values map with integer, flooring, division). One call maps a whole list.
proc CurveEditor::ToCanvas {ns name axis values} {
  global current last options
  lassign [Axis $ns $name $axis] o m low high
  return [lmap v $values {expr {round($low + ($v - $o)*($high - $low)/($m - $o))}}]
}

# Data value of a canvas position along an axis (canvas positions are reals).
proc CurveEditor::ToData {ns name axis c} {
  global current last options
  lassign [Axis $ns $name $axis] o m low high
  return [expr {round($o + (double($c) - $low)/($high - $low)*($m - $o))}]
}

# The opacity of a y value in graph units: its fraction of the y axis.
proc CurveEditor::Opacity {ns name y} {
  global current last options
  namespace upvar $ns yo yo ym ym
  return [expr {double($y - $yo($name))/($ym($name) - $yo($name))}]
}

# The text of a y value: the value itself, or the opacity with two decimals.
proc CurveEditor::YLabel {ns name y} {
  global current last options
  if {[Kind $ns ylabel] eq "raw"} {return $y}
  return [format %1.2f [Opacity $ns $name $y]]
}

proc CurveEditor::CoordLabel {ns name x y} {
  global current last options
  if {[Kind $ns ylabel] eq "raw"} {return [format (%d,%d) $x $y]}
  return [format (%d,%s) $x [YLabel $ns $name $y]]
}

# The tick and label items of a point at canvas (cx, cy) showing (x, y):
# kind, coordinates and text for each of ticx, textx, ticy, texty.
proc CurveEditor::TickPlaces {ns name cx cy x y} {
  global current last options
  lassign [Area $ns $name] x1 x2 y1 y2
  return [list \
      ticx [list $cx $y1 $cx [expr {$y1 - 5}]] {} \
      textx [list $cx [expr {$y1 + 7}]] $x \
      ticy [list $x1 $cy [expr {$x1 + 5}] $cy] {} \
      texty [list [expr {$x1 - 10}] $cy] [YLabel $ns $name $y]]
}

# Redraws a shown editor: axes, histogram bars, then the curve as one filled
# polygon per segment (line<i> ends at point<i>; line<n> closes the area
# after the last point) and one circle per point.
proc CurveEditor::update {ns name} {
  global current last options
  variable font
  namespace upvar $ns path path points points hpoints hpoints \
      xo xo yo yo xm xm ym ym h h color color
  set c $path($name)
  if {$c eq "-1" || ![winfo exists $c]} return
  $c delete all
  lassign [Area $ns $name] x1 x2 y1 y2
  $c configure -scrollregion [list 0 0 [expr {$x2 + $xo($name)}] [expr {$y2 + $h($name)}]]
  $c create line $x1 $y1 $x2 $y1 -width 1 -tags axis
  $c create line $x1 $y1 $x1 $y2 -width 1 -tags axis
  $c create text $x1 [expr {$y1 + 7}] -text $xo($name) -anchor n -font $font -tags axis
  $c create text $x2 [expr {$y1 + 7}] -text $xm($name) -anchor n -font $font -tags axis
  $c create text [expr {$x1 - 10}] $y1 -text [YLabel $ns $name $yo($name)] \
      -anchor e -font $font -tags axis
  $c create text [expr {$x1 - 10}] $y2 -text [YLabel $ns $name $ym($name)] \
      -anchor e -font $font -tags axis
  foreach {x y} $points($name) {
    set cx [ToCanvas $ns $name x $x]
    foreach {kind coords text} [TickPlaces $ns $name $cx [ToCanvas $ns $name y $y] $x $y] {
      if {[string match tic* $kind]} {
        $c create line {*}$coords -tags [list ${kind}_$cx]
      } else {
        $c create text {*}$coords -text $text -font $font \
            -anchor [expr {$kind eq "textx" ? "n" : "e"}] -tags [list ${kind}_$cx]
      }
    }
  }
  $c create text [expr {($x1 + $x2)/2}] [expr {$h($name) + 10}] -text $name \
      -font $font -tags name

  # Bars that fall on one pixel column are drawn as one line, the tallest:
  # the same picture with far fewer items for a drag to redraw.
  set tops [dict create]
  foreach cx [ToCanvas $ns $name x [lmap {x y} $hpoints($name) {set x}]] \
      cy [ToCanvas $ns $name y [lmap {x y} $hpoints($name) {set y}]] {
    if {![dict exists $tops $cx] || $cy < [dict get $tops $cx]} {dict set tops $cx $cy}
  }
  set bottom [expr {$y1 - 1}]
  dict for {cx cy} $tops {
    $c create line $cx $bottom $cx $cy -fill black -tags bar
  }

  set px [ToCanvas $ns $name x $xo($name)]
  set py [ToCanvas $ns $name y $yo($name)]
  set i 0
  foreach {x y} $points($name) {
    set cx [ToCanvas $ns $name x $x]
    set cy [ToCanvas $ns $name y $y]
    Segment $ns $name $c $i $px $py $cx $cy $y1
    $c create oval [expr {$cx - 6}] [expr {$cy - 6}] [expr {$cx + 6}] [expr {$cy + 6}] \
        -outline black -fill $color($name) -tags [list point point$i]
    set px $cx
    set py $cy
    incr i
  }
  set endy [expr {[Kind $ns closing] eq "top" ? $y2 : $y1}]
  Segment $ns $name $c $i $px $py [expr {$x2 + 1}] $endy $y1
  $c raise point
}

proc CurveEditor::Segment {ns name c i px py cx cy y1} {
  global current last options
  namespace upvar $ns color color
  $c create polygon $px $y1 $px $py $cx $cy $cx $y1 -fill $color($name) \
      -outline black -stipple gray25 -tags [list line line$i]
}

# ----------------------------------------------------------------- editing

# The number in the tag <prefix><n> of a canvas item.
proc CurveEditor::ItemIndex {c item prefix} {
  global current last options
  foreach tag [$c gettags $item] {
    if {[regexp "^$prefix\(\\d+\)\$" $tag -> i]} {return $i}
  }
  return -1
}

proc CurveEditor::Highlight {ns name c which} {
  global current last options
  namespace upvar $ns $which fill
  $c itemconfigure current -fill $fill($name)
}

# Inserts a point at the pointer before point i of the polygon line<i> that
# was clicked. Refused when the segment is narrower than 2 pixels, or when
# no whole data value lies strictly between its ends.
proc CurveEditor::Insert {ns name c wx wy} {
  global current last options
  namespace upvar $ns points points
  set i [ItemIndex $c current line]
  if {$i < 0} return
  lassign [$c coords current] left -> -> -> right
  if {$right - $left < 2} return
  lassign [Area $ns $name] x1 x2 y1 y2
  set cx [Clamp [$c canvasx $wx] [expr {$left + 1}] [expr {$right - 1}]]
  set cy [Clamp [$c canvasy $wy] $y2 $y1]
  lassign [FreeRange $ns $name [expr {$i - 1}] $i] low high
  if {$low > $high} return
  set x [Clamp [ToData $ns $name x $cx] $low $high]
  set_curve $ns $name [linsert $points($name) [expr {2*$i}] $x [ToData $ns $name y $cy]]
  Edited $ns $name
}

# Removes the clicked point, unless it is the only one.
proc CurveEditor::Remove {ns name c} {
  global current last options
  namespace upvar $ns points points
  set i [ItemIndex $c current point]
  if {$i < 0 || [llength $points($name)] <= 2} return
  set_curve $ns $name [lreplace $points($name) [expr {2*$i}] [expr {2*$i + 1}]]
  Edited $ns $name
}

proc CurveEditor::Edited {ns name} {
  global current last options
  if {[Kind $ns windowlevel]} {update_windowlevel $ns $name}
}

# The x values {low high} strictly between points prev and next of the curve,
# from xo or up to xm where there is no such point.
proc CurveEditor::FreeRange {ns name prev next} {
  global current last options
  namespace upvar $ns points points xo xo xm xm
  set curve $points($name)
  set low [expr {$prev >= 0 ? [lindex $curve [expr {2*$prev}]] + 1 : $xo($name)}]
  set high [expr {2*$next < [llength $curve] ? [lindex $curve [expr {2*$next}]] - 1 : $xm($name)}]
  return [list $low $high]
}

proc CurveEditor::Clamp {value low high} {
  global current last options
  return [expr {$value < $low ? $low : $value > $high ? $high : $value}]
}

# Left press on a point: marks it (sel), the segment ending at it (sel_in),
# the one starting at it (sel_out), its ticks and labels (sel_<kind>), and
# puts an empty coordinate label (coord) beside it.
proc CurveEditor::Select {ns name c} {
  global current last options
  variable font
  set i [ItemIndex $c current point]
  if {$i < 0} return
  foreach tag {sel sel_in sel_out sel_ticx sel_textx sel_ticy sel_texty} {$c dtag $tag}
  $c delete coord
  $c addtag sel withtag point$i
  $c addtag sel_in withtag line$i
  $c addtag sel_out withtag line[expr {$i + 1}]
  lassign [$c coords sel] left top
  set cx [expr {round($left + 6)}]
  foreach kind {ticx textx ticy texty} {
    $c addtag sel_$kind withtag ${kind}_$cx
  }
  $c create text [expr {$cx + 10}] [expr {$top + 6}] -text "" -anchor w \
      -font $font -tags coord
}

# Left drag: moves the selected point, keeping it at least one pixel inside
# its neighbours' canvas x and within the plot area, and moves only the
# items that show it: its circle, its two segments, ticks and labels.
proc CurveEditor::Drag {ns name c wx wy} {
  global current last options
  namespace upvar $ns selcolor selcolor
  if {[$c find withtag sel] eq ""} return
  set i [ItemIndex $c sel point]
  lassign [Area $ns $name] x1 x2 y1 y2
  set in [$c coords sel_in]
  set out [$c coords sel_out]
  lassign [$c coords sel] left top
  set low [expr {$i == 0 ? $x1 : max($x1, round([lindex $in 0]) + 1)}]
  set high [expr {min($x2, round([lindex $out 4]) - 1)}]
  set cx [expr {$low <= $high ? [Clamp [expr {round([$c canvasx $wx])}] $low $high]
                              : round($left + 6)}]
  set cy [Clamp [expr {round([$c canvasy $wy])}] $y2 $y1]
  $c coords sel [expr {$cx - 6}] [expr {$cy - 6}] [expr {$cx + 6}] [expr {$cy + 6}]
  $c coords sel_in {*}[lrange $in 0 3] $cx $cy $cx $y1
  $c coords sel_out $cx $y1 $cx $cy {*}[lrange $out 4 7]
  set x [ToData $ns $name x $cx]
  set y [ToData $ns $name y $cy]
  foreach {kind coords text} [TickPlaces $ns $name $cx $cy $x $y] {
    $c coords sel_$kind {*}$coords
    if {$text ne ""} {$c itemconfigure sel_$kind -text $text}
  }
  $c coords coord [expr {$cx + 10}] $cy
  $c itemconfigure coord -text [CoordLabel $ns $name $x $y]
  foreach tag {sel sel_in sel_out} {$c itemconfigure $tag -fill $selcolor($name)}
}

# Left release: restores the colours, re-tags the ticks and labels with the
# point's new canvas x, drops the marks and the coordinate label, and stores
# the moved point in data units. The other points keep their stored values,
# and the moved x stays strictly between its neighbours' x.
proc CurveEditor::Release {ns name c} {
  global current last options
  namespace upvar $ns points points color color
  if {[$c find withtag sel] eq ""} return
  set i [ItemIndex $c sel point]
  foreach tag {sel sel_in sel_out} {$c itemconfigure $tag -fill $color($name)}
  lassign [$c coords sel] left top right bottom
  set cx [expr {round(($left + $right)/2)}]
  foreach kind {ticx textx ticy texty} {
    foreach item [$c find withtag sel_$kind] {
      foreach tag [$c gettags $item] {
        if {[string match ${kind}_* $tag]} {$c dtag $item $tag}
      }
      $c addtag ${kind}_$cx withtag $item
    }
    $c dtag sel_$kind
  }
  foreach tag {sel sel_in sel_out} {$c dtag $tag}
  $c delete coord

  # A coordinate whose pixel did not change keeps its stored value.
  lassign [lrange $points($name) [expr {2*$i}] [expr {2*$i + 1}]] x y
  lassign [FreeRange $ns $name [expr {$i - 1}] [expr {$i + 1}]] low high
  if {$cx != [ToCanvas $ns $name x $x] && $low <= $high} {
    set x [Clamp [ToData $ns $name x $cx] $low $high]
  }
  set cy [expr {round(($top + $bottom)/2)}]
  if {$cy != [ToCanvas $ns $name y $y]} {set y [ToData $ns $name y $cy]}
  set points($name) [lreplace $points($name) [expr {2*$i}] [expr {2*$i + 1}] $x $y]
  # Drawn afresh when the stored point is not where it was dropped.
  if {$cx != [ToCanvas $ns $name x $x] || $cy != [ToCanvas $ns $name y $y]} {
    update $ns $name
  }
  Edited $ns $name
}

# ------------------------------------------------------------- the editors

CurveEditor::define ::Graph {
  file new_curve.den points {0 0 255 255} w 140 h 100
  ylabel raw closing top windowlevel 1
} {new destroy show hide set_size set_max set_histogram set_curve get_curve
   update set_windowlevel update_windowlevel refresh}
