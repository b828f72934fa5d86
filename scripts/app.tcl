# The application: the main window's description, and the actions behind its
# menus, buttons and combo boxes.

# The main window: menus, toolbars, button boxes, combo boxes, views, frames,
# then the first layout.
proc App::main {} {
  global current last options
  set menu {
    "&File" all file 0 {
      {command "I&mport scene data..." {} "Import object from scene data" {Ctrl i}
        -command App::dlg::wizard}
      {command "E&xport shell data..." {} "Export data from current shell" {Ctrl e}
        -command App::dlg::export}
      {command "E&xit" {} "Exit Orvane demo" {Ctrl x} -command App::quit}
    }
    "&Window" all window 1 {
      {radiobutton "3D with slices view" {} "Show slices view" {Ctrl 3}
        -variable current(window) -value slice -selectcolor green
        -command App::window::slice}
      {radiobutton "Slices sequences" {} "Show slices sequence" {Ctrl s}
        -variable current(window) -value sequence -selectcolor green
        -command App::window::sequence}
      {radiobutton "Classification" {} "Show classification window" {Ctrl c}
        -variable current(window) -value classify -selectcolor green
        -command App::window::classify}
    }
    "&Options" all options 0 {
      {cascad "Toolbar" {} toolbar 0 {
        {checkbutton "Data" {} "Show/hide data toolbar" {Ctrl 1}
          -variable Form::toolbar_bool(tb1) -selectcolor green
          -command {App::toggle_toolbar tb1}}
        {checkbutton "Tools" {} "Show/hide tools toolbar" {Ctrl 2}
          -variable Form::toolbar_bool(tb2) -selectcolor green
          -command {App::toggle_toolbar tb2}}
      }}
    }
  }
  Form::form form1 $menu
  wm title . "3D visualization tool"
  set App::status "Loading..."
  set root $Form::root(form1)
  $root addindicator -textvariable App::status

  App::describe_toolbars
  Form::add_toolbar form1 tb1
  Form::add_toolbar form1 tb2
  Form::hide_toolbar form1 tb2

  image create photo rec -file images/16x16/record.gif
  set App::status "Orvane loaded."
  $root showstatusbar status

  foreach view {view_x view_y view_z view_s view_3} {
    View::new $view
  }
  foreach {frame script} {
    3d 3d_frame.tcl xslices xslices_frame.tcl yslices yslices_frame.tcl
    zslices zslices_frame.tcl density density_frame.tcl
    gradient gradient_frame.tcl sequence sequence_frame.tcl
  } {
    Frame::new $frame $script
  }
  Graph::new window_level
  App::window::slice
}

# The button of a button box, by position (0 is the leftmost).
proc App::bbox_button {box index} {
  return $Form::bbox($box).b$index
}

# A command that calls `proc` with the button it sits on (found when pressed,
# since the box is made anew with every frame) and the extra arguments.
proc App::with_button {box index proc args} {
  return [list App::call_with_button $box $index $proc {*}$args]
}

proc App::call_with_button {box index proc args} {
  if {![info exists Form::bbox($box)]} return
  set button [App::bbox_button $box $index]
  if {![winfo exists $button]} return
  $proc $button {*}$args
}

