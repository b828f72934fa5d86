# The labelled objects of each shell: four parallel lists of names, labels,
# colours and visibility. Entry 0 is the background.
namespace eval ObjectList {
  variable text
  variable label
  variable rgb
  variable visible
}

proc ObjectList::new {name h} {
  variable text
  variable label
  variable rgb
  variable visible
  set text($name) None
  set label($name) 0
  set rgb($name) [list {0.0 0.0 0.0}]
  set visible($name) 0
  set hist [ShellObjHistogram $h]
  set points [c_Curve2List $hist]
  c_FreeCurve $hist
  set i 0
  set a 0.0
  foreach {x count} [lrange $points 2 end] {
    if {$count == 0.0} continue
    incr i
    lappend text($name) Object_$i
    lappend visible($name) 1
    lappend label($name) [expr {round($x)}]
    lappend rgb($name) [list [expr {sin($a)}] [expr {cos($a)}] [expr {tan($a / 8)}]]
    set a [expr {$a + 0.2}]
  }
}

proc ObjectList::apply {name c} {
  variable label
  variable rgb
  foreach l $label($name) colour $rgb($name) {
    SetObjectColor $c $l {*}$colour
  }
}

proc ObjectList::destroy {name} {
  variable text
  variable label
  variable rgb
  variable visible
  unset -nocomplain text($name) label($name) rgb($name) visible($name)
}

proc ObjectList::rename {new old} {
  foreach var {text label rgb visible} {
    variable $var
    if {[info exists ${var}($old)]} {
      set ${var}($new) [set ${var}($old)]
      unset ${var}($old)
    }
  }
}

proc ObjectList::set_highcolor {name l colour} {
  variable rgb
  set i [ObjectList::get_lindex $name $l]
  set c {}
  foreach v [winfo rgb . $colour] {
    lappend c [expr {$v / 65535.0}]
  }
  lset rgb($name) $i $c
}

# The list position of an object given by label (an integer) or by name
# (each entry is a pattern); 0 when there is none.
proc ObjectList::get_lindex {name key} {
  variable text
  variable label
  if {![info exists text($name)]} {return 0}
  if {[string is integer -strict $key]} {
    set i [lsearch -exact $label($name) $key]
  } else {
    set i -1
    set k 0
    foreach t $text($name) {
      if {[string match $t $key]} {
        set i $k
        break
      }
      incr k
    }
  }
  return [expr {$i < 0 ? 0 : $i}]
}

proc ObjectList::get_label {name key} {
  variable text
  variable label
  if {![info exists text($name)]} {return 0}
  foreach t $text($name) l $label($name) {
    if {[string match $t $key]} {return $l}
  }
  return 0
}

proc ObjectList::get_text {name l} {
  variable text
  variable label
  if {![info exists text($name)]} {return None}
  foreach t $text($name) k $label($name) {
    if {$k == $l} {return $t}
  }
  return None
}

proc ObjectList::get_names {name} {
  variable text
  if {![info exists text($name)]} {return {}}
  return $text($name)
}

proc ObjectList::IsVisible {name l} {
  variable visible
  return [lindex $visible($name) [ObjectList::get_lindex $name $l]]
}

proc ObjectList::hide {name l} {
  variable visible
  set i [ObjectList::get_lindex $name $l]
  if {$i > 0} { lset visible($name) $i 0 }
}

proc ObjectList::show {name l} {
  variable visible
  set i [ObjectList::get_lindex $name $l]
  if {$i > 0} { lset visible($name) $i 1 }
}
