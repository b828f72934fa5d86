# The main window and its parts: the main frame with menus and status bar,
# toolbars, button boxes, combo boxes and panes. Each part is described once
# under a name (setup_*) and created from that description wherever it is
# placed (add_*), so a button box shown in several frames stays one thing.
namespace eval Form {
  variable root
  variable path
  variable sash
  variable status
  variable prgind
  variable toolbar
  variable toolbar_boxes
  variable toolbar_index
  variable toolbar_bool
  variable bbox
  variable bbox_buttons
  variable cbox
  variable cbox_options
  # Toolbars added to the main frame so far: the next one's index.
  variable ntoolbars 0
}

# The stored icon for a name such as "open.gif": the 32-pixel drawing on a
# high-density screen, the 16-pixel one otherwise.
proc Form::icon {file} {
  if {[tk scaling] >= 1.75 && [file exists images/32x32/$file]} {
    return [Bitmap::get images/32x32/$file]
  }
  return [Bitmap::get images/16x16/$file]
}

proc Form::form {name menu} {
  global current last options
  variable root
  variable path
  variable status
  variable prgind

  option add *TitleFrame.l.font {helvetica 11 bold italic}
  wm withdraw .
  set prgind($name) 0
  set status($name) {}
  set root($name) [MainFrame .$name -width 800 -height 600 \
      -textvariable Form::status($name) -progressvar Form::prgind($name) \
      -menu $menu]
  set path($name) [$root($name) getframe]
  pack $root($name) -fill both -expand yes
  update idletasks
  BWidget::place . 0 0 center
  wm deiconify .
  raise $root($name)
  focus -force $root($name)
}

proc Form::setup_toolbar {name boxes} {
  variable toolbar_boxes
  variable toolbar_bool
  set toolbar_boxes($name) $boxes
  set toolbar_bool($name) 1
}

proc Form::add_toolbar {form name} {
  variable root
  variable toolbar
  variable toolbar_boxes
  variable toolbar_index
  variable ntoolbars
  if {[info exists toolbar($name)]} {
    catch {destroy $toolbar($name)}
  }
  set toolbar_index($name) $ntoolbars
  incr ntoolbars
  set tb [$root($form) addtoolbar]
  set toolbar($name) $tb
  set nsep 0
  foreach item $toolbar_boxes($name) {
    lassign $item kind box
    switch -- $kind {
      | {
        pack [Separator $tb.sep[incr nsep] -orient vertical] -side left -fill y -padx 4
      }
      button { Form::add_bbox $box $tb }
      combo { Form::add_cbox $box $tb }
    }
  }
  return $tb
}

proc Form::hide_toolbar {form tb} {
  Form::ShowToolbar $form $tb 0
}

proc Form::show_toolbar {form tb} {
  Form::ShowToolbar $form $tb 1
}

proc Form::ShowToolbar {form tb bool} {
  variable root
  variable toolbar_bool
  variable toolbar_index
  set toolbar_bool($tb) $bool
  $root($form) showtoolbar $toolbar_index($tb) $bool
}

proc Form::setup_buttonbox {name buttons} {
  variable bbox_buttons
  set bbox_buttons($name) $buttons
}

proc Form::add_bbox {name parent} {
  variable bbox
  variable bbox_buttons
  set w $parent.bbox_$name
  catch {destroy $w}
  ButtonBox $w -spacing 0 -padx 1 -pady 1
  foreach button $bbox_buttons($name) {
    $w add {*}[Form::ButtonOptions $button]
  }
  pack $w -side left -anchor w
  set bbox($name) $w
  return $w
}

proc Form::configure_buttonbox {name buttons} {
  variable bbox
  variable bbox_buttons
  set bbox_buttons($name) $buttons
  if {![info exists bbox($name)] || ![winfo exists $bbox($name)]} return
  set i 0
  foreach button $buttons {
    $bbox($name) itemconfigure $i {*}[Form::ButtonOptions $button]
    incr i
  }
}

# The options of a toolbar button described as {icon command helptext}.
proc Form::ButtonOptions {button} {
  lassign $button icon command help
  return [list -image [Form::icon $icon] -highlightthickness 0 -takefocus 0 \
      -relief link -borderwidth 1 -padx 1 -pady 1 -helptext $help -command $command]
}

proc Form::setup_combobox {name options} {
  variable cbox_options
  set cbox_options($name) $options
}

proc Form::add_cbox {name parent} {
  variable cbox
  variable cbox_options
  lassign $cbox_options($name) label var values help
  set f $parent.$name
  catch {destroy $f}
  frame $f
  label $f.label -text $label
  ComboBox $f.cbox -values $values -helptext $help -textvariable $var
  pack $f.label $f.cbox -side left -anchor w
  pack $f -side left -anchor w
  set cbox($name) $f.cbox
  return $f.cbox
}

proc Form::add_pane {base names side} {
  variable path
  variable sash
  set pw $path($base).pw
  PanedWindow $pw -side $side
  set i 0
  foreach name $names {
    set path($name) [$pw add -weight 1]
    set sash($name) $pw.sash[incr i]
  }
  pack $pw -fill both -expand yes
  update
  return $pw
}

proc Form::rem_panes {form} {
  variable path
  foreach child [winfo children $path($form)] {
    catch {destroy $child}
  }
}

proc Form::get_path {name} {
  variable path
  return $path($name)
}

proc Form::get_sash {name} {
  variable sash
  return $sash($name)
}
