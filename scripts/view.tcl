# Views: a canvas showing a photo, zoomed and mirrored. Every shown photo P
# has a companion photo P.view holding the copy actually drawn, and the
# canvas item showing it is tagged P.
namespace eval View {
  variable path
  variable zoom
  variable flip
  variable img
}

proc View::new {name} {
  variable path
  variable zoom
  variable flip
  variable img
  set path($name) -1
  set zoom($name) 100
  set flip($name,x) 1
  set flip($name,y) 1
  set img($name) dummy.$name
  foreach photo [list dummy.$name dummy.$name.view] {
    if {$photo ni [image names]} {
      image create photo $photo -palette 255/255/255
    }
  }
}

proc View::add_view {parent name} {
  variable path
  variable zoom
  variable img
  set n [array size zoom]
  set sw $parent.sw$n
  catch {destroy $sw}
  ScrolledWindow $sw -auto both
  set c [canvas $sw.canvas -highlightthickness 0 -borderwidth 0 -width 160 -height 120]
  $sw setwidget $c
  pack $sw -side left -expand yes -fill both
  set path($name) $c
  View::EnsureDisplay $img($name)
  $c create image 0 0 -anchor nw -image $img($name).view -tags [list $img($name)]
  View::update $name
  return $c
}

# The display copy of a photo exists whenever the photo does.
proc View::EnsureDisplay {photo} {
  if {$photo ni [image names]} {
    image create photo $photo -palette 255/255/255
  }
  if {"$photo.view" ni [image names]} {
    image create photo $photo.view -palette 255/255/255
  }
}

proc View::set_image {name photo} {
  variable path
  variable img
  set c $path($name)
  if {$c ne "-1" && [winfo exists $c]} {
    $c delete $img($name)
  }
  if {$img($name) ne $photo && "$img($name).view" in [image names]} {
    image delete $img($name).view
  }
  set img($name) $photo
  catch {image delete $photo.view}
  View::EnsureDisplay $photo
  if {$c ne "-1" && [winfo exists $c]} {
    $c create image 0 0 -anchor nw -image $photo.view -tags [list $photo]
    $c lower $photo
  }
  View::update $name
}

# Redraws the display copy from the photo: zoom levels 25 to 400 percent,
# a negative subsample mirrors.
proc View::update {name} {
  variable path
  variable zoom
  variable flip
  variable img
  set photo $img($name)
  View::EnsureDisplay $photo
  set fx $flip($name,x)
  set fy $flip($name,y)
  set z $zoom($name)
  set disp $photo.view
  if {$z == 100} {
    $disp copy $photo -subsample $fx $fy -shrink
  } elseif {$z > 100} {
    set k [expr {$z / 100}]
    $disp copy $photo -zoom $k $k -subsample $fx $fy -shrink
  } else {
    set k [expr {100 / $z}]
    $disp copy $photo -subsample [expr {$k * $fx}] [expr {$k * $fy}] -shrink
  }
  set c $path($name)
  if {$c ne "-1" && [winfo exists $c]} {
    set box [$c bbox $photo]
    if {$box ne ""} {
      $c configure -scrollregion $box
    }
  }
}

proc View::refresh_image {name} {
  variable img
  set photo $img($name)
  catch {image delete $photo}
  catch {image delete $photo.view}
  image create photo $photo -palette 255/255/255
  View::refresh_canvas $name
}

proc View::refresh_canvas {name} {
  variable path
  variable img
  set photo $img($name)
  catch {image delete $photo.view}
  View::EnsureDisplay $photo
  set c $path($name)
  if {$c ne "-1" && [winfo exists $c]} {
    $c delete $photo
    $c create image 0 0 -anchor nw -image $photo.view -tags [list $photo]
    $c lower $photo
  }
  View::update $name
}

proc View::zoom {how name} {
  variable zoom
  switch -- $how {
    in { if {$zoom($name) < 400} { set zoom($name) [expr {$zoom($name) * 2}] } }
    out { if {$zoom($name) > 25} { set zoom($name) [expr {$zoom($name) / 2}] } }
    reset { set zoom($name) 100 }
  }
  View::refresh_image $name
}

proc View::flip {name dir} {
  variable flip
  set flip($name,$dir) [expr {-$flip($name,$dir)}]
}

proc View::is_flipped {name dir} {
  variable flip
  return [expr {$flip($name,$dir) < 0}]
}

# The canvas position of the view's image item: {0 0} unless moved.
proc View::origin {name} {
  variable path
  variable img
  set origin [lrange [$path($name) coords $img($name)] 0 1]
  if {[llength $origin] < 2} {return {0 0}}
  return $origin
}

# The zoom factor of a view (1.0 at 100 percent).
proc View::factor {name} {
  variable zoom
  return [expr {$zoom($name) / 100.0}]
}

# The 3D view's window/level: a grey-level stretched copy of the core image.
proc View::adjust {name points core} {
  variable img
  lassign $points f1 g1 f2 g2
  set adjusted [CLinearStretch $core [expr {int($f1)}] [expr {int($f2)}] \
      [expr {int($g1)}] [expr {int($g2)}]]
  Image::overlay $img($name) $adjusted
  c_FreeImage $adjusted
  View::update $name
}

proc View::get_image {name} {
  variable img
  return $img($name)
}

proc View::get_path {name} {
  variable path
  return $path($name)
}
