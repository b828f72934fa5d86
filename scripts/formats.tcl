# Volume files of other tools (DICOM series, NIfTI, NRRD, MetaImage) in the
# open and export actions, their value rule in the status bar, and PNG
# pictures of the views. The readers and writers are the commands of
# tcl_volume_io; these procedures only choose between them and SCN.

namespace eval Formats {
  # Extensions the open dialog offers beside SCN; DICOM files may have none.
  variable volume_types {
    {{Volume Files} {.nii .gz .nrrd .nhdr .mha .mhd .dcm}}
    {{NIfTI Files} {.nii .gz}} {{NRRD Files} {.nrrd .nhdr}}
    {{MetaImage Files} {.mha .mhd}} {{DICOM Files} {.dcm}} {{All Files} *}
  }
  variable export_types {
    {{NIfTI Files} {.nii.gz .nii}} {{NRRD Files} {.nrrd .nhdr}} {{MetaImage Files} {.mha .mhd}}
  }
}

# The open dialog's types: the given SCN types, then the volume types.
proc Formats::open_types {types} {
  variable volume_types
  return [concat $types $volume_types]
}

# The export dialog's types: the given SCN types, then the volume types.
proc Formats::save_types {types} {
  variable export_types
  return [concat $types $export_types]
}

# Whether a file name (or folder) is read by Formats::read rather than SCN.
proc Formats::is_volume {filename} {
  return [expr {[file isdirectory $filename] || [IsVolumeFile $filename] ||
                ([file isfile $filename] && [file extension $filename] eq "")}]
}

# A scene handle for a volume file or a DICOM folder. A folder with several
# series asks which one (the largest is the default). A value rule other
# than the identity is reported, since voxels then differ from the file.
proc Formats::read {filename} {
  if {[file isdirectory $filename]} {
    set series [ListDicomSeries $filename]
    if {[llength $series] == 0} {error "No DICOM series in $filename"}
    set uid [lindex $series 0 0]
    if {[llength $series] > 1 && [winfo exists .]} {
      set uid [Formats::choose_series $filename $series]
      if {$uid eq ""} return
    }
    set h [ReadDicomSeries $filename $uid]
  } else {
    set h [ReadVolume $filename]
  }
  set note [Formats::rule_text $h]
  if {$note ne "" && [winfo exists .]} {
    catch {App::message "[file tail $filename]: $note"}
  }
  return $h
}

# "" for scenes whose voxels are the file's values, else the rule in words.
proc Formats::rule_text {h} {
  lassign [SceneValueRule $h] scale offset
  if {$scale == 1 && $offset == 0} {return ""}
  if {$scale == 1} {
    return [format "values shifted: file value = voxel %+g" $offset]
  }
  return [format "values mapped to 0..65535: file value = %g * voxel %+g" $scale $offset]
}

# " (file value V)" for the status bar when the scene's voxels were mapped.
proc Formats::status_note {h value} {
  if {[catch {SceneValueRule $h} rule]} {return ""}
  lassign $rule scale offset
  if {$scale == 1 && $offset == 0} {return ""}
  return [format " (file value %g)" [SceneOriginalValue $h $value]]
}

# A list box of the folder's series; the chosen UID, or "" on cancel.
proc Formats::choose_series {folder series} {
  set w .dicomseries
  catch {destroy $w}
  toplevel $w
  wm title $w "DICOM series"
  label $w.l -text "[file tail $folder] holds [llength $series] series; open which one?"
  listbox $w.list -width 60 -height [expr {min(10, [llength $series])}]
  foreach entry $series {
    lassign $entry uid count text
    $w.list insert end [format "%4d files  %s" $count $text]
  }
  $w.list selection set 0
  set ::Formats::choice ""
  button $w.ok -text Open -command {set ::Formats::choice [.dicomseries.list curselection]}
  button $w.cancel -text Cancel -command {set ::Formats::choice cancel}
  bind $w.list <Double-1> {set ::Formats::choice [.dicomseries.list curselection]}
  wm protocol $w WM_DELETE_WINDOW {set ::Formats::choice cancel}
  pack $w.l -side top -anchor w -padx 4 -pady 4
  pack $w.list -side top -fill both -expand 1 -padx 4
  pack $w.cancel $w.ok -side right -padx 4 -pady 4
  vwait ::Formats::choice
  set choice $::Formats::choice
  destroy $w
  if {$choice eq "cancel" || $choice eq ""} {return ""}
  return [lindex $series $choice 0]
}

# Writes scene handle h by the file name's extension: a volume format with
# the geometry of scene ref (when it has the same size), else SCN.
proc Formats::write {h filename {ref {}}} {
  if {[file extension $filename] in {.scn .obj ""}} {
    WriteScene $h $filename
    return
  }
  if {$ref ne "" && [GetXSize $ref] == [GetXSize $h] && [GetYSize $ref] == [GetYSize $h] &&
      [GetZSize $ref] == [GetZSize $h]} {
    CopySceneGeometry $ref $h
  }
  WriteVolume $h $filename
}

# The scene the current shell came from, for its geometry, or "".
proc Formats::current_scene {} {
  global current
  if {$current(scn) eq ""} {return ""}
  if {[catch {Scene::get_handle $current(scn)} h]} {return ""}
  return $h
}

# A view's photo as PNG (Tk's own writer), asking for the file name.
proc Formats::save_png {photo {filename .}} {
  if {$filename eq "."} {
    set filename [tk_getSaveFile -initialdir $App::app_path -defaultextension .png \
        -filetypes {{{PNG Files} {.png}}}]
    if {$filename eq ""} return
  }
  $photo write $filename -format png
  return $filename
}
