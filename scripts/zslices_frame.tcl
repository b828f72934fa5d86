# The slices along z.
proc Frame::draw {parent} {
  Frame::slices $parent z
}
