# The slices along x.
proc Frame::draw {parent} {
  Frame::slices $parent x
}
