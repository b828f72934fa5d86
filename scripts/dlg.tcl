# Dialogs: questions, the import wizard and the shell builders behind it,
# merging and label combining, export, and the drop-down panels under the
# toolbar buttons.

# ---------------------------------------------------------------- questions

# The index of the pressed button: for `yesno` 0 is yes and 1 no; otherwise
# one button per text, then cancel.
proc App::dlg::question {message type title args} {
  catch {destroy .tmpldlg}
  Dialog .tmpldlg -parent . -modal global -separator 1 -title $title \
      -side bottom -anchor c -default 0 -cancel 1
  if {$type eq "yesno"} {
    .tmpldlg add -text yes -name yes
    .tmpldlg add -text no -name no
  } else {
    foreach text $args {
      .tmpldlg add -text $text
    }
    .tmpldlg add -text cancel -name cancel
    .tmpldlg configure -cancel [llength $args]
  }
  message [.tmpldlg getframe].msg -text $message -justify left -aspect 800
  pack [.tmpldlg getframe].msg -padx 30 -pady 30
  set result [.tmpldlg draw]
  destroy .tmpldlg
  return $result
}

proc App::dlg::Yes {message} {
  return [expr {[App::dlg::question $message yesno "Import Wizard"] == 0}]
}

# ------------------------------------------------------------------ wizard

proc App::dlg::wizard {} {
  global current last options
  variable wizard_running
  if {[info exists wizard_running] && $wizard_running} return
  set wizard_running 1
  set status [catch {App::dlg::Wizard} message]
  set wizard_running 0
  if {$status == 1} {
    App::report $message
  }
}

proc App::dlg::Wizard {} {
  global current last options
  set answer [App::dlg::question \
      "Welcome!\n\nThis wizard will guide you to import an object from a scene file." \
      other "Import Wizard" Next]
  if {$answer != 0} return
  if {[App::open scene] eq ""} return
  set name $current(scn)
  set h [Scene::get_handle $name]
  set labels [SceneLabels $h]
  set m [llength [c_Curve2List $labels]]
  set m [expr {$m / 2}]
  c_FreeCurve $labels
  set dx [GetDx $h]
  set dy [GetDy $h]
  set dz [GetDz $h]
  set d [expr {max($dx, $dy, $dz)}]
  set cubic [expr {$dx == $dy && $dy == $dz}]
  if {$m < 64} {
    if {[App::dlg::Yes "This scene appears to be a labeled scene (with at most $m objects)\nIs this correct?"]} {
      Scene::set_type $name object
    }
  } else {
    if {[App::dlg::Yes "This scene appears to be a gray scene (without objects)\nIs this correct?"]} {
      Scene::set_type $name gray
    }
  }
  if {[Scene::get_type $name] ne "object"} {
    set volume $h
    set resampled 0
    if {!$cubic && [App::dlg::Yes "This scene is not isometric\n\nDo you want to interpolate it?"]} {
      set volume [App::dlg::Resample $h $d]
      if {$volume eq ""} {
        App::dlg::RemoveScene $name
        return
      }
      set resampled 1
    }
    if {[App::dlg::Yes "This scene appears to be a gray scene (without objects) and does not match with any loaded object.\n Do you want to make it an object to view it in 3D?"]} {
      if {[App::dlg::BuildBody $volume $resampled $name] &&
          [App::dlg::Yes " Do you want to classify the shell?"]} {
        App::auto_classify
        App::init shell $current(shell)
        App::window::classify
      }
    } elseif {[App::dlg::Yes "Do you want to view this scene in MIP?"]} {
      if {[App::dlg::BuildBody $volume $resampled $name]} {
        set current(method) MIP
        Shell::set_command $current(shell) MIP
      }
    } elseif {$resampled} {
      c_FreeScene $volume
    }
  } else {
    if {!$cubic && [App::dlg::Yes "This scene is not isometric\n\nDo you want to interpolate it?"]} {
      set interp [App::dlg::shape_based_interp $name $d $d $d]
      App::dlg::RemoveScene $name
      if {$interp eq ""} {
        App::window::update
        return
      }
      set name $interp
      set h [Scene::get_handle $name]
    }
    if {[App::dlg::Yes "This scene is a labeled scene (with at most $m objects).\n Do you want to make objects from it?"]} {
      set status [catch {App::dlg::new_object $h $name} message]
      App::dlg::RemoveScene $name
      if {$status} { error $message }
    }
  }
  App::window::update
}

