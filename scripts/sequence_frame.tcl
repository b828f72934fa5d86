# Every slice of the current shell along one direction, as a grid of
# thumbnails.
proc Frame::draw {parent} {
  global current last options
  lassign [Frame::titled $parent "Slices - sequence"] inner row
  set d [App::slice::SequenceAxis]
  set zoom_in [list App::zoom in view_$d]
  set zoom_out [list App::zoom out view_$d]
  if {$d eq "z"} {
    set wl [App::with_button sequence 2 App::dlg::windowlevel_sequence view_$d $d]
  } else {
    set wl [App::with_button sequence 2 App::dlg::windowlevel view_$d]
  }
  Form::setup_buttonbox sequence [list \
      [list zoom_in.gif "$zoom_in; Frame::refresh sequence" "Zoom in"] \
      [list zoom_out.gif "$zoom_out; Frame::refresh sequence" "Zoom out"] \
      [list windowlevel.gif $wl "Adjust image brightness and contrast"]]
  if {$current(shell) eq ""} {
    pack forget $row
    return
  }
  Form::add_bbox sequence $row
  Form::add_cbox sequence $row
  $Form::cbox(sequence) configure -modifycmd {Frame::refresh sequence}

  set c [Frame::view $inner view_$d img_$d]
  set keep $current(cut_$d)
  set current(cut_$d) 0
  App::slice::show $d 0 view_$d
  set max [App::slice::max $d]
  set w [image width img_$d]
  set h [image height img_$d]
  set ww [winfo width .]
  set zf [View::factor view_$d]
  set columns [expr {int(($ww / ($w > 0 ? $w : 1)) / $zf) + 1}]

  set App::prgind 0
  ProgressDlg .prgdlg -variable App::prgind -textvariable App::status \
      -maximum [expr {$max > 0 ? $max : 1}] \
      -title "Loading slices in $current(seq) view" -stop "Cancel" \
      -command [list App::StopProgress [expr {$max + 1}]]
  set v 0
  while {$App::prgind <= $max && [winfo exists $c]} {
    set i $App::prgind
    set App::status [format "Loading slice %d ..." $i]
    set u [expr {$i % $columns}]
    set v [expr {$i / $columns}]
    set x [expr {$u * $w * $zf}]
    set y [expr {$v * $h * $zf}]
    catch {image delete seq$i}
    image create photo seq$i -palette 255/255/255
    App::slice::show $d $i view_$d
    View::CopyWhole view_$d seq$i
    $c create image $x $y -anchor nw -image seq$i -tags seqimg
    $c create rectangle $x $y [expr {$x + $w * $zf}] [expr {$y + $h * $zf}] \
        -outline gray -width 1 -tags seqimg
    incr App::prgind
    update
  }
  catch {destroy .prgdlg}
  set App::prgind 0
  set App::status {}
  if {![winfo exists $c]} {
    set current(cut_$d) $keep
    return
  }
  $c delete img_$d
  $c configure -scrollregion [list 0 0 [expr {$columns * $w * $zf}] [expr {($v + 1) * $h * $zf}]]
  set current(cut_$d) $keep
}
