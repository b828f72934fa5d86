# The hostile-argument sweep: every command of the table (read from
# c_CommandTable, so a command added to any module is covered without being
# named here) is called with hostile values per parameter: 0, -1, the ends
# of the int range, 1e308, nan, inf, "", "abc", a freed handle, a live
# handle of another type, a 1 x 1 x 1 object and objects of mismatched
# sizes. Every call runs under catch in a child scripting shell with a time
# limit, against objects made afresh for it, so that a crash or a hang is
# pinned on one call that can be replayed alone.
#
#   orvanesh sweep.tcl ?-long? ?-seed N? ?-calls N? ?-batch N? ?-limit S? ?-work DIR?
#       -long   every command x every hostile value per position, and random
#               pairs of hostile values (tens of thousands of calls);
#               otherwise -calls random calls (default 3000)
#   orvanesh sweep.tcl -one {COMMAND ARG ...}
#       replays one call of a report against fresh objects
#
# Sourced with ::sweepLibrary set, it only defines its procedures (the
# writer tests use its fixtures).
#
# It prints the counts (calls, clean errors, accepted, crashes, hangs) and,
# for each crash or hang, the call and the line that replays it; it exits 1
# when there was any.

set here [file dirname [file normalize [info script]]]
set shell [info nameofexecutable]

# Commands the sweep never calls, with the reason for each.
set skipped {
  c_CommandTable {lists the table; takes no arguments}
  c_ProgressHook {its script runs inside every later long command}
  c_LiveObjects {takes no arguments}
}

# ---- hostile values ----

# Tokens starting with @ are objects the child makes before each call:
# @T a live T of the usual size, @T:1 a 1 x 1 x 1 (or 1 x 1) one, @T:m one
# of another size, @T:freed a handle whose object was freed, @path:NAME a
# file in the work folder.
set hostile(int)    {0 -1 1 2147483647 -2147483648 4294967297 -9223372036854775808 "" abc 1e308 nan 65536 3}
set hostile(byte)   {0 -1 255 256 "" abc i e}
set hostile(real)   {0 -1 1e308 -1e308 nan inf -inf 1e-308 "" abc 2147483648.0 65536.0 0.5}
set hostile(string) {"" abc x y z @path:none @path:zero @path:garbage @path:dir @path:nodir/f
                     @path:valid.scn @path:valid.pgm @path:valid.cur @path:valid.sh @path:valid.bsh
                     @path:huge.scn @path:bad.sh @path:valid.nii.gz @path:valid.nhdr
                     @path:cut.nii.gz @path:dicom}
set hostile(list)   {"" abc "\{" "1 2 3" "nan inf -inf" "2147483647 -2147483648 0" "0 0 0 0 0 0"
                     "-1 -1 -1" "1e308 1e308"}
set hostile(handle) {0 -1 2147483647 "" abc 9223372036854775807}

# Every type a fixture is made for; handles of these stand in for "another type".
set fixtureTypes {Scene Image CImage Curve Curve3D AdjRel3 Plane Context ZBuffer FBuffer Shell
                  AnnScn BMap BorderList}

# Parameter kinds of hand-made commands, guessed from the names their usage
# text gives (the table carries kinds only for generated commands).
proc GuessKind {name} {
  switch -regexp -- $name {
    {^(scn|scene|lscn|dist scene|scnref|nscn|bin)$} {return Scene}
    {^(img|imgref|cimg|srcimg|dstimg)$} {return CImage}
    {^(shell|shellref)$} {return Shell}
    {^(cxt|cxtref)$} {return Context}
    {^(curve|curve1|curve2|curveref|filledcurve1|filledcurve2|cs)$} {return Curve}
    {^curve3D$} {return Curve3D}
    {^(plane|plane ref)$} {return Plane}
    {^adjrel3ref$} {return AdjRel3}
    {^imgname$} {return photo}
    {^fp$} {return channel}
    {^(voxel|list)$} {return section}
    {list$} {return list}
    {^(r|dx|dy|dz|percent|bg_[rgb])$} {return real}
    default {return int}
  }
}

# {name {kind ...}} for every command of the table.
proc ReadTable {} {
  set commands {}
  foreach entry [c_CommandTable] {
    lassign $entry name min max usage params kinds
    if {[dict exists $::skipped $name]} continue
    if {[llength $kinds] == 0} {
      # Hand-made: the names between <> of the usage text, the optional ones too.
      foreach {- p} [regexp -all -inline {<([^>]+)>} $usage] {lappend kinds [GuessKind $p]}
      foreach {- p} [regexp -all -inline {\?([^?]+)\?} $usage] {
        foreach q $p {if {[llength $kinds] < $max || $max < 0} {lappend kinds real}}
      }
      while {[llength $kinds] < $min} {lappend kinds int}
    }
    lappend commands [list $name $kinds]
  }
  return $commands
}