# The grey scene resampled to cubic voxels of side d, under a progress
# dialog whose Cancel stops it (then empty).
proc App::dlg::Resample {h d} {
  set Form::status(form1) "Interpolating..."
  App::dlg::Progress "Interpolation" 1
  set status [catch {LinearInterp $h $d $d $d} volume]
  set cancelled [App::dlg::Cancelled]
  App::dlg::CloseProgress
  if {$status == 0 && $cancelled} { c_FreeScene $volume }
  if {$status == 1 && !$cancelled} { error $volume }
  if {$status || $cancelled} {return {}}
  set Form::status(form1) {}
  return $volume
}

# A body shell built under the scene's name from `volume` (the scene's own
# or, when `resampled`, a copy that is freed here); the scene is removed
# whether or not the shell was built. Whether it was.
proc App::dlg::BuildBody {volume resampled name} {
  set status [catch {App::dlg::new_body $volume $name} built]
  if {$resampled} { c_FreeScene $volume }
  App::dlg::RemoveScene $name
  if {$status} { error $built }
  return $built
}

# Removes a scene of the wizard by name, whether or not it is current.
proc App::dlg::RemoveScene {name} {
  global current last options
  if {$name ni [Scene::names]} return
  set keep $current(scn)
  set current(scn) $name
  App::free scene
  if {$keep ne $name && $keep in [Scene::names]} {
    set current(scn) $keep
  }
}

# ---------------------------------------------------------------- progress

namespace eval App::dlg {
  # Whether Cancel may still stop the running builder: not once it has
  # begun to change a shell that is already registered.
  variable cancellable 1
  # When a list, the times (microseconds) at which the progress dialog could
  # redraw are appended to it (bench/builder_bench.tcl reads them).
  variable redraws
  # How often a long core step serves the dialog, in milliseconds.
  variable pulse_ms 50
}

# The builders' progress dialog; Cancel leaves "Canceling..." in the status.
# While it is open the core's long steps keep it drawn and stop when Cancel
# is pressed (c_ProgressHook).
proc App::dlg::Progress {title maximum} {
  variable cancellable
  catch {destroy .prgdlg}
  set App::prgind 0
  set cancellable 1
  ProgressDlg .prgdlg -parent [Form::get_path form1] -title $title \
      -variable App::prgind -textvariable Form::status(form1) -maximum $maximum \
      -stop "Cancel" -command {set Form::status(form1) "Canceling..."}
  update idletasks
  c_ProgressHook App::dlg::Pulse $App::dlg::pulse_ms
}

# Run by the core's long steps about twenty times a second, after the pending
# redraws and button presses: whether to stop the step.
proc App::dlg::Pulse {} {
  variable cancellable
  App::dlg::Redrawn
  return [expr {$cancellable && [App::dlg::Cancelled]}]
}

proc App::dlg::Redrawn {} {
  variable redraws
  if {[info exists redraws]} {
    lappend redraws [clock microseconds]
  }
}

# From here on Cancel cannot stop the builder.
proc App::dlg::Uncancellable {} {
  variable cancellable
  set cancellable 0
  catch {.prgdlg itemconfigure 0 -state disabled}
}

# A step's text never hides "Canceling...": the builder has still to see it.
proc App::dlg::Step {text} {
  if {$text ne "" && ![App::dlg::Cancelled]} {
    set Form::status(form1) $text
  }
  incr App::prgind
  update
  App::dlg::Redrawn
}

