# The registry of loaded shells, by name: each shell with its viewing
# context, cut plane, grey-level curve and rendering command.
namespace eval Shell {
  variable handle
  variable file
  variable scn
  variable cxt
  variable plane
  variable curve
  variable cmd
  # Names in the order they were registered.
  variable order {}
  # The entries kept per shell.
  variable fields {handle file scn cxt plane curve cmd}
  # The rendering command of each method of the method menu.
  variable methods {
    "3D"                      {CSWShellRendering $h $c}
    "3D with cut"             {CSWShellRenderingCut $h $c $cv}
    "3D with scene cut"       {CSWShellRenderingCut $h $c $cv}
    "Fast 3D with scene cut"  {FastCSWShellRenderingCut $h $c $cv}
    "3D with cut plane"       {CSWShellRenderingCutPlane $h $c $cv $p}
    "3D with scene cut plane" {CSWShellRenderingCutPlane $h $c $cv $p}
    "Stereo"                  {CSWShellRenderingStereo $h $c $cv}
    "Color MIP"               {CMIPShell $h $c $cv}
    "MIP"                     {GMIPShell $h $c $cv}
  }
}

proc Shell::new {h args} {
  variable fields
  variable order
  foreach var $fields { variable $var }
  set name [App::registry_name shell [array names handle] $args]
  set handle($name) $h
  if {[c_IsBodyShell $h]} {
    set file($name) [format "%s.bsh" $name]
  } else {
    set file($name) [format "%s.sh" $name]
  }
  set scn($name) -1
  set cxt($name) [NewContext [GetShellXSize $h] [GetShellYSize $h] [GetShellZSize $h]]
  set plane($name) [CreatePlane $cxt($name)]
  RotatePlane $plane($name) 0 0
  set curve($name) [c_List2Curve {0 0 255 255}]
  set cmd($name) {ICSWShellRendering $h $c}
  lappend order $name
  return $name
}

# Reads a shell file ("." asks for one); returns the new name or nothing.
proc Shell::read {filename} {
  global current last options
  if {$filename eq "."} {
    set filename [tk_getOpenFile -initialdir $App::app_path -filetypes {
      {{All Files} {.sh .bsh}} {{Object Files} {.sh}} {{Object Files with Body} {.bsh}}}]
    if {$filename eq ""} return
  }
  if {[file extension $filename] eq ".bsh"} {
    set h [ReadBodyShell $filename]
  } else {
    set h [ReadShell $filename]
  }
  if {$h eq "" || $h eq "0"} {
    error "Cannot read shell file $filename"
  }
  return [Shell::new $h as [file rootname [file tail $filename]]]
}

proc Shell::write {name filename} {
  variable handle
  variable file
  set body [c_IsBodyShell $handle($name)]
  if {$filename eq "."} {
    if {$body} {
      set types {{{Body Object Files} {.bsh}}}
    } else {
      set types {{{Object Files} {.sh}}}
    }
    set filename [tk_getSaveFile -initialdir $App::app_path -filetypes [Formats::save_types $types] \
        -initialfile $file($name)]
    if {$filename eq ""} return
  }
  if {$body} {
    WriteBodyShell $handle($name) $filename
  } else {
    WriteShell $handle($name) $filename
  }
  set file($name) [file tail $filename]
  return $filename
}

proc Shell::export {name kind label} {
  variable handle
  variable file
  switch -- $kind {
    labels {
      set types {{{Label Scene Files} {.scn}} {{Object Files} {.obj}}}
    }
    opacity {
      set types {{{Opacity Scene Files} {.scn}}}
    }
    "current object" {
      set types {{{Label Scene Files} {.scn}} {{Object Files} {.obj}}}
    }
    default return
  }
  set filename [tk_getSaveFile -initialdir $App::app_path -filetypes $types \
      -initialfile [format "%s.scn" [file rootname $file($name)]]]
  if {$filename eq ""} return
  set h $handle($name)
  switch -- $kind {
    labels {
      if {[c_IsBodyShell $h]} {
        set s [LabelScene $h]
      } else {
        set s [FilledLabelScene $h]
      }
    }
    opacity { set s [OpacityScene $h] }
    "current object" { set s [ObjectScene $h $label] }
  }
  set status [catch {Formats::write $s $filename [Formats::current_scene]} message]
  c_FreeScene $s
  if {$status} {
    error $message
  }
  return $filename
}

