# Screenshots of each layout with the demo loaded, run by the scripting shell
# on an X display (tools/screens.sh sets one up):
#   orvanesh -tk tools/screens.tcl <build dir> <output dir>
package require Tk
wm withdraw .
lassign $argv build out
file mkdir $out
set demo [file join $build demo]

exec [file join $build orvane] [file join $demo phantom.scn] [file join $demo phantom.bsh] \
    [file join $demo phantom_labels.sh]
set window [lindex [exec xdotool search --sync --onlyvisible --name {^3D visualization tool$}] 0]
set app {}
while {$app eq ""} {
  foreach a [winfo interps] {
    if {[string match orvane* $a] && ![catch {send $a {info exists App::loaded}} ok] && $ok} {
      set app $a
    }
  }
  after 50
}

proc shot {name script} {
  send $::app $script
  send $::app {update}
  after 300
  exec import -window $::window [file join $::out $name.png]
  puts [file join $::out $name.png]
}

shot slice_labels {
  set current(shell) phantom_labels
  App::combo::choose_shell
  App::object::select view_3 3
}
shot slice_body {
  set current(shell) phantom
  App::combo::choose_shell
  Shell::set_command phantom MIP
  set current(method) MIP
  App::window::update
}
shot classify {
  App::window::classify
  set current(training) den
}
shot sequence {
  set current(seq) {along z}
  App::window::sequence
}
shot slice_scene {
  App::window::slice
  foreach s [Shell::names] { set current(shell) $s; App::free shell }
}
send $app {after idle ::exit}
exit