proc App::dlg::Status {text} {
  if {![App::dlg::Cancelled]} {
    set Form::status(form1) $text
  }
  update
  App::dlg::Redrawn
}

proc App::dlg::Cancelled {} {
  return [expr {$Form::status(form1) eq "Canceling..."}]
}

proc App::dlg::CloseProgress {} {
  c_ProgressHook
  catch {destroy .prgdlg}
  set App::prgind 0
}

# Frees, with the command `free`, the objects still held by the named
# variables of the caller (freed ones fail harmlessly: handles are never
# issued twice).
proc App::dlg::FreeLeft {free args} {
  foreach var $args {
    upvar 1 $var h
    if {[info exists h]} { catch {$free $h} }
  }
}

# ---------------------------------------------------------------- builders

# Builds a label shell from a labelled scene; 1 when done, 0 when cancelled.
proc App::dlg::new_object {scn name} {
  global current last options
  set w 5
  set nw 5
  set limit [expr {($w - 1) * ($w - 1)}]
  set Form::status(form1) "Starting.."
  set App::prgind 0
  set c [c_List2Curve [list 0.0 1.0 $limit 1.0]]
  set labels [App::dlg::Labels $scn]
  set n [llength $labels]
  App::dlg::Progress "Building shell" [expr {3 * $n + 5}]
  set A [c_Spheric 1.8]
  set status [catch {
    App::dlg::Status "Objects: borders"
    set border [Label2Border $scn $A 2 $limit]
    App::dlg::Step {}
    if {[App::dlg::Cancelled]} { return -code break }
    set k [c_CountSceneVoxels $border]
    set shell [NewShell [GetXSize $scn] [GetYSize $scn] [GetNSlices $scn] $k]
    App::dlg::Step [format "Objects: %d voxels" $k]
    SetShellVoxels $shell $border
    App::dlg::Step {}
    if {[App::dlg::Cancelled]} { return -code break }
    SetShellList $shell $border
    App::dlg::Step {}
    if {[App::dlg::Cancelled]} { return -code break }
    set k 0
    foreach i $labels {
      incr k
      App::dlg::Status [format "Object %d/%d" $k $n]
      set bin [Threshold3 $border $i $i]
      App::dlg::Step {}
      if {[App::dlg::Cancelled]} break
      App::dlg::Status [format "Object %d/%d: normals" $k $n]
      set dist [TDistTrans3 $bin $A 2 $limit]
      c_FreeScene $bin
      c_SetObjectNormal $shell $dist $i
      App::dlg::Step {}
      if {[App::dlg::Cancelled]} break
      App::dlg::Status [format "Object %d/%d: antialiasing" $k $n]
      c_ClassifyObject $shell $dist $c $i
      c_FreeScene $dist
      App::dlg::Step {}
    }
  } message]
  App::dlg::FreeLeft c_FreeScene border bin dist
  c_FreeCurve $c
  c_FreeAdjRel3 $A
  if {![info exists shell]} { set shell {} }
  return [App::dlg::EndBuild $status $message $scn $name $shell]
}

# The non-zero labels of a scene, rounded, in increasing order.
proc App::dlg::Labels {scn} {
  set curve [SceneLabels $scn]
  set labels {}
  foreach {x y} [c_Curve2List $curve] { lappend labels [expr {round($x)}] }
  c_FreeCurve $curve
  return $labels
}