proc App::describe_toolbars {} {
  global current last options
  Form::setup_toolbar tb1 {
    {combo shell} {button shell} {combo obj} {button obj} {button cxt}
    {button guide} {button overlay} {|} {button help}
  }
  Form::setup_toolbar tb2 {{combo scene} {button scene}}

  Form::setup_combobox scene [list "Scene:" current(scn) [Scene::names] "Select current scene"]
  Form::setup_combobox shell [list "Shell:" current(shell) [Shell::names] "Select current shell"]
  Form::setup_combobox obj [list "Object:" current(objtext) {} "Select current object"]
  Form::setup_combobox den [list "Density:" current(den) {} "Select current density curve"]
  Form::setup_combobox grad [list "Gradient:" current(grad) {} "Select current gradient curve"]
  Form::setup_combobox sequence [list "View:" current(seq) \
      {{along x} {along y} {along z}} "Select view direction"]
  Form::setup_combobox export [list "Data:" current(data) \
      {labels opacity {current object}} "Select data to export"]

  Form::setup_buttonbox help {
    {help.gif App::help "Help"}
    {exit.gif App::exit "Exit"}
  }
  Form::setup_buttonbox scene {
    {open.gif {App::open scene} "Open new scene"}
    {cancel.gif {App::free scene} "Remove current scene"}
  }
  Form::setup_buttonbox shell {
    {new.gif App::dlg::wizard "Create a new shell"}
    {open.gif {App::open shell} "Open new shell"}
    {save.gif {App::save shell} "Save shell"}
    {cancel.gif {App::free shell} "Remove current shell"}
    {filter.gif App::merge "Merge current shell with previous loaded"}
    {refresh.gif {App::reset shell} "Reset shell classification and labels"}
  }
  Form::setup_buttonbox obj {
    {show.gif {App::object::hide_selected; App::window::update} "Hide object"}
  }
  Form::setup_buttonbox cxt [list \
      [list selcolor.gif [App::with_button cxt 0 App::dlg::set_color] "Select current paint color"] \
      [list volume.gif [App::with_button cxt 1 App::dlg::opacity] "Select object opacity"]]
  Form::setup_buttonbox guide [list \
      [list border_grid.gif [App::with_button guide 0 App::dlg::guide view_3] "Select guidelines"]]
  Form::setup_buttonbox overlay {
    {objects.gif {App::switch overlay} "Hide object overlay"}
  }
  foreach {kind word} {den density grad gradient} {
    set boxes [list \
        [list open.gif "App::open $kind" "Open $word curve"] \
        [list save.gif "App::save $kind" "Save $word curve"] \
        [list cancel.gif "App::free $kind" "Remove $word curve"] \
        [list refresh.gif "App::reset $kind" "Reset $word classification"]]
    if {$kind eq "den"} {
      lappend boxes {classify.gif App::classify "Classify"}
    }
    Form::setup_buttonbox $kind $boxes
    Form::setup_buttonbox train_$kind [list [list pencil.gif "set current(training) $kind" \
        "Classify by $word"]]
    Form::setup_buttonbox preview_$kind [list [list hide.gif "App::switch $kind" \
        "Show classification preview by $word"]]
  }
  Form::setup_buttonbox render [list \
      [list view_details.gif [App::with_button render 0 App::dlg::render view_3] "Select view method"] \
      [list movie.gif {App::switch movie} "Record movie"]]
  Form::setup_buttonbox view_3 [list \
      [list zoom_in.gif {App::zoom in view_3; App::render::update view_3} "Zoom in"] \
      [list zoom_out.gif {App::zoom out view_3; App::render::update view_3} "Zoom out"] \
      [list windowlevel.gif [App::with_button view_3 2 App::dlg::windowlevel_render view_3] \
           "Adjust image brightness and contrast"] \
      [list rotate.gif [App::with_button view_3 3 App::dlg::lock view_3] \
           "Lock/Unlock shell and plane rotation"]]
  Form::setup_buttonbox shell_lock {
    {unlock.gif {App::switch shell_lock; App::switch plane_lock} "Lock/Unlock shell rotation"}
  }
  Form::setup_buttonbox plane_lock {
    {lock.gif {App::switch plane_lock; App::switch shell_lock} "Lock/Unlock plane rotation"}
  }
  Form::setup_buttonbox guides {
    {border_none.gif {App::set_guides 0 0} "No guides"}
    {border_inside.gif {App::set_guides 1 0} "Only cuts"}
    {border_out.gif {App::set_guides 0 1} "Only clips"}
    {border_grid.gif {App::set_guides 1 1} "Cuts and clips"}
  }
  foreach d {x y z} {
    Form::setup_buttonbox ${d}slices [list \
        [list zoom_in.gif "App::zoom in view_$d; App::slice::update $d" "Zoom in"] \
        [list zoom_out.gif "App::zoom out view_$d; App::slice::update $d" "Zoom out"] \
        [list windowlevel.gif [App::with_button ${d}slices 2 App::dlg::windowlevel view_$d] \
             "Adjust image brightness and contrast"] \
        [list refresh.gif "App::slice::update $d" "Update image"] \
        [list flip_x.gif "View::flip view_$d x; App::slice::update $d" "Horizontal flip"] \
        [list flip_y.gif "View::flip view_$d y; App::slice::update $d" "Vertical flip"]]
  }
  Form::setup_buttonbox sequence {
    {zoom_in.gif {} "Zoom in"}
    {zoom_out.gif {} "Zoom out"}
    {windowlevel.gif {} "Adjust image brightness and contrast"}
  }
}