# The value a parameter takes when it is not the one under attack.
proc Usual {kind} {
  switch -- $kind {
    int - byte {return 1}
    real {return 1.5}
    string {return x}
    list {return "1 1 1"}
    photo {return photo}
    channel {return @chan}
    section {return @section}
    default {return @[string trimright $kind !]}
  }
}

proc Hostile {kind} {
  switch -- $kind {
    int - byte - real - string - list {return $::hostile($kind)}
    photo {return [list "" abc photo]}
    channel {return [list "" abc stdin @chan]}
    section {return [concat $::hostile(handle) @section]}
    default {
      set t [string trimright $kind !]
      set values [concat $::hostile(handle) @$t:1 @$t:m @$t:freed]
      foreach other $::fixtureTypes {if {$other ne $t} {lappend values @$other}}
      return $values
    }
  }
}

proc Pick {list} { lindex $list [expr {int(rand() * [llength $list])}] }

# The calls of a run: {command arg ...} with tokens for objects.
proc MakeCalls {commands long count} {
  set calls {}
  if {$long} {
    foreach c $commands {
      lassign $c name kinds
      set usual {}
      foreach k $kinds {lappend usual [Usual $k]}
      lappend calls [concat [list $name] $usual]
      for {set i 0} {$i < [llength $kinds]} {incr i} {
        foreach v [Hostile [lindex $kinds $i]] {
          lappend calls [concat [list $name] [lreplace $usual $i $i $v]]
        }
      }
      # Pairs of hostile values at random positions.
      if {[llength $kinds] > 1} {
        for {set r 0} {$r < 40} {incr r} {lappend calls [RandomCall $c 2]}
      }
    }
  } else {
    for {set i 0} {$i < $count} {incr i} {
      lappend calls [RandomCall [Pick $commands] [expr {rand() < 0.25 ? 2 : 1}]]
    }
  }
  return $calls
}

proc RandomCall {c hits} {
  lassign $c name kinds
  set args {}
  foreach k $kinds {lappend args [Usual $k]}
  if {[llength $kinds] == 0} {return [list $name]}
  for {set h 0} {$h < $hits} {incr h} {
    set i [expr {int(rand() * [llength $kinds])}]
    lset args $i [Pick [Hostile [lindex $kinds $i]]]
  }
  return [concat [list $name] $args]
}

# ---- the child: fixtures and calls ----

proc WriteFile {path bytes} {
  set f [open $path wb]
  puts -nonewline $f $bytes
  close $f
}

# The files the readers are given, made once per work folder.
proc MakeFiles {work} {
  if {[file exists $work/pristine]} {
    # A writer given a reader's file must not spoil it for the next call.
    foreach f [glob -directory $work/pristine *] {file copy -force $f $work}
    return
  }
  file mkdir $work/dir
  set ramp {}
  for {set i 0} {$i < 64} {incr i} {lappend ramp [expr {$i * 4}]}
  WriteFile $work/valid.scn "SCN\n4 4 4\n1.000000 1.000000 1.000000\n16\n[binary format s* $ramp]"
  WriteFile $work/huge.scn "SCN\n40000 40000 40000\n1.0 1.0 1.0\n16\n"
  WriteFile $work/valid.pgm "P2\n3 2\n255\n0 1 2\n3 4 5\n"
  WriteFile $work/valid.cur "3\n0.0 1.0\n1.0 2.0\n2.0 0.5\n"
  set bytes {}
  for {set i 0} {$i < 300} {incr i} {append bytes [format %c [expr {($i * 37) % 256}]]}
  WriteFile $work/garbage $bytes
  WriteFile $work/bad.sh "SH\n[string range $bytes 0 200]"
  file link -symbolic $work/zero /dev/zero
  set s [ReadScene $work/valid.scn]
  set label [Threshold3 $s 100 200]
  set alpha [CreateAlpha $label]
  set sh [CreateShell $label $alpha 1.0]
  WriteShell $sh $work/valid.sh
  set bsh [CreateBodyShell $s $alpha]
  WriteBodyShell $bsh $work/valid.bsh
  foreach o [list $sh $bsh] {c_FreeShell $o}
  # Volume files of other tools, one cut short, and a folder holding a
  # file that is no DICOM.
  WriteVolume $s $work/valid.nii.gz
  WriteVolume $s $work/valid.nhdr
  set f [open $work/valid.nii.gz rb]
  set gz [read $f]
  close $f
  WriteFile $work/cut.nii.gz [string range $gz 0 [expr {[string length $gz] / 2}]]
  file mkdir $work/dicom
  WriteFile $work/dicom/x.dcm "[string repeat \0 128]DICM[string range $bytes 0 100]"
  foreach o [list $s $label $alpha] {DestroyScene $o}
  file mkdir $work/pristine
  foreach f {valid.scn huge.scn valid.pgm valid.cur garbage bad.sh valid.sh valid.bsh
             valid.nii.gz valid.nhdr valid.raw.gz cut.nii.gz} {
    file copy $work/$f $work/pristine
  }
}

