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
  # A view at 100 percent or more copies only what it shows (a photo put
  # into a displayed image costs ten times the put): scrolling or resizing
  # copies the newly shown part.
  foreach option {-xscrollcommand -yscrollcommand} {
    $c configure $option [list View::Scrolled $name [$c cget $option]]
  }
  bind $c <Configure> [list View::Scrolled $name {}]
  pack $sw -side left -expand yes -fill both
  set path($name) $c
  View::EnsureDisplay $img($name)
  $c create image 0 0 -anchor nw -image $img($name).view -tags [list $img($name)]
  View::update $name
  return $c
}

proc View::Scrolled {name command args} {
  variable zoom
  variable window
  variable path
  if {$command ne ""} { uplevel #0 $command $args }
  if {$zoom($name) < 100} return
  set c $path($name)
  if {![winfo exists $c]} return
  # Redrawing sets the scroll region, which calls this again: only a change
  # of what the canvas shows asks for a new copy.
  set now [list [$c canvasx 0] [$c canvasy 0] [winfo width $c] [winfo height $c]]
  if {[info exists window($name)] && $window($name) eq $now} return
  after cancel [list View::update $name]
  after idle [list View::update $name]
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
# a negative subsample mirrors. Zoomed in, only the part of the image the
# canvas shows is copied (a whole 512 x 512 slice at 400 percent would be
# 4 million pixels per step); the image item then sits where that part
# lies, and the scroll region still spans the whole zoomed image.
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
  set c $path($name)
  set shown [expr {$c ne "-1" && [winfo exists $c]}]
  set at {0 0}
  if {$z >= 100} {
    set k [expr {$z / 100}]
    if {$shown} {
      variable window
      set window($name) [list [$c canvasx 0] [$c canvasy 0] [winfo width $c] [winfo height $c]]
      lassign [View::VisiblePart $name $k] from at
      $disp copy $photo -from {*}$from -zoom $k $k -subsample $fx $fy -shrink
    } else {
      $disp copy $photo -zoom $k $k -subsample $fx $fy -shrink
    }
  } else {
    set k [expr {100 / $z}]
    $disp copy $photo -subsample [expr {$k * $fx}] [expr {$k * $fy}] -shrink
  }
  if {$shown} {
    $c coords $photo {*}$at
    lassign [View::size $name] w h
    $c configure -scrollregion [list 0 0 $w $h]
  }
}

# The whole zoomed and mirrored image copied into another photo.
proc View::CopyWhole {name target} {
  variable zoom
  variable flip
  variable img
  set fx $flip($name,x)
  set fy $flip($name,y)
  set z $zoom($name)
  if {$z >= 100} {
    set k [expr {$z / 100}]
    $target copy $img($name) -zoom $k $k -subsample $fx $fy -shrink
  } else {
    set k [expr {100 / $z}]
    $target copy $img($name) -subsample [expr {$k * $fx}] [expr {$k * $fy}] -shrink
  }
}

# The size of the whole zoomed image on the canvas.
proc View::size {name} {
  variable zoom
  variable img
  set z $zoom($name)
  set w [image width $img($name)]
  set h [image height $img($name)]
  if {$z >= 100} {
    set k [expr {$z / 100}]
    return [list [expr {$w * $k}] [expr {$h * $k}]]
  }
  set k [expr {100 / $z}]
  return [list [expr {($w + $k - 1) / $k}] [expr {($h + $k - 1) / $k}]]
}

# The photo region {x1 y1 x2 y2} that covers what a canvas zoomed by k shows,
# and the canvas position of its copy.
proc View::VisiblePart {name k} {
  variable path
  variable flip
  variable img
  set c $path($name)
  set w [image width $img($name)]
  set h [image height $img($name)]
  set spans {}
  foreach {size start extent f} [list $w [$c canvasx 0] [winfo width $c] $flip($name,x) \
                                     $h [$c canvasy 0] [winfo height $c] $flip($name,y)] {
    # Displayed columns [a, b) of the zoomed image, in photo columns.
    set a [expr {max(0, int(floor($start / $k)))}]
    set b [expr {min($size, int(ceil(($start + max($extent, 1)) / double($k))) + 1)}]
    if {$b <= $a} { set a 0; set b $size }
    if {$f < 0} {
      lappend spans [expr {$size - $b}] [expr {$size - $a}] [expr {$a * $k}]
    } else {
      lappend spans $a $b [expr {$a * $k}]
    }
  }
  lassign $spans x1 x2 cx y1 y2 cy
  return [list [list $x1 $y1 $x2 $y2] [list $cx $cy]]
}

# The canvas box of the whole zoomed image.
proc View::bbox {name} {
  return [list 0 0 {*}[View::size $name]]
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

# The canvas position of the image's top left corner.
proc View::origin {name} {
  return {0 0}
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
