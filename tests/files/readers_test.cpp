// The readers of arrangement, program and global files: results, messages,
// what happens to the file, and file errors.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "core/bytes.h"
#include "tests/files/files_fixture.h"
#include "tests/fixtures/filebuilders.h"

namespace {

using Reader = std::function<int(const std::string&)>;

std::string WithByte(std::string s, int offset, int value) {
  MidAssign(s, offset + 1, Chr(value));
  return s;
}

struct ReaderCase {
  const char* label;
  const char* reader;  // "arr", "gbl" or "prg"
  std::string bytes;
  int result;
  int msgCode;  // the box shown, -1 none
  bool kept;    // the file is still there afterwards
};

Reader ReaderOf(const std::string& name) {
  if (name == "arr") return ArrFileRead;
  if (name == "gbl") return GblFileRead;
  return PrgFileRead;
}

const std::string& BufferOf(const std::string& name) {
  if (name == "arr") return gArrFileBuf;
  if (name == "gbl") return gGblFileBuf;
  return gPrgFileBuf;
}

}  // namespace

TEST_F(FilesTest, EachReaderJudgesLengthAndHeaderOnce) {
  const ReaderCase cases[] = {
      {"arr valid", "arr", ArrFileBytes(), 0, -1, true},
      {"arr one byte short", "arr", Left(ArrFileBytes(), 10527), 2, 4, true},
      {"arr one byte long", "arr", ArrFileBytes() + "x", 2, 4, true},
      {"arr byte 5 not 00", "arr", WithByte(ArrFileBytes(), 5, 1), 2, 4, true},
      {"arr style header", "arr", WithByte(ArrFileBytes(), 6, 4), 2, 4, true},
      {"arr lower-case tag", "arr", WithByte(ArrFileBytes(), 0, 'k'), 2, 4, true},
      {"arr empty", "arr", "", 3, -1, true},
      {"gbl valid", "gbl", GblFileBytes(), 0, -1, true},
      {"gbl 447 bytes", "gbl", Left(GblFileBytes(), 447), 2, 4, true},
      {"gbl 449 bytes", "gbl", GblFileBytes() + "x", 2, 4, true},
      {"gbl byte 7 is 02", "gbl", WithByte(GblFileBytes(), 7, 2), 2, 4, true},
      {"gbl arrangement header", "gbl", WithByte(GblFileBytes(), 6, 3), 2, 4, true},
      {"gbl empty", "gbl", "", 3, -1, true},
      {"prg KORG", "prg", PrgFileBytes(false), 0, -1, true},
      {"prg KPGG named .prg", "prg", PrgFileBytes(true), 0, -1, true},
      {"prg 30,479 bytes", "prg", Left(PrgFileBytes(), 30479), 2, 32, true},
      {"prg 30,481 bytes", "prg", PrgFileBytes() + "x", 2, 32, true},
      {"prg arrangement header", "prg", WithByte(PrgFileBytes(), 6, 3), 2, 32, true},
      {"prg KPGX", "prg", WithByte(PrgFileBytes(true), 3, 'X'), 2, 32, true},
      {"prg empty", "prg", "", 3, -1, true},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs.Clear();
    const std::string name = std::string("song.") + c.reader;
    const std::string path = Path(name);
    WriteBytes(path, c.bytes);

    EXPECT_EQ(ReaderOf(c.reader)(path), c.result);
    EXPECT_EQ(gOpCaption, "Opening " + name);
    if (c.msgCode < 0) {
      EXPECT_TRUE(dialogs.boxes.empty());
    } else {
      ASSERT_EQ(dialogs.boxes.size(), 1u);
      EXPECT_EQ(dialogs.boxes[0].title, "Opening " + name);
      EXPECT_EQ(dialogs.boxes[0].text, c.msgCode == 4 ? "Error reading " : "Data format error");
    }
    EXPECT_EQ(Exists(path), c.kept);
    if (c.kept) {
      EXPECT_EQ(ReadBytes(path), c.bytes);
    }
    if (c.result == 0) {
      EXPECT_EQ(BufferOf(c.reader), c.bytes);
    }
  }
}

TEST_F(FilesTest, AMissingFileGivesThreeSilentlyAndCreatesNothing) {
  for (const char* reader : {"arr", "gbl", "prg"}) {
    SCOPED_TRACE(reader);
    EXPECT_EQ(ReaderOf(reader)(Path(std::string("none.") + reader)), 3);
  }
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(Listing().empty());
  EXPECT_EQ(gPrgFileName, "");
}

TEST_F(FilesTest, BuffersKeepTheirFixedLengthsAndABadHeaderIsLeftInTheBuffer) {
  EXPECT_EQ(gArrFileBuf, Nuls(10528));
  EXPECT_EQ(gPrgFileBuf.size(), 30480u);
  EXPECT_EQ(gGblFileBuf.size(), 448u);
  // The caller must not use it, but the image after a header mismatch is the
  // file's.
  const std::string bad = WithByte(ArrFileBytes(), 6, 9);
  WriteBytes(Path("bad.arr"), bad);
  EXPECT_EQ(ArrFileRead(Path("bad.arr")), 2);
  EXPECT_EQ(gArrFileBuf, bad);
  // A wrong length is not read at all.
  WriteBytes(Path("short.arr"), Left(ArrFileBytes(), 100));
  EXPECT_EQ(ArrFileRead(Path("short.arr")), 2);
  EXPECT_EQ(gArrFileBuf, bad);
}

