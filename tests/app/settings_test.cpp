#include "app/settings.h"

#include <QDir>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "app/recent.h"
#include "app/shareddev.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "platform/winfolder.h"
#include "tests/fixtures/appfixture.h"
#include "tests/fixtures/savechild.h"
#include "tests/fixtures/settingsimage.h"

class SettingsTest : public AppFixture {
 protected:
  std::string Ini() const { return WinFile("Brenvolta.ini"); }
};

TEST_F(SettingsTest, FirstStartWritesTheFreshFilesAndAsksForTheLanguage) {
  dialogs_.languageAnswers = {2};
  InitApp();
  EXPECT_FALSE(gStartCancelled);
  EXPECT_EQ(dialogs_.languageCalls, 1);

  const std::string ini = ReadBytes(Ini());
  ASSERT_EQ(ini.size(), 11500u);
  std::string rec1 = std::string("Brenvolta") + Nuls(241);
  MidAssign(rec1, 25, Chr(2));
  EXPECT_EQ(Mid(ini, 1, 250), rec1);
  EXPECT_EQ(Mid(ini, 251, 36 * 250), Nuls(36 * 250));     // records 2-37
  EXPECT_EQ(Mid(ini, 9251, 9 * 250), Space(9 * 250));     // records 38-46

  std::string dev = "Veltrano" + Nuls(41) + Space(24) + Nuls(1) + Space(24) + Nuls(1) + Space(24) + Nuls(22);
  EXPECT_EQ(ReadBytes(WinFile("Veltrano")), dev);
  EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")), "TessaroInfo" + Space(989));

  EXPECT_EQ(gLangSel, 2);
  EXPECT_EQ(gLangBase, 200);
  EXPECT_TRUE(gOptStatusBar);
  EXPECT_FALSE(gOptLoadArr);
  EXPECT_EQ(gChDrum, 9);
  EXPECT_EQ(gChAcc3, 14);
  EXPECT_EQ(gTasSettings[2], 1);
  EXPECT_EQ(gTasSettings[5], 100);
  EXPECT_EQ(gTasSettings[16], 60);
  EXPECT_EQ(gWinPosTab[1].State, 2);
  EXPECT_EQ(gWinPosTab[2].Height, 4810);
  EXPECT_EQ(gWinPosTab[2].Width, 7780);
  EXPECT_EQ(gWinPosTab[5].Extra, 1);
  EXPECT_EQ(gWinPosTab[12].Height, 6072);
  EXPECT_EQ(gWinPosTab[16].Width, 8000);
  EXPECT_EQ(gPrgSlots[1].Channel, 1);
  EXPECT_EQ(gPrgSlots[9].Channel, 0);
  EXPECT_EQ(gPrgSlots[3].Height, 4810);
  EXPECT_EQ(gArrSlots[8].Width, 9040);
  EXPECT_EQ(gStySlots[1].Height, 5560);
  EXPECT_EQ(gRecentFiles[0].Kind, 0);
  EXPECT_EQ(RTrim(gStyNames[127]), "New Age");  // name tables built
}

TEST_F(SettingsTest, CancelledFirstStartDeletesTheFileAndBuildsNoTables) {
  dialogs_.languageAnswers = {0};
  InitApp();
  EXPECT_TRUE(gStartCancelled);
  EXPECT_FALSE(Exists(Ini()));
  EXPECT_TRUE(gStyNames[0].empty());
}

TEST_F(SettingsTest, AnotherProgramsFileIsOverwrittenUpToRecord46Only) {
  std::string foreign(50 * 250, 'x');
  WriteBytes(Ini(), foreign);
  dialogs_.languageAnswers = {1};
  InitApp();
  const std::string ini = ReadBytes(Ini());
  ASSERT_EQ(ini.size(), foreign.size());
  EXPECT_EQ(Mid(ini, 1, 9), "Brenvolta");
  EXPECT_EQ(Asc(ini, 25), 1);
  EXPECT_EQ(Mid(ini, 46 * 250 + 1), std::string(4 * 250, 'x'));
  EXPECT_EQ(gLangBase, 0);
}

TEST_F(SettingsTest, InfoFileOfExactlyThousandBytesIsKeptAtAFirstStart) {
  const std::string info = "TessaroInfo" + Space(39) + PadRight("song", 50) + Space(900);
  WriteBytes(WinFile("TessaroInfo"), info);
  dialogs_.languageAnswers = {2};
  InitApp();
  EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")), info);

  WriteBytes(WinFile("TessaroInfo"), std::string(999, 'z'));
  ResetProgramState();
  KillFile(Ini());
  dialogs_.languageAnswers = {2};
  InitApp();
  EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")), "TessaroInfo" + Space(989));
}

