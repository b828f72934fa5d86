#include "app/store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace fs = std::filesystem;

namespace {

void EnsureTcl() {
  static const bool initialised = [] {
    Tcl_FindExecutable(nullptr);
    return true;
  }();
  (void)initialised;
}

std::string ReadDiskFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Static data handed to the store (it never frees what it is given).
char kDigits[] = "0123456789";
char kOne[] = "one";
char kTwo[] = "two";

}  // namespace

TEST(StoreHash, KnownNamesComputedByHand) {
  EXPECT_EQ(Et_FileHash(""), 0u);
  EXPECT_EQ(Et_FileHash("a"), 97u);
  // "ab": (97 << 5) ^ 97 ^ 98 = 3107, 3107 % 205 = 32.
  EXPECT_EQ(Et_FileHash("ab"), 32u);
}

TEST(StoreHash, HighBytesCountAsNegative) {
  // 0xff is -1: h = -1, negated to 1. Read unsigned it would give 255 % 205 = 50.
  EXPECT_EQ(Et_FileHash("\xff"), 1u);
  // "a\xff": 3137 ^ -1 = -3138, negated to 3138, 3138 % 205 = 63 (unsigned: 187).
  EXPECT_EQ(Et_FileHash("a\xff"), 63u);
}

TEST(StoreHash, LongNamesWrapAt32Bits) {
  // Reference computed in 64-bit arithmetic and truncated after each step.
  const char *name = "/usr/share/tcltk/tk8.6/ttk/\xc3\xa9l\xc3\xa9ment.tcl";
  std::int64_t h = 0;
  for (const char *p = name; *p; ++p) {
    h = ((h * 32) ^ h ^ static_cast<signed char>(*p)) & 0xffffffffLL;
  }
  if (h >= 0x80000000LL) h = 0x100000000LL - h;
  EXPECT_EQ(Et_FileHash(name), static_cast<unsigned>(h % 205));
}

TEST(StoreTable, GeneratedEntriesAreSortedAndTerminated) {
  int count = 0;
  for (const Et_File *e = Et_FileSet; e->name; ++e, ++count) {
    if (count > 0) {
      EXPECT_LT(std::strcmp(e[-1].name, e->name), 0) << e->name;
    }
    ASSERT_NE(e->data, nullptr) << e->name;
    EXPECT_EQ(e->data[e->size], '\0') << e->name;
    const std::string name = e->name;
    EXPECT_EQ(name.find("/demos/"), std::string::npos) << name;
    EXPECT_EQ(name.find("AppInit.c"), std::string::npos) << name;
  }
  const Et_File &last = Et_FileSet[count];
  EXPECT_EQ(last.data, nullptr);
  EXPECT_EQ(last.size, 0);
  EXPECT_GT(count, 300);
}

TEST(StoreTable, LibraryFilesKeepInstalledPathsAndBytes) {
  Et_IndexBuiltinFiles();
  for (const char *name : {"/usr/share/tcltk/tcl8.6/init.tcl", "/usr/share/tcltk/tk8.6/tk.tcl",
                           "/usr/share/tcltk/bwidget1.9.13/pkgIndex.tcl",
                           "/usr/share/tcltk/tcl8.6/tcl8/msgcat-1.6.1.tm"}) {
    const Et_File *file = Et_FindFile(name);
    ASSERT_NE(file, nullptr) << name;
    EXPECT_EQ(std::string(file->data, file->size), ReadDiskFile(name)) << name;
  }
  EXPECT_EQ(Et_FindFile("/usr/share/tcltk/tcl8.6/tclAppInit.c"), nullptr);
}

TEST(StoreTable, ApplicationFilesAreRelativeToTheirFolders) {
  Et_IndexBuiltinFiles();
  const std::string scripts = (fs::path(__FILE__).parent_path() / "../../scripts/").string();
  const std::string generated = std::string(ORVANE_APPFILES_DIR) + "/";
  for (const auto &[name, dir] : {std::pair<const char *, std::string>{"orvane.tcl", scripts},
                                  {"images/16x16/open.gif", generated},
                                  {"images/32x32/open.gif", generated},
                                  {"colors.pal", generated}}) {
    const Et_File *file = Et_FindFile(name);
    ASSERT_NE(file, nullptr) << name;
    EXPECT_EQ(std::string(file->data, file->size), ReadDiskFile(dir + name)) << name;
  }
}