proc App::toggle_toolbar {tb} {
  if {$Form::toolbar_bool($tb)} {
    Form::show_toolbar form1 $tb
  } else {
    Form::hide_toolbar form1 $tb
  }
}

# A guides button: both flags as given, then both toggles.
proc App::set_guides {guideline clip} {
  global current last options
  set options(guideline) $guideline
  set options(clip) $clip
  App::switch guideline
  App::switch clip
}

# The name a registry gives a new entry: the one after `as` in `words`, else
# "<prefix>_<count>"; made unique among `taken`.
proc App::registry_name {prefix taken words} {
  if {[lindex $words 0] eq "as" && [llength $words] > 1} {
    set name [lindex $words 1]
  } else {
    set name [format "%s_%d" $prefix [llength $taken]]
  }
  return [App::unique_name $name $taken]
}

# `name`, or the first of name_2, name_3 ... that is not among `taken`.
proc App::unique_name {name taken} {
  if {$name ni $taken} {return $name}
  for {set i 2} {"${name}_$i" in $taken} {incr i} {}
  return ${name}_$i
}

# Makes a scene or shell current and builds its curve editors and object list.
proc App::init {kind name} {
  global current last options
  ::switch -- $kind {
    scene {
      set current(scn) $name
      set h [Scene::get_handle $name]
      set max [MaximumValue3 $h]
      set min [MinimumValue3 $h]
      App::NewEditor Graph $name $max [list $min 0 $max 255]
      Scene::set_curve $name [list $min 0 $max 255]
      set options(guideline) 1
      set options(clip) 1
      App::switch guideline
      App::switch clip
      set current(graph) $name
    }
    shell {
      set current(shell) $name
      set current(dpoints) [list {}]
      set current(gpoints) [list {}]
      set h [Shell::get_handle $name]
      set c [Shell::get_context $name]
      set hist [ShellHistogram $h]
      if {[c_IsBodyShell $h]} {
        set max [GetShellMaximum $h]
        set min [GetShellMinimum $h]
      } else {
        set max [ShellNObjects $h]
        set min 0
      }
      App::NewEditor Graph $name $max [list $min 0 $max 255] $hist
      Shell::set_curve $name [list $min 0 $max 255]
      ObjectList::new $name $h
      ObjectList::apply $name $c
      App::NewEditor DGraph $name $max [list 0 255 $max 255] $hist
      c_FreeCurve $hist
      set hist [ShellGradientHistogram $h]
      App::NewEditor GGraph $name $max [list 0 255 $max 255] $hist
      c_FreeCurve $hist
      set current(den) $name
      set current(grad) $name
      App::clip::reset
      set options(guideline) 1
      set options(clip) 1
      App::switch guideline
      App::switch clip
      set current(objtext) None
      set current(graph) $name
    }
  }
}

# A curve editor of namespace `ns` made anew: range (max, 255), its curve,
# and the histogram when one is given.
proc App::NewEditor {ns name max points {hist {}}} {
  ${ns}::new $name
  ${ns}::set_max $name $max 255
  ${ns}::set_curve $name $points
  if {$hist ne ""} {
    ${ns}::set_histogram $name $hist
    ${ns}::update $name
  }
}

# Registers a handle made by the interface, initialises it and shows it.
proc App::new {kind name h} {
  global current last options
  ::switch -- $kind {
    scene { set name [Scene::new $h as $name] }
    shell { set name [Shell::new $h as $name] }
    default { return {} }
  }
  App::init $kind $name
  if {$kind eq "shell"} { App::mark_saved $name }
  App::combo::update $kind
  App::window::refresh
  App::window::update
  return $name
}

# Reads a scene, shell or curve from `file`, or from a file chosen in a
# dialog when none is given. A file that cannot be read is reported in a
# dialog and changes nothing.
proc App::open {kind {file .}} {
  global current last options
  ::switch -- $kind {
    scene { set text "Loading scene..." ; set reader Scene::read }
    shell { set text "Loading shell..." ; set reader Shell::read }
    den { set text "Loading curve..." ; set reader DGraph::read_curve }
    grad { set text "Loading curve..." ; set reader GGraph::read_curve }
    default return
  }
  App::message $text
  update idletasks
  set status [catch {$reader $file} name]
  App::message {}
  if {$status} {
    regsub {^Error:} [string trim $name] {} name
    if {$file ne "." && [string first [file tail $file] $name] < 0} {
      set name "$file: $name"
    }
    App::report $name
    return {}
  }
  if {$name eq ""} {return {}}
  ::switch -- $kind {
    scene { App::init $kind $name }
    shell { App::init $kind $name; App::mark_saved $name }
    den { set current(den) $name }
    grad { set current(grad) $name }
  }
  App::combo::update $kind
  App::window::refresh
  App::window::update
  return $name
}

