# The 3D view: the rendering of the current shell, its method, zoom,
# window/level and rotation controls.
proc Frame::draw {parent} {
  global current last options
  lassign [Frame::titled $parent "3D view"] inner row
  Form::add_bbox render $row
  Form::add_bbox view_3 $row
  Frame::separator $row sep1
  Entry $row.tilt -width 5 -textvariable current(tilt) -helptext "Tilt angle"
  Entry $row.spin -width 5 -textvariable current(spin) -helptext "Select slice number"
  foreach entry [list $row.tilt $row.spin] {
    bind $entry <Return> "[list App::render::angles view_3 $row.tilt $row.spin]; App::render::update view_3"
    pack $entry -side left
  }
  Frame::separator $row sep2
  Frame::arrow $row up top {App::render::rotate view_3 -10 0}
  Frame::arrow $row down bottom {App::render::rotate view_3 10 0}
  Frame::arrow $row left left {App::render::rotate view_3 0 10}
  Frame::arrow $row right right {App::render::rotate view_3 0 -10}
  Frame::separator $row sep3
  Frame::view $inner view_3 img_3
}
