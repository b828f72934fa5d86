# The cut plane turned by a middle-button drag in the 3D view.

proc App::plane::rotation {view x y} {
  global current last options
  if {$current(shell) eq ""} return
  Shell::rotate_plane $current(shell) {*}[App::render::Step $view $x $y]
  App::render::later $view
}
