# The registry of loaded scenes, by name.
namespace eval Scene {
  variable handle
  variable file
  variable type
  variable curve
  # Names in the order they were registered.
  variable order {}
}

proc Scene::new {h args} {
  variable handle
  variable file
  variable type
  variable curve
  variable order
  set name [App::registry_name scene [array names handle] $args]
  set handle($name) $h
  lappend order $name
  set file($name) [format "%s.scn" $name]
  set type($name) gray
  set curve($name) [c_List2Curve {0 0 255 255}]
  return $name
}

# Reads a scene file ("." asks for one); returns the new name or nothing.
proc Scene::read {filename args} {
  global current last options
  variable type
  if {$filename eq "."} {
    set filename [tk_getOpenFile -initialdir $App::app_path -filetypes [Formats::open_types {
      {{Scene Files} {.scn}} {{Object Files} {.obj}}}]]
    if {$filename eq ""} return
  }
  if {[Formats::is_volume $filename]} {
    set h [Formats::read $filename]
    if {$h eq ""} return
  } else {
    set h [ReadScene $filename]
  }
  if {$h eq "" || $h eq "0"} {
    error "Cannot read scene file $filename"
  }
  if {[lindex $args 0] eq "as" && [llength $args] > 1} {
    set name [lindex $args 1]
  } else {
    set name [file rootname [file tail $filename]]
  }
  set name [Scene::new $h as $name]
  if {[file extension $filename] eq ".obj" || [MaximumValue3 $h] == 1} {
    set type($name) object
  } else {
    set type($name) gray
  }
  return $name
}

proc Scene::destroy {name} {
  variable handle
  variable file
  variable type
  variable curve
  variable order
  if {![info exists handle($name)]} return
  set order [lsearch -all -inline -exact -not $order $name]
  catch {c_FreeScene $handle($name)}
  catch {c_FreeCurve $curve($name)}
  unset -nocomplain handle($name) file($name) type($name) curve($name)
}

proc Scene::set_curve {name points} {
  variable curve
  catch {c_FreeCurve $curve($name)}
  set curve($name) [c_List2Curve $points]
}

proc Scene::get_slice {name axis n} {
  variable handle
  variable curve
  switch -- $axis {
    x { return [c_GetXSlice $n $handle($name) $curve($name)] }
    y { return [c_GetYSlice $n $handle($name) $curve($name)] }
    default { return [c_GetZSlice $n $handle($name) $curve($name)] }
  }
}

proc Scene::get_handle {name} {
  variable handle
  return $handle($name)
}

proc Scene::set_type {name t} {
  variable type
  set type($name) $t
}

proc Scene::get_type {name} {
  variable type
  return $type($name)
}

proc Scene::names {} {
  variable order
  return $order
}
