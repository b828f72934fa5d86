# The wizard's shell builders against the running program:
#   - the label shell builder on the ten-label phantom and the body shell
#     builder on the grey phantom, from the start of the progress dialog to
#     its close, against the same core steps run from this script (median
#     of `runs`, both in the program's process; target: within 10 %);
#   - the longest gap between two moments the progress dialog could redraw
#     (its steps and the pulses of the long core steps; target: 200 ms, i.e.
#     at least 5 redraws a second);
#   - Cancel clicked during the longest core step of each builder: the time
#     from the click to the builder's return (target: 300 ms).
#   build/orvanesh -tk bench/builder_bench.tcl ?size? ?runs?
# The phantoms (size^3 voxels, default 256) are made with make_phantom.
package require Tk
wm withdraw .
tk appname builder-bench-[pid]

set bin [file dirname [info nameofexecutable]]
lassign [list {*}$argv 256 3] size runs
set work [file join /tmp orvane_builder_bench_[pid]]
file mkdir $work
puts "making the $size^3 phantoms ..."
exec [file join $bin make_phantom] $work $size $size $size 1.0
set labels [file join $work phantom_labels.scn]
set grey [file join $work phantom.scn]

set f [open [file join [file dirname [info script]] bench_util.tcl]]
eval [read $f]
close $f

proc ms {script} {
  set t0 [clock microseconds]
  uplevel 1 $script
  return [expr {([clock microseconds] - $t0) / 1000.0}]
}

# ---- the core steps as a script runs them (what the builders run) ----

set f [open [file join [file dirname [info script]] .. tools shell_steps.tcl]]
set stepsScript [read $f]
close $f

# The milliseconds the script's steps of a builder (stepsLabelShell or
# stepsBodyShell) take on the scene in `file`.
proc stepsTime {steps file} {
  set scn [ReadScene $file]
  set t [ms { set shell [$steps $scn] }]
  c_FreeShell $shell
  c_FreeScene $scn
  return $t
}

# ---- the program ----

proc startProgram {} {
  set seen {}
  foreach app [winfo interps] {
    if {[string match orvane* $app] && ![catch {send $app pid} pid]} { lappend seen $pid }
  }
  exec [file join $::bin orvane]
  while {[catch {exec xdotool search --onlyvisible --name {^3D visualization tool$}}]} { after 20 }
  while 1 {
    foreach app [winfo interps] {
      if {[string match orvane* $app] && ![catch {send $app pid} pid] && $pid ni $seen &&
          [alive $pid] && ![catch {send $app {set App::loaded}}]} {
        return $app
      }
    }
    after 20
  }
}

set app [startProgram]
proc ui {script} { send $::app $script }

# The script's steps run in the program's own interpreter, so that both
# sides share the process and its memory.
ui $stepsScript
foreach p {ms stepsTime} {
  ui [list proc $p [info args $p] [info body $p]]
}

# The program's instruments: the dialog's open and close times, and every
# moment it could redraw in between.
ui {
  trace add execution App::dlg::Progress leave {apply {{args} {
    set ::opened [clock microseconds]
    set App::dlg::redraws {}
  }}}
  trace add execution App::dlg::CloseProgress enter {apply {{args} {
    set ::closed [clock microseconds]
  }}}
}

# Runs a builder in the program from its event loop and waits for its end;
# returns {dialog-ms longest-gap-ms redraws-per-second result}.
proc build {proc file} {
  ui [list apply {{proc file} {
    set ::bench_h [ReadScene $file]
    set ::bench_done 0
    after idle [list apply {{proc} {
      set ::bench_result [App::dlg::$proc $::bench_h bench]
      set ::bench_done 1
    }} $proc]
  }} $proc $file]
  while {![ui {set ::bench_done}]} { after 20 }
  set r [ui {
    set times [list $::opened {*}$App::dlg::redraws $::closed]
    set gap 0
    for {set i 1} {$i < [llength $times]} {incr i} {
      set d [expr {[lindex $times $i] - [lindex $times $i-1]}]
      if {$d > $gap} { set gap $d }
    }
    set total [expr {($::closed - $::opened) / 1000.0}]
    list $total [expr {$gap / 1000.0}] [expr {[llength $App::dlg::redraws] / ($total / 1000.0)}] $::bench_result
  }]
  ui {
    c_FreeScene $::bench_h
    if {$::bench_result} { set current(shell) bench; App::mark_saved bench; App::free shell }
    set Form::status(form1) {}
  }
  return $r
}

# Clicks Cancel once the status reads `status` (a long core step); returns
# the milliseconds from the click to the builder's return and its result.
proc cancelDuring {proc file status} {
  ui [list apply {{proc file} {
    set ::bench_h [ReadScene $file]
    set ::bench_done 0
    after idle [list apply {{proc} {
      set ::bench_result [App::dlg::$proc $::bench_h bench]
      set ::bench_ended [clock milliseconds]
      set ::bench_done 1
    }} $proc]
  }} $proc $file]
  while {[catch {ui {winfo viewable .prgdlg.bbox.b0}} ok] || !$ok} { after 5 }
  set xy [ui {
    update idletasks
    set b .prgdlg.bbox.b0
    list [expr {[winfo rootx $b] + [winfo width $b] / 2}] [expr {[winfo rooty $b] + [winfo height $b] / 2}]
  }]
  exec xdotool mousemove {*}$xy
  while {[ui {set Form::status(form1)}] ne $status} { after 5 }
  # Well inside the step.
  after 150
  set t0 [clock milliseconds]
  exec xdotool click 1
  while {![ui {set ::bench_done}]} { after 5 }
  set r [ui {list $::bench_ended $::bench_result}]
  ui {
    c_FreeScene $::bench_h
    if {$::bench_result} { set current(shell) bench; App::mark_saved bench; App::free shell }
    set Form::status(form1) {}
  }
  return [list [expr {[lindex $r 0] - $t0}] [lindex $r 1]]
}

puts [format "%-34s %12s %12s %8s %12s %10s" builder "script ms" "dialog ms" "ratio" "max gap ms" "redraws/s"]
foreach {name proc steps file} [list "label shell, ten-label phantom" new_object stepsLabelShell $labels \
                                     "body shell, grey phantom" new_body stepsBodyShell $grey] {
  set script {}
  set dialog {}
  set gaps {}
  set rates {}
  for {set i 0} {$i < $runs} {incr i} {
    lappend script [ui [list stepsTime $steps $file]]
    lassign [build $proc $file] total gap rate result
    if {!$result} { error "the $proc builder did not finish" }
    lappend dialog $total
    lappend gaps $gap
    lappend rates $rate
  }
  set s [median $script]
  set d [median $dialog]
  puts [format "%-34s %12.1f %12.1f %8.3f %12.1f %10.1f" $name $s $d [expr {$d / $s}] \
      [tcl::mathfunc::max {*}$gaps] [median $rates]]
}

puts ""
puts [format "%-34s %-24s %14s" "Cancel clicked in" "step" "to return, ms"]
foreach {name proc file status} [list "label shell builder" new_object $labels "Objects: borders" \
                                      "body shell builder" new_body $grey "Estimating normals..."] {
  lassign [cancelDuring $proc $file $status] took result
  puts [format "%-34s %-24s %14d%s" $name $status $took [expr {$result ? "  (not cancelled)" : ""}]]
}

catch {ui {after idle ::exit}}
file delete -force $work
exit