# Files named on the command line, opened as the open actions would.
proc App::open_files {files} {
  foreach file $files {
    ::switch -- [string tolower [file extension $file]] {
      .scn - .obj { App::open scene $file }
      .sh - .bsh { App::open shell $file }
      default {
        if {[Formats::is_volume $file]} {
          App::open scene $file
        } else {
          App::report "Cannot open $file: not a scene (.scn, .obj, a volume file or DICOM folder) or shell (.sh, .bsh) file"
        }
      }
    }
  }
}

# Shows a failure to the user and goes on.
proc App::report {message} {
  set message [string trim $message]
  regsub {^Error:} $message {} message
  tk_messageBox -parent . -icon error -type ok -title "Error" -message $message
}

proc App::save {kind} {
  global current last options
  ::switch -- $kind {
    shell {
      if {$current(shell) eq ""} return
      App::message "Saving shell..."
      set status [catch {Shell::write $current(shell) .} message]
      App::message {}
      if {$status} {
        App::report $message
      } elseif {$message ne ""} {
        App::mark_saved $current(shell)
      }
    }
    den - grad {
      if {$current($kind) eq ""} return
      set ns [expr {$kind eq "den" ? "DGraph" : "GGraph"}]
      if {[catch {${ns}::write_curve $current($kind) as} message]} {
        App::report $message
      }
    }
    default return
  }
  App::combo::update $kind
}

proc App::reset {kind} {
  global current last options
  if {$current(shell) eq ""} return
  set h [Shell::get_handle $current(shell)]
  if {$kind in {shell den grad}} { App::mark_changed $current(shell) }
  ::switch -- $kind {
    shell {
      c_ResetShellOpacity $h
      c_ResetShellLabel $h
    }
    den - grad {
      c_ResetShellOpacity $h
      c_ResetShellLabel $h
      set max [GetShellMaximum $h]
      set ns [expr {$kind eq "den" ? "DGraph" : "GGraph"}]
      ${ns}::set_curve $current(shell) [list 0 255 $max 255]
      set current(preview,$kind) 1
      App::switch $kind
    }
    default return
  }
  App::combo::update $kind
  App::window::refresh
  App::window::update
}

proc App::free {kind} {
  global current last options
  ::switch -- $kind {
    shell {
      if {$current(shell) eq ""} return
      set name $current(shell)
      if {![App::may_discard [list $name] "Remove it anyway?" "Remove shell"]} return
      unset -nocomplain App::changed($name)
      set current(dpoints) [list {}]
      set current(gpoints) [list {}]
      ObjectList::destroy $name
      if {[llength [Shell::names]] == 1} {
        set options(guideline) 0
        set options(clip) 0
        App::switch guideline
        App::switch clip
      }
      Shell::destroy $name
      catch {Graph::destroy $name}
      catch {DGraph::destroy $name}
      catch {GGraph::destroy $name}
      set names [Shell::names]
      if {[llength $names] == 0} {
        set current(objtext) {}
        set current(shell) {}
        set current(selobj) 0
      } else {
        set current(shell) [lindex $names 0]
        set current(objtext) None
        set current(selobj) 0
        set current(graph) $current(shell)
      }
      set current(den) $current(shell)
      set current(grad) $current(shell)
      App::combo::update obj
    }
    scene {
      if {$current(scn) eq "" || $current(scn) ni [Scene::names]} return
      set name $current(scn)
      App::detach_scene [Scene::get_handle $name]
      Scene::destroy $name
      catch {Graph::destroy $name}
      set names [Scene::names]
      if {[llength $names] == 0} {
        set options(guideline) 0
        set options(clip) 0
        App::switch guideline
        App::switch clip
        set current(scn) {}
      } else {
        set current(scn) [lindex $names 0]
      }
      if {$current(shell) eq ""} {
        set current(graph) $current(scn)
      }
    }
    den - grad {
      set name $current($kind)
      if {$name eq ""} return
      if {$name in [Scene::names] || $name in [Shell::names]} {
        App::message "Curve in use!" delay 5000
        return
      }
      set ns [expr {$kind eq "den" ? "DGraph" : "GGraph"}]
      ${ns}::destroy $name
      set current($kind) [lindex [App::curve_names $kind] 0]
    }
    default return
  }
  App::combo::update $kind
  App::window::refresh
  App::window::update
}

