# Runs every *.test file below tests/ in its own scripting shell and exits
# non-zero when any test failed or any file could not run.
package require tcltest 2
namespace import ::tcltest::*

set here [file dirname [file normalize [info script]]]
set files [lsort [split [exec find $here -name *.test] \n]]
set shell [info nameofexecutable]

set failed 0
set total 0
set failedFiles {}
foreach f $files {
  set name [string range $f [expr {[string length $here] + 1}] end]
  set status [catch {exec $shell $f 2>@1} output opts]
  puts $output
  set counted 0
  foreach line [split $output \n] {
    if {[regexp {Total\s+(\d+)\s+Passed\s+(\d+)\s+Skipped\s+(\d+)\s+Failed\s+(\d+)} $line -> t p s fl]} {
      incr total $t
      incr failed $fl
      set counted 1
      if {$fl > 0} {lappend failedFiles $name}
    }
  }
  if {$status || !$counted} {
    if {$name ni $failedFiles} {lappend failedFiles $name}
    if {!$counted} {incr failed}
  }
}
set passed [expr {$total - $failed}]
if {$passed < 0} {set passed 0}
puts "scripts: $passed passed, $failed failed"
if {[llength $failedFiles]} {
  puts "files with failures: $failedFiles"
  exit 1
}
exit 0
