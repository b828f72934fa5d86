#include "app/startup.h"

// The interactive console, published as "builtin:/console.tcl". A script
// that wants it sources that file and calls
//   console:create .console "% " "Console"
// While the window exists, puts to stdout and stderr lands in it.
const char zEtConsole[] = R"TCL(
# A text widget that reads commands, evaluates them at global level and shows
# their results, with line editing and a history of entered lines.

# Per console: the prompt, the history and the position in it.
array set ::console:state {}

proc console:create {w prompt title} {
  upvar #0 console:state state
  if {[winfo exists $w]} {destroy $w}
  toplevel $w
  wm title $w $title
  wm iconname $w $title

  menu $w.mb -tearoff 0
  $w configure -menu $w.mb
  menu $w.mb.file -tearoff 0
  $w.mb add cascade -label File -underline 0 -menu $w.mb.file
  $w.mb.file add command -label Close -underline 0 -command [list destroy $w]
  $w.mb.file add command -label Exit -underline 1 -command exit
  menu $w.mb.edit -tearoff 0
  $w.mb add cascade -label Edit -underline 0 -menu $w.mb.edit
  $w.mb.edit add command -label Cut -underline 2 \
      -command [list console:cut $w.t]
  $w.mb.edit add command -label Copy -underline 0 \
      -command [list console:copy $w.t]
  $w.mb.edit add command -label Paste -underline 0 \
      -command [list console:paste $w.t]
  $w.mb.edit add separator
  $w.mb.edit add command -label {Clear Screen} -underline 0 \
      -command [list console:clear $w.t]
  $w.mb.edit add command -label Source... -underline 0 \
      -command [list console:sourceFile $w.t]
  $w.mb.edit add command -label {Save As...} -underline 0 \
      -command [list console:saveFile $w.t]

  scrollbar $w.sb -orient vertical -command [list $w.t yview]
  pack $w.sb -side right -fill y
  text $w.t -font fixed -yscrollcommand [list $w.sb set] -wrap char \
      -width 80 -height 24
  pack $w.t -side right -fill both -expand 1
  bindtags $w.t [list $w.t Console $w all]
  $w.t tag configure ok -foreground blue
  $w.t tag configure err -foreground red

  set state($w.t,prompt) $prompt
  set state($w.t,history) {}
  set state($w.t,hpos) 0
  set state($w.t,pending) {}
  set state($w.t,busy) 0
  console:prompt $w.t $prompt
  focus $w.t

  # puts goes to the window while it exists; the original is kept.
  if {[info commands console:savedPuts] eq ""} {
    rename ::puts ::console:savedPuts
    proc ::puts args "console:puts [list $w.t] \$args"
  }
  bind $w <Destroy> [list console:destroyed $w %W]
  return $w
}

proc console:destroyed {w win} {
  if {$win ne $w} return
  upvar #0 console:state state
  array unset state $w.t,*
  if {[info commands console:savedPuts] ne ""} {
    rename ::puts {}
    rename ::console:savedPuts ::puts
  }
}

# Shows the prompt and marks where the user's input begins.
proc console:prompt {t text} {
  $t insert end $text
  $t mark set insert end
  $t mark set limit insert
  $t mark gravity limit left
  $t see insert
}

# Writes text before the prompt line, with an optional tag.
proc console:write {t text {tag {}}} {
  $t insert end $text $tag
  $t see end
}

# The redirected puts: stdout and stderr of this interpreter go to the
# console while it exists, everything else to the saved command.
proc console:puts {t arglist} {
  set nonewline 0
  set args $arglist
  if {[lindex $args 0] eq "-nonewline"} {
    set nonewline 1
    set args [lrange $args 1 end]
  }
  set channel stdout
  switch [llength $args] {
    1 {set text [lindex $args 0]}
    2 {set channel [lindex $args 0]; set text [lindex $args 1]}
    default {return [uplevel 1 [list console:savedPuts {*}$arglist]]}
  }
  if {![winfo exists $t] || ($channel ne "stdout" && $channel ne "stderr")} {
    return [uplevel 1 [list console:savedPuts {*}$arglist]]
  }
  if {!$nonewline} {append text \n}
  set tag [expr {$channel eq "stderr" ? "err" : ""}]
  # During an evaluation the output follows the command; otherwise it goes
  # above the prompt line, leaving the user's input where it is.
  upvar #0 console:state state
  set where [expr {$state($t,busy) ? "end" : "limit linestart"}]
  $t insert $where $text $tag
  $t see end
  return
}