TEST_F(SettingsTest, ANormalStartReadsEveryField) {
  SettingsImage s = SettingsImage::Valid(1);
  const int on[] = {20, 21, 22, 23, 26, 27, 28, 46};
  for (int p : on) s.Byte(1, p, 1);
  s.Byte(1, 17, 1);
  s.Byte(1, 18, 7);
  s.Byte(1, 19, 9);
  s.Byte(1, 47, 1);
  s.Byte(1, 49, 1);
  for (int i = 1; i <= 16; ++i) s.Byte(1, 29 + i, 100 + i);
  for (int i = 0; i < 11; ++i) s.Byte(1, 214 + i, 15 - i);
  s.Window(1, 100, 200, 3000, 4000, 0);
  s.Window(2, -50, 60, 4000, 5000, 1);
  s.Window(6, 10, 20, 30, 40, 0x31);  // channel index 3, open
  s.Window(13, 10, 20, 30, 40, 1);   // the editor always starts closed
  s.Window(16, 1, 2, 3, 4, 2);
  s.Text(2, 1, PadRight("/music/dir", 250));
  s.Text(3, 1, PadRight("/music/dir/a.arr", 250));
  // Program slot 2 (record 6), arrangement slot 3 (record 23), recent 0 (39).
  s.Text(6, 1, PadRight("/music/p", 238));
  s.U16(6, 239, 1111);
  s.Byte(6, 241, 2);
  s.Byte(6, 242, 5);
  s.Position(6, 243, -300);
  s.Position(6, 245, 400);
  s.Byte(6, 247, 1);
  s.Byte(6, 248, 1);
  s.U16(6, 249, 2222);
  s.Text(23, 1, PadRight("/music/a", 238));
  s.U16(23, 239, 3333);
  s.Byte(23, 241, 1);
  s.Position(23, 243, 10);
  s.Position(23, 245, 20);
  s.Byte(23, 247, 0x55);
  s.U16(23, 249, 4444);
  s.Text(37, 1, std::string(250, 'G'));
  s.Text(38, 1, std::string(198, 'H') + std::string(52, 'I'));
  s.Text(39, 1, PadRight("/music/x", 238));
  s.U16(39, 239, 500);
  s.Byte(39, 242, 4);
  s.Position(39, 243, 7);
  s.Position(39, 245, 8);
  s.Byte(39, 247, 1);
  s.U16(39, 249, 600);
  WriteBytes(Ini(), s.bytes());

  InitApp();
  EXPECT_FALSE(gStartCancelled);
  EXPECT_EQ(dialogs_.languageCalls, 0);
  EXPECT_TRUE(gOptReadOnly && gOptLoadStyNewArr && gOptLoadSty && gOptOpenPrgFile && gOptLoadPrg);
  EXPECT_TRUE(gOptAutoDB && gOptStatusBar && gOptLoadArr && gMidiThru);
  EXPECT_EQ(gSetReserved18, 7);
  EXPECT_EQ(gSetReserved19, 9);
  EXPECT_EQ(gLangSel, 1);
  EXPECT_EQ(gLangBase, 0);
  EXPECT_EQ(gInstrMode, 1);
  EXPECT_EQ(gGblCurValid, 1);
  for (int i = 1; i <= 16; ++i) EXPECT_EQ(gTasSettings[i], 100 + i);
  const int channels[] = {gChGlobal, gChArrang, gChLower, gChUpper2, gChUpper1, gChDrum,
                          gChPerc,   gChBass,   gChAcc1,  gChAcc2,   gChAcc3};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(channels[i], 15 - i);
  EXPECT_EQ(gWinPosTab[1].Top, 100);
  EXPECT_EQ(gWinPosTab[1].Height, 3000);
  EXPECT_EQ(gWinPosTab[1].State, 0);
  EXPECT_EQ(gWinPosTab[2].Top, -50);
  EXPECT_EQ(gWinPosTab[2].State, 1);
  EXPECT_EQ(gWinPosTab[6].State, 1);
  EXPECT_EQ(gWinPosTab[6].Extra, 3);
  EXPECT_EQ(gWinPosTab[13].State, 0);
  EXPECT_EQ(gWinPosTab[16].State, 2);
  EXPECT_EQ(gLastDir, "/music/dir");
  EXPECT_EQ(gLastDlgPath, "/music/dir/a.arr");
  EXPECT_EQ(RTrim(gPrgSlots[2].Path), "/music/p");
  EXPECT_EQ(gPrgSlots[2].Height, 1111);
  EXPECT_EQ(gPrgSlots[2].Open, 2);
  EXPECT_EQ(gPrgSlots[2].Channel, 5);
  EXPECT_EQ(gPrgSlots[2].Top, -300);
  EXPECT_EQ(gPrgSlots[2].Left, 400);
  EXPECT_EQ(gPrgSlots[2].ReadOnly, 1);
  EXPECT_EQ(gPrgSlots[2].Pgg, 1);
  EXPECT_EQ(gPrgSlots[2].Width, 2222);
  EXPECT_EQ(RTrim(gArrSlots[3].Path), "/music/a");
  EXPECT_EQ(gArrSlots[3].Open, 1);
  EXPECT_EQ(gArrSlots[3].Carried, 0x55);
  EXPECT_EQ(gArrSlots[3].Height, 3333);
  EXPECT_EQ(gArrSlots[3].Width, 4444);
  EXPECT_EQ(gArrSlots[3].Left, 20);
  EXPECT_EQ(gGblCur, std::string(250, 'G') + std::string(198, 'H'));
  EXPECT_EQ(RTrim(gRecentFiles[0].Path), "/music/x");
  EXPECT_EQ(gRecentFiles[0].Kind, 4);
  EXPECT_EQ(gRecentFiles[0].Flag, 1);
  EXPECT_EQ(gRecentFiles[0].Height, 500);
  EXPECT_EQ(gRecentFiles[0].Width, 600);
  EXPECT_EQ(gRecentFiles[0].Top, 7);
  EXPECT_EQ(gRecentFiles[0].Left, 8);
  EXPECT_EQ(gRecentFiles[1].Kind, 0);
  EXPECT_EQ(ReadBytes(Ini()), s.bytes());  // reading writes nothing
  EXPECT_FALSE(Exists(WinFile("Veltrano")));
}

