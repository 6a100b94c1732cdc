// The style-file reader (style files and the template) and the writers.
#include "core/bytes.h"
#include "files/datafiles.h"
#include "files/stygrp.h"
#include "tests/files/files_fixture.h"
#include "tests/fixtures/filebuilders.h"

namespace {

// A template file whose names carry text after "- empty -", so that the read
// shows which characters it writes over.
std::string MarkedTemplate() {
  std::string t = StyTemplateFileImage();
  for (int pos : {225, 1401, 2577, 3753}) MidAssign(t, pos, "ABCDEFGHIJKLMNOP");
  return t;
}

std::string TwoBankGroup() {
  return StyGroupBytes({{"Rock", 300}, {"Jazz", 200}, {"Pop", 100}, {"Funk", 50}, {"Latin", 400}});
}

}  // namespace

TEST_F(FilesTest, TheTemplateReadWritesTheEmptyNamesAndFillsBothBuffers) {
  const std::string path = Path("r40Sty");
  WriteBytes(path, MarkedTemplate());
  EXPECT_EQ(StyFileRead(path), 0);
  ASSERT_EQ(gStyTemplate.size(), 4928u);
  EXPECT_EQ(gStyData, gStyTemplate);
  for (int pos : {225, 1401, 2577, 3753}) EXPECT_EQ(Mid(gStyTemplate, pos, 16), "- empty -JKLMNOP");
  EXPECT_EQ(Left(gStyTemplate, 224), Left(MarkedTemplate(), 224));
  EXPECT_EQ(gOpCaption, "Opening r40Sty");
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(ReadBytes(path), MarkedTemplate());
}

