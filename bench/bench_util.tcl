# Helpers of the interface benches (bench/*.tcl), loaded with
#   eval [read of this file]   (source reads only the file store)

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