# How each fixture is made and freed; %work% is the work folder, %NAME% the
# handle of fixture NAME (made first). Made only when a call names them.
set recipes {
  Scene        {{ReadScene %work%/valid.scn} DestroyScene}
  Scene:1      {{CreateScene 1 1 1} DestroyScene}
  Scene:m      {{CreateScene 5 3 2} DestroyScene}
  label        {{Threshold3 %Scene% 100 200} DestroyScene}
  alpha        {{CreateAlpha %label%} DestroyScene}
  Image        {{CreateImage 4 4} DestroyImage}
  Image:1      {{CreateImage 1 1} DestroyImage}
  Image:m      {{CreateImage 5 3} DestroyImage}
  CImage       {{CreateCImage 4 4} DestroyCImage}
  CImage:1     {{CreateCImage 1 1} DestroyCImage}
  CImage:m     {{CreateCImage 5 3} DestroyCImage}
  Curve        {{c_List2Curve {0 0 10 1 100 1 255 0.5}} DestroyCurve}
  Curve:1      {{c_List2Curve {0 1}} DestroyCurve}
  Curve:m      {{CreateCurve 300} DestroyCurve}
  Curve3D      {{c_List2Curve3D {0 0 0 1 1 1 2 2 2}} DestroyCurve3D}
  Curve3D:1    {{c_List2Curve3D {0 0 0}} DestroyCurve3D}
  Curve3D:m    {{CreateCurve3D 7} DestroyCurve3D}
  AdjRel3      {{c_Spheric 1.8} c_FreeAdjRel3}
  AdjRel3:1    {{c_Spheric 0} c_FreeAdjRel3}
  AdjRel3:m    {{c_Spheric 3} c_FreeAdjRel3}
  Context      {{CreateContext %Scene%} DestroyContext}
  Context:1    {{NewContext 1 1 1} DestroyContext}
  Context:m    {{NewContext 5 3 2} DestroyContext}
  Plane        {{CreatePlane %Context%} DestroyPlane}
  Plane:1      {{CreatePlane %Context:1%} DestroyPlane}
  Plane:m      {{CreatePlane %Context:m%} DestroyPlane}
  ZBuffer      {{CreateZBuffer 8 8} DestroyZBuffer}
  ZBuffer:1    {{CreateZBuffer 1 1} DestroyZBuffer}
  ZBuffer:m    {{CreateZBuffer 5 3} DestroyZBuffer}
  FBuffer      {{CreateFBuffer 8 8} DestroyFBuffer}
  FBuffer:1    {{CreateFBuffer 1 1} DestroyFBuffer}
  FBuffer:m    {{CreateFBuffer 5 3} DestroyFBuffer}
  Shell        {{CreateShell %label% %alpha% 1.0} c_FreeShell}
  Shell:1      {{CreateShell %Scene:1% %Scene:1% 1.0} c_FreeShell}
  Shell:m      {{CreateBodyShell %Scene% %alpha%} c_FreeShell}
  AnnScn       {{Annotate3 %Scene%} DeAnnotate3}
  AnnScn:1     {{Annotate3 %Scene:1%} DeAnnotate3}
  AnnScn:m     {{Annotate3 %Scene:m%} DeAnnotate3}
  BMap         {{BMapNew 64} BMapDestroy}
  BMap:1       {{BMapNew 1} BMapDestroy}
  BMap:m       {{BMapNew 30} BMapDestroy}
  BorderList   {{CreateBorder 64} DestroyBorder}
  BorderList:1 {{CreateBorder 1} DestroyBorder}
  BorderList:m {{CreateBorder 30} DestroyBorder}
}

