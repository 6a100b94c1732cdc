#include <QDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/recent.h"
#include "app/settings.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "platform/files.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/savechild.h"
#include "tests/fixtures/settingsimage.h"

class SettingsWriteTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    before_ = SettingsImage::Valid(2);
    before_.Text(1, 11, "uuuuuu");  // unused positions keep what the file held
    before_.Byte(1, 29, 0x77);
    before_.Text(1, 225, std::string(26, 'v'));
    before_.Text(4, 1, std::string(250, 'R'));   // record 4 is never written
    before_.Text(37, 1, std::string(250, 'G'));  // nor the global block while not valid
    WriteBytes(WinFile("Brenvolta.ini"), before_.bytes());
    gOpCaption = "Closing MIDI out device";
  }
  std::string Rec(int n) const { return Mid(ReadBytes(WinFile("Brenvolta.ini")), (n - 1) * 250 + 1, 250); }
  SettingsImage before_;
};

TEST_F(SettingsWriteTest, RecordOneTakesEveryOptionChannelAndWindowRecord) {
  gLangSel = 1;
  gMidiThru = true;
  gSetReserved18 = 7;
  gSetReserved19 = 8;
  gOptLoadStyNewArr = true;
  gOptLoadSty = false;
  gOptOpenPrgFile = true;
  gOptLoadPrg = true;
  gOptReadOnly = true;
  gOptAutoDB = false;
  gGblCurValid = 0;
  gInstrMode = 2;
  const int channels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  int* vars[] = {&gChGlobal, &gChArrang, &gChLower, &gChUpper2, &gChUpper1, &gChDrum,
                 &gChPerc,   &gChBass,   &gChAcc1,  &gChAcc2,   &gChAcc3};
  for (int i = 0; i < 11; ++i) *vars[i] = channels[i];
  for (int i = 1; i <= 16; ++i) gTasSettings[i] = 40 + i;
  gWinPosTab[1] = WinPosRec{1, 2, 3, 4, 9, 0};
  gWinPosTab[5] = WinPosRec{-300, 400, 4810, 7780, 1, 3};
  gWinPosTab[9] = WinPosRec{-20000, 20000, -5, 32767, 2, 15};  // beyond what the record holds
  gWinPosTab[16] = WinPosRec{10, 20, 5760, 8000, 1, 9};

  MainWindowState main;
  main.state = 0;
  main.top = 120;
  main.left = 240;
  main.height = 40000;  // a main window larger than 16 bits allow
  main.width = 12000;
  main.loadArrChecked = true;
  main.statusBarChecked = false;
  ASSERT_EQ(SettingsWrite(main), 0);

  SettingsImage expected = before_;
  expected.Byte(1, 25, 1);
  expected.Byte(1, 46, 1);
  expected.Byte(1, 18, 7);
  expected.Byte(1, 19, 8);
  expected.Byte(1, 28, 1);
  expected.Byte(1, 20, 1);
  expected.Byte(1, 21, 0);
  expected.Byte(1, 22, 1);
  expected.Byte(1, 23, 1);
  expected.Byte(1, 17, 1);
  expected.Byte(1, 26, 0);
  expected.Byte(1, 27, 0);
  expected.Byte(1, 49, 0);
  for (int i = 0; i < 11; ++i) expected.Byte(1, 214 + i, channels[i]);
  for (int i = 1; i <= 16; ++i) expected.Byte(1, 29 + i, 40 + i);
  expected.Byte(1, 47, 2);
  for (int k = 1; k <= 18; ++k) expected.Window(k, 0, 0, 0, 0, 0);
  expected.Window(1, 120, 240, 32767, 12000, 0);
  expected.Window(5, -300, 400, 4810, 7780, 0x31);
  expected.Window(9, -16000, 16000, 0, 32767, 0xF2);
  expected.Window(16, 10, 20, 5760, 8000, 1);
  EXPECT_EQ(Rec(1), expected.Record(1));
  EXPECT_EQ(Rec(4), std::string(250, 'R'));
  EXPECT_EQ(Rec(37), std::string(250, 'G'));
  EXPECT_EQ(gWinPosTab[1].Height, 32767);
}

