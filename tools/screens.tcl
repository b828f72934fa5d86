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

# A screenshot of the main window, or of the whole screen for a panel that
# floats over it.
proc shot {name script {window {}}} {
  if {$window eq ""} { set window $::window }
  send $::app $script
  send $::app {update}
  after 300
  exec import -window $window [file join $::out $name.png]
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
# The 3D view with each method of the method menu: the object shell with
# the grey scene attached for the scene cuts, then the body shell; the clip
# box takes the front half away so that the cuts show.
foreach {shell methods} {
  phantom_labels {"3D" "3D with scene cut" "3D with cut plane" "3D with scene cut plane" "Stereo"}
  phantom {"3D" "3D with cut" "3D with cut plane" "MIP" "Color MIP" "Stereo"}
} {
  foreach method $methods {
    set file method_${shell}_[string map {" " _} [string tolower $method]]
    shot $file [list apply {{shell method} {
      global current
      set current(shell) $shell
      App::combo::choose_shell
      Shell::set_scene phantom_labels [Scene::get_handle phantom]
      set current(clip) [list 0 [App::slice::max x] 0 [App::slice::max y] \
          [expr {[App::slice::max z] / 2}] [App::slice::max z]]
      Shell::set_cutplanes $shell $current(clip)
      Shell::set_angles $shell 30 40
      set current(method) $method
      App::dlg::SetMethod view_3
    }} $shell $method]
  }
}
send $app {App::clip::reset; App::window::update}
# The 3D window/level panel, over its histogram.
shot windowlevel_3d {
  set current(method) 3D
  App::dlg::SetMethod view_3
  App::dlg::windowlevel_render $Form::bbox(view_3).b2 view_3
} root
send $app {foreach w [winfo children .] { if {[winfo class $w] eq "Toplevel"} { destroy $w } }}
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

# The whole screen: dialogs and drop-down panels are windows of their own.
proc shotScreen {name} {
  send $::app {update}
  after 300
  exec import -window root [file join $::out $name.png]
  puts [file join $::out $name.png]
}

proc waitFor {script} {
  while {[catch {send $::app $script} ok] || !$ok} { after 20 }
}

# The wizard's first questions, on the phantom's labelled scene.
send $app [list proc ::tk_getOpenFile args [list return [file join $demo phantom_labels.scn]]]
send $app {after idle App::dlg::wizard}
waitFor {winfo viewable .tmpldlg}
shotScreen wizard_welcome
send $app {after idle {.tmpldlg invoke 0}}
waitFor {expr {[winfo exists .tmpldlg] && [winfo viewable .tmpldlg] && [string match *labeled* [[.tmpldlg getframe].msg cget -text]]}}
shotScreen wizard_labelled
send $app {after idle {.tmpldlg invoke 1}}
waitFor {expr {[winfo exists .tmpldlg] && [winfo viewable .tmpldlg] && [string match *isometric* [[.tmpldlg getframe].msg cget -text]]}}
shotScreen wizard_isometric
send $app {after idle {.tmpldlg invoke 1}}
waitFor {expr {[winfo exists .tmpldlg] && [winfo viewable .tmpldlg]}}
# Grey from here on: no body shell, no MIP.
send $app {after idle {.tmpldlg invoke 1}}
waitFor {expr {[winfo exists .tmpldlg] && [winfo viewable .tmpldlg]}}
send $app {after idle {.tmpldlg invoke 1}}
waitFor {expr {!$App::dlg::wizard_running}}

# A label shell builder half way.
send $app {
  set ::shot_h [Scene::get_handle $current(scn)]
  after idle {App::dlg::new_object $::shot_h phantom_objects}
}
waitFor {expr {[winfo exists .prgdlg] && [string match "Object 3*" $Form::status(form1)]}}
exec import -window root [file join $out progress.png]
puts [file join $out progress.png]
waitFor {expr {![winfo exists .prgdlg]}}

# The export dialog.
send $app {after idle App::dlg::export}
waitFor {expr {[winfo exists .expdlg] && [winfo viewable .expdlg]}}
shotScreen export
send $app {after idle {.expdlg invoke 1}}
waitFor {expr {![winfo exists .expdlg]}}

# The drop-down panels, each opened by its button.
foreach {name box index} {
  panel_opacity cxt 1  panel_guides guide 0  panel_lock view_3 3
  panel_windowlevel zslices 2  panel_windowlevel_3d view_3 2  menu_method render 0
} {
  send $app [list apply {{box index} {[App::bbox_button $box $index] invoke}} $box $index]
  shotScreen $name
  send $app {
    set todo [winfo children .]
    while {[llength $todo]} {
      set todo [lassign $todo w]
      if {[lindex [split $w .] end] in {menu methods}} {
        catch {grab release [grab current]}
        catch {tk::MenuUnpost $w}
        catch {destroy $w}
      } else {
        lappend todo {*}[winfo children $w]
      }
    }
  }
}
send $app {set options(windowlevel) 1}
send $app {[App::bbox_button zslices 2] invoke}
shotScreen panel_windowlevel_curve

send $app {after idle ::exit}
exit