# The fixture named key (made now if need be), or "" when it cannot be had.
# T:freed is a handle of a T made and freed at once.
proc Fixture {key work} {
  global F free recipes
  if {[info exists F($key)]} {return $F($key)}
  if {[regexp {^(.*):freed$} $key -> type]} {
    set h [Fixture $type:1 $work]
    if {$h eq ""} {set h [Fixture $type $work]}
    if {$h eq ""} {return ""}
    # Freed by the free list's own command; the list must not free it again.
    set at [lsearch -index 1 -exact $free $h]
    uplevel #0 [lindex $free $at]
    set free [lreplace $free $at $at]
    foreach k [array names F] {if {$F($k) eq $h} {unset F($k)}}
    return [set F($key) $h]
  }
  if {![dict exists $recipes $key]} {return ""}
  lassign [dict get $recipes $key] script freeCmd
  set script [string map [list %work% $work] $script]
  foreach {- dep} [regexp -all -inline {%([^%]+)%} $script] {
    set h [Fixture $dep $work]
    if {$h eq ""} {return ""}
    set script [string map [list %$dep% $h] $script]
  }
  if {[catch {uplevel #0 $script} h] || $h eq "" || $h == 0} {return ""}
  lappend free [list $freeCmd $h]
  return [set F($key) $h]
}

# Frees every fixture of the call, the latest first.
proc FreeFixtures {} {
  global F free
  foreach f [lreverse $free] {catch {uplevel #0 $f}}
  set free {}
  array unset F
}

# Replaces the tokens of a call by the fixtures' handles and paths.
proc Resolve {call work} {
  set out {}
  foreach a $call {
    if {[string index $a 0] eq "@"} {
      set key [string range $a 1 end]
      if {[string match path:* $key]} {
        set a [file join $work [string range $key 5 end]]
      } elseif {$key eq "chan"} {
        set a [set ::chan [open $work/valid.sh rb]]
      } elseif {$key eq "section"} {
        set a [SectionFixture $work]
      } else {
        set a [Fixture $key $work]
        # No fixture of that kind here: a handle never issued.
        if {$a eq ""} {set a 987654321}
      }
    }
    lappend out $a
  }
  return $out
}

# A voxel section read from a shell file (the only source of one).
proc SectionFixture {work} {
  set f [open $work/valid.sh rb]
  gets $f
  gets $f
  if {[catch {ReadVoxels $f 2} h]} {set h 0}
  close $f
  return $h
}

# Runs one call; "ok" or "error".
proc RunCall {call work} {
  set cmd [Resolve $call $work]
  set status [catch {uplevel #0 $cmd} result]
  FreeFixtures
  if {[info exists ::chan]} {catch {close $::chan}; unset ::chan}
  # Files a writer made do not feed the next call.
  if {[string match *Write* [lindex $call 0]] || [string match *Write* $call]} {
    foreach f [glob -nocomplain -directory $work none f x y z abc] {file delete -force $f}
    MakeFiles $work
  }
  return [expr {$status ? "error" : "ok"}]
}

proc Child {batchFile resultFile work} {
  # Relative names ("x", "abc") a writer is given land in the work folder.
  cd $work
  set f [open $batchFile rb]
  set calls [read $f]
  close $f
  set ::free {}
  set out [open $resultFile a]
  fconfigure $out -buffering line
  set i 0
  foreach call $calls {
    puts $out "S $i"
    if {[catch {RunCall $call $work} status]} {
      # A fault of the sweep's own set-up, not of the command.
      puts $out [list X $i $status]
    } else {
      puts $out "[string index $status 0] $i"
    }
    incr i
  }
  puts $out "D"
  close $out
  exit 0
}

# ---- the driver ----

# Runs calls [from, end) of a batch in one child; the index of the call it
# stopped on (crash or hang), or -1 when it got through.
proc RunBatch {calls from work limit counts} {
  upvar $counts n
  set batchFile $work/batch.tcl
  set resultFile $work/result.txt
  set f [open $batchFile wb]
  puts $f [lrange $calls $from end]
  close $f
  file delete $resultFile
  set status [catch {
    exec timeout -s KILL $limit $::childShell $::here/sweep.tcl -child $batchFile $resultFile $work \
        >/dev/null 2> $work/stderr.txt
  } msg opts]
  set started -1
  set done 0
  if {[file exists $resultFile]} {
    set r [open $resultFile]
    foreach line [split [read $r] \n] {
      switch -- [lindex $line 0] {
        S {set started [lindex $line 1]}
        o {incr n(accepted); incr n(calls)}
        e {incr n(errors); incr n(calls)}
        X {
          incr n(calls)
          incr n(faults)
          if {$n(faults) <= 5} {puts "sweep set-up fault: [lindex $line 2]"}
        }
        D {set done 1}
      }
    }
    close $r
  }
  if {$done} {return -1}
  if {$started < 0} {
    # The child died before its first call: its fixtures are at fault.
    puts "the child could not start: [ReadTail $work/stderr.txt]"
    exit 2
  }
  incr n(calls)
  set code [lindex [dict get $opts -errorcode] end]
  set index [expr {$from + $started}]
  set call [lindex $calls $index]
  if {$code in {124 137 SIGKILL}} {
    incr n(hangs)
    puts "HANG ([expr {$limit}] s): $call"
  } else {
    incr n(crashes)
    puts "CRASH (child status $code): $call"
    puts [ReadTail $work/stderr.txt]
  }
  puts "  replay: $::shell $::here/sweep.tcl -one '$call'"
  return $index
}

proc ReadTail {path} {
  set f [open $path]
  set lines [split [string trimright [read $f]] \n]
  close $f
  # The sanitizer's report, or the last lines written.
  set at [lsearch -regexp $lines {ERROR: (Address|Undefined|Leak)Sanitizer|runtime error}]
  if {$at < 0} {
    set lines [lsearch -all -inline -not -regexp $lines {^(Error|Warning):}]
    set at [expr {[llength $lines] - 12}]
  }
  return [join [lrange $lines $at [expr {$at + 15}]] \n]
}

proc Main {argv} {
  set long 0
  set seed 1
  set count 3000
  set batch 250
  set limit 20
  set work ""
  foreach {opt value} $argv {
    switch -- $opt {
      -long {set long 1; set argv [lrange $argv 1 end]}
    }
  }
  set argv [lsearch -all -inline -not -exact $argv -long]
  foreach {opt value} $argv {
    switch -- $opt {
      -seed {set seed $value}
      -calls {set count $value}
      -batch {set batch $value}
      -limit {set limit $value}
      -work {set work $value}
      default {puts stderr "unknown option $opt"; exit 2}
    }
  }
  if {$work eq ""} {set work [file join /tmp orvane_sweep_[pid]]}
  file delete -force $work
  file mkdir $work
  # The children run a copy of the shell, so that a rebuild during a long
  # run does not pass for a crash.
  set ::childShell [file join $work orvanesh]
  file copy $::shell $::childShell
  MakeFiles $work
  expr {srand($seed)}
  set commands [ReadTable]
  set calls [MakeCalls $commands $long $count]
  puts "sweep: [llength $commands] commands, [llength $calls] calls, seed $seed"
  array set n {calls 0 errors 0 accepted 0 crashes 0 hangs 0 faults 0}
  set t0 [clock seconds]
  for {set from 0} {$from < [llength $calls]} {set from $next} {
    set end [expr {min($from + $batch, [llength $calls])}]
    set stop [RunBatch [lrange $calls 0 [expr {$end - 1}]] $from $work $limit n]
    set next [expr {$stop < 0 ? $end : $stop + 1}]
  }
  file delete -force $work
  puts "sweep: $n(calls) calls, $n(errors) clean errors, $n(accepted) accepted,\
        $n(crashes) crashes, $n(hangs) hangs ([expr {[clock seconds] - $t0}] s)"
  if {$n(faults)} {puts "sweep: $n(faults) calls the sweep itself could not set up"}
  exit [expr {$n(crashes) + $n(hangs) + $n(faults) > 0}]
}

# Sourced by other tests for its fixtures only.
if {![info exists ::sweepLibrary]} {
switch -- [lindex $argv 0] {
  -child {
    lassign $argv - batchFile resultFile work
    Child $batchFile $resultFile $work
  }
  -one {
    set work [file join /tmp orvane_sweep_one_[pid]]
    file mkdir $work
    MakeFiles $work
    cd $work
    set free {}
    set cmd [Resolve [lindex $argv 1] $work]
    puts "calling: $cmd"
    set status [catch {uplevel #0 $cmd} result]
    puts "[expr {$status ? "error" : "ok"}]: $result"
    file delete -force $work
    exit 0
  }
  default {Main $argv}
}
}