# Builds a body shell from a grey scene; 1 when done, 0 when cancelled.
proc App::dlg::new_body {scn name} {
  global current last options
  set Form::status(form1) "Starting.."
  App::dlg::Progress "Building shell" 5
  set status [catch {
    set k [c_CountSceneVoxels $scn]
    App::dlg::Step {}
    set shell [NewBodyShell [GetXSize $scn] [GetYSize $scn] [GetNSlices $scn] $k]
    App::dlg::Status "Creating voxel list..."
    SetShellVoxels $shell $scn
    App::dlg::Step {}
    if {[App::dlg::Cancelled]} { return -code break }
    App::dlg::Status "Creating pointer list..."
    SetShellList $shell $scn
    App::dlg::Step {}
    if {[App::dlg::Cancelled]} { return -code break }
    App::dlg::Status "Estimating normals..."
    c_SetShellNormal $shell $scn
    App::dlg::Step {}
    if {[App::dlg::Cancelled]} { return -code break }
    App::dlg::Status "Creating body..."
    SetBodyShellValue $shell $scn
    App::dlg::Step {}
  } message]
  if {![info exists shell]} { set shell {} }
  return [App::dlg::EndBuild $status $message $scn $name $shell]
}

# The end of a shell builder whose steps ended with `status`: a cancel
# (between steps or inside one) frees the shell and gives 0; a failure frees
# it and raises the error again; else the shell gets the scene's voxel size
# and is registered under `name`: 1.
proc App::dlg::EndBuild {status message scn name shell} {
  if {$status == 1 || $status == 3 || [App::dlg::Cancelled]} {
    if {$shell ne ""} { catch {c_FreeShell $shell} }
    App::dlg::CloseProgress
    if {$status == 1 && ![App::dlg::Cancelled]} { error $message }
    return 0
  }
  App::dlg::Status "Finishing..."
  c_SetShellResolution $shell [GetDx $scn] [GetDy $scn] [GetDz $scn]
  ShellNObjects $shell
  App::dlg::Step {}
  App::dlg::CloseProgress
  App::new shell $name $shell
  set Form::status(form1) {}
  return 1
}

# Resamples a labelled scene to the voxel size idx x idy x idz, object by
# object through signed distances; returns the new scene's name, empty when
# cancelled.
proc App::dlg::shape_based_interp {name idx idy idz} {
  global current last options
  set scn [Scene::get_handle $name]
  set sizes [list [GetXSize $scn] [GetYSize $scn] [GetNSlices $scn]]
  set spacing [App::dlg::Spacing $scn]
  set target [list $idx $idy $idz]
  set new {}
  foreach n $sizes d $spacing t $target {
    lappend new [expr {int(($n - 1) * $d / $t) + 1}]
  }
  set iscn [CreateScene {*}$new]
  set labels [App::dlg::Labels $scn]
  set axes {}
  foreach axis {x y z} d $spacing t $target {
    if {$d != $t} { lappend axes $axis }
  }
  set steps 0
  foreach axis $axes {
    incr steps [lindex $sizes [dict get {x 0 y 1 z 2} $axis]]
  }
  set Form::status(form1) "Starting interpolation"
  App::dlg::Progress "Shape Based Interpolation" [expr {max(1, $steps * [llength $labels])}]
  update
  set A [Circular 1.5]
  set status [catch {
    foreach i $labels {
      if {$i == 0} continue
      set bin [Threshold3 $scn $i $i]
      set voxel $spacing
      foreach axis $axes {
        App::dlg::Status [format "Interpolation in %s of object %d" $axis $i]
        set dist [CreateScene [GetXSize $bin] [GetYSize $bin] [GetNSlices $bin]]
        App::dlg::SetSpacing $dist {*}[App::dlg::Spacing $bin]
        set count [dict get [list x [GetXSize $bin] y [GetYSize $bin] z [GetNSlices $bin]] $axis]
        for {set s 0} {$s < $count} {incr s} {
          switch -- $axis {
            x { set slice [GetXSlice $bin $s] }
            y { set slice [GetYSlice $bin $s] }
            z { set slice [GetSlice $bin $s] }
          }
          set sdt [SignedDistTrans $slice $A 2]
          switch -- $axis {
            x { PutXSlice $sdt $dist $s }
            y { PutYSlice $sdt $dist $s }
            z { PutSlice $sdt $dist $s }
          }
          c_FreeGrayImage $slice
          c_FreeGrayImage $sdt
          App::dlg::Step {}
          if {[App::dlg::Cancelled]} { return -code break }
        }
        c_FreeScene $bin
        set k [dict get {x 0 y 1 z 2} $axis]
        lset voxel $k [lindex $target $k]
        set resampled [LinearInterp $dist {*}$voxel]
        c_FreeScene $dist
        set bin [Threshold3 $resampled 0 1000000]
        c_FreeScene $resampled
      }
      App::dlg::Status "Restoring labels"
      c_RestoreLabels $iscn $bin $i
      c_FreeScene $bin
    }
  } message]
  App::dlg::FreeLeft c_FreeScene bin dist resampled
  App::dlg::FreeLeft c_FreeGrayImage slice sdt
  DestroyAdjRel $A
  set cancelled [App::dlg::Cancelled]
  App::dlg::CloseProgress
  if {$status != 0 || $cancelled} {
    c_FreeScene $iscn
    if {$status == 1 && !$cancelled} { error $message }
    return {}
  }
  # The new grid has the new spacing: recording the old one would stretch it.
  App::dlg::SetSpacing $iscn $idx $idy $idz
  set Form::status(form1) {}
  return [App::new scene ${name}_interp $iscn]
}

