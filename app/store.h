// The embedded file store: files held inside the executable and served to
// the interpreter as a read-only file system that lies over the real one.
//
// Names are matched byte for byte as scripts spell them ("app.tcl" is
// stored, "./app.tcl" is not); a name that is not stored falls through to
// the native file system for stat, access and open, but never for source.
#pragma once

#include <sys/stat.h>
#include <tcl.h>

struct Et_File {
  const char *name;
  const char *data;  // null: the file is absent
  int size;          // scripts carry one NUL after `size` bytes, uncounted
  Et_File *next;     // next entry in the same hash bucket
};

// The built-in entries, generated at build time; ends with an all-zero entry.
extern Et_File Et_FileSet[];

constexpr int kEtHashSize = 205;

// Bucket of a name (0..204).
unsigned Et_FileHash(const char *name);

// Indexes the built-in entries, once per process; later calls do nothing.
void Et_IndexBuiltinFiles();

// The entry of a present file, or null.
const Et_File *Et_FindFile(const char *name);

// The three file-layer hooks. Stat and access return 0 when the store
// answers, -1 when the request falls through.
int Et_FileStat(const char *path, struct stat *buf);
int Et_FileAccess(const char *path, int mode);
Tcl_Channel Et_FileOpen(Tcl_Interp *interp, const char *path, const char *mode,
                        int permissions);

// Adds (or shadows) a stored file. The data is handed over and never freed.
void Et_NewBuiltinFile(const char *name, char *data, int size);

// Script commands: "source" (replacement) and "Et_NewBuiltinFile".
int Et_Source(ClientData, Tcl_Interp *interp, int argc, const char *argv[]);
int Et_NewBuiltinFileCmd(ClientData, Tcl_Interp *interp, int objc,
                         Tcl_Obj *const objv[]);

// Registers the store as a Tcl virtual file system in front of the native
// one (idempotent). Stored names are claimed first, all others pass on.
void Et_RegisterFileSystem();