TEST_F(FilesTest, ARefusedTemplateLeavesTheHeldTemplateAlone) {
  std::string wrongSlot = StyTemplateFileImage();
  PutU16LE(wrongSlot, 25 + 4 * 4, 1176);
  std::string shortSlot = StyTemplateFileImage();
  PutU16LE(shortSlot, 25, 1175);
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"4,927 bytes", Left(StyTemplateFileImage(), 4927)},
      {"4,929 bytes", StyTemplateFileImage() + " "},
      {"arrangement header", std::string("KORG\x4D\x00\x03", 7) + Mid(StyTemplateFileImage(), 8)},
      {"a fifth slot", wrongSlot},
      {"slot 0 of 1,175", shortSlot},
      {"a style file", TwoBankGroup()},
  };
  const std::string path = Path("r40Sty");
  for (bool loaded : {false, true}) {
    StyFileReset();
    if (loaded) {
      WriteBytes(path, StyTemplateFileImage());
      ASSERT_EQ(StyFileRead(path), 0);
    }
    const std::string held = gStyTemplate;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.label);
      WriteBytes(path, c.bytes);
      EXPECT_EQ(StyFileRead(path), 1);
      EXPECT_EQ(gStyTemplate, held);
      EXPECT_TRUE(Exists(path));
    }
  }
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FilesTest, StyleFilesAreRefusedUnlessTheirLengthsFitTheBytesRead) {
  std::string longSlot = StyGroupBytes({{"Big", 20}});
  PutU16LE(longSlot, 25, 32768);
  longSlot += std::string(32768, 'z');
  const std::string group = TwoBankGroup();
  const struct {
    const char* label;
    std::string bytes;
    int result;
  } cases[] = {
      {"two banks", group, 0},
      {"two banks, blank padding", group + "   ", 0},
      {"header only", Left(group, 224), 1},
      {"under 224 bytes", Left(group, 223), 1},
      {"header alone, 7 bytes", Left(group, 7), 1},
      {"one byte of data missing", Left(group, static_cast<int>(group.size()) - 1), 1},
      {"wrong header", std::string("KORG\x4D\x00\x03", 7) + Mid(group, 8), 1},
      {"slot length 32,768", longSlot, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    gStyData = "before";
    WriteBytes(Path("s.sty"), c.bytes);
    EXPECT_EQ(StyFileRead(Path("s.sty")), c.result);
    EXPECT_EQ(gStyData, c.result == 0 ? c.bytes : "before");
    EXPECT_TRUE(Exists(Path("s.sty")));
  }
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(gStyFileName, "s");
  EXPECT_EQ(gStyFileDir + "/s.sty", Path("s.sty"));
}

TEST_F(FilesTest, StyleFilesAreReadInRecordsOf32200BytesUpTo289800) {
  // 70,000 bytes: records 1-3 (32,200 + 32,200 + 5,600).
  std::string mid = StyGroupBytes({{"A", 23000}, {"B", 23000}, {"C", 23000}});
  mid += std::string(70000 - mid.size(), ' ');
  WriteBytes(Path("mid.sty"), mid);
  {
    FaultHook hook([](const std::string&, const std::string&, int) { return 0; });
    EXPECT_EQ(StyFileRead(Path("mid.sty")), 0);
    EXPECT_EQ(hook.Count("get"), 3);
  }
  EXPECT_EQ(gStyData, mid);

  // Past 289,800 bytes nothing more is read.
  std::vector<StySlotDef> slotList(9, StySlotDef{"Huge", 30000, 'h'});
  std::string big = StyGroupBytes(slotList);
  big += std::string(300000 - big.size(), 'e');
  WriteBytes(Path("big.sty"), big);
  {
    FaultHook hook([](const std::string&, const std::string&, int) { return 0; });
    EXPECT_EQ(StyFileRead(Path("big.sty")), 0);
    EXPECT_EQ(hook.Count("get"), 9);
  }
  EXPECT_EQ(gStyData, Left(big, 289800));
}

TEST_F(FilesTest, AnEmptyStyleFileIsLeftAsItIsAndAMissingOneLeftMissing) {
  for (const char* name : {"e.sty", "r40Sty"}) {
    SCOPED_TRACE(name);
    WriteBytes(Path(name), "");
    EXPECT_EQ(StyFileRead(Path(name)), 2);
    EXPECT_TRUE(Exists(Path(name)));
    EXPECT_EQ(StyFileRead(Path("missing") + name), 2);
  }
  EXPECT_EQ(Listing(), (std::vector<std::string>{"e.sty", "r40Sty"}));
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FilesTest, OnlyTheExactNameR40StyIsReadAsTheTemplate) {
  WriteBytes(Path("r40sty"), TwoBankGroup());
  EXPECT_EQ(StyFileRead(Path("r40sty")), 0);
  EXPECT_EQ(gStyData, TwoBankGroup());
  EXPECT_EQ(gStyTemplate, Nuls(4928));
}

TEST_F(FilesTest, AStyleReadErrorIsReportedOnceAndNeverRetried) {
  const struct {
    const char* op;
    int err;
    int msgCode;
  } cases[] = {
      {"open", kErrDiskNotReady, 28},
      {"get", kErrDiskNotReady, 28},
      {"open", kErrPathFileAccess, 17},
      {"get", kErrDeviceIO, 31},
  };
  WriteBytes(Path("s.sty"), TwoBankGroup());
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + std::to_string(c.err));
    dialogs.Clear();
    FaultHook hook(FailOp(c.op, c.err));
    EXPECT_EQ(StyFileRead(Path("s.sty")), 1);
    EXPECT_EQ(hook.Count(c.op), 1);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].title, "Opening s.sty");
    EXPECT_EQ(dialogs.boxes[0].text, MsgText(c.msgCode, ""));
  }
}

TEST_F(FilesTest, StyFileWriteWritesTheUsedBanksInBlankPaddedBlocks) {
  // Banks 0-2 in use, bank 3 all "- empty -": the file holds banks 0-2.
  std::vector<StySlotDef> slotList;
  for (int k = 0; k < 16; ++k)
    slotList.push_back({k < 12 ? "Style" + std::to_string(k) : "- empty -", k == 0 ? 101 : 100});
  const std::string group = StyGroupBytes(slotList);
  std::string tag = StyWinTag(23, Path("out"), group);

  EXPECT_EQ(StyFileWrite(tag), 0);
  EXPECT_EQ(gCurFilePath, Path("out.sty"));
  EXPECT_EQ(gOpCaption, "Opening out.sty");
  std::string expected = Left(group, 224 + 101 + 11 * 100);
  for (int k = 12; k < 16; ++k) PutU16LE(expected, 25 + 4 * k, 0);
  EXPECT_EQ(tag.size(), 669 + expected.size());
  EXPECT_EQ(Mid(tag, 670), expected);
  EXPECT_EQ(ReadBytes(Path("out.sty")), expected + "   ");
  EXPECT_TRUE(dialogs.boxes.empty());

  // What was written reads back as the same group.
  EXPECT_EQ(StyFileRead(Path("out.sty")), 0);
  EXPECT_EQ(gStyData, expected + "   ");
}

