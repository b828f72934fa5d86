# The main interface script.
package require BWidget

wm title . "3D visualization tool"
wm geometry . 800x600
