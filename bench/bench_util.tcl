# Helpers of the interface benches (bench/*.tcl), loaded with
#   eval [read of this file]   (source reads only the file store)
# Starting and stopping the real program on the current display, and
# medians.
set bin [file dirname [info nameofexecutable]]

proc median {values} {
  set v [lsort -real $values]
  return [lindex $v [expr {[llength $v] / 2}]]
}

# Whether a process runs: a zombie that nobody reaps has ended.
proc alive {pid} {
  if {[catch {open /proc/$pid/stat} f]} {return 0}
  set stat [read $f]
  close $f
  return [expr {[lindex [split [string range $stat [string last ")" $stat] end] " "] 1] ne "Z"}]
}

# Starts the program; returns {app milliseconds-to-mapped}. The window is
# found through the X server: a send that reaches a program still
# registering its name can wait for ever.
proc start {args} {
  set t0 [clock microseconds]
  exec [file join $::bin orvane] {*}$args
  # Polled every few milliseconds (xdotool's own --sync waits half a
  # second between looks).
  while {[catch {exec xdotool search --onlyvisible --name {^3D visualization tool$}}]} {
    after 2
  }
  set ms [expr {([clock microseconds] - $t0) / 1000.0}]
  set app [newApp]
  while {[catch {send $app {set App::loaded}}]} { after 2 }
  set ::ready [expr {([clock microseconds] - $t0) / 1000.0}]
  return [list $app $ms]
}

# The program started last: a name of an ended program may be taken again,
# so programs are told apart by their process.
set seen {}
proc newApp {} {
  while 1 {
    foreach app [winfo interps] {
      if {[string match orvane* $app] && ![catch {send $app pid} pid] &&
          $pid ni $::seen && [alive $pid]} {
        lappend ::seen $pid
        return $app
      }
    }
    after 20
  }
}

proc stop {app} {
  set pid [send $app pid]
  catch {send $app {after idle ::exit}}
  while {[alive $pid]} { after 10 }
}
