# The toolbar combo boxes kept in step with the registries.

proc App::combo::update {kind} {
  global current last options
  switch -- $kind {
    scene { App::combo::Values scene [Scene::names] }
    shell { App::combo::Values shell [Shell::names] }
    den - grad {
      if {$current($kind) ne ""} {
        App::combo::Values $kind [App::curve_names $kind]
      }
    }
    obj {
      if {$current(shell) eq ""} {
        App::combo::Values obj {}
        return
      }
      set name $current(shell)
      set current(selobj) [ObjectList::get_label $name $current(objtext)]
      App::combo::Values obj [ObjectList::get_names $name]
      if {[ObjectList::IsVisible $name $current(selobj)] || $current(selobj) == 0} {
        Form::configure_buttonbox obj {{show.gif {App::object::hide_selected; App::window::update} "Hide object"}}
      } else {
        Form::configure_buttonbox obj {{hide.gif {App::object::show_selected; App::window::update} "Show object"}}
      }
    }
  }
}

proc App::combo::Values {name values} {
  set desc $Form::cbox_options($name)
  Form::setup_combobox $name [lreplace $desc 2 2 $values]
  if {[info exists Form::cbox($name)] && [winfo exists $Form::cbox($name)]} {
    $Form::cbox($name) configure -values $values
  }
}

proc App::combo::enter {kind} {
  global current last options
  if {$kind eq "shell"} {
    set last(shell) [$Form::cbox(shell) cget -text]
  }
}

proc App::combo::rename {kind} {
  global current last options
  if {$kind ne "shell"} return
  if {$last(shell) eq ""} {
    set current(shell) {}
    return
  }
  set new [$Form::cbox(shell) cget -text]
  set old $last(shell)
  if {$new eq $old || $new eq "" || $old ni [Shell::names] || $new in [Shell::names]} {
    set current(shell) $old
    return
  }
  Shell::rename $new $old
  ObjectList::rename $new $old
  App::rename_changed $new $old
  foreach ns {Graph DGraph GGraph} {
    App::combo::MoveEntries $ns $new $old
  }
  foreach key {den grad graph} {
    if {[info exists current($key)] && $current($key) eq $old} {
      set current($key) $new
    }
  }
  set current(shell) $new
  set last(shell) $new
  App::combo::update shell
}

# Moves every per-name entry of a namespace's arrays from `old` to `new`
# (a renamed shell keeps its curve editors).
proc App::combo::MoveEntries {ns new old} {
  foreach var [info vars ::${ns}::*] {
    if {[array exists $var] && [info exists ${var}($old)]} {
      set ${var}($new) [set ${var}($old)]
      unset ${var}($old)
    }
  }
}

# Chooses the shell named in the combo box.
proc App::combo::choose_shell {} {
  global current last options
  if {$current(shell) ni [Shell::names]} return
  set current(den) $current(shell)
  set current(grad) $current(shell)
  set current(graph) $current(shell)
  set current(objtext) None
  set current(selobj) 0
  App::window::refresh
  App::window::update
}

proc App::combo::bindings {} {
  global current last options
  if {[info exists Form::cbox(shell)] && [winfo exists $Form::cbox(shell)]} {
    set cb $Form::cbox(shell)
    bind $cb <Enter> {App::combo::enter shell}
    bind $cb.e <Return> {App::combo::rename shell}
    $cb configure -modifycmd App::combo::choose_shell
  }
  if {[info exists Form::cbox(obj)] && [winfo exists $Form::cbox(obj)]} {
    if {$current(window) eq "slice"} {
      $Form::cbox(obj) configure -modifycmd {App::object::change view_3}
    } else {
      $Form::cbox(obj) configure -modifycmd {}
    }
  }
  foreach kind {den grad} {
    if {[info exists Form::cbox($kind)] && [winfo exists $Form::cbox($kind)]} {
      if {$current(window) eq "classify"} {
        $Form::cbox($kind) configure -modifycmd {App::window::refresh; App::window::update}
      } else {
        $Form::cbox($kind) configure -modifycmd {}
      }
    }
  }
}