TEST_F(FilesTest, StyFileWriteOfAnArrangementWindowTakesItsGroupAt42623) {
  std::string tag = StyWinTag(19, Path("arr"), StyTemplateFileImage());
  const std::string before = tag;
  EXPECT_EQ(StyFileWrite(tag), 0);
  EXPECT_EQ(tag, before);  // a template-based group counts 4 banks and stays whole
  EXPECT_EQ(ReadBytes(Path("arr.sty")), StyTemplateFileImage());
}

TEST_F(FilesTest, StyFileWriteFailuresLeaveTheOldFileAndReturnOne) {
  const struct {
    const char* label;
    const char* op;
    int err;
    int times;
    int result;
    int boxes;
    int msgCode;
  } cases[] = {
      {"not ready once", "write", kErrDiskNotReady, 1, 0, 1, 28},
      {"not ready always", "write", kErrDiskNotReady, 1000, 1, 3, 28},
      {"disk full", "write", kErrDiskFull, 1000, 1, 1, 19},
      {"rename denied", "rename", kErrPathFileAccess, 1000, 1, 1, 17},
      {"device error", "write", kErrDeviceIO, 1000, 1, 1, 31},
  };
  const std::string path = Path("w.sty");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    dialogs.Clear();
    WriteBytes(path, "old style file");
    std::string tag = StyWinTag(24, Path("w"), TwoBankGroup());
    {
      FaultHook hook(FailOp(c.op, c.err, c.times));
      EXPECT_EQ(StyFileWrite(tag), c.result);
    }
    ASSERT_EQ(static_cast<int>(dialogs.boxes.size()), c.boxes);
    for (const auto& box : dialogs.boxes) {
      EXPECT_EQ(box.title, "Opening w.sty");
      EXPECT_EQ(box.text, MsgText(c.msgCode, ""));
    }
    EXPECT_EQ(ReadBytes(path), c.result == 0 ? StyFileBytes(TwoBankGroup()) : "old style file");
    EXPECT_EQ(Listing(), std::vector<std::string>{"w.sty"});
  }
}

TEST_F(FilesTest, StyFileWriteIntoAMissingFolderReportsThePath) {
  std::string tag = StyWinTag(23, Path("gone/x"), TwoBankGroup());
  EXPECT_EQ(StyFileWrite(tag), 1);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, MsgText(30, ""));
}

TEST_F(FilesTest, StyFileKillDeletesTheFileAndAMissingOneIsNoError) {
  const std::string tag = StyWinTag(19, Path("k"), StyTemplateFileImage());
  WriteBytes(Path("k.sty"), TwoBankGroup());
  WriteBytes(Path("k.arr"), ArrFileBytes());
  EXPECT_EQ(StyFileKill(tag), 0);
  EXPECT_EQ(gCurFilePath, Path("k.sty"));
  EXPECT_EQ(Listing(), std::vector<std::string>{"k.arr"});
  EXPECT_EQ(StyFileKill(tag), 0);
  EXPECT_EQ(Listing(), std::vector<std::string>{"k.arr"});
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(FilesTest, StyFileKillFailuresAreReported) {
  const std::string tag = StyWinTag(19, Path("k"), StyTemplateFileImage());
  WriteBytes(Path("k.sty"), TwoBankGroup());
  gOpCaption = "Saving k.arr";
  {
    FaultHook hook(FailOp("kill", kErrPathFileAccess));
    EXPECT_EQ(StyFileKill(tag), 1);
  }
  {
    FaultHook hook(FailOp("kill", kErrDiskNotReady));
    EXPECT_EQ(StyFileKill(tag), 1);
    EXPECT_EQ(hook.Count("kill"), 3);
  }
  ASSERT_EQ(dialogs.boxes.size(), 4u);
  EXPECT_EQ(dialogs.boxes[0].title, "Saving k.arr");
  EXPECT_EQ(dialogs.boxes[0].text, MsgText(17, ""));
  EXPECT_EQ(dialogs.boxes[3].text, MsgText(28, ""));
  EXPECT_TRUE(Exists(Path("k.sty")));
}