proc App::dlg::SetSpacing {scn dx dy dz} {
  SetDx $scn $dx
  SetDy $scn $dy
  SetDz $scn $dz
}

proc App::dlg::Spacing {scn} {
  return [list [GetDx $scn] [GetDy $scn] [GetDz $scn]]
}

# --------------------------------------------------------- merge, combine

proc App::dlg::merge_shell {a b} {
  global current last options
  set ha [Shell::get_handle $a]
  set hb [Shell::get_handle $b]
  if {[App::dlg::SameSize $ha $hb] &&
      [App::dlg::question "This shell has same dimensions as a previous loaded shell.\nDo you want to merge them?" yesno "Merge"] == 0} {
    set la [LabelScene $ha]
    set lb [LabelScene $hb]
    set merged [MergeLabels $la $lb]
    c_FreeScene $la
    c_FreeScene $lb
    set name [format "%s_with_%s" $a $b]
    set status [catch {App::dlg::new_object $merged $name} built]
    c_FreeScene $merged
    if {$status} {error $built}
    if {$built} {return $current(shell)}
  }
  return {}
}

proc App::dlg::SameSize {ha hb} {
  foreach size {GetShellXSize GetShellYSize GetShellZSize} {
    if {[$size $ha] != [$size $hb]} {return 0}
  }
  return 1
}

# Copies the labels of a label shell into a body shell of the same size;
# 0 when cancelled (the body shell is then as it was), else 1.
proc App::dlg::put_label {body labelled} {
  global current last options
  set hb [Shell::get_handle $body]
  set hl [Shell::get_handle $labelled]
  if {![App::dlg::SameSize $hb $hl]} {return 1}
  set Form::status(form1) "Starting.."
  set nz [GetShellZSize $hb]
  set scn [CreateScene [GetShellXSize $hb] [GetShellYSize $hb] $nz]
  App::dlg::Progress "Combining labels" [expr {3 + 3 * $nz}]
  set status [catch {
    for {set z 0} {$z < $nz} {incr z} {
      App::dlg::Status [format "Getting slice %d..." $z]
      set slice [GetShellZSlice $hl $z]
      App::dlg::Step {}
      if {[App::dlg::Cancelled]} break
      set filled [FillSlice $slice]
      c_FreeGrayImage $slice
      App::dlg::Step {}
      if {[App::dlg::Cancelled]} break
      PutSlice $filled $scn $z
      c_FreeGrayImage $filled
      App::dlg::Step {}
      if {[App::dlg::Cancelled]} break
    }
  } message]
  App::dlg::FreeLeft c_FreeGrayImage slice filled
  if {$status != 0 || [App::dlg::Cancelled]} {
    c_FreeScene $scn
    App::dlg::CloseProgress
    if {$status == 1 && ![App::dlg::Cancelled]} { error $message }
    return 0
  }
  # The body shell changes from here on: a stop half way would spoil it.
  App::dlg::Uncancellable
  App::dlg::Status "Setting labels..."
  set status [catch {
    SetShellLabel $hb $scn
    App::mark_changed $body
    App::dlg::Step "Setting normals..."
    c_SetDistNormal $hb
    App::dlg::Step "Finishing..."
    ShellNObjects $hb
    App::dlg::Step {}
  } message]
  c_FreeScene $scn
  App::dlg::CloseProgress
  if {$status == 1} { error $message }
  set Form::status(form1) {}
  return 1
}

