# The cut plane turned by a middle-button drag in the 3D view.

proc App::plane::rotation {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  set c [View::get_path $view]
  set zf [View::factor $view]
  set last(pos_x) $current(pos_x)
  set last(pos_y) $current(pos_y)
  set current(pos_x) [expr {[$c canvasx $x] / $zf}]
  set current(pos_y) [expr {[$c canvasy $y] / $zf}]
  Shell::rotate_plane $current(shell) [expr {$current(pos_y) - $last(pos_y)}] \
      [expr {$last(pos_x) - $current(pos_x)}]
  App::render::update $view
}