# A shell keeps no scene that is being freed.
proc App::detach_scene {h} {
  foreach shell [Shell::names] {
    if {[Shell::get_scene $shell] == $h} {
      Shell::set_scene $shell 0
    }
  }
}

# The names of the density or gradient editors.
proc App::curve_names {kind} {
  set ns [expr {$kind eq "den" ? "DGraph" : "GGraph"}]
  if {![info exists ${ns}::points]} {return {}}
  return [lsort -dictionary [array names ${ns}::points]]
}

# The Exit button: frees every shell and scene, then ends the program.
proc App::exit {} {
  if {![App::may_discard [Shell::names] "Exit anyway?" "Exit"]} return
  foreach name [Shell::names] { Shell::destroy $name }
  foreach name [Scene::names] { Scene::destroy $name }
  destroy .
}

# The menu's Exit entry: ends the program at once, unless a shell holds
# unsaved work and the user keeps it.
proc App::quit {} {
  if {![App::may_discard [Shell::names] "Exit anyway?" "Exit"]} return
  ::exit
}

# ----------------------------------------------------- unsaved work

# App::changed(name) is 1 when the shell's classification, labels or
# colours changed since it was made, opened or saved.
namespace eval App {
  variable changed
}

proc App::mark_changed {name} {
  if {$name eq ""} return
  set App::changed($name) 1
}

proc App::mark_saved {name} {
  set App::changed($name) 0
}

proc App::rename_changed {new old} {
  if {[info exists App::changed($old)]} {
    set App::changed($new) $App::changed($old)
    unset App::changed($old)
  }
}

# Whether the work in the named shells may be lost: yes when none of them
# changed since it was saved, else the user's answer to `question`.
proc App::may_discard {names question title} {
  set unsaved {}
  foreach name $names {
    if {[info exists App::changed($name)] && $App::changed($name)} {
      lappend unsaved $name
    }
  }
  if {[llength $unsaved] == 0} {return 1}
  if {[llength $unsaved] == 1} {
    set text "The shell \"[lindex $unsaved 0]\" has changes that were not saved."
  } else {
    set text "The shells [join $unsaved {, }] have changes that were not saved."
  }
  return [expr {[App::dlg::question "$text\n$question" yesno $title] == 0}]
}

proc App::zoom {how view} {
  View::zoom $how $view
}

# Flips one toggle and the icon of its button; nothing without a shell.
proc App::switch {toggle} {
  global current last options
  if {$current(shell) eq ""} return
  ::switch -- $toggle {
    movie {
      if {![App::render::record [expr {!$options(movie)}]]} return
      set options(movie) [expr {!$options(movie)}]
      set c [View::get_path view_3]
      if {$c ne "-1" && [winfo exists $c]} {
        if {$options(movie)} {
          $c create image 5 5 -anchor w -image rec -tags movie
          $c create text 22 0 -anchor nw -text "Recording" -font {Helvetica 8} \
              -fill red -tags movie
        } else {
          $c delete movie
        }
      }
    }
    overlay {
      if {$current(overlay)} {
        Form::configure_buttonbox overlay {{noobjects.gif {App::switch overlay} "Show object overlay"}}
      } else {
        Form::configure_buttonbox overlay {{objects.gif {App::switch overlay} "Hide object overlay"}}
      }
      set current(overlay) [expr {!$current(overlay)}]
      if {$current(window) eq "sequence"} {
        App::window::refresh
      } else {
        App::slice::update all
      }
    }
    den - grad {
      set word [expr {$toggle eq "den" ? "density" : "gradient"}]
      if {$current(preview,$toggle)} {
        Form::configure_buttonbox preview_$toggle [list [list hide.gif "App::switch $toggle" \
            "Show classification preview by $word"]]
      } else {
        Form::configure_buttonbox preview_$toggle [list [list show.gif "App::switch $toggle" \
            "Hide classification preview by $word"]]
      }
      set current(preview,$toggle) [expr {!$current(preview,$toggle)}]
      App::slice::update all
    }
    guideline - clip {
      App::guide_icon
      foreach d {x y z} {
        set options(${toggle}_$d) $options($toggle)
      }
      if {$current(window) ne "sequence"} {
        App::slice::update all
      }
    }
    plane_lock - shell_lock {
      set options($toggle) [expr {!$options($toggle)}]
      set icon [expr {$options($toggle) ? "lock.gif" : "unlock.gif"}]
      set help [expr {$toggle eq "shell_lock" ? "Lock/Unlock shell rotation" : "Lock/Unlock plane rotation"}]
      set other [expr {$toggle eq "shell_lock" ? "plane_lock" : "shell_lock"}]
      Form::configure_buttonbox $toggle [list [list $icon \
          "App::switch $toggle; App::switch $other" $help]]
    }
  }
}

