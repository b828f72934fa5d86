# Driving the real program as a user meets it: it is started on the test
# display, inspected through Tk's send and given real pointer and key input
# through xdotool. Loaded by the interface tests with
#   eval [readFile $env(ORVANE_TESTS)/support/ui.tcl]
package require tcltest 2
namespace import ::tcltest::*

testConstraint display [expr {[info exists env(DISPLAY)] && $env(DISPLAY) ne ""}]
testConstraint send 0
testConstraint xdotool [expr {[auto_execok xdotool] ne ""}]
if {[testConstraint display]} {
  package require Tk
  wm withdraw .
  tk appname ui-test-[pid]
  testConstraint send [expr {![catch {send [tk appname] {set ok 1}}]}]
}
testConstraint journey [expr {[testConstraint send] && [testConstraint xdotool]}]

set program [file join $env(ORVANE_BIN) orvane]
set ::ui(app) {}
set ::ui(pid) 0
set ::ui(seen) {}

# Starts the program with the given arguments in `dir` and waits until its
# main window is mapped and its start-up is over; fails after 20 seconds.
# Nothing is sent before the window shows: a send that reaches a program
# still registering its name can wait for ever.
proc startOrvane {dir args} {
  stopOrvane
  # Programs running before this start are not the one started.
  foreach app [winfo interps] {
    if {[string match orvane* $app] && ![catch {send $app pid} pid]} {
      lappend ::ui(seen) $pid
    }
  }
  set here [pwd]
  cd $dir
  exec $::program {*}$args
  cd $here
  waitForWindow
  # A name of an ended program may be taken again: programs are told apart
  # by their process.
  for {set i 0} {$i < 300} {incr i} {
    foreach app [winfo interps] {
      if {[string match orvane* $app] && ![catch {send $app pid} pid] &&
          $pid ni $::ui(seen) && [alive $pid] &&
          ![catch {send $app {list [wm title .] [winfo ismapped .] \
                [expr {[info exists App::loaded] || [winfo exists .__tk__messagebox]}]}} state] &&
          $state eq {{3D visualization tool} 1 1}} {
        lappend ::ui(seen) $pid
        set ::ui(app) $app
        set ::ui(pid) $pid
        ui {update}
        return $app
      }
    }
    after 50
  }
  error "the program did not come up"
}

# Waits until a main window of the program is visible on the display.
proc waitForWindow {} {
  if {[auto_execok xdotool] eq ""} {
    after 1500
    return
  }
  exec timeout 20 xdotool search --sync --onlyvisible --name {^3D visualization tool$}
}

# Whether a process runs: a zombie that nobody reaps has ended.
proc alive {pid} {
  if {[catch {open /proc/$pid/stat} f]} {return 0}
  set stat [read $f]
  close $f
  return [expr {[lindex [split [string range $stat [string last ")" $stat] end] " "] 1] ne "Z"}]
}

proc stopOrvane {} {
  if {$::ui(app) eq ""} return
  catch {send $::ui(app) {after idle ::exit}}
  for {set i 0} {$i < 100 && [alive $::ui(pid)]} {incr i} { after 50 }
  if {[alive $::ui(pid)]} { catch {exec kill -9 $::ui(pid)} }
  set ::ui(app) {}
}

# Evaluates a script in the running program.
proc ui {script} {
  return [send $::ui(app) $script]
}

# Lets the program handle what is pending, then returns.
proc settle {{ms 50}} {
  after $ms
  ui {update}
}

# The screen position of canvas point (x, y) of a view.
proc canvasToScreen {view x y} {
  ui [list apply {{view x y} {
    set c [View::get_path $view]
    update idletasks
    list [expr {[winfo rootx $c] + round($x - [$c canvasx 0])}] \
         [expr {[winfo rooty $c] + round($y - [$c canvasy 0])}]
  }} $view $x $y]
}

proc widgetCentre {w} {
  ui [list apply {{w} {
    update idletasks
    list [expr {[winfo rootx $w] + [winfo width $w] / 2}] \
         [expr {[winfo rooty $w] + [winfo height $w] / 2}]
  }} $w]
}