// The settings file with a second name is written in place at exit; a kill
// in the middle of that write leaves it torn. The start puts its old bytes
// back before it reads them, as an open of a document does, so the user's
// settings (and the second name) come back whole, not a first start.
TEST_F(SettingsTest, AKilledWriteInPlaceIsResolvedBeforeTheSettingsAreRead) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Byte(1, 26, 1);  // the automatic database update
  s.Text(2, 1, PadRight("/music/dir", 250));
  WriteBytes(Ini(), s.bytes());
  ASSERT_EQ(::link(Ini().c_str(), WinFile("mine.ini").c_str()), 0);
  // Ended once the write in place is done, before its record goes.
  ASSERT_TRUE(EndedInChildAt("done", [] { SettingsWrite(MainWindowState()); }));
  // What a kill half-way through the write would have left: its first
  // block new, the rest old.
  const std::string written = ReadBytes(Ini()), old = s.bytes();
  ASSERT_NE(written, old);
  WriteBytes(Ini(), written.substr(0, 4096) + old.substr(4096));

  InitApp();
  EXPECT_FALSE(gStartCancelled);
  EXPECT_EQ(dialogs_.languageCalls, 0);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gLangSel, 2);
  EXPECT_TRUE(gOptAutoDB);
  EXPECT_EQ(gLastDir, "/music/dir");
  EXPECT_TRUE(ReadBytes(Ini()) == s.bytes());
  EXPECT_TRUE(ReadBytes(WinFile("mine.ini")) == s.bytes());
}

// In a folder that cannot be written nothing is resolved (that would write
// there): the file is read as it stands.
TEST_F(SettingsTest, ALockedFolderReadsTheSettingsAsTheyStand) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Byte(1, 26, 1);
  WriteBytes(Ini(), s.bytes());
  ASSERT_EQ(::link(Ini().c_str(), WinFile("mine.ini").c_str()), 0);
  ASSERT_TRUE(EndedInChildAt("rename", [] { SettingsWrite(MainWindowState()); }));
  SettingsImage torn = s;
  torn.Byte(1, 26, 0);
  WriteBytes(Ini(), torn.bytes());
  const QStringList sideFiles =
      QDir(QString::fromStdString(WinFile(""))).entryList(QDir::Files | QDir::Hidden);

  SettingsFolderLock(kErrDiskFull);
  InitApp();
  EXPECT_FALSE(gOptAutoDB);
  EXPECT_TRUE(ReadBytes(Ini()) == torn.bytes());
  EXPECT_EQ(QDir(QString::fromStdString(WinFile(""))).entryList(QDir::Files | QDir::Hidden), sideFiles);
}