# The guide button's icon tells which guides are on.
proc App::guide_icon {} {
  global current last options
  set icon [dict get {
    11 border_grid.gif 10 border_inside.gif 01 border_out.gif 00 border_none.gif
  } "$options(guideline)$options(clip)"]
  Form::configure_buttonbox guide [list [list $icon \
      [App::with_button guide 0 App::dlg::guide view_3] "Select guidelines"]]
}

proc App::classify {} {
  global current last options
  if {$current(shell) eq "" || ![Shell::is_body $current(shell)]} return
  set h [Shell::get_handle $current(shell)]
  c_ResetShellOpacity $h
  c_ResetShellLabel $h
  set den [c_List2Curve [DGraph::get_opacity $current(den)]]
  set grad [c_List2Curve [GGraph::get_opacity $current(grad)]]
  set status [catch {c_ClassifyBodyShell $h $den $grad} message]
  c_FreeCurve $den
  c_FreeCurve $grad
  if {$status} {error $message}
  App::mark_changed $current(shell)
  foreach toggle {den grad overlay} {
    set flag [expr {$toggle eq "overlay" ? "overlay" : "preview,$toggle"}]
    set current($flag) 1
    App::switch $toggle
  }
  ObjectList::new $current(shell) $h
  ObjectList::apply $current(shell) [Shell::get_context $current(shell)]
}

# Derives the density or gradient curve from the training strokes.
proc App::training {} {
  global current last options
  if {$current(shell) eq "" || ![Shell::is_body $current(shell)]} return
  set h [Shell::get_handle $current(shell)]
  if {$current(training) in {den grad}} { App::mark_changed $current(shell) }
  foreach {kind list trainer ns} {
    den dpoints c_ShellTrainingIntensity DGraph
    grad gpoints c_ShellTrainingGradient GGraph
  } {
    if {$current(training) ne $kind} continue
    set flat {}
    foreach stroke $current($list) {
      foreach point $stroke { lappend flat {*}$point }
    }
    if {[llength $flat]} {
      set c3 [c_List2Curve3D $flat]
      set curve [$trainer $h $c3]
      ${ns}::set_opacity $current(shell) [c_Curve2List $curve]
      c_FreeCurve $curve
      c_FreeCurve3D $c3
      set current(preview,$kind) 0
      App::switch $kind
    } else {
      App::reset $kind
      set current(preview,$kind) 1
      App::switch $kind
    }
  }
}

proc App::auto_classify {} {
  global current last options
  if {$current(shell) eq ""} return
  set h [Shell::get_handle $current(shell)]
  set hist [ShellHistogram $h]
  set status [catch {c_ShellAutoLabel $h $hist 80.0} message]
  c_FreeCurve $hist
  if {$status} {error $message}
  App::mark_changed $current(shell)
}

proc App::merge {} {
  global current last options
  if {$current(shell) eq ""} return
  if {[Shell::is_body $current(shell)]} {
    foreach name [Shell::names] {
      if {![Shell::is_body $name]} {
        if {[App::dlg::put_label $current(shell) $name]} {
          App::init shell $current(shell)
          return $current(shell)
        }
        return {}
      }
    }
    return {}
  }
  foreach name [Shell::names] {
    if {$name eq $current(shell)} continue
    set merged [App::dlg::merge_shell $current(shell) $name]
    if {$merged ne ""} {return $merged}
  }
  return {}
}

