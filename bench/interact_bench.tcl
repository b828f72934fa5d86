# The 3D view's interactivity against the real program on the current
# display, on the 256^3 phantoms of make_phantom (its object shell, as the
# import wizard makes it, and its body shell classified opaque), at the
# default method of a new shell:
#   - one right-button drag step: from a motion event put on the event
#     queue to the photo on the screen (the binding, the rendering, the 3D
#     window/level, the photo and its display copy, and a round trip to the
#     X server once the pixels are sent), median and worst, and beside it
#     the renderer's own time in that step (Shell::render);
#   - the same with "Fast 3D with scene cut", which a drag with the scene
#     cut draws;
#   - a burst of motion events queued while one frame is drawn: how many
#     frames they cost (merged into one) and whether the angles are the sum.
#   build/orvanesh -tk bench/interact_bench.tcl ?size? ?moves?
package require Tk
wm withdraw .
tk appname interact-bench-[pid]

set f [open [file join [file dirname [info script]] bench_util.tcl]]
eval [read $f]
close $f
set here [file dirname [info script]]

lassign [list {*}$argv 256 40] size moves
set work [file join /tmp orvane_interact_bench_[pid]]
file mkdir $work
puts "making the $size^3 phantoms and their shells ..."
exec [file join $bin make_phantom] $work $size $size $size 1.0
exec [file join $bin orvanesh] [file join $here .. tools demo_shells.tcl] $work

lassign [start [file join $work phantom_labels.scn] [file join $work phantom_labels.sh] \
    [file join $work phantom.bsh]] app ms

# In the program: each step of a drag as the user makes it (a press, then
# motion events with the right button held), timed from the event queued to
# the screen updated, beside the time the renderer took in that step.
proc dragSteps {app moves} {
  send $app [list apply {{moves} {
    global current
    set c [View::get_path view_3]
    # Over the image, inside the window.
    set x [expr {min([image width img_3], [winfo width $c]) / 2}]
    set y [expr {min([image height img_3], [winfo height $c]) / 3}]
    event generate $c <ButtonPress-3> -x $x -y $y -button 3
    update
    set ::renderMs 0.0
    set timer {apply {{args} {
      if {[lindex $args end] eq "enter"} {
        set ::renderStart [clock microseconds]
      } else {
        set ::renderMs [expr {$::renderMs + ([clock microseconds] - $::renderStart) / 1000.0}]
      }
    }}}
    trace add execution Shell::render {enter leave} $timer
    set steps {}
    for {set i 1} {$i <= $moves} {incr i} {
      set ::renderMs 0.0
      set t0 [clock microseconds]
      event generate $c <Motion> -x [expr {$x + $i % 7}] -y [expr {$y + $i}] -state 1024 -when tail
      update
      # A round trip: the server has drawn what it was sent.
      winfo pointerxy .
      lappend steps [list [expr {([clock microseconds] - $t0) / 1000.0}] $::renderMs]
    }
    trace remove execution Shell::render {enter leave} $timer
    event generate $c <ButtonRelease-3> -x $x -y $y -button 3
    update
    set steps
  }} $moves]
}

proc report {label steps target} {
  set total {}
  set render {}
  set above {}
  foreach step $steps {
    lassign $step t r
    lappend total $t
    lappend render $r
    lappend above [expr {$t - $r}]
  }
  puts [format "  %-34s step median %6.1f ms (worst %6.1f), renderer %6.1f ms, above it median %4.1f ms (worst %4.1f)   targets: <= %d ms, <= 3 ms above" \
      $label [median $total] [lindex [lsort -real $total] end] [median $render] [median $above] \
      [lindex [lsort -real $above] end] $target]
}

puts "3D view, one right-button drag step, $size^3 phantoms, $moves steps each:"
foreach shell {phantom_labels phantom} {
  send $app [list apply {{shell} {
    global current
    set current(shell) $shell
    App::combo::choose_shell
    update
  }} $shell]
  set voxels [send $app {c_CountShellVoxels [Shell::get_handle $current(shell)]}]
  set method [send $app {list $current(method) [Shell::get_command $current(shell)]}]
  report "$shell ([lindex $method 1 0], $voxels voxels)" [dragSteps $app $moves] 16
}

# The scene cut: the label shell with its scene, "3D with scene cut", whose
# drags draw "Fast 3D with scene cut".
send $app {
  set current(shell) phantom_labels
  App::combo::choose_shell
  Shell::set_scene phantom_labels [Scene::get_handle phantom_labels]
  set current(method) "3D with scene cut"
  App::dlg::SetMethod view_3
  update
}
report "phantom_labels (Fast 3D with scene cut)" [dragSteps $app $moves] 33

# A burst: ten motion events queued at once while a frame is drawn.
puts [send $app {
  set c [View::get_path view_3]
  set current(method) 3D
  App::dlg::SetMethod view_3
  Shell::set_angles $current(shell) 0 0
  set x 50
  set y 30
  event generate $c <ButtonPress-3> -x $x -y $y -button 3
  update
  set frames 0
  trace add execution App::render::update enter {apply {args {incr ::frames}}}
  for {set i 1} {$i <= 10} {incr i} {
    event generate $c <Motion> -x $x -y [expr {$y + 3 * $i}] -state 1024 -when tail
  }
  update
  trace remove execution App::render::update enter {apply {args {incr ::frames}}}
  event generate $c <ButtonRelease-3> -x $x -y $y -button 3
  update
  format "  a burst of 10 motion events: %d frame(s) drawn, tilt %s (the sum of the steps: 30.0)" \
      $frames [Shell::get_tilt $current(shell)]
}]
stop $app
file delete -force $work
exit
