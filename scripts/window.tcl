# The three window layouts, their refresh and update, and the mouse
# bindings of each.

proc App::window::slice {} {
  App::window::Build slice {
    form1 {pane1 pane2} left  pane1 {pane_3 pane_x} top  pane2 {pane_y pane_z} top
  } {3d pane_3 xslices pane_x yslices pane_y zslices pane_z}
}

proc App::window::classify {} {
  App::window::Build classify {
    form1 {pane1 pane2} left  pane1 {pane_c pane_x} top  pane_c {pane_d pane_g} left
    pane2 {pane_y pane_z} top
  } {density pane_d gradient pane_g xslices pane_x yslices pane_y zslices pane_z}
}

# A paned layout: the panes as {base names side ...}, then each frame shown
# in its pane, then the window updated.
proc App::window::Build {layout panes frames} {
  global current last options
  set current(window) $layout
  Form::rem_panes form1
  foreach {base names side} $panes {
    Form::add_pane $base $names $side
  }
  foreach {frame pane} $frames {
    Frame::show $frame in [Form::get_path $pane]
  }
  App::window::update
}

proc App::window::sequence {} {
  global current last options
  set current(window) sequence
  Form::rem_panes form1
  Frame::show sequence in [Form::get_path form1]
}

proc App::window::refresh {} {
  global current last options
  switch -- $current(window) {
    slice {
      App::slice::refresh all
      App::clip::reset
      App::render::refresh view_3
      App::window::bindings
      if {$current(scn) ne "" && $current(shell) eq ""} {
        Form::show_toolbar form1 tb2
      } else {
        Form::hide_toolbar form1 tb2
      }
    }
    classify {
      Frame::refresh density
      Frame::refresh gradient
      App::slice::refresh all
      App::clip::reset
      App::window::bindings
    }
    sequence {
      if {$App::prgind == 0} {
        Frame::refresh sequence
      }
    }
  }
}

proc App::window::update {} {
  global current last options
  switch -- $current(window) {
    slice - classify {
      App::slice::update all
      if {$current(window) eq "slice"} {
        App::render::update view_3
      }
      App::combo::update obj
      App::window::bindings
    }
  }
}

# Canvas item bindings on the image item of each view, so that they act
# only over the image.
proc App::window::bindings {} {
  global current last options
  set layout $current(window)
  if {$layout eq "slice"} {
    App::window::Bind view_3 img_3 {
      <ButtonPress-1> {App::render::down view_3 %x %y}
      <Double-Button-1> {App::object::hide view_3 %x %y}
      <ButtonPress-3> {App::render::mark view_3 %x %y; App::render::start view_3}
      <B3-Motion> {App::render::rotation view_3 %x %y}
      <ButtonRelease-3> {App::render::finish view_3}
      <ButtonPress-2> {App::render::mark view_3 %x %y}
      <B2-Motion> {App::plane::rotation view_3 %x %y}
      <Motion> {App::object::over view_3 %x %y}
      <Enter> {App::message "Use mouse left mouse button to select object and hold right mouse button to rotate the object"}
    }
  }
  foreach d {x y z} {
    set common [list \
        <ButtonPress-3> [list App::slice::cut $d %x %y] \
        <Motion> [list App::slice::value $d %x %y]]
    switch -- $layout {
      slice {
        App::window::Bind view_$d img_$d [list {*}$common \
            <ButtonPress-1> [list App::slice::select_object view_$d $d %x %y] \
            <B1-Motion> {} <ButtonRelease-1> {} \
            <Enter> {App::message "Use mouse left mouse button to select object and right mouse button to cut slice"}]
      }
      classify {
        App::window::Bind view_$d img_$d [list {*}$common \
            <ButtonPress-1> [list App::slice::set_point $d %x %y] \
            <B1-Motion> [list App::slice::set_points $d %x %y] \
            <ButtonRelease-1> {App::training; App::slice::update all} \
            <Enter> {App::message "Use mouse left mouse button to draw points and right mouse button to cut slice"}]
      }
    }
  }
  App::combo::bindings
}

proc App::window::Bind {view tag events} {
  set c [View::get_path $view]
  if {$c eq "-1" || ![winfo exists $c]} return
  foreach {event script} $events {
    $c bind $tag $event $script
  }
}
