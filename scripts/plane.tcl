# The cut plane turned by a middle-button drag in the 3D view.

proc App::plane::rotation {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  set last(pos_x) $current(pos_x)
  set last(pos_y) $current(pos_y)
  lassign [App::render::Position $view $x $y] current(pos_x) current(pos_y)
  Shell::rotate_plane $current(shell) [expr {$current(pos_y) - $last(pos_y)}] \
      [expr {$last(pos_x) - $current(pos_x)}]
  App::render::later $view
}
