# Frames: the scripts that fill a pane (or a window of their own) with a
# titled box of controls and a view. Each frame script defines Frame::draw,
# which is called with the inner frame it is to fill.
namespace eval Frame {
  variable file
  variable path
}

proc Frame::new {name script} {
  variable file
  variable path
  set file($name) $script
  set path($name) -1
}

# Shows a frame: inside `parent` when given (Frame::show name in parent),
# else in a window of its own.
proc Frame::show {name args} {
  global current last options
  variable file
  variable path
  set n [array size file]
  if {[lindex $args 0] eq "in"} {
    set p [lindex $args 1].sf$n
  } elseif {$path($name) eq "-1"} {
    toplevel .w$n
    set p .w$n.sf
  } else {
    set p $path($name)
  }
  Frame::ShowAt $name $p
}

proc Frame::ShowAt {name p} {
  variable file
  variable path
  catch {destroy $p}
  set path($name) $p
  ScrollableFrame $p -constrainedwidth 1 -constrainedheight 1
  uplevel #0 [list source $file($name)]
  Frame::draw [$p getframe]
  pack $p -fill both -expand yes
}

proc Frame::hide {name} {
  variable path
  if {$path($name) ne "-1"} {
    catch {destroy $path($name)}
  }
}

proc Frame::refresh {name} {
  variable path
  if {$path($name) eq "-1"} return
  set p $path($name)
  if {![winfo exists $p]} return
  Frame::hide $name
  Frame::ShowAt $name $p
}

proc Frame::get_path {name} {
  variable path
  if {$path($name) eq "-1"} {return .}
  return $path($name)
}

# The parts the frame scripts share.

# A titled box filling `parent`; returns its inner frame and the row of
# controls packed at its bottom.
proc Frame::titled {parent title} {
  set tf [TitleFrame $parent.tf -text $title]
  pack $tf -fill both -expand yes
  set inner [$tf getframe]
  set row [frame $inner.row]
  pack $row -side bottom -fill x
  return [list $inner $row]
}

proc Frame::separator {row name} {
  pack [Separator $row.$name -orient vertical] -side left -fill y -padx 4
}

# An arrow button whose action repeats while it is held.
proc Frame::arrow {row name dir command} {
  ArrowButton $row.$name -dir $dir -arrowrelief sunken -clean 0 \
      -repeatdelay 300 -repeatinterval 1 -armcommand $command -width 18 -height 18
  pack $row.$name -side left
}

# A view with its photo on a black background, filling `inner`.
proc Frame::view {inner view photo} {
  if {$photo ni [image names] || [Image::get_handle $photo] eq "0"} {
    Image::new $photo
  }
  View::set_image $view $photo
  set c [View::add_view $inner $view]
  $c configure -background black
  return $c
}

# The frame of the slices along one axis.
proc Frame::slices {parent axis} {
  global current last options
  lassign [Frame::titled $parent "Slices - $axis axis"] inner row
  Form::add_bbox ${axis}slices $row
  Frame::separator $row sep1
  Entry $row.cut -width 4 -textvariable current(cut_$axis) -helptext "Select slice number"
  bind $row.cut <Return> [list App::slice::enter $axis $row.cut]
  pack $row.cut -side left
  Frame::separator $row sep2
  Frame::arrow $row up top [list App::slice::up $axis]
  Frame::arrow $row down bottom [list App::slice::down $axis]
  if {$axis ne "z" && ![View::is_flipped view_$axis y]} {
    View::flip view_$axis y
  }
  Frame::view $inner view_$axis img_$axis
}

# The frame of a density or gradient curve editor.
proc Frame::curves {parent kind} {
  global current last options
  set word [expr {$kind eq "den" ? "density" : "gradient"}]
  set ns [expr {$kind eq "den" ? "DGraph" : "GGraph"}]
  lassign [Frame::titled $parent "Classification curves - $word"] inner row
  Form::add_cbox $kind $row
  # Narrow enough that the pencil at the end of the row stays on screen.
  $Form::cbox($kind) configure -width 12
  Form::add_bbox $kind $row
  Form::add_bbox preview_$kind $row
  Form::add_bbox train_$kind $row
  App::combo::update $kind
  if {$current($kind) ne "" && [info exists ${ns}::points($current($kind))]} {
    update idletasks
    set top [winfo parent $parent]
    set w [winfo reqwidth $top]
    set h [expr {[winfo reqheight $top] / 5}]
    ${ns}::set_size $current($kind) $w $h
    ${ns}::show $current($kind) in $inner
  }
}