# ------------------------------------------------------------------ export

proc App::dlg::export {} {
  global current last options
  if {$current(shell) eq ""} return
  catch {destroy .expdlg}
  Dialog .expdlg -parent . -modal global -separator 1 -title "Export menu" \
      -default 0 -cancel 1
  .expdlg add -text ok -name ok
  .expdlg add -text cancel -name cancel
  set f [.expdlg getframe]
  message $f.msg -text "What kind of data do you want to export?" -justify left -aspect 800
  pack $f.msg -padx 30 -pady 30
  Form::add_cbox export $f
  set answer [.expdlg draw]
  destroy .expdlg
  if {$answer != 0} return
  if {$current(data) eq "current object" && $current(selobj) == 0} {
    tk_messageBox -parent . -icon info -type ok -title "Export menu" \
        -message "Select an object first: click it in the 3D view or choose it in the Object box."
    return
  }
  if {[catch {Shell::export $current(shell) $current(data) $current(selobj)} message]} {
    App::report $message
  }
}

# ------------------------------------------------------------------ panels

# A drop-down panel under a button: a borderless window holding a raised
# frame; it closes when the pointer leaves the frame, then runs `onclose`.
proc App::dlg::Panel {button {onclose {}}} {
  set top $button.menu
  catch {destroy $top}
  toplevel $top -borderwidth 0
  wm withdraw $top
  wm overrideredirect $top 1
  wm transient $top [winfo toplevel $button]
  set f [frame $top.f -relief raised -borderwidth 2]
  pack $f -fill both -expand yes
  # Only a pointer that came in can leave: the panel opens beside it.
  variable entered
  set entered($top) 0
  bind $f <Enter> [list App::dlg::EnterPanel $top %m]
  bind $f <Leave> [list App::dlg::LeavePanel $top %W %x %y %m $onclose]
  return $f
}

# Where the pointer came in: a panel that moves away from a still pointer
# (it is laid out anew when reopened) has not been left.
proc App::dlg::EnterPanel {top mode} {
  if {$mode eq "NotifyNormal"} { set App::dlg::entered($top) [winfo pointerxy $top] }
}

proc App::dlg::OpenPanel {button f {above 0}} {
  set top [winfo toplevel $f]
  update idletasks
  set x [expr {[winfo rootx $button] + [winfo width $button] / 2}]
  set y [expr {[winfo rooty $button] + [winfo height $button] + 4}]
  if {$above} {
    set y [expr {[winfo rooty $button] - [winfo reqheight $top] - [winfo reqheight $button] - 4}]
  }
  wm geometry $top +$x+$y
  wm deiconify $top
  raise $top
  focus $f
  catch {BWidget::grab set $f}
}

proc App::dlg::LeavePanel {top w x y mode onclose} {
  if {![winfo exists $top]} return
  set f $top.f
  if {$w ne $f} return
  # Setting or releasing the grab is not the pointer leaving.
  variable entered
  if {$mode ne "NotifyNormal" || $entered($top) in {0 {}} ||
      [winfo pointerxy $top] eq $entered($top)} return
  # Leaving into a child of the panel is not leaving it; the window under
  # the pointer tells (the panel's own size lags behind while it is laid
  # out anew).
  set under [winfo containing [winfo pointerx $top] [winfo pointery $top]]
  if {$under eq $top || [string first $top. $under] == 0} return
  App::dlg::ClosePanel $top $onclose
}