TEST_F(SettingsWriteTest, AMaximisedMainWindowKeepsItsLastNormalGeometry) {
  gWinPosTab[1] = WinPosRec{100, 200, 3000, 4000, 0, 0};
  MainWindowState main;
  main.state = 2;
  main.height = 9999;
  ASSERT_EQ(SettingsWrite(main), 0);
  SettingsImage expected = before_;
  expected.Window(1, 100, 200, 3000, 4000, 2);
  EXPECT_EQ(Mid(Rec(1), 51, 9), Mid(expected.Record(1), 51, 9));
}

TEST_F(SettingsWriteTest, FoldersSlotsGlobalBlockAndRecentFiles) {
  gLastDir = "/music";
  gLastDlgPath = "/music/prg";
  gPrgSlots[2].Open = 1;
  gPrgSlots[2].Path = PadRight("/music/p", 238);
  gPrgSlots[2].Channel = 5;
  gPrgSlots[2].Top = -20000;
  gPrgSlots[2].Left = 300;
  gPrgSlots[2].Height = 4810;
  gPrgSlots[2].Width = 7780;
  gPrgSlots[2].ReadOnly = 1;
  gPrgSlots[2].Pgg = 1;
  gPrgSlots[3].Path = PadRight("/music/closed", 238);  // closed: written as NULs
  gArrSlots[1].Open = 2;
  gArrSlots[1].Path = PadRight("/music/a", 238);
  gArrSlots[1].Carried = 0x55;
  gArrSlots[1].Top = 10;
  gArrSlots[1].Left = 20;
  gArrSlots[1].Height = 30;
  gArrSlots[1].Width = 40;
  gGblCurValid = 1;
  gGblCur = std::string(250, 'a') + std::string(198, 'b');
  gRecentFiles[0] = RecentFileRec{PadRight("/music/x", 238), 500, 600, 7, 8, 4, 1};
  gRecentFiles[1] = RecentFileRec{PadRight("/music/y", 238), 0, 0, 0, 0, 1, 0};

  ASSERT_EQ(SettingsWrite(MainWindowState()), 0);
  EXPECT_EQ(Rec(2), PadRight("/music", 250));
  EXPECT_EQ(Rec(3), PadRight("/music/prg", 250));

  std::string prg = Nuls(250);
  MidAssign(prg, 1, PadRight("/music/p", 238));
  MidAssign(prg, 239, U16BE(4810));
  MidAssign(prg, 241, Chr(1) + Chr(5) + U16BE(0) + U16BE(16300) + Chr(1) + Chr(1) + U16BE(7780));
  EXPECT_EQ(Rec(6), prg);
  EXPECT_EQ(Rec(5), Nuls(250));
  EXPECT_EQ(Rec(7), Nuls(250));
  EXPECT_EQ(Rec(20), Nuls(250));

  std::string arr = Nuls(250);
  MidAssign(arr, 1, PadRight("/music/a", 238));
  MidAssign(arr, 239, U16BE(30) + Chr(2) + Chr(0) + U16BE(16010) + U16BE(16020) + Chr(0x55) + Chr(0) + U16BE(40));
  EXPECT_EQ(Rec(21), arr);
  EXPECT_EQ(Rec(22), Nuls(250));

  EXPECT_EQ(Rec(37), std::string(250, 'a'));
  EXPECT_EQ(Rec(38), std::string(198, 'b') + Space(52));

  // The recent records are built in the buffer of the record written last
  // (record 38): positions 241 and 248 keep its blanks.
  std::string r0 = Rec(38);
  MidAssign(r0, 1, PadRight("/music/x", 238));
  MidAssign(r0, 239, U16BE(500));
  MidAssign(r0, 242, Chr(4) + U16BE(16007) + U16BE(16008) + Chr(1));
  MidAssign(r0, 249, U16BE(600));
  EXPECT_EQ(Rec(39), r0);
  EXPECT_EQ(Asc(Rec(39), 241), ' ');
  EXPECT_EQ(Mid(Rec(40), 1, 8), "/music/y");
  EXPECT_EQ(Asc(Rec(40), 242), 1);
  EXPECT_EQ(Asc(Rec(46), 242), 0);
}

