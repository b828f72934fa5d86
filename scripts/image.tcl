# Photos paired with the core colour image they show. A photo owns its core
# image: giving it another frees the previous one.
namespace eval Image {
  variable handle
  variable rgb
}

proc Image::new {photo} {
  variable handle
  variable rgb
  if {$photo ni [image names]} {
    image create photo $photo -palette 255/255/255
  }
  set rgb($photo) {0.0 0.0 0.0}
  if {[info exists handle($photo)] && $handle($photo) ne "0"} {
    catch {c_FreeImage $handle($photo)}
  }
  set handle($photo) [CreateCImage 100 100]
  Image::Show $photo $handle($photo)
}

proc Image::Show {photo core} {
  variable rgb
  if {$photo ni [image names]} {
    image create photo $photo -palette 255/255/255
  }
  c_SetImage $core $photo {*}$rgb($photo)
}

proc Image::update {photo core} {
  variable handle
  Image::Defaults $photo
  if {[info exists handle($photo)] && $handle($photo) ne "0" && $handle($photo) ne $core} {
    catch {c_FreeImage $handle($photo)}
  }
  set handle($photo) $core
  Image::Show $photo $core
}

proc Image::overlay {photo core} {
  Image::Defaults $photo
  Image::Show $photo $core
}

proc Image::reset {photo} {
  variable handle
  Image::Defaults $photo
  if {[info exists handle($photo)] && $handle($photo) ne "0"} {
    Image::Show $photo $handle($photo)
  }
}

proc Image::adjust {photo points} {
  variable handle
  if {![info exists handle($photo)] || $handle($photo) eq "0"} return
  lassign $points f1 g1 f2 g2
  set adjusted [CLinearStretch $handle($photo) [expr {int($f1)}] [expr {int($f2)}] \
      [expr {int($g1)}] [expr {int($g2)}]]
  Image::update $photo $adjusted
}

# Empties the photo: its owned image is freed and nothing is shown.
proc Image::blank {photo} {
  variable handle
  if {[info exists handle($photo)] && $handle($photo) ne "0"} {
    catch {c_FreeImage $handle($photo)}
  }
  set handle($photo) 0
  if {$photo in [image names]} {
    $photo blank
    $photo configure -width 0 -height 0
    catch {$photo.view blank}
  }
}

proc Image::Defaults {photo} {
  variable rgb
  if {![info exists rgb($photo)]} {
    set rgb($photo) {0.0 0.0 0.0}
  }
}

proc Image::set_bg_color {photo colour} {
  variable rgb
  set c {}
  foreach v [winfo rgb . $colour] {
    lappend c [expr {$v / 65535.0}]
  }
  set rgb($photo) $c
}

proc Image::get_handle {photo} {
  variable handle
  if {![info exists handle($photo)]} {return 0}
  return $handle($photo)
}

proc Image::set_handle {photo core} {
  variable handle
  set handle($photo) $core
}