# Runs, in every layout, the command of every toolbar button that opens no
# file dialog or modal question; returns the errors, one line each.
proc pressEveryButton {} {
  ui {
    set errs {}
    set modal {App::open App::save App::dlg::wizard App::exit App::dlg::export App::set_scene App::merge}
    foreach layout {slice classify sequence slice} {
      App::window::$layout
      update
      foreach box [lsort [array names Form::bbox_buttons]] {
        set i 0
        foreach b $Form::bbox_buttons($box) {
          set cmd [lindex $b 1]
          set skip [expr {$cmd eq ""}]
          foreach m $modal { if {[string first $m $cmd] >= 0} { set skip 1 } }
          if {!$skip && [catch {uplevel #0 $cmd; update} msg]} {
            lappend errs "$layout $box $i: $msg"
          }
          # Close the drop-down panels and menus the button opened.
          set todo [winfo children .]
          while {[llength $todo]} {
            set todo [lassign $todo w]
            if {[lindex [split $w .] end] in {menu methods color}} {
              catch {destroy $w}
            } elseif {![catch {winfo children $w} kids]} {
              lappend todo {*}$kids
            }
          }
          incr i
        }
      }
    }
    catch {destroy .help}
    join $errs \n
  }
}

proc xdo {args} {
  exec xdotool {*}$args
}

proc clickAt {x y {button 1}} {
  xdo mousemove $x $y
  settle 30
  xdo click $button
  settle
}

proc clickWidget {w {button 1}} {
  clickAt {*}[widgetCentre $w] $button
}

proc dragFromTo {x1 y1 x2 y2 {button 1} {steps 5}} {
  xdo mousemove $x1 $y1
  settle 30
  xdo mousedown $button
  settle 30
  for {set i 1} {$i <= $steps} {incr i} {
    xdo mousemove [expr {$x1 + ($x2 - $x1) * $i / $steps}] [expr {$y1 + ($y2 - $y1) * $i / $steps}]
    settle 20
  }
  xdo mouseup $button
  settle
}

proc keyPress {keys} {
  xdo key {*}$keys
  settle
}

proc readFile {path} {
  set f [open $path rb]
  set data [read $f]
  close $f
  return $data
}

# An SCN file of the given sizes, bit count, voxel values and voxel size.
proc makeScn {path nx ny nz bits values {dxyz {1.000000 1.000000 1.000000}}} {
  set f [open $path wb]
  puts -nonewline $f "SCN\n$nx $ny $nz\n[join $dxyz { }]\n$bits\n"
  set code [dict get {8 c* 16 s* 32 i*} $bits]
  puts -nonewline $f [binary format $code $values]
  close $f
}

# Voxel values of a scene whose value at (x, y, z) is given by `expr`.
proc voxelsOf {nx ny nz expression} {
  set values {}
  for {set z 0} {$z < $nz} {incr z} {
    for {set y 0} {$y < $ny} {incr y} {
      for {set x 0} {$x < $nx} {incr x} {
        lappend values [expr $expression]
      }
    }
  }
  return $values
}

# Waits until `script`, evaluated in the program, is true; fails after `ms`.
proc waitFor {script {ms 20000}} {
  set end [expr {[clock milliseconds] + $ms}]
  while 1 {
    if {![catch {ui $script} r] && [string is true -strict $r]} return
    if {[clock milliseconds] > $end} { error "timed out waiting for: $script" }
    after 10
  }
}

# Answers the next question dialog as a user would, by clicking its button
# `index` (for yes/no: 0 yes, 1 no); returns the question's text.
proc answer {index} {
  waitFor [list apply {{b} {
    expr {[winfo exists $b] && [winfo viewable $b] && [grab current] eq ".tmpldlg"}
  }} .tmpldlg.bbox.b$index]
  set id [ui {winfo id .tmpldlg}]
  set text [ui {[.tmpldlg getframe].msg cget -text}]
  clickWidget .tmpldlg.bbox.b$index
  waitFor [list apply {{id} {
    expr {![winfo exists .tmpldlg] || [winfo id .tmpldlg] ne $id}
  }} $id]
  return $text
}

# The file dialogs of the program answer `path` (empty: the user cancelled)
# without showing themselves; the options they were called with are kept
# in ::fileDialog(open) or ::fileDialog(save) of the program.
proc fileDialogsAnswer {path} {
  ui [list apply {{path} {
    foreach kind {open save} {
      proc ::tk_get[string totitle $kind]File args [format {
        set ::fileDialog(%s) $args
        return %s
      } $kind [list $path]]
    }
  }} $path]
}

# Starts the import wizard the way the menu entry does (from the event
# loop, so that sends are answered while its dialogs wait).
proc startWizard {} {
  ui {after idle App::dlg::wizard}
  waitFor {winfo exists .tmpldlg}
}

proc wizardDone {} {
  waitFor {expr {![info exists App::dlg::wizard_running] || !$App::dlg::wizard_running}}
}

# The bytes of a shell written by the core; the shell is freed.
proc shellBytes {shell path} {
  if {[c_IsBodyShell $shell]} {
    WriteBodyShell $shell $path
  } else {
    WriteShell $shell $path
  }
  c_FreeShell $shell
  return [readFile $path]
}

# The program's current shell saved through its save button, as bytes.
proc savedShell {path} {
  fileDialogsAnswer $path
  clickWidget [ui {App::bbox_button shell 2}]
  waitFor [list file exists $path]
  return [readFile $path]
}
