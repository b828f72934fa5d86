# The gradient opacity curve editors (GGraph::new, GGraph::show ...): as the
# density editors, but a new curve is fully opaque, the full curve rises to
# an opacity of 1.0 at the right end, and files are .grad curve files.
if {![namespace exists ::CurveEditor]} {source graph.tcl}

CurveEditor::define ::GGraph {
  file new_curve.grad points {0 255 255 255} w 150 h 150
  ylabel opacity closing bottom ends {yo ym} windowlevel 0
  filetype {"GRAD Files" .grad}
} {new destroy show set_size set_max set_histogram set_curve get_curve
   set_opacity get_opacity get_fullcurve read_curve write_curve update}