// The file is written whole or not at all: a fault in the middle of the
// write (the new image written, not yet in place), a full disk, a file that
// cannot be read first: the old file stays byte for byte, and the failure is
// shown titled with the exit's caption.
TEST_F(SettingsWriteTest, AFailedWriteKeepsTheOldFileWholeAndSaysWhy) {
  gLangBase = 200;
  const std::string old = ReadBytes(WinFile("Brenvolta.ini"));
  const struct {
    const char* op;
    int err;
    const char* text;
  } cases[] = {
      {"rename", kErrDeviceIO, "Error I/O device"},
      {"write", kErrDiskFull, "Disk full"},
      {"read", kErrDeviceIO, "Error I/O device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    dialogs_.Clear();
    gLastDir = "/new";
    gChArrang = 7;
    SetFileFaultHook([&](const std::string& op, const std::string&) { return op == c.op ? c.err : 0; });
    EXPECT_EQ(SettingsWrite(MainWindowState()), c.err);
    SetFileFaultHook(nullptr);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.text});
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Closing MIDI out device"});
    EXPECT_EQ(ReadBytes(WinFile("Brenvolta.ini")), old);
  }
  // Nothing is left beside it; the next write goes through, and keeps a
  // tail past the records it writes.
  WriteBytes(WinFile("Brenvolta.ini"), old + "tail");
  ASSERT_EQ(SettingsWrite(MainWindowState()), 0);
  EXPECT_EQ(Asc(Rec(1), 215), 7);
  EXPECT_EQ(Right(ReadBytes(WinFile("Brenvolta.ini")), 4), "tail");
  EXPECT_TRUE(QDir(QString::fromStdString(WinFile("")))
                  .entryList({".Brenvolta.ini*"}, QDir::Files | QDir::Hidden)
                  .isEmpty());
}

// A write at exit that a kill stopped on its way is resolved before the next
// one reads the old records: a second name it left beside the file does not
// make the next write rewrite the file in place, and a file it was writing in
// place (one with a second name of the user's) gets its old bytes back before
// the records the write leaves alone are read from it.
TEST_F(SettingsWriteTest, AWriteAKillStoppedIsResolvedBeforeTheNextOne) {
  const std::string ini = WinFile("Brenvolta.ini");
  // Ended just before its rename: the old file has a second name aside.
  ASSERT_TRUE(EndedInChildAt("rename", [] { SettingsWrite(MainWindowState()); }));
  struct stat before {}, after {};
  ASSERT_EQ(::stat(ini.c_str(), &before), 0);
  ASSERT_EQ(before.st_nlink, 2u);
  ASSERT_EQ(SettingsWrite(MainWindowState()), 0);
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_nlink, 1u);

  WriteBytes(ini, before_.bytes());
  ASSERT_EQ(::link(ini.c_str(), WinFile("mine.ini").c_str()), 0);
  // Ended once the write in place is done, before its record goes.
  ASSERT_TRUE(EndedInChildAt("done", [] { SettingsWrite(MainWindowState()); }));
  // What a kill half-way through that write would have left: its first
  // block new, the rest old.
  const std::string written = ReadBytes(ini), old = before_.bytes();
  ASSERT_NE(written, old);
  WriteBytes(ini, written.substr(0, 4096) + old.substr(4096));
  ASSERT_EQ(SettingsWrite(MainWindowState()), 0);
  EXPECT_EQ(Rec(4), std::string(250, 'R'));
  EXPECT_EQ(ReadBytes(WinFile("mine.ini")), ReadBytes(ini));
  EXPECT_EQ(QDir(QString::fromStdString(WinFile(""))).entryList({".Brenvolta.ini*"}, QDir::Files | QDir::Hidden),
            QStringList());
}