TEST_F(FilesTest, PrgFileReadReadsBeforeTestingAndSetsTheName) {
  const std::string image = PrgFileBytes();
  WriteBytes(Path("bank.prg"), image);
  EXPECT_EQ(PrgFileRead(Path("bank.prg")), 0);
  EXPECT_EQ(gPrgFileDir, Path("").substr(0, Path("").size() - 1));
  EXPECT_EQ(gPrgFileName, "bank");

  // The start of a file of the wrong length still lands in the buffer; the
  // name is cleared.
  WriteBytes(Path("long.prg"), image + "tail");
  EXPECT_EQ(PrgFileRead(Path("long.prg")), 2);
  EXPECT_EQ(gPrgFileBuf, image);
  EXPECT_EQ(gPrgFileName, "");
  WriteBytes(Path("tiny.prg"), "KORG");
  EXPECT_EQ(PrgFileRead(Path("tiny.prg")), 2);
  EXPECT_EQ(gPrgFileBuf, "KORG" + Nuls(30476));
}

namespace {

struct LoadCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> files;  // name, bytes
  std::string arg;                                         // the path passed, in the folder
  int result;
  std::string ext;                // gCurExt afterwards
  bool box;                       // one "Data format error" box
  std::vector<std::string> left;  // the folder afterwards
};

}  // namespace

TEST_F(FilesTest, PrgFileLoadTriesTheExtensionsInTurn) {
  const std::string korg = PrgFileBytes(false);
  const std::string kpgg = PrgFileBytes(true);
  const LoadCase cases[] = {
      {"own .prg", {{"a.prg", korg}}, "a.prg", 0, "prg", false, {"a.prg"}},
      {"own .pgg", {{"a.pgg", kpgg}}, "a.pgg", 4, "pgg", false, {"a.pgg"}},
      {"KPGG named .prg", {{"a.prg", kpgg}}, "a.prg", 2, "prg", true, {"a.prg"}},
      {"KORG named .pgg", {{"a.pgg", korg}}, "a.pgg", 2, "pgg", true, {"a.pgg"}},
      {"own .prg empty", {{"a.prg", ""}}, "a.prg", 3, "prg", false, {"a.prg"}},
      {"own .prg short", {{"a.prg", Left(korg, 30000)}}, "a.prg", 2, "prg", true, {"a.prg"}},
      {"no extension, .prg there",
       {{"a.prg", korg}, {"a.pgg", kpgg}},
       "a",
       0,
       "prg",
       false,
       {"a.pgg", "a.prg"}},
      {"no extension, only .pgg", {{"a.pgg", kpgg}}, "a", 4, "pgg", false, {"a.pgg"}},
      {"no extension, empty .prg", {{"a.prg", ""}, {"a.pgg", kpgg}}, "a", 4, "pgg", false, {"a.pgg", "a.prg"}},
      {"no extension, short .prg",
       {{"a.prg", "xx"}, {"a.pgg", kpgg}},
       "a",
       2,
       "prg",
       true,
       {"a.pgg", "a.prg"}},
      {"no extension, .prg holds KPGG", {{"a.prg", kpgg}}, "a", 2, "prg", true, {"a.prg"}},
      {"no extension, .pgg holds KORG", {{"a.pgg", korg}}, "a", 2, "pgg", true, {"a.pgg"}},
      {"no extension, .pgg empty", {{"a.pgg", ""}}, "a", 3, "pgg", false, {"a.pgg"}},
      {"no extension, nothing", {}, "a", 3, "pgg", false, {}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.label);
    for (const std::string& name : Listing()) KillFile(Path(name));
    dialogs.Clear();
    for (const auto& [name, bytes] : c.files) WriteBytes(Path(name), bytes);

    EXPECT_EQ(PrgFileLoad(Path(c.arg)), c.result);
    EXPECT_EQ(gCurExt, c.ext);
    EXPECT_EQ(dialogs.boxes.size(), c.box ? 1u : 0u);
    if (c.box && !dialogs.boxes.empty()) {
      EXPECT_EQ(dialogs.boxes[0].text, "Data format error");
    }
    EXPECT_EQ(Listing(), c.left);
    const bool read = c.result == 0 || c.result == 4;
    EXPECT_EQ(gPrgFileName, read ? c.arg : "");
    if (read) {
      EXPECT_EQ(gPrgFileBuf, c.result == 4 ? kpgg : korg);
    }
  }
}