# Return: evaluates the accumulated command once it is complete.
proc console:enter {t} {
  upvar #0 console:state state
  set line [$t get limit end-1c]
  $t mark set insert end
  $t insert end \n
  append state($t,pending) $line
  if {![info complete $state($t,pending)]} {
    append state($t,pending) \n
    console:prompt $t [string repeat . [string length $state($t,prompt)]]
    return
  }
  set command $state($t,pending)
  set state($t,pending) {}
  if {[string trim $command] ne "" &&
      $command ne [lindex $state($t,history) end]} {
    lappend state($t,history) $command
  }
  set state($t,hpos) [llength $state($t,history)]
  set state($t,busy) 1
  set code [catch {uplevel #0 $command} result]
  if {![winfo exists $t]} return
  set state($t,busy) 0
  if {$code == 1} {
    console:write $t $result\n err
  } elseif {$result ne ""} {
    console:write $t $result\n ok
  }
  console:prompt $t $state($t,prompt)
}

# Up/Down: replaces the input line by an older or newer history entry.
proc console:history {t step} {
  upvar #0 console:state state
  set n [llength $state($t,history)]
  set pos [expr {$state($t,hpos) + $step}]
  if {$pos < 0 || $pos > $n} return
  set state($t,hpos) $pos
  $t delete limit end
  if {$pos < $n} {$t insert limit [lindex $state($t,history) $pos]}
  $t mark set insert end
  $t see insert
}

# Editing stays after the prompt.
proc console:editable {t index} {
  return [$t compare $index >= limit]
}

proc console:insert {t text} {
  if {$text eq ""} return
  if {![console:editable $t insert]} {$t mark set insert end}
  catch {
    if {[console:editable $t sel.first]} {$t delete sel.first sel.last}
  }
  $t insert insert $text
  $t see insert
}

proc console:backspace {t} {
  if {![catch {$t index sel.first}] && [console:editable $t sel.first]} {
    $t delete sel.first sel.last
  } elseif {[$t compare insert > limit]} {
    $t delete insert-1c
    $t see insert
  }
}

proc console:delete {t} {
  if {![catch {$t index sel.first}] && [console:editable $t sel.first]} {
    $t delete sel.first sel.last
  } elseif {[console:editable $t insert]} {
    $t delete insert
  }
}

proc console:cut {t} {
  if {[catch {$t index sel.first}]} return
  console:copy $t
  if {[console:editable $t sel.first]} {$t delete sel.first sel.last}
}

proc console:copy {t} {
  if {[catch {$t get sel.first sel.last} text]} return
  clipboard clear -displayof $t
  clipboard append -displayof $t $text
}

proc console:paste {t} {
  if {[catch {::tk::GetSelection $t CLIPBOARD} text]} return
  console:insert $t $text
}

proc console:clear {t} {
  upvar #0 console:state state
  $t delete 1.0 end
  console:prompt $t $state($t,prompt)
}

proc console:sourceFile {t} {
  set file [tk_getOpenFile -parent [winfo toplevel $t] -title {Source File}]
  if {$file eq ""} return
  if {[catch {uplevel #0 [list source $file]} result]} {
    console:write $t $result\n err
  } elseif {$result ne ""} {
    console:write $t $result\n ok
  }
}

proc console:saveFile {t} {
  set file [tk_getSaveFile -parent [winfo toplevel $t] -title {Save Console Text}]
  if {$file eq ""} return
  if {[catch {
    set f [open $file w]
    puts -nonewline $f [$t get 1.0 end-1c]
    close $f
  } result]} {
    console:write $t $result\n err
  }
}

bind Console <KeyPress> {console:insert %W %A}
bind Console <Return> {console:enter %W; break}
bind Console <KP_Enter> {console:enter %W; break}
bind Console <BackSpace> {console:backspace %W; break}
bind Console <Delete> {console:delete %W; break}
bind Console <Up> {console:history %W -1; break}
bind Console <Down> {console:history %W 1; break}
bind Console <Control-p> {console:history %W -1; break}
bind Console <Control-n> {console:history %W 1; break}
bind Console <Left> {
  if {[%W compare insert > limit]} {%W mark set insert insert-1c}
  break
}
bind Console <Right> {%W mark set insert insert+1c; break}
bind Console <Home> {%W mark set insert limit; break}
bind Console <Control-a> {%W mark set insert limit; break}
bind Console <End> {%W mark set insert end; break}
bind Console <Control-e> {%W mark set insert end; break}
bind Console <Control-u> {%W delete limit end; break}
bind Console <Control-k> {
  if {[console:editable %W insert]} {%W delete insert {insert lineend}}
  break
}
bind Console <<Cut>> {console:cut %W; break}
bind Console <<Copy>> {console:copy %W; break}
bind Console <<Paste>> {console:paste %W; break}
bind Console <<Clear>> {console:clear %W; break}
bind Console <Control-l> {console:clear %W; break}
bind Console <Button-1> {
  %W mark set insert @%x,%y
  %W tag remove sel 1.0 end
  focus %W
}
bind Console <B1-Motion> {
  %W tag remove sel 1.0 end
  if {[%W compare @%x,%y < insert]} {
    %W tag add sel @%x,%y insert
  } else {
    %W tag add sel insert @%x,%y
  }
}
bind Console <ButtonRelease-1> {
  if {![console:editable %W insert]} {%W mark set insert end}
}
bind Console <Button-2> {console:paste %W; break}
bind Console <MouseWheel> {%W yview scroll [expr {-%D/120}] units}
bind Console <Button-4> {%W yview scroll -3 units}
bind Console <Button-5> {%W yview scroll 3 units}
)TCL";
const int zEtConsoleSize = sizeof(zEtConsole) - 1;
