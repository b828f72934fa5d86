# The main interface script: loads the widget set and the interface scripts
# from the file store, fills the state arrays and builds the main window.
lappend ::auto_path BWidget
package require BWidget

foreach file {form.tcl view.tcl image.tcl shell.tcl scene.tcl frame.tcl
              graph.tcl dgraph.tcl ggraph.tcl objectlist.tcl formats.tcl} {
  source $file
}

# What is selected and where the user is.
array set current {
  scn {} shell {} den {} grad {} tilt 0 spin 0 window main_window
  selobj 0 pos_x 0 pos_y 0 cut_x 0 cut_y 0 cut_z 0 clip {0 0 0 0 0 0}
  seq {along z} movie_frame 0 method 3D opac 1.0 motion 0 training none
  preview,den 0 preview,grad 0 overlay 1 data labels
}
array set last {shell {} pos_x 0 pos_y 0}
array set options {
  windowlevel 0 shell_lock 0 plane_lock 1 movie 0
  clip 1 clip_x 1 clip_y 1 clip_z 1
  guideline 1 guideline_x 1 guideline_y 1 guideline_z 1
  color_x blue color_y red color_z green color_d blue color_g red
  pal colors.pal
}

namespace eval App {
  variable app_path [pwd]
  variable status {}
  variable prgind 0
  namespace eval window {}
  namespace eval combo {}
  namespace eval slice {}
  namespace eval guideline {}
  namespace eval object {}
  namespace eval clip {}
  namespace eval plane {}
  namespace eval dlg {}
  namespace eval render {}
}

foreach file {window.tcl combo.tcl slice.tcl guideline.tcl app.tcl object.tcl
              clip.tcl plane.tcl dlg.tcl render.tcl} {
  source $file
}
unset file

App::main

# Files named on the command line open as the open actions would open them.
App::open_files $argv
set App::loaded 1
