# Rendering the current shell into the 3D view, and turning it.

proc App::render::update {view} {
  global current last options
  App::render::CancelPending $view
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
  # The rendering goes to the photo once, already through the 3D window/level.
  Image::update $photo [App::render::Adjusted $view [Shell::render $name]]
  View::update $view
  set current(tilt) [Shell::get_tilt $name]
  set current(spin) [Shell::get_spin $name]
  App::render::movie $photo
}

# Renders the view when the events already waiting have been handled: the
# motion events of a drag that arrive while a frame is drawn are merged into
# the next frame, so the view never lags behind the pointer.
proc App::render::later {view} {
  variable pending
  if {![info exists pending($view)]} {
    set pending($view) [after idle [list App::render::update $view]]
  }
}

proc App::render::CancelPending {view} {
  variable pending
  if {[info exists pending($view)]} {
    after cancel $pending($view)
    unset pending($view)
  }
}

# Writes the shown rendering as the next movie frame while recording. A
# frame that would replace one of an earlier recording (the shell changed
# during the recording) asks first, as the start of a recording does; a
# frame that cannot be written stops the recording.
proc App::render::movie {photo} {
  global current last options
  variable frames
  variable times
  if {!$options(movie) || $current(shell) eq ""} return
  set file [App::render::FrameFile]
  if {[file exists $file] && $file ni $frames} {
    if {![App::render::MakeWay]} {
      App::switch movie
      return
    }
    # Kept frames move the numbering past them.
    set file [App::render::FrameFile]
  }
  if {[catch {WriteCImage [Image::get_handle $photo] $file} message]} {
    App::report "The recording stopped: $message"
    App::switch movie
    return
  }
  lappend frames $file
  lappend times [clock milliseconds]
  incr current(movie_frame)
}

# The file of the next movie frame of the current shell, numbered from 100.
proc App::render::FrameFile {} {
  global current
  return [format "%s_movie.%d" $current(shell) [expr {$current(movie_frame) + 100}]]
}

# The movie button: starting a recording over the frames of an earlier one
# asks first; stopping makes the frames of this recording into one animated
# file. Returns 0 when the recording is not to start.
proc App::render::record {on} {
  variable frames
  variable times
  if {!$on} {
    App::render::SaveMovie
    return 1
  }
  if {![App::render::MakeWay]} { return 0 }
  set frames {}
  set times {}
  return 1
}

# Whether the next frames of the current shell may be written: when files of
# an earlier recording are in their way, the user keeps them and the
# numbering moves on past them, replaces them, or does not record (0).
proc App::render::MakeWay {} {
  global current last options
  set next [expr {$current(movie_frame) + 100}]
  set earlier [App::render::EarlierFrames $current(shell) $next]
  if {![llength $earlier]} { return 1 }
  set used [lindex $earlier end 1]
  set answer [tk_messageBox -parent . -icon question -type yesnocancel -title "Record movie" \
      -message [format "Files of an earlier recording are in the way: %s_movie.%d to %s_movie.%d." \
          $current(shell) $next $current(shell) $used] \
      -detail "Yes keeps them and numbers the new frames after them, No replaces them, Cancel does not record."]
  ::switch -- $answer {
    yes { set current(movie_frame) [expr {$used - 100 + 1}] }
    no {
      foreach entry $earlier { file delete -- [lindex $entry 0] }
    }
    default { return 0 }
  }
  return 1
}

# The files of recordings of `name` that a recording numbering frames from
# `next` would meet: frames numbered `next` or above and the animated files
# made of them, as {file number} pairs ordered by number (the highest used).
proc App::render::EarlierFrames {name next} {
  set found {}
  set prefix ${name}_movie.
  # A working directory that went away holds nothing; writing will say so.
  if {[catch {glob -nocomplain -- *_movie.*} files]} { set files {} }
  foreach file $files {
    if {[string first $prefix $file] != 0} continue
    set tail [string range $file [string length $prefix] end]
    if {[regexp {^([0-9]+)$} $tail -> n] || [regexp {^[0-9]+-([0-9]+)\.gif$} $tail -> n]} {
      scan $n %d n
      if {$n >= $next} { lappend found [list $file $n] }
    }
  }
  return [lsort -integer -index 1 $found]
}

# The frames of the recording just stopped as one looping GIF named after
# their numbers ("<shell>_movie.<first>-<last>.gif"), each frame shown as
# long as it was on screen (between 0.05 and 1 s).
proc App::render::SaveMovie {} {
  variable frames
  variable times
  if {![info exists frames] || ![llength $frames]} return
  set first [lindex $frames 0]
  set last [lindex $frames end]
  set file [format "%s-%s.gif" $first [string range $last [string last . $last]+1 end]]
  set delays {}
  for {set i 1} {$i < [llength $times]} {incr i} {
    set cs [expr {([lindex $times $i] - [lindex $times $i-1]) / 10}]
    lappend delays [expr {min(100, max(5, $cs))}]
  }
  lappend delays [expr {[llength $delays] ? [lindex $delays end] : 10}]
  App::message "Writing the movie $file ..."
  ::update idletasks
  set status [catch {::WriteMovie $frames $delays $file} message]
  set frames {}
  set times {}
  if {$status} {
    App::report $message
  } else {
    App::message "Movie saved as $file" delay 5000
  }
}

# The 3D view's window/level: the rendering stretched by the two points of
# the window_level editor's curve.
proc App::render::adjust {} {
  set photo [View::get_image view_3]
  if {![App::slice::HasEditor window_level] || [Image::get_handle $photo] eq "0"} return
  Image::adjust $photo [lrange [Graph::get_curve window_level] 0 3]
}

# A new rendering of the 3D view through its window/level: the rendering
# itself is freed when a stretched copy replaces it.
proc App::render::Adjusted {view core} {
  if {$view ne "view_3" || ![App::slice::HasEditor window_level]} {
    return $core
  }
  lassign [lrange [Graph::get_curve window_level] 0 3] f1 g1 f2 g2
  set status [catch {
    CLinearStretch $core [expr {int($f1)}] [expr {int($f2)}] [expr {int($g1)}] [expr {int($g2)}]
  } adjusted]
  c_FreeImage $core
  if {$status} {error $adjusted}
  return $adjusted
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
  if {$current(shell) eq "" || $current(motion)} return
  set current(motion) 1
  if {$current(method) eq "3D with scene cut"} {
    set current(method) "Fast 3D with scene cut"
    Shell::set_command $current(shell) $current(method)
  }
}

# One motion event of a drag: the previous position goes to `last`, the
# pointer's to `current`; returns the turn {dx dy} it asks for.
proc App::render::Step {view x y} {
  global current last options
  set last(pos_x) $current(pos_x)
  set last(pos_y) $current(pos_y)
  lassign [App::render::Position $view $x $y] current(pos_x) current(pos_y)
  return [list [expr {$current(pos_y) - $last(pos_y)}] [expr {$last(pos_x) - $current(pos_x)}]]
}

proc App::render::rotation {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  lassign [App::render::Step $view $x $y] dx dy
  if {!$options(shell_lock)} {
    Shell::rotate $current(shell) $dx $dy
  } else {
    Shell::rotate_plane $current(shell) $dx $dy
  }
  App::render::later $view
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
