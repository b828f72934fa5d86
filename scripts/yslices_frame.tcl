# The slices along y.
proc Frame::draw {parent} {
  Frame::slices $parent y
}
