# Shared set-up for the script tests: tcltest, and a helper that evaluates a
# file from disk (source serves only the file store).
package require tcltest 2
namespace import ::tcltest::*

proc loadfile {path} {
  set f [open $path]
  set text [read $f]
  close $f
  uplevel #0 $text
}
