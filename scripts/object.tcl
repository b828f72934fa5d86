# Objects in the 3D view: picking, highlighting, hiding and painting.

# The label drawn under the pointer in the last rendering (0: background).
proc App::object::get {view x y} {
  global current last options
  if {$current(shell) eq ""} {return 0}
  lassign [App::render::Position $view $x $y] current(pos_x) current(pos_y)
  return [c_GetObject [Shell::get_context $current(shell)] $current(pos_x) $current(pos_y)]
}

# Left press: selects the object under the pointer.
proc App::object::point {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  App::object::select $view [App::object::get $view $x $y]
}

# Pointer motion: highlights the object under it.
proc App::object::over {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  App::object::highlight $view [App::object::get $view $x $y]
}

proc App::object::select {view label} {
  global current last options
  if {$current(shell) eq ""} return
  set current(selobj) $label
  set current(objtext) [ObjectList::get_text $current(shell) $label]
  App::combo::update obj
  App::object::highlight $view $label
}

# The object chosen in the combo box.
proc App::object::change {view} {
  global current last options
  if {$current(shell) eq ""} return
  set current(selobj) [ObjectList::get_label $current(shell) $current(objtext)]
  App::combo::update obj
  App::object::highlight $view $current(selobj)
}

proc App::object::highlight {view label} {
  global current last options
  if {$current(shell) eq ""} return
  set photo [View::get_image $view]
  set core [Image::get_handle $photo]
  if {$core eq "0"} return
  set c [Shell::get_context $current(shell)]
  if {$label != 0} {
    set img [c_HighlightObject $c $core $label]
    if {$current(selobj) != 0} {
      set contour [c_ContourObject $c $img $current(selobj)]
      c_FreeImage $img
      set img $contour
    }
    Image::overlay $photo $img
    View::update $view
    c_FreeImage $img
  } else {
    Image::reset $photo
    View::refresh_canvas $view
    if {$current(selobj) != 0} {
      set img [c_ContourObject $c $core $current(selobj)]
      Image::overlay $photo $img
      View::update $view
      c_FreeImage $img
    }
  }
}

# Double click: hides the object under the pointer.
proc App::object::hide {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  set label [App::object::get $view $x $y]
  if {$label == 0} return
  ObjectList::hide $current(shell) $label
  Shell::hide_object $current(shell) $label
  App::render::update $view
  App::object::select $view $label
  App::slice::update all
  App::combo::update obj
}

proc App::object::hide_selected {} {
  global current last options
  if {$current(shell) eq "" || $current(selobj) == 0} return
  ObjectList::hide $current(shell) $current(selobj)
  Shell::hide_object $current(shell) $current(selobj)
}

proc App::object::show_selected {} {
  global current last options
  if {$current(shell) eq "" || $current(selobj) == 0} return
  ObjectList::show $current(shell) $current(selobj)
  Shell::show_object $current(shell) $current(selobj)
}

# A colour from the colour menu: the selected object's, or the 3D
# background's when none is selected.
proc App::object::paint {colour} {
  global current last options
  if {$current(shell) eq ""} return
  if {$current(selobj) == 0} {
    if {$colour eq ""} return
    set c [View::get_path view_3]
    if {$c ne "-1" && [winfo exists $c]} {
      $c configure -background $colour
    }
    Image::set_bg_color img_3 $colour
  } else {
    if {$colour eq ""} return
    ObjectList::set_highcolor $current(shell) $current(selobj) $colour
    ObjectList::apply $current(shell) [Shell::get_context $current(shell)]
  }
  App::window::update
}

proc App::object::get_label {name} {
  global current last options
  return [ObjectList::get_label $current(shell) $name]
}

proc App::object::get_text {label} {
  global current last options
  return [ObjectList::get_text $current(shell) $label]
}
