// The embedded file store: a hash table over the built-in entries and those
// added at run time, the read-only channel type "builtin", the replacement
// of "source", and a virtual file system that answers for stored names.
#include "app/store.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

static Et_File *Et_FileHashTable[kEtHashSize];
static bool filesIndexed = false;
static bool fileSystemRegistered = false;

// Entries and data added by Et_NewBuiltinFile live until the process ends;
// deques keep their addresses stable while the chains point into them.
struct AddedFile {
  Et_File entry;
  std::string name;
};

static std::deque<AddedFile> &AddedFiles() {
  static std::deque<AddedFile> files;
  return files;
}

static std::deque<std::vector<char>> &AddedData() {
  static std::deque<std::vector<char>> data;
  return data;
}

unsigned Et_FileHash(const char *name) {
  // Bytes count as signed chars, so 128..255 enter as negative values; the
  // arithmetic is done unsigned to keep the 32-bit wrap-around well defined.
  std::uint32_t h = 0;
  for (const char *p = name; *p; ++p) {
    const auto c = static_cast<std::int32_t>(static_cast<signed char>(*p));
    h = (h << 5) ^ h ^ static_cast<std::uint32_t>(c);
  }
  if (static_cast<std::int32_t>(h) < 0) h = 0u - h;
  return h % kEtHashSize;
}

static void PushEntry(Et_File *entry) {
  Et_File *&head = Et_FileHashTable[Et_FileHash(entry->name)];
  entry->next = head;
  head = entry;
}

// Path objects cache the file system that claimed them; a new stored name
// must make them ask again.
static void ForgetCachedClaims() {
  if (fileSystemRegistered) Tcl_FSMountsChanged(nullptr);
}

void Et_IndexBuiltinFiles() {
  if (filesIndexed) return;
  filesIndexed = true;
  for (Et_File *entry = Et_FileSet; entry->name; ++entry) PushEntry(entry);
  ForgetCachedClaims();
}

// The first entry of that name decides: an entry without data hides any
// older one of the same name.
const Et_File *Et_FindFile(const char *name) {
  for (const Et_File *e = Et_FileHashTable[Et_FileHash(name)]; e; e = e->next)
    if (std::strcmp(e->name, name) == 0) return e->data ? e : nullptr;
  return nullptr;
}

int Et_FileStat(const char *path, struct stat *buf) {
  const Et_File *file = Et_FindFile(path);
  if (!file) return -1;
  std::memset(buf, 0, sizeof *buf);
  buf->st_size = file->size;
  buf->st_mode = 0400;
  return 0;
}

int Et_FileAccess(const char *path, int mode) {
  if (mode & (W_OK | X_OK)) return -1;
  return Et_FindFile(path) ? 0 : -1;
}

// ---------------------------------------------------------------------------
// The channel type "builtin": reads stored bytes in place.

struct OpenStoredFile {
  const char *data;
  int size;
  int position;
};

static int Et_FileClose(ClientData instance, Tcl_Interp *) {
  std::unique_ptr<OpenStoredFile> reclaimed(static_cast<OpenStoredFile *>(instance));
  return 0;
}

static int Et_FileInput(ClientData instance, char *buf, int want, int *errorCode) {
  auto *file = static_cast<OpenStoredFile *>(instance);
  *errorCode = 0;
  const int n = std::max(0, std::min(want, file->size - file->position));
  std::memcpy(buf, file->data + file->position, n);
  file->position += n;
  return n;
}

static int Et_FileOutput(ClientData, const char *, int, int *errorCode) {
  *errorCode = 0;
  return 0;
}

// Clamps to [0, size] instead of failing, so seeking never reports an error.
static int Et_FileSeek(ClientData instance, long offset, int mode, int *errorCode) {
  auto *file = static_cast<OpenStoredFile *>(instance);
  *errorCode = 0;
  long long p = offset;
  if (mode == SEEK_CUR) p += file->position;
  if (mode == SEEK_END) p += file->size;
  file->position = static_cast<int>(std::clamp<long long>(p, 0, file->size));
  return file->position;
}

static void Et_FileWatch(ClientData, int) {}

static int Et_FileHandle(ClientData, int, ClientData *) { return TCL_ERROR; }

static const Tcl_ChannelType kBuiltinChannelType = {
    "builtin",     TCL_CHANNEL_VERSION_5,
    Et_FileClose,  Et_FileInput,
    Et_FileOutput, Et_FileSeek,
    nullptr,       nullptr,  // set-option, get-option
    Et_FileWatch,  Et_FileHandle,
    nullptr,       nullptr,  // close2, block-mode
    nullptr,       nullptr,  // flush, handler
    nullptr,       nullptr,  // wide-seek, thread-action
    nullptr,                 // truncate
};

static constexpr unsigned kChannelTag = 0x0e7b;
static unsigned channelCounter = 1;

Tcl_Channel Et_FileOpen(Tcl_Interp *, const char *path, const char *, int) {
  const Et_File *file = Et_FindFile(path);
  if (!file) return nullptr;
  auto state = std::make_unique<OpenStoredFile>(OpenStoredFile{file->data, file->size, 0});
  char name[40];
  std::snprintf(name, sizeof name, "etbi_%x_%x", kChannelTag, channelCounter++);
  Tcl_Channel channel = Tcl_CreateChannel(&kBuiltinChannelType, name, state.get(), TCL_READABLE);
  if (channel) state.release();
  return channel;
}

// ---------------------------------------------------------------------------
// Adding files and sourcing them.

void Et_NewBuiltinFile(const char *name, char *data, int size) {
  AddedFile &added = AddedFiles().emplace_back();
  added.name = name;
  added.entry = Et_File{added.name.c_str(), data, size, nullptr};
  PushEntry(&added.entry);
  ForgetCachedClaims();
}

