# The density classification curve of the current shell.
proc Frame::draw {parent} {
  Frame::curves $parent den
}