proc App::dlg::ClosePanel {top {onclose {}}} {
  if {![winfo exists $top]} return
  catch {BWidget::grab release $top.f}
  destroy $top
  if {$onclose ne ""} {
    uplevel #0 $onclose
  }
}

proc App::dlg::guide {button view} {
  global current last options
  if {$current(shell) eq ""} return
  set f [App::dlg::Panel $button {App::slice::update all}]
  set box [Form::add_bbox guides $f]
  foreach b [winfo children $box] {
    catch {$b configure -command "[$b cget -command]; App::slice::update all"}
  }
  App::dlg::OpenPanel $button $f
}

proc App::dlg::lock {button view} {
  global current last options
  if {$current(shell) eq ""} return
  set f [App::dlg::Panel $button {App::slice::update all}]
  foreach {box text} {shell_lock "Shell rotation" plane_lock "Plane rotation"} {
    set row [frame $f.$box]
    Form::add_bbox $box $row
    pack [label $row.l -text $text] -side left
    pack $row -side top -anchor w
  }
  App::dlg::OpenPanel $button $f
}

proc App::dlg::render {button view} {
  global current last options
  if {$current(shell) eq ""} return
  set m $button.methods
  catch {destroy $m}
  menu $m -tearoff 0
  if {[Shell::is_body $current(shell)]} {
    set methods {"3D" "3D with cut" "3D with cut plane" "MIP" "Color MIP" "Stereo"}
  } else {
    set methods {"3D" "3D with scene cut" "3D with cut plane" "3D with scene cut plane" "Stereo"}
  }
  foreach method $methods {
    $m add radiobutton -label $method -variable current(method) -value $method \
        -command [list App::dlg::SetMethod $view]
  }
  tk_popup $m [winfo rootx $button] [expr {[winfo rooty $button] + [winfo height $button] + 4}]
}

proc App::dlg::SetMethod {view} {
  global current last options
  if {$current(shell) eq ""} return
  if {$current(method) in {"3D with scene cut" "3D with scene cut plane"} &&
      [Shell::get_scene $current(shell)] == 0} {
    App::set_scene
    if {$current(shell) eq ""} return
  }
  Shell::set_command $current(shell) $current(method)
  App::window::update
}

proc App::dlg::set_color {button} {
  global current last options
  if {$current(shell) eq ""} return
  set colour [SelectColor::menu $button.color [list below $button] \
      -color [$button cget -background]]
  if {$colour ne ""} {
    if {$current(selobj) != 0} { App::mark_changed $current(shell) }
    App::object::paint $colour
  }
}

proc App::dlg::opacity {button} {
  global current last options
  if {$current(shell) eq ""} return
  set f [App::dlg::Panel $button App::dlg::ApplyOpacity]
  scale $f.scale -label "Opacity" -orient horizontal -variable current(opac) \
      -from 0.0 -to 1.0 -resolution 0.01 -bigincrement 0.1 -digits 3 -width 12 \
      -font {helvetica 8} -showvalue 1
  pack $f.scale -fill x
  # Closed once the scale's own release handling is over (it still uses
  # the scale).
  bind $f.scale <ButtonRelease-1> [list after idle \
      [list App::dlg::ClosePanel [winfo toplevel $f] App::dlg::ApplyOpacity]]
  set App::status [ObjectList::get_text $current(shell) $current(selobj)]
  App::dlg::OpenPanel $button $f
}

proc App::dlg::ApplyOpacity {} {
  global current last options
  set App::status {}
  if {$current(shell) eq ""} return
  SetObjectOpacity [Shell::get_context $current(shell)] $current(selobj) $current(opac)
  App::window::update
}