int Et_NewBuiltinFileCmd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
  if (objc != 3) {
    Tcl_WrongNumArgs(interp, 1, objv, "filename data");
    return TCL_ERROR;
  }
  int n = 0;
  const unsigned char *bytes = Tcl_GetByteArrayFromObj(objv[2], &n);
  std::vector<char> &copy = AddedData().emplace_back(bytes, bytes + n);
  copy.push_back('\0');
  Et_NewBuiltinFile(Tcl_GetString(objv[1]), copy.data(), n);
  return TCL_OK;
}

// Only stored scripts can be sourced. The form "-encoding NAME FILENAME",
// which the Tcl and Tk libraries use, is accepted; stored text is UTF-8.
int Et_Source(ClientData, Tcl_Interp *interp, int argc, const char *argv[]) {
  const char *requested = nullptr;
  if (argc == 2) {
    requested = argv[1];
  } else if (argc == 4 && std::strcmp(argv[1], "-encoding") == 0) {
    requested = argv[3];
  } else {
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("wrong # args: should be \"%s FILENAME\"", argv[0]));
    return TCL_ERROR;
  }
  const std::string name = requested;
  const Et_File *file = Et_FindFile(name.c_str());
  if (!file) {
    Tcl_SetObjResult(interp, Tcl_ObjPrintf("no such file: \"%s\"", name.c_str()));
    return TCL_ERROR;
  }
  if (Tcl_EvalEx(interp, file->data, -1, 0) == TCL_ERROR) {
    char trace[200];
    std::snprintf(trace, sizeof trace, "\n    (file \"%.150s\" line %d)", name.c_str(),
                  Tcl_GetErrorLine(interp));
    Tcl_AddErrorInfo(interp, trace);
    return TCL_ERROR;
  }
  return TCL_OK;
}

// ---------------------------------------------------------------------------
// The virtual file system. It claims a path only when its string, exactly
// as spelled, names a present stored file; every other path goes on to the
// native file system.

static int StoreClaimsPath(Tcl_Obj *path, ClientData *) {
  return Et_FindFile(Tcl_GetString(path)) ? TCL_OK : -1;
}

static Tcl_Obj *StoreSeparator(Tcl_Obj *) { return Tcl_NewStringObj("/", 1); }

static int StoreStat(Tcl_Obj *path, Tcl_StatBuf *buf) {
  struct stat st;
  if (Et_FileStat(Tcl_GetString(path), &st) != 0) {
    Tcl_SetErrno(ENOENT);
    return -1;
  }
  std::memset(buf, 0, sizeof *buf);
  buf->st_size = st.st_size;
  buf->st_mode = st.st_mode;
  return 0;
}

// The store never grants write or execute permission; having claimed the
// path it asks the real file system in its place.
static int StoreAccess(Tcl_Obj *path, int mode) {
  const char *name = Tcl_GetString(path);
  if (mode & (W_OK | X_OK)) return access(name, mode);
  if (Et_FileAccess(name, mode) == 0) return 0;
  Tcl_SetErrno(ENOENT);
  return -1;
}

static Tcl_Channel StoreOpen(Tcl_Interp *interp, Tcl_Obj *path, int, int permissions) {
  const char *name = Tcl_GetString(path);
  Tcl_Channel channel = Et_FileOpen(interp, name, "r", permissions);
  if (!channel) {
    Tcl_SetErrno(ENOENT);
    if (interp)
      Tcl_SetObjResult(interp, Tcl_ObjPrintf("couldn't open \"%s\": %s", name, Tcl_PosixError(interp)));
  }
  return channel;
}

// A claimed path is a single stored file: it matches a glob without a
// pattern unless a type asks for what stored files lack (file-type bits,
// write or execute permission); nothing lies inside it and it mounts nothing.
static int StoreMatchInDirectory(Tcl_Interp *, Tcl_Obj *result, Tcl_Obj *path, const char *pattern,
                                 Tcl_GlobTypeData *types) {
  if (pattern) return TCL_OK;
  if (types) {
    const int grantedPerms = TCL_GLOB_PERM_RONLY | TCL_GLOB_PERM_R;
    if (types->type != 0 || (types->perm & ~grantedPerms) != 0 || types->macType || types->macCreator)
      return TCL_OK;
  }
  Tcl_ListObjAppendElement(nullptr, result, path);
  return TCL_OK;
}

static const Tcl_Filesystem kStoreFileSystem = {
    "builtin",
    sizeof(Tcl_Filesystem),
    TCL_FILESYSTEM_VERSION_1,
    StoreClaimsPath,
    nullptr,  // dupInternalRep
    nullptr,  // freeInternalRep
    nullptr,  // internalToNormalized
    nullptr,  // createInternalRep
    nullptr,  // normalizePath
    nullptr,  // filesystemPathType
    StoreSeparator,
    StoreStat,
    StoreAccess,
    StoreOpen,
    StoreMatchInDirectory,
    nullptr,  // utime
    nullptr,  // link
    nullptr,  // listVolumes
    nullptr,  // fileAttrStrings
    nullptr,  // fileAttrsGet
    nullptr,  // fileAttrsSet
    nullptr,  // createDirectory
    nullptr,  // removeDirectory
    nullptr,  // deleteFile
    nullptr,  // copyFile
    nullptr,  // renameFile
    nullptr,  // copyDirectory
    nullptr,  // lstat: stat answers
    nullptr,  // loadFile
    nullptr,  // getCwd
    nullptr,  // chdir
};

void Et_RegisterFileSystem() {
  if (fileSystemRegistered) return;
  if (Tcl_FSRegister(nullptr, &kStoreFileSystem) == TCL_OK) fileSystemRegistered = true;
}
