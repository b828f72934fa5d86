# The density opacity curve editors (DGraph::new, DGraph::show ...): the
# shared curve editor with opacity labels, ending at the x axis after the
# last point, and saved as .den curve files.
if {![namespace exists ::CurveEditor]} {source graph.tcl}

CurveEditor::define ::DGraph {
  file new_curve.den points {0 0 255 255} w 150 h 150
  ylabel opacity closing bottom ends {0.0 1.0} windowlevel 0
  filetype {"DEN Files" .den}
} {new destroy show set_size set_max set_histogram set_curve get_curve
   set_opacity get_opacity get_fullcurve read_curve write_curve update}