# The window/level panel of the slice views.
proc App::dlg::windowlevel {button view} {
  global current last options
  set g [App::slice::editor]
  if {$g eq "" || ![App::slice::HasEditor $g]} return
  set current(graph) $g
  App::dlg::WindowLevel $button $g {App::slice::adjust; App::slice::update all} \
      {App::slice::update all} [list App::dlg::windowlevel $button $view]
}

proc App::dlg::windowlevel_render {button view} {
  App::dlg::WindowLevel $button window_level \
      {Graph::set_windowlevel window_level; App::render::update view_3} \
      {App::render::update view_3} [list App::dlg::windowlevel_render $button $view]
}

# The sequence window's panel: the thumbnails are drawn again through the
# new curve (adjusting the drawn thumbnails would apply it twice).
proc App::dlg::windowlevel_sequence {button view axis} {
  global current last options
  set g [App::slice::editor]
  if {$g eq "" || ![App::slice::HasEditor $g]} return
  set current(graph) $g
  App::dlg::WindowLevel $button $g {App::slice::adjust; Frame::refresh sequence} \
      {Frame::refresh sequence} [list App::dlg::windowlevel_sequence $button $view $axis]
}

# Brightness and contrast scales on an editor's level and window: `release`
# runs when a scale is let go, `changed` when the editor's curve is edited,
# `reopen` after the Show/Hide button.
proc App::dlg::WindowLevel {button g release changed reopen} {
  global current last options
  variable wl_trace
  set onclose [list App::dlg::EndWindowLevel $g]
  set f [App::dlg::Panel $button $onclose]
  Graph::update_windowlevel $g
  set xm [set Graph::xm($g)]
  set scales [frame $f.scales]
  foreach {name text var} [list level Brightness Graph::level($g) window Contrast Graph::window($g)] {
    scale $scales.$name -label $text -orient horizontal -variable $var \
        -from $xm -to 0 -width 12 -font {helvetica 8} -showvalue 0
    bind $scales.$name <ButtonRelease-1> [list App::dlg::Apply $release]
    pack $scales.$name -side top -fill x
  }
  set text [expr {$options(windowlevel) ? "Hide Window/Level..." : "Show Window/Level..."}]
  button $scales.toggle -text $text -font {helvetica 8} \
      -command [list App::dlg::ToggleWindowLevel [winfo toplevel $f] $onclose $reopen]
  pack $scales.toggle -side top
  pack $scales -side left -anchor n
  if {$options(windowlevel)} {
    Graph::show $g in $f
  }
  set wl_trace [list App::dlg::CurveChanged $g $changed]
  trace add variable Graph::points($g) write $wl_trace
  update idletasks
  set bottom [expr {[winfo rooty $button] + [winfo height $button] + 4 + [winfo reqheight [winfo toplevel $f]]}]
  set above [expr {$bottom > ([winfo rooty .] + [winfo height .]) * 3 / 4}]
  App::dlg::OpenPanel $button $f $above
}

# Runs a panel's script once: the curve it rewrites does not run it again.
proc App::dlg::Apply {script} {
  variable applying
  if {[info exists applying] && $applying} return
  set applying 1
  set status [catch {uplevel #0 $script} message]
  set applying 0
  if {$status} {error $message}
}

proc App::dlg::CurveChanged {g changed args} {
  variable applying
  if {[info exists applying] && $applying} return
  catch {Graph::update_windowlevel $g}
  App::dlg::Apply $changed
}

proc App::dlg::EndWindowLevel {g} {
  variable wl_trace
  if {[info exists wl_trace]} {
    catch {trace remove variable Graph::points($g) write $wl_trace}
    unset wl_trace
  }
  catch {Graph::hide $g}
}

proc App::dlg::ToggleWindowLevel {top onclose reopen} {
  global current last options
  set options(windowlevel) [expr {!$options(windowlevel)}]
  App::dlg::ClosePanel $top $onclose
  uplevel #0 $reopen
}