// The generator refuses a name that two application folders both hold.
TEST(StoreTable, ANameInTwoFoldersFailsTheBuild) {
  const fs::path dir = fs::temp_directory_path() / ("orvane_embed_" + std::to_string(getpid()));
  fs::create_directories(dir / "a/images");
  fs::create_directories(dir / "b/images");
  fs::create_directories(dir / "lib");
  std::ofstream(dir / "a/images/x.gif") << "one";
  std::ofstream(dir / "b/images/x.gif") << "two";
  std::ofstream(dir / "b/y.tcl") << "set y 1";
  const std::string lib = (dir / "lib").string();
  const auto run = [&](const std::string &apps) {
    const std::string command = std::string(ORVANE_EMBED) + " '" + (dir / "out.s").string() + "' '" +
                                (dir / "out.cpp").string() + "' " + lib + " " + lib + " " + lib + " " +
                                apps + " 2>'" + (dir / "err").string() + "'";
    return std::system(command.c_str());
  };
  EXPECT_NE(run((dir / "a").string() + " " + (dir / "b").string()), 0);
  EXPECT_NE(ReadDiskFile((dir / "err").string()).find("\"images/x.gif\" would be stored twice"),
            std::string::npos);
  EXPECT_EQ(run((dir / "b").string()), 0);
  const std::string table = ReadDiskFile((dir / "out.cpp").string());
  EXPECT_LT(table.find("\"images/x.gif\""), table.find("\"y.tcl\""));
  fs::remove_all(dir);
}

TEST(StoreLookup, NamesMatchByteForByte) {
  Et_NewBuiltinFile("lookup/Exact.tcl", kOne, 3);
  EXPECT_NE(Et_FindFile("lookup/Exact.tcl"), nullptr);
  EXPECT_EQ(Et_FindFile("./lookup/Exact.tcl"), nullptr);
  EXPECT_EQ(Et_FindFile("lookup//Exact.tcl"), nullptr);
  EXPECT_EQ(Et_FindFile("lookup/exact.tcl"), nullptr);
  EXPECT_EQ(Et_FindFile("lookup/Exact.tc"), nullptr);
}

TEST(StoreLookup, LaterEntriesShadowEarlierOnes) {
  Et_NewBuiltinFile("lookup/shadow.tcl", kOne, 3);
  EXPECT_STREQ(Et_FindFile("lookup/shadow.tcl")->data, "one");
  Et_NewBuiltinFile("lookup/shadow.tcl", kTwo, 3);
  EXPECT_STREQ(Et_FindFile("lookup/shadow.tcl")->data, "two");
  // An entry without data hides the file altogether.
  Et_NewBuiltinFile("lookup/shadow.tcl", nullptr, 0);
  EXPECT_EQ(Et_FindFile("lookup/shadow.tcl"), nullptr);
  struct stat st;
  EXPECT_EQ(Et_FileStat("lookup/shadow.tcl", &st), -1);
}

TEST(StoreLookup, NamesSharingABucketStayApart) {
  std::string first = "lookup/aa", second;
  for (char c1 = 'a'; c1 <= 'z' && second.empty(); ++c1)
    for (char c2 = 'a'; c2 <= 'z' && second.empty(); ++c2) {
      const std::string candidate = std::string("lookup/") + c1 + c2;
      if (candidate != first && Et_FileHash(candidate.c_str()) == Et_FileHash(first.c_str()))
        second = candidate;
    }
  ASSERT_FALSE(second.empty());
  Et_NewBuiltinFile(first.c_str(), kOne, 3);
  Et_NewBuiltinFile(second.c_str(), kTwo, 3);
  EXPECT_STREQ(Et_FindFile(first.c_str())->data, "one");
  EXPECT_STREQ(Et_FindFile(second.c_str())->data, "two");
}

TEST(StoreHooks, StatAndAccessOfStoredAndAbsentNames) {
  Et_NewBuiltinFile("hooks/digits.txt", kDigits, 10);
  struct stat st;
  std::memset(&st, 0xff, sizeof st);
  ASSERT_EQ(Et_FileStat("hooks/digits.txt", &st), 0);
  EXPECT_EQ(st.st_size, 10);
  EXPECT_EQ(st.st_mode, 0400u);
  EXPECT_EQ(st.st_mtime, 0);
  EXPECT_EQ(st.st_nlink, 0u);
  EXPECT_EQ(Et_FileStat("hooks/absent.txt", &st), -1);

  EXPECT_EQ(Et_FileAccess("hooks/digits.txt", F_OK), 0);
  EXPECT_EQ(Et_FileAccess("hooks/digits.txt", R_OK), 0);
  EXPECT_EQ(Et_FileAccess("hooks/digits.txt", W_OK), -1);
  EXPECT_EQ(Et_FileAccess("hooks/digits.txt", X_OK), -1);
  EXPECT_EQ(Et_FileAccess("hooks/digits.txt", R_OK | W_OK), -1);
  EXPECT_EQ(Et_FileAccess("hooks/absent.txt", R_OK), -1);
}