TEST_F(SettingsTest, ReadOnlyOptionIsOnOnlyForOne) {
  SettingsImage s = SettingsImage::Valid();
  s.Byte(1, 17, 2);
  s.Byte(1, 27, 5);
  WriteBytes(Ini(), s.bytes());
  InitApp();
  EXPECT_FALSE(gOptReadOnly);
  EXPECT_TRUE(gOptStatusBar);
}

TEST_F(SettingsTest, AKilledFirstStartReadsSafeValues) {
  // What a first start leaves when it never reached an orderly exit.
  std::string image = std::string("Brenvolta") + Nuls(241);
  MidAssign(image, 25, Chr(2));
  image += Nuls(36 * 250) + Space(9 * 250);
  WriteBytes(Ini(), image);
  InitApp();
  EXPECT_FALSE(gStartCancelled);
  EXPECT_FALSE(gOptStatusBar);
  EXPECT_EQ(gChDrum, 0);
  EXPECT_EQ(gLastDir, "");  // 238 NULs read as an empty folder
  EXPECT_EQ(gWinPosTab[1].State, 2);  // no size: maximised
  EXPECT_EQ(gWinPosTab[3].Top, 0);    // no size: first-start place and size
  EXPECT_EQ(gWinPosTab[3].Height, 4810);
  EXPECT_EQ(gWinPosTab[16].Height, 5760);
  for (const RecentFileRec& r : gRecentFiles) {
    EXPECT_EQ(r.Kind, 0);  // blank records are free entries, not kind 32
    EXPECT_EQ(r.Top, 0);
    EXPECT_EQ(r.Path, Space(238));
  }
  EXPECT_EQ(gPrgSlots[1].Open, 0);
  EXPECT_EQ(gGblCur, Nuls(250) + Space(198));
}

TEST_F(SettingsTest, BadFieldsKeepSafeValues) {
  SettingsImage s = SettingsImage::Valid();
  s.Byte(1, 219, 16);   // drum channel out of range
  s.Byte(1, 214, 200);  // global channel out of range
  s.Window(2, 10, 20, 4000, 5000, 1);
  s.Byte(1, 51 + 9 + 4, 0x80);  // kind 2's Height: high byte 128 does not decode
  s.Text(5, 1, PadRight("/p1", 238));
  s.U16(5, 239, 900);
  s.Byte(5, 241, 1);
  s.Byte(5, 249, 0xFF);  // Width does not decode
  WriteBytes(Ini(), s.bytes());
  gPrgSlots[1].Width = 1234;  // what the record held before
  InitApp();
  EXPECT_EQ(gChDrum, 9);
  EXPECT_EQ(gChGlobal, 0);
  EXPECT_EQ(gWinPosTab[2].Height, 4810);  // no height: first-start size
  EXPECT_EQ(gPrgSlots[1].Height, 900);
  EXPECT_EQ(gPrgSlots[1].Width, 1234);
}

TEST_F(SettingsTest, ALanguageThatWasNeverChosenIsAskedAgain) {
  SettingsImage s = SettingsImage::Valid(0);
  WriteBytes(Ini(), s.bytes());
  dialogs_.languageAnswers = {0};
  InitApp();
  EXPECT_TRUE(gStartCancelled);
  EXPECT_EQ(ReadBytes(Ini()), s.bytes());  // Cancel leaves the file as it was
  EXPECT_FALSE(Exists(WinFile("Veltrano")));

  ResetProgramState();
  dialogs_.languageAnswers = {1};
  InitApp();
  EXPECT_FALSE(gStartCancelled);
  EXPECT_EQ(gLangSel, 1);
  EXPECT_EQ(gLangBase, 0);
  SettingsImage expected = s;
  expected.Byte(1, 25, 1);
  EXPECT_EQ(ReadBytes(Ini()), expected.bytes());
}

TEST_F(SettingsTest, LargeFontsChooseTheSmallerEnlargedHeights) {
  SetTwipsPerPixel(12);
  dialogs_.languageAnswers = {2};
  InitApp();
  EXPECT_EQ(gArrUBigHeight, 4600);
  EXPECT_EQ(gStyUNBigHeight, 5280);
  EXPECT_EQ(gDrumBigHeight, 1840);
  EXPECT_EQ(gArrUBigWidth, 9040);
}

