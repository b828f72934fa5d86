# Rendering the current shell into the 3D view, and turning it.

proc App::render::update {view} {
  global current last options
  set photo [View::get_image $view]
  if {$current(shell) eq ""} {
    Image::blank $photo
    View::update $view
    return
  }
  set name $current(shell)
  if {$current(graph) ne "" && [App::slice::HasEditor $current(graph)]} {
    Shell::set_curve $name [Graph::get_curve $current(graph)]
  }
  Image::update $photo [Shell::render $name]
  App::render::adjust
  View::update $view
  set current(tilt) [Shell::get_tilt $name]
  set current(spin) [Shell::get_spin $name]
  App::render::movie $photo
}

# Writes the shown rendering as the next movie frame while recording.
proc App::render::movie {photo} {
  global current last options
  if {!$options(movie) || $current(shell) eq ""} return
  set file [format "%s_movie.%d" $current(shell) [expr {$current(movie_frame) + 100}]]
  WriteCImage [Image::get_handle $photo] $file
  incr current(movie_frame)
}

# The 3D view's window/level: the rendering stretched by the two points of
# the window_level editor's curve.
proc App::render::adjust {} {
  set photo [View::get_image view_3]
  if {![App::slice::HasEditor window_level] || [Image::get_handle $photo] eq "0"} return
  Image::adjust $photo [lrange [Graph::get_curve window_level] 0 3]
}

proc App::render::refresh {view} {
  View::refresh_image $view
  View::set_image $view [View::get_image $view]
}

proc App::render::rotate {view dx dy} {
  global current last options
  if {$current(shell) eq ""} return
  if {!$options(shell_lock)} {
    Shell::rotate $current(shell) $dx $dy
    set current(tilt) [Shell::get_tilt $current(shell)]
    set current(spin) [Shell::get_spin $current(shell)]
  } else {
    Shell::rotate_plane $current(shell) $dx $dy
  }
  App::render::update $view
}

# Return in an angle entry: both entries become the absolute angles.
proc App::render::angles {view tilt spin} {
  global current last options
  if {$current(shell) eq ""} return
  set angles {}
  foreach entry [list $tilt $spin] {
    set text [string trim [$entry get]]
    lappend angles [expr {[string is double -strict $text] ? double($text) : 0.0}]
  }
  Shell::set_angles $current(shell) {*}$angles
}

# The pointer position of an event in image pixels of the view.
proc App::render::Position {view x y} {
  set c [View::get_path $view]
  set zf [View::factor $view]
  return [list [expr {[$c canvasx $x] / $zf}] [expr {[$c canvasy $y] / $zf}]]
}

# A button press that starts a drag: where it starts.
proc App::render::mark {view x y} {
  global current last options
  lassign [App::render::Position $view $x $y] current(pos_x) current(pos_y)
}

proc App::render::down {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  App::render::mark $view $x $y
  App::object::point $view $x $y
  App::render::start $view
}

proc App::render::start {view} {
  global current last options
  if {$current(motion)} return
  set current(motion) 1
  if {$current(method) eq "3D with scene cut"} {
    set current(method) "Fast 3D with scene cut"
    Shell::set_command $current(shell) $current(method)
  }
}

proc App::render::rotation {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  set last(pos_x) $current(pos_x)
  set last(pos_y) $current(pos_y)
  lassign [App::render::Position $view $x $y] current(pos_x) current(pos_y)
  set dx [expr {$current(pos_y) - $last(pos_y)}]
  set dy [expr {$last(pos_x) - $current(pos_x)}]
  if {!$options(shell_lock)} {
    Shell::rotate $current(shell) $dx $dy
  } else {
    Shell::rotate_plane $current(shell) $dx $dy
  }
  App::render::update $view
}

proc App::render::finish {view} {
  global current last options
  if {$current(shell) eq ""} return
  if {$current(motion)} {
    set current(motion) 0
    if {$current(method) eq "Fast 3D with scene cut"} {
      set current(method) "3D with scene cut"
      Shell::set_command $current(shell) $current(method)
    }
  }
  App::render::update $view
}