TEST(StoreChannel, ReadsAndClampsSeeks) {
  EnsureTcl();
  Et_NewBuiltinFile("channel/digits.txt", kDigits, 10);
  EXPECT_EQ(Et_FileOpen(nullptr, "channel/absent.txt", "r", 0), nullptr);
  Tcl_Channel chan = Et_FileOpen(nullptr, "channel/digits.txt", "w", 0644);
  ASSERT_NE(chan, nullptr);
  Tcl_SetChannelOption(nullptr, chan, "-translation", "binary");
  char buf[32];

  EXPECT_EQ(Tcl_Read(chan, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(Tcl_Tell(chan), 4);

  EXPECT_EQ(Tcl_Seek(chan, 1000, SEEK_SET), 10);
  EXPECT_EQ(Tcl_Read(chan, buf, 8), 0);
  EXPECT_TRUE(Tcl_Eof(chan));

  EXPECT_EQ(Tcl_Seek(chan, -5, SEEK_SET), 0);
  EXPECT_EQ(Tcl_Tell(chan), 0);
  EXPECT_EQ(Tcl_Seek(chan, -2, SEEK_END), 8);
  EXPECT_EQ(Tcl_Read(chan, buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(Tcl_Seek(chan, 5, SEEK_END), 10);
  EXPECT_EQ(Tcl_Seek(chan, -3, SEEK_CUR), 7);
  EXPECT_EQ(Tcl_Seek(chan, -100, SEEK_CUR), 0);
  EXPECT_EQ(Tcl_Read(chan, buf, 32), 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");

  // Opened for writing, the channel is still read-only.
  EXPECT_EQ(Tcl_Write(chan, "x", 1), -1);
  EXPECT_EQ(Tcl_Close(nullptr, chan), TCL_OK);
}

TEST(StoreChannel, NamesCarryAConstantTagAndACounter) {
  EnsureTcl();
  Et_NewBuiltinFile("channel/names.txt", kDigits, 10);
  Tcl_Channel a = Et_FileOpen(nullptr, "channel/names.txt", "r", 0);
  Tcl_Channel b = Et_FileOpen(nullptr, "channel/names.txt", "r", 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  unsigned tagA = 0, tagB = 0, countA = 0, countB = 0;
  char rest;
  ASSERT_EQ(std::sscanf(Tcl_GetChannelName(a), "etbi_%x_%x%c", &tagA, &countA, &rest), 2);
  ASSERT_EQ(std::sscanf(Tcl_GetChannelName(b), "etbi_%x_%x%c", &tagB, &countB, &rest), 2);
  EXPECT_EQ(tagA, tagB);
  EXPECT_EQ(countB, countA + 1);
  EXPECT_GE(countA, 1u);
  EXPECT_STREQ(Tcl_ChannelName(Tcl_GetChannelType(a)), "builtin");
  ClientData handle;
  EXPECT_EQ(Tcl_GetChannelHandle(a, TCL_READABLE, &handle), TCL_ERROR);
  Tcl_Close(nullptr, a);
  Tcl_Close(nullptr, b);
}

// An interpreter with the store hooked in, as the shell sets it up.
class StoreInterp : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureTcl();
    interp_ = Tcl_CreateInterp();
    Et_RegisterFileSystem();
    Et_IndexBuiltinFiles();
    Tcl_CreateCommand(interp_, "source", Et_Source, nullptr, nullptr);
    Tcl_CreateObjCommand(interp_, "Et_NewBuiltinFile", Et_NewBuiltinFileCmd, nullptr, nullptr);
    oldCwd_ = fs::current_path();
    tmp_ = fs::temp_directory_path() / ("orvane_store_test_" + std::to_string(getpid()));
    fs::create_directories(tmp_);
    fs::current_path(tmp_);
  }
  void TearDown() override {
    Tcl_DeleteInterp(interp_);
    fs::current_path(oldCwd_);
    fs::remove_all(tmp_);
  }
  // Evaluates at global level; the result text, or "ERROR: " and the message.
  std::string Eval(const std::string &script) {
    const int code = Tcl_EvalEx(interp_, script.c_str(), -1, TCL_EVAL_GLOBAL);
    const std::string result = Tcl_GetStringResult(interp_);
    return code == TCL_OK ? result : "ERROR: " + result;
  }
  std::string Var(const char *name) {
    const char *value = Tcl_GetVar(interp_, name, TCL_GLOBAL_ONLY);
    return value ? value : "<unset>";
  }
  void InitLibrary() {
    Tcl_SetVar(interp_, "tcl_library", ORVANE_TCL_LIBRARY, TCL_GLOBAL_ONLY);
    ASSERT_EQ(Tcl_Init(interp_), TCL_OK) << Tcl_GetStringResult(interp_);
  }

  Tcl_Interp *interp_ = nullptr;
  fs::path oldCwd_, tmp_;
};

TEST_F(StoreInterp, SourceUsageMessages) {
  EXPECT_EQ(Eval("source"), "ERROR: wrong # args: should be \"source FILENAME\"");
  EXPECT_EQ(Eval("source a b"), "ERROR: wrong # args: should be \"source FILENAME\"");
  EXPECT_EQ(Eval("source -encoding utf-8"), "ERROR: wrong # args: should be \"source FILENAME\"");
  EXPECT_EQ(Eval("source -nopkg a b"), "ERROR: wrong # args: should be \"source FILENAME\"");
  EXPECT_EQ(Eval("rename source src; src"), "ERROR: wrong # args: should be \"src FILENAME\"");
  EXPECT_EQ(Eval("Et_NewBuiltinFile x"),
            "ERROR: wrong # args: should be \"Et_NewBuiltinFile filename data\"");
}

TEST_F(StoreInterp, SourceEvaluatesStoredScriptsOnly) {
  EXPECT_EQ(Eval("Et_NewBuiltinFile src/set.tcl {set ::sourced 41; incr ::sourced}"), "");
  EXPECT_EQ(Eval("source src/set.tcl"), "42");
  EXPECT_EQ(Var("sourced"), "42");
  EXPECT_EQ(Eval("source -encoding utf-8 src/set.tcl"), "42");
  EXPECT_EQ(Eval("source ./src/set.tcl"), "ERROR: no such file: \"./src/set.tcl\"");

  std::ofstream("on_disk.tcl") << "set ::fromDisk 1\n";
  EXPECT_EQ(Eval("source on_disk.tcl"), "ERROR: no such file: \"on_disk.tcl\"");
  EXPECT_EQ(Var("fromDisk"), "<unset>");
  // The disk file itself stays reachable through the native file system.
  EXPECT_EQ(Eval("set f [open on_disk.tcl]; set t [read $f]; close $f; set t"), "set ::fromDisk 1\n");
}

TEST_F(StoreInterp, NonErrorCompletionsOfASourcedScriptAreOk) {
  Eval("Et_NewBuiltinFile src/return.tcl \"set ::r 1\\nreturn early\\nset ::r 2\\n\"");
  EXPECT_EQ(Eval("source src/return.tcl"), "early");
  EXPECT_EQ(Var("r"), "1");
  Eval("Et_NewBuiltinFile src/break.tcl {set ::b 1; break; set ::b 2}");
  EXPECT_EQ(Eval("source src/break.tcl"), "");
  EXPECT_EQ(Var("b"), "1");
  Eval("Et_NewBuiltinFile src/continue.tcl continue");
  EXPECT_EQ(Eval("catch {source src/continue.tcl}"), "0");
}

TEST_F(StoreInterp, ErrorsNameTheFileAndLine) {
  Eval("Et_NewBuiltinFile src/error.tcl \"set a 1\\nset b 2\\nerror boom\\n\"");
  EXPECT_EQ(Eval("source src/error.tcl"), "ERROR: boom");
  EXPECT_NE(Var("errorInfo").find("\n    (file \"src/error.tcl\" line 3)"), std::string::npos)
      << Var("errorInfo");

  const std::string longName(200, 'n');
  Eval("Et_NewBuiltinFile " + longName + " {error long}");
  EXPECT_EQ(Eval("source " + longName), "ERROR: long");
  const std::string expected = "\n    (file \"" + std::string(150, 'n') + "\" line 1)";
  EXPECT_NE(Var("errorInfo").find(expected), std::string::npos) << Var("errorInfo");
}

TEST_F(StoreInterp, AddedDataIsTakenAsBytes) {
  Eval("Et_NewBuiltinFile src/bytes.bin [binary format c* {0 1 -1 -128 65}]");
  const Et_File *file = Et_FindFile("src/bytes.bin");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(file->size, 5);
  EXPECT_EQ(std::string(file->data, 6), std::string("\0\1\xff\x80" "A\0", 6));
  EXPECT_EQ(Eval("set f [open src/bytes.bin rb]; binary scan [read $f] c* v; close $f; set v"),
            "0 1 -1 -128 65");
}

TEST_F(StoreInterp, PathsAreClaimedAsSpelled) {
  Eval("Et_NewBuiltinFile fs/rel.txt abc");
  EXPECT_EQ(Eval("list [file exists fs/rel.txt] [file size fs/rel.txt] [file isfile fs/rel.txt] "
                 "[file readable fs/rel.txt] [file writable fs/rel.txt] [file executable fs/rel.txt]"),
            "1 3 0 1 0 0");
  EXPECT_EQ(Eval("list [file exists ./fs/rel.txt] [file exists fs//rel.txt] [file exists FS/rel.txt]"),
            "0 0 0");
  EXPECT_EQ(Eval("file system fs/rel.txt"), "builtin");
  EXPECT_EQ(Eval("file system ./fs/rel.txt"), "native");
  EXPECT_EQ(Eval("glob fs/rel.txt"), "fs/rel.txt");
  EXPECT_EQ(Eval("glob -nocomplain -types f fs/rel.txt"), "");
}

TEST_F(StoreInterp, WriteAndExecuteAccessComeFromTheRealFile) {
  Eval("Et_NewBuiltinFile fs/both.txt stored");
  fs::create_directories("fs");
  std::ofstream("fs/both.txt") << "on disk, longer\n";
  EXPECT_EQ(Eval("list [file writable fs/both.txt] [file executable fs/both.txt] [file size fs/both.txt]"),
            "1 0 6");
  fs::permissions("fs/both.txt", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(Eval("file executable fs/both.txt"), "1");
  EXPECT_EQ(Eval("set f [open fs/both.txt]; set t [read $f]; close $f; set t"), "stored");
}

TEST_F(StoreInterp, NamesAddedLaterReplaceCachedNativeAnswers) {
  EXPECT_EQ(Eval("set p fs/late.txt; file exists $p"), "0");
  Eval("Et_NewBuiltinFile fs/late.txt xyz");
  EXPECT_EQ(Eval("list [file exists $p] [file size $p]"), "1 3");
}

TEST_F(StoreInterp, PathOperationsOnStoredAndNativeNames) {
  const std::string init = ORVANE_TCL_LIBRARY "/init.tcl";
  // The disk copy is a regular file; the stored one has no type bits.
  EXPECT_EQ(Eval("file isfile [file join " ORVANE_TCL_LIBRARY " init.tcl]"), "0");
  EXPECT_EQ(Eval("file dirname " + init), ORVANE_TCL_LIBRARY);
  EXPECT_EQ(Eval("file tail " + init), "init.tcl");
  EXPECT_EQ(Eval("file split " + init), "/ usr share tcltk tcl8.6 init.tcl");
  EXPECT_EQ(Eval("file normalize " + init), init);
  EXPECT_EQ(Eval("file normalize " ORVANE_TCL_LIBRARY "/../tcl8.6/./init.tcl"), init);
  EXPECT_EQ(Eval("file join [file dirname " + init + "] msgs"), ORVANE_TCL_LIBRARY "/msgs");
  EXPECT_EQ(Eval("file isdirectory " ORVANE_TCL_LIBRARY), "1");
  EXPECT_EQ(Eval("lsort [glob -tails -directory " ORVANE_TCL_LIBRARY " init.tcl tm.tcl]"),
            "init.tcl tm.tcl");
  EXPECT_EQ(Eval("expr {\"" + init + "\" in [glob -types f " ORVANE_TCL_LIBRARY "/*.tcl]}"), "1");
  std::ofstream("native.txt") << "n";
  EXPECT_EQ(Eval("list [file isfile native.txt] [file normalize native.txt]"),
            "1 " + fs::canonical("native.txt").string());
}

TEST_F(StoreInterp, LibraryInitialisesAndLoadsPackagesFromTheStore) {
  InitLibrary();
  EXPECT_EQ(Eval("package require msgcat"), "1.6.1");
  EXPECT_EQ(Eval("package require opt"), "0.4.8");
  EXPECT_EQ(Eval("auto_load parray; info procs parray"), "parray");
  EXPECT_EQ(Eval("encoding convertfrom iso8859-2 \\xa3"), "\xc5\x81");
}