proc App::set_scene {} {
  global current last options
  if {$current(shell) eq ""} return
  App::open scene
  if {$current(scn) ne ""} {
    Shell::set_scene $current(shell) [Scene::get_handle $current(scn)]
    Shell::set_curve $current(shell) [Graph::get_curve $current(scn)]
  }
}

# Calls the command for the two axes other than `axis`.
proc App::ortho {command axis} {
  foreach other [dict get {x {y z} y {x z} z {x y}} $axis] {
    {*}$command $other
  }
}

# Shows a message in the main status text; with `delay ms` it is cleared
# after that time (unless another message has replaced it).
proc App::message {text args} {
  variable message_timer
  if {[info exists message_timer]} {
    after cancel $message_timer
    unset message_timer
  }
  set Form::status(form1) $text
  if {[lindex $args 0] eq "delay" && [llength $args] > 1} {
    set message_timer [after [lindex $args 1] [list App::ClearMessage $text]]
  }
}

proc App::ClearMessage {text} {
  variable message_timer
  unset -nocomplain message_timer
  if {$Form::status(form1) eq $text} {
    set Form::status(form1) {}
  }
}

proc App::sequence_adjust {axis} {
  global current last options
  if {[winfo exists .prgdlg] || $current(graph) eq ""} return
  set max [App::slice::max $axis]
  set App::prgind 0
  ProgressDlg .prgdlg -variable App::prgind -textvariable App::status \
      -maximum [expr {$max > 0 ? $max : 1}] \
      -title "Loading slices in $current(seq) view" -stop "Cancel" \
      -command [list App::StopProgress [expr {$max + 1}]]
  lassign [Graph::get_curve $current(graph)] f1 g1 f2 g2
  set adjust [list [expr {int($f1)}] [expr {int($f2)}] [expr {int($g1)}] [expr {int($g2)}]]
  while {$App::prgind <= $max} {
    set i $App::prgind
    set App::status [format "Loading slice %d ..." $i]
    if {"seq$i" in [image names]} {
      c_AdjustImage seq$i {*}$adjust
    }
    incr App::prgind
    update
  }
  catch {destroy .prgdlg}
  set App::prgind 0
  set App::status {}
}

# The Cancel button of a progress dialog over slices: ends its loop.
proc App::StopProgress {end} {
  catch {destroy .prgdlg}
  set App::prgind $end
  set App::status {}
}

# The Help button: the mouse bindings of each layout, the accelerators and
# where files go.
proc App::help {} {
  set w .help
  if {[winfo exists $w]} {
    raise $w
    return
  }
  toplevel $w
  wm title $w "Orvane help"
  text $w.text -width 78 -height 34 -wrap word -relief flat -padx 8 -pady 8
  $w.text insert end [App::help_text]
  $w.text configure -state disabled
  button $w.close -text "Close" -command [list destroy $w]
  pack $w.close -side bottom -pady 4
  pack $w.text -fill both -expand yes
}

proc App::help_text {} {
  return [join {
    "3D with slices view (Ctrl+3)"
    "  3D view: left click selects an object, double click hides it, the right"
    "  button drag rotates the shell (or the cut plane when the shell is locked),"
    "  the middle button drag rotates the cut plane."
    "  Slice views: left click selects the object under the pointer, right click"
    "  moves the two other cuts there; drag a clip corner to clip the volume."
    ""
    "Classification (Ctrl+c)"
    "  Slice views: choose a pencil (density or gradient), then draw strokes with"
    "  the left button; click a stroke's dot to delete the stroke. Right click"
    "  moves the cuts. Right click a curve segment to add a point, a point to"
    "  remove it; drag points with the left button."
    ""
    "Slices sequences (Ctrl+s): every slice along the chosen direction."
    ""
    "Menus: Ctrl+i import a scene, Ctrl+e export shell data, Ctrl+x exit,"
    "  Ctrl+1 / Ctrl+2 show or hide the data and tools toolbars."
    ""
    "Files: scenes (.scn, .obj), shells (.sh, .bsh) and curves (.den, .grad) are"
    "  read and written where you choose in the file dialogs, starting in the"
    "  folder Orvane was started in. Movie frames are written there as"
    "  <shell>_movie.<n>, numbered from 100."
  } \n]
}