proc Shell::destroy {name} {
  variable fields
  variable order
  foreach var $fields { variable $var }
  if {![info exists handle($name)]} return
  catch {c_FreeShell $handle($name)}
  catch {c_FreeContext $cxt($name)}
  catch {c_FreePlane $plane($name)}
  catch {c_FreeCurve $curve($name)}
  foreach var $fields {
    unset -nocomplain ${var}($name)
  }
  set order [lsearch -all -inline -exact -not $order $name]
}

# Evaluates the rendering command with the shell's objects of this moment;
# returns the new colour image.
proc Shell::render {name} {
  variable handle
  variable cxt
  variable plane
  variable curve
  variable cmd
  set h $handle($name)
  set c $cxt($name)
  set cv $curve($name)
  set p $plane($name)
  return [eval $cmd($name)]
}

proc Shell::set_command {name method} {
  variable cmd
  variable methods
  if {[dict exists $methods $method]} {
    set cmd($name) [dict get $methods $method]
  }
}

proc Shell::get_command {name} {
  variable cmd
  return $cmd($name)
}

proc Shell::rename {new old} {
  variable handle
  variable order
  if {$new eq $old || ![info exists handle($old)] || [info exists handle($new)]} return
  variable fields
  foreach var $fields {
    variable $var
    set ${var}($new) [set ${var}($old)]
    unset ${var}($old)
  }
  set i [lsearch -exact $order $old]
  set order [lreplace $order $i $i $new]
}

proc Shell::rotate {name dx dy} {
  variable cxt
  AddAngles $cxt($name) $dx $dy
}

proc Shell::rotate_plane {name dx dy} {
  variable plane
  RotatePlane $plane($name) $dx $dy
}

proc Shell::set_angles {name tilt spin} {
  variable cxt
  SetAngles $cxt($name) $tilt $spin
}

proc Shell::get_tilt {name} {
  variable cxt
  return [format "%3.1f" [GetTilt $cxt($name)]]
}

proc Shell::get_spin {name} {
  variable cxt
  return [format "%3.1f" [GetSpin $cxt($name)]]
}

proc Shell::set_curve {name points} {
  variable curve
  catch {c_FreeCurve $curve($name)}
  set curve($name) [c_List2Curve $points]
}

proc Shell::get_slice {name axis n overlay} {
  variable handle
  variable cxt
  variable curve
  set c [expr {$overlay ? $cxt($name) : 0}]
  switch -- $axis {
    x { return [c_GetShellXSlice $n $c $handle($name) $curve($name)] }
    y { return [c_GetShellYSlice $n $c $handle($name) $curve($name)] }
    default { return [c_GetShellZSlice $n $c $handle($name) $curve($name)] }
  }
}

proc Shell::set_scene {name s} {
  variable handle
  c_SetShellScene $handle($name) $s
}

proc Shell::get_scene {name} {
  variable handle
  return [c_GetShellScene $handle($name)]
}

proc Shell::hide_object {name label} {
  variable handle
  variable cxt
  SetObjectVisibility $handle($name) $cxt($name) $label 0
}

proc Shell::show_object {name label} {
  variable handle
  variable cxt
  SetObjectVisibility $handle($name) $cxt($name) $label 1
}

proc Shell::set_cutplanes {name box} {
  variable cxt
  SetClip $cxt($name) {*}$box
}

proc Shell::is_body {name} {
  variable handle
  return [c_IsBodyShell $handle($name)]
}

proc Shell::get_handle {name} {
  variable handle
  return $handle($name)
}

proc Shell::get_context {name} {
  variable cxt
  return $cxt($name)
}

proc Shell::get_plane {name} {
  variable plane
  return $plane($name)
}

proc Shell::set_handle {name h} {
  variable handle
  set handle($name) $h
}

proc Shell::set_context {name c} {
  variable cxt
  set cxt($name) $c
}

proc Shell::names {} {
  variable order
  return $order
}