TEST_F(FilesTest, PrgFileLoadCaptionNamesTheExtensionItTries) {
  WriteBytes(Path("b.pgg"), PrgFileBytes(true));
  EXPECT_EQ(PrgFileLoad(Path("b")), 4);
  EXPECT_EQ(gOpCaption, "Opening b.pgg");
  EXPECT_EQ(gPrgFileDir + "/" + gPrgFileName, Path("b"));
  WriteBytes(Path("c.pgg"), "short");
  EXPECT_EQ(PrgFileLoad(Path("c")), 2);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].title, "Opening c.pgg");
}

TEST_F(FilesTest, AReadOnlyFileInAReadOnlyFolderReadsNormally) {
  const std::string path = Path("locked.arr");
  WriteBytes(path, ArrFileBytes());
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
  EXPECT_EQ(ArrFileRead(path), 0);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(gArrFileBuf, ArrFileBytes());
  ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

namespace {

struct FaultCase {
  const char* label;
  const char* op;
  int err;
  int times;
  int result;
  int boxes;    // boxes shown, all with the message of err
  int msgCode;  // FileErrMsg's message code for err
};

}  // namespace

TEST_F(FilesTest, FileErrorsAreReportedAndANotReadyDiskIsRetriedBoundedly) {
  const FaultCase cases[] = {
      {"open not ready once", "open", kErrDiskNotReady, 1, 0, 1, 28},
      {"open not ready twice", "open", kErrDiskNotReady, 2, 0, 2, 28},
      {"open not ready always", "open", kErrDiskNotReady, 1000, 1, 3, 28},
      {"get not ready always", "get", kErrDiskNotReady, 1000, 1, 3, 28},
      {"close not ready once", "close", kErrDiskNotReady, 1, 0, 1, 28},
      {"open access denied", "open", kErrPathFileAccess, 1000, 1, 1, 17},
      {"open path not found", "open", kErrPathNotFound, 1000, 1, 1, 30},
      {"get device error", "get", kErrDeviceIO, 1000, 1, 1, 31},
      {"close device error", "close", kErrDeviceIO, 1000, 1, 1, 31},
  };
  const std::string path = Path("song.arr");
  WriteBytes(path, ArrFileBytes());
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs.Clear();
    ArrFileReset();
    {
      FaultHook hook(FailOp(c.op, c.err, c.times));
      EXPECT_EQ(ArrFileRead(path), c.result);
      EXPECT_EQ(hook.Count(c.op), c.boxes + (c.result == 0 ? 1 : 0));
    }
    ASSERT_EQ(static_cast<int>(dialogs.boxes.size()), c.boxes);
    for (const auto& box : dialogs.boxes) {
      EXPECT_EQ(box.title, "Opening song.arr");
      EXPECT_EQ(box.text, MsgText(c.msgCode, ""));
    }
    EXPECT_EQ(ReadBytes(path), ArrFileBytes());
    if (c.result == 0) {
      EXPECT_EQ(gArrFileBuf, ArrFileBytes());
    }
  }
  EXPECT_EQ(MsgText(28, ""), "Disk not ready or not formatted");
}

// An empty file, or something that is not a file, reads as a missing one:
// no message (the caller says "File not found"), nothing deleted, nothing
// blocking (a pipe without a writer would hold a plain open or read).
TEST_F(FilesTest, WhatIsNotADocumentIsLeftAsItIs) {
  ASSERT_EQ(MakeDirs(Path("folder.arr")), 0);
  ASSERT_EQ(::mkfifo(Path("pipe.arr").c_str(), 0644), 0);
  WriteBytes(Path("empty"), "");
  ASSERT_EQ(::symlink(Path("empty").c_str(), Path("link to empty.arr").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/null", Path("device.arr").c_str()), 0);
  const std::vector<std::string> things = {"folder.arr", "pipe.arr", "link to empty.arr", "device.arr"};
  FaultHook hook([](const std::string&, const std::string&, int) { return 0; });
  for (const std::string& thing : things) {
    SCOPED_TRACE(thing);
    const std::string path = Path(thing);
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    for (const char* reader : {"arr", "gbl", "prg"}) EXPECT_EQ(ReaderOf(reader)(path), 3) << reader;
    EXPECT_EQ(PrgFileLoad(path), 3);  // its own extension is not a program's: .prg and .pgg beside it
    EXPECT_EQ(StyFileRead(path), 2);
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
  }
  EXPECT_EQ(hook.Count("kill"), 0);
  EXPECT_EQ(ReadBytes(Path("empty")), "");
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FilesTest, PrgFileLoadStopsAtAFileErrorOfTheFirstCandidate) {
  WriteBytes(Path("d.pgg"), PrgFileBytes(true));
  FaultHook hook([](const std::string& op, const std::string& path, int) {
    return op == "open" && path.size() > 4 && path.compare(path.size() - 4, 4, ".prg") == 0 ? kErrDeviceIO
                                                                                            : 0;
  });
  EXPECT_EQ(PrgFileLoad(Path("d")), 1);
  EXPECT_EQ(hook.Count("open"), 1);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].title, "Opening d.prg");
}