TEST_F(SettingsTest, AnUnopenableFolderStillAsksTheLanguageAndWritesNothing) {
  WriteBytes(WinFile("plainfile"), "x");  // a folder below a file can never be made
  SetWinFolder(WinFile("plainfile/Brenvolta"));
  dialogs_.languageAnswers = {2};
  InitApp();
  EXPECT_FALSE(gStartCancelled);
  EXPECT_EQ(dialogs_.languageCalls, 1);
  EXPECT_EQ(gLangBase, 200);
  EXPECT_TRUE(gOptStatusBar);
  // The failed write marks the folder locked; the start says so, not this.
  EXPECT_TRUE(gSettingsFolderLocked);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

// What a start writes it writes whole: a write that fails (a disk full
// after the folder's check) leaves the file as it found it, or no file,
// never an empty or partial one; it marks the folder locked, and nothing
// is written after it.
TEST_F(SettingsTest, AFailedWriteOfTheStartLeavesEveryFileAsItWas) {
  const std::string dev = "Veltrano" + std::string(137, 'd');
  const std::string shortInfo(999, 'z');
  SettingsImage unchosen = SettingsImage::Valid(0);
  const struct {
    const char* failing;  // the file whose write fails
    bool settingsFound;   // a settings file whose language was never chosen
    bool settingsMade, devMade, infoMade;
  } cases[] = {
      {"Brenvolta.ini", false, false, false, false},
      {"Veltrano", false, true, false, false},
      {"TessaroInfo", false, true, true, false},
      {"Brenvolta.ini", true, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.failing) + (c.settingsFound ? ", settings found" : ""));
    ResetProgramState();
    SetTwipsPerPixel(15);
    dialogs_.Clear();
    KillFile(Ini());
    if (c.settingsFound) WriteBytes(Ini(), unchosen.bytes());
    WriteBytes(WinFile("Veltrano"), dev);
    WriteBytes(WinFile("TessaroInfo"), shortInfo);
    const std::string failing = c.failing;
    SetFileFaultHook([&failing](const std::string& op, const std::string& path) {
      return op == "write" && path.size() >= failing.size() &&
                     path.compare(path.size() - failing.size(), failing.size(), failing) == 0
                 ? kErrDiskFull
                 : 0;
    });
    dialogs_.languageAnswers = {2};
    InitApp();
    SetFileFaultHook(nullptr);
    EXPECT_FALSE(gStartCancelled);
    EXPECT_TRUE(gSettingsFolderLocked);
    EXPECT_EQ(gLangBase, 200);
    EXPECT_TRUE(dialogs_.boxes.empty());
    const std::string ini = ReadBytes(Ini());
    if (c.settingsFound) {
      EXPECT_EQ(ini, unchosen.bytes());
    } else if (c.settingsMade) {
      EXPECT_EQ(ini.size(), 11500u);
      EXPECT_EQ(Left(ini, 10), kSettingsTag);
      EXPECT_EQ(Asc(ini, 25), 2);
    } else {
      EXPECT_FALSE(Exists(Ini()));
    }
    EXPECT_EQ(ReadBytes(WinFile("Veltrano")) == dev, !c.devMade);
    EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")) == shortInfo, !c.infoMade);
    EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")).size(), c.infoMade ? 1000u : 999u);
    std::vector<std::string> names;
    ListFolderFiles(QFile::encodeName(winDir_->path()).toStdString(), names);
    for (const std::string& n : names) EXPECT_EQ(n.find("~brv"), std::string::npos) << n;  // no temporary left
  }
}

TEST_F(SettingsTest, ADiskThatIsNotReadyIsRetriedABoundedNumberOfTimes) {
  WriteBytes(Ini(), SettingsImage::Valid(2).bytes());
  int opens = 0;
  SetFileFaultHook([&](const std::string& op, const std::string& path) {
    if (op == "open" && path.find("Brenvolta.ini") != std::string::npos && opens++ < 2) return kErrDiskNotReady;
    return 0;
  });
  InitApp();
  SetFileFaultHook(nullptr);
  EXPECT_EQ(opens, 3);
  EXPECT_EQ(gLangSel, 2);
  EXPECT_EQ(dialogs_.languageCalls, 0);
}
