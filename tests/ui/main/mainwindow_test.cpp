// The main window's load, restore, exit and menu commands.
#include <QGuiApplication>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/recent.h"
#include "app/shareddev.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "files/prgfile.h"
#include "midi/channels.h"
#include "midi/midilink.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "services/strings.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/testchild.h"
#include "ui/main/frmguida.h"

class MainWindowTest : public MainFixture {};

TEST_F(MainWindowTest, CheckMarksFollowTheSettingsAndTheModeIsSent) {
  SettingsImage s = SettingsImage::Valid(1);
  for (int p : {17, 21, 26, 28, 46}) s.Byte(1, p, 1);
  s.Byte(1, 47, 1);  // song play at the last exit
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  Start();
  EXPECT_TRUE(Checked("mnuRdOnly"));
  EXPECT_TRUE(Checked("mnuCaricaSty"));
  EXPECT_TRUE(Checked("mnuAddi40DBArr"));
  EXPECT_TRUE(Checked("mnuCaricaArr"));
  EXPECT_TRUE(Checked("mnuMIDIThru"));
  EXPECT_FALSE(Checked("mnuCaricaPrg"));
  EXPECT_FALSE(Checked("mnuVisBarraStato"));
  EXPECT_FALSE(main_->findChild<QWidget*>("Picture1")->isVisible());
  EXPECT_TRUE(Checked("mnuItaliano"));
  EXPECT_EQ(main_->Label("LabelMode")->text().toStdString(), "SONG PLAY");
  EXPECT_EQ(midi_->CallsNamed("midiOutLongMsg").back().bytes.substr(4, 2), Chr(0x4E) + Chr(0x06));
  // No database yet: its three items are off; windows not in the program stay off.
  EXPECT_FALSE(Enabled("mnuAggArr"));
  EXPECT_FALSE(Enabled("mnuWFindID"));
  EXPECT_TRUE(Enabled("mnuExit"));
}

TEST_F(MainWindowTest, RecentFilesAreListedUpToTheFirstFreeEntry) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Text(39, 1, PadRight("/m/live", 238));
  s.Byte(39, 242, 1);
  s.Text(40, 1, PadRight("/m/sounds", 238));
  s.Byte(40, 242, 3);
  s.Text(42, 1, PadRight("/m/later", 238));  // after a free entry: not shown
  s.Byte(42, 242, 2);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  Start();
  EXPECT_TRUE(main_->Item("mnuSep16")->isVisible());
  EXPECT_EQ(Caption("mnuRecentFile_0"), "&1  /m/live.arr");
  EXPECT_EQ(Caption("mnuRecentFile_1"), "&2  /m/sounds.prg");
  EXPECT_TRUE(main_->Item("mnuRecentFile_1")->isVisible());
  EXPECT_FALSE(main_->Item("mnuRecentFile_2")->isVisible());
  EXPECT_FALSE(main_->Item("mnuRecentFile_3")->isVisible());
}

TEST_F(MainWindowTest, PreferencesToggleTheirOptions) {
  Start();
  main_->Item("mnuCaricaPrg")->trigger();
  EXPECT_TRUE(gOptLoadPrg);
  main_->Item("mnuCaricaPrg")->trigger();
  EXPECT_FALSE(gOptLoadPrg);
  main_->Item("mnuRdOnly")->trigger();
  EXPECT_TRUE(gOptReadOnly);
  main_->Item("mnuCaricaStyNuovoArr")->trigger();
  EXPECT_TRUE(gOptLoadStyNewArr);
  // The settings of these tests keep the status bar hidden.
  main_->Item("mnuVisBarraStato")->trigger();
  EXPECT_TRUE(main_->findChild<QWidget*>("Picture1")->isVisible());
  main_->Item("mnuVisBarraStato")->trigger();
  EXPECT_FALSE(main_->findChild<QWidget*>("Picture1")->isVisible());

  main_->Item("mnuMIDIThru")->trigger();
  EXPECT_TRUE(gMidiThru);
  EXPECT_EQ(midi_->ThruConnections().size(), 1u);
  EXPECT_TRUE(midi_->InputStarted(0));
  main_->Item("mnuMIDIThru")->trigger();
  EXPECT_FALSE(gMidiThru);
  EXPECT_TRUE(midi_->ThruConnections().empty());
}

TEST_F(MainWindowTest, ALanguageChangeTakesEffectAtTheNextStart) {
  WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(1).bytes());
  Start();
  main_->Item("mnuItaliano")->trigger();  // the language in use: nothing
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_TRUE(Checked("mnuItaliano"));
  main_->Item("mnuInglese")->trigger();
  EXPECT_EQ(gLangSel, 2);
  EXPECT_EQ(gLangBase, 0);
  EXPECT_TRUE(Checked("mnuInglese"));
  EXPECT_FALSE(Checked("mnuItaliano"));
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Cambio lingua");
  EXPECT_EQ(dialogs_.boxes[0].text, Utf8ToLatin1("Il cambio avrà effetto alla prossima esecuzione del programma"));
  EXPECT_EQ(Caption("mnuExit"), "&Esci");
}

TEST_F(MainWindowTest, MaximizeBringsTheActiveWindowToItsLargestSize) {
  Start();
  main_->Item("mnuMsgEx")->trigger();
  frmMsgEx* monitor = main_->MsgEx();
  monitor->SetSizeTwips(3000, 3000);
  Settle();
  EXPECT_TRUE(Enabled("mnuIngrandisci"));
  main_->Item("mnuIngrandisci")->trigger();
  EXPECT_NEAR(monitor->HeightTwips(), 5760, TwipsPerPixel());
  EXPECT_NEAR(monitor->WidthTwips(), 8000, TwipsPerPixel());
  // A minimised window first returns to the normal state.
  monitor->showMinimized();
  Settle();
  main_->Item("mnuIngrandisci")->trigger();
  EXPECT_EQ(monitor->WindowStateNo(), 0);
  EXPECT_NEAR(monitor->WidthTwips(), 8000, TwipsPerPixel());
}

TEST_F(MainWindowTest, RelaysSwitchOnTheActiveWindowsTimer) {
  Start();
  auto* child = new TestChild(main_, kKindArrFile, 1);
  child->AddTimer("TimerLoadAll");
  child->AddTimer("TimerLoadSty");
  child->AddButton("CommLoadAll");
  child->AddButton("CommLoadSty");
  child->AddButton("CommAdd");
  main_->MdiArea()->setActiveSubWindow(child);
  MenuUpdate();
  ASSERT_TRUE(Enabled("mnuLoadAll"));
  main_->Item("mnuLoadAll")->trigger();
  EXPECT_EQ(child->fired["TimerLoadAll"], 0);  // the command runs after the handler
  EXPECT_TRUE(WaitFor([&] { return child->fired["TimerLoadAll"] == 1; }));
  main_->Item("mnuLoadSty")->trigger();
  main_->Item("mnui40DBArr")->trigger();
  EXPECT_TRUE(WaitFor([&] { return child->fired["TimerLoadSty"] == 1 && child->clicks["CommAdd"] == 1; }));
  // A style window takes the timer of the group of its selected line.
  auto* sty = new TestChild(main_, kKindStyFile, 1);
  sty->AddTimer("TimerLoadStyGrp_0");
  sty->AddTimer("TimerLoadStyGrp_1");
  for (int i = 0; i < 19; ++i) sty->list_->addItem(QString("line %1").arg(i));
  main_->MdiArea()->setActiveSubWindow(sty);
  main_->mnuLoadSty_Click();
  sty->list_->setCurrentRow(7);
  main_->mnuLoadSty_Click();
  EXPECT_TRUE(WaitFor([&] { return sty->fired["TimerLoadStyGrp_0"] == 1 && sty->fired["TimerLoadStyGrp_1"] == 1; }));
}

TEST_F(MainWindowTest, UpdateDatabaseRunsInTwoPhases) {
  WriteBytes(WinFile("r40DBArr"), "");  // present but empty: no database
  Start();
  gLangBase = 200;
  main_->mnuAggArr_Click();
  EXPECT_EQ(main_->Label("Label1")->text().toStdString(), "Update r40DBArr");
  EXPECT_TRUE(dialogs_.boxes.empty());  // the work waits for the tick
  EXPECT_TRUE(WaitFor([&] { return !dialogs_.boxes.empty(); }));
  EXPECT_EQ(main_->Label("Label1")->text().toStdString(), "");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File not found");
  EXPECT_EQ(main_->Timer0()->interval(), 10);
  main_->mnuAggArr_Click();  // a second command behaves the same way
  EXPECT_TRUE(WaitFor([&] { return dialogs_.boxes.size() == 2u; }));
}

TEST_F(MainWindowTest, TheRestoreMovesWindowsDownToTheLowestSlots) {
  WriteBytes(ProgFile("p2.prg"), PrgFileBytes());
  WriteBytes(ProgFile("p5.pgg"), PrgFileBytes(true));
  WriteBytes(ProgFile("a3.arr"), ArrFileBytes());
  WriteBytes(ProgFile("a6.arr"), ArrFileBytes());
  SettingsImage s = SettingsImage::Valid(2);
  auto slot = [&](int rec, const std::string& path, int pgg) {
    s.Text(rec, 1, PadRight(path, 238));
    s.Byte(rec, 241, 1);
    s.Byte(rec, 248, pgg);
    s.U16(rec, 239, 3000);
    s.U16(rec, 249, 4000);
  };
  slot(6, ProgFile("p2"), 0);      // program record 2
  slot(9, ProgFile("p5"), 1);      // program record 5, a .pgg
  slot(23, ProgFile("a3"), 0);     // arrangement record 3
  slot(24, ProgFile("gone"), 0);   // arrangement record 4: file deleted
  slot(26, ProgFile("a6"), 0);     // arrangement record 6
  s.Window(3, 0, 0, 4810, 7780, 1);  // arrangement bank B
  s.Window(6, 0, 0, 4810, 7780, 1);  // program bank C
  s.Window(9, 0, 0, 1920, 7780, 1);  // drum kits
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());

  std::vector<std::string> events;
  Openers().prg = [&](int kind) { events.push_back("prg" + CStr(kind) + "@" + CStr(gPrgSlotIdx) + " " + gPrgFileName); };
  Openers().arrFile = [&] { events.push_back("arr@" + CStr(gArrSlotIdx) + " " + gArrFileName); };
  Openers().arrBank = [&] { events.push_back("bank" + CStr(gNewArrABKind)); };
  Openers().prgBank = [&] { events.push_back("pcg" + CStr(gNewWinKind)); };
  Openers().kitBank = [&] { events.push_back("kit" + CStr(gNewWinKind)); };
  WriteBytes(ProgFile("r40ArrB"), ArrFileBytes());
  Start();
  // The program windows reopen during the load.
  EXPECT_EQ(events, (std::vector<std::string>{"prg21@1 p2", "prg21@2 p5"}));
  EXPECT_EQ(main_->RestoreTimersArmed(), 3);
  WaitFor([&] { return events.size() >= 7; });
  EXPECT_EQ(events, (std::vector<std::string>{"prg21@1 p2", "prg21@2 p5", "bank3", "pcg6", "kit9", "arr@1 a3",
                                              "arr@2 a6"}));
  EXPECT_EQ(main_->RestoreTimersRun(), 3);
  EXPECT_EQ(RTrim(gPrgSlots[1].Path), ProgFile("p2"));
  EXPECT_EQ(RTrim(gPrgSlots[2].Path), ProgFile("p5"));
  EXPECT_EQ(gPrgSlots[5].Open, 0);
  EXPECT_EQ(gPrgSlotUsed[1] + gPrgSlotUsed[2] + gPrgSlotUsed[3], 2);
  EXPECT_EQ(RTrim(gArrSlots[1].Path), ProgFile("a3"));
  EXPECT_EQ(RTrim(gArrSlots[2].Path), ProgFile("a6"));
  EXPECT_EQ(gArrSlots[3].Open, 0);  // the deleted file's record, moved down, is closed
  EXPECT_EQ(gArrSlots[4].Open, 0);
  EXPECT_EQ(gArrSlots[6].Open, 0);
  EXPECT_EQ(gArrSlotUsed[3], 0);
}

TEST_F(MainWindowTest, AFileOpenedBeforeTheRestoreTickIsNotOpenedAgain) {
  // No window of the last run: the restore tick is armed at once. A file
  // opened before it fires is the user's, not one of the last run.
  WriteBytes(ProgFile("song.arr"), ArrFileBytes());
  Start();
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("song.arr");
  dialogs_.fileAnswers = {answer};
  main_->Item("mnuApriArr")->trigger();
  ASSERT_EQ(gArrSlotUsed[1], 1);
  Settle(200);
  int used = 0;
  for (int slot = 1; slot <= 8; ++slot) used += gArrSlotUsed[slot];
  EXPECT_EQ(used, 1);
  EXPECT_EQ(gArrWinCount, 1);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(MainWindowTest, ACancelledExitLeavesWorkingMenus) {
  Start();
  auto* child = new TestChild(main_, kKindArrFile, 2);
  gArrSlotUsed[2] = 1;
  gArrSlots[2].Open = 1;
  child->refuseClose = true;
  main_->Item("mnuExit")->trigger();
  EXPECT_TRUE(main_->ExitRefused());
  EXPECT_TRUE(main_->isVisible());
  EXPECT_FALSE(gClosing);
  EXPECT_EQ(gArrSlots[2].Open, 1);  // the flag the query step cleared is back
  EXPECT_FALSE(child->unloaded);
  main_->MdiArea()->setActiveSubWindow(child);
  MenuUpdate();
  EXPECT_TRUE(Enabled("mnuChiudi"));  // the menu refresh works again
  child->refuseClose = false;
}

TEST_F(MainWindowTest, ARefusedExitWritesNothingAndTheNextExitSucceeds) {
  Start();
  auto* child = new TestChild(main_, kKindMonitor);
  (void)child;
  const std::string ini = ReadBytes(WinFile("Brenvolta.ini"));
  std::string dev = ReadBytes(WinFile("Veltrano"));
  MidAssign(dev, 14, Chr(2));
  WriteBytes(WinFile("Veltrano"), dev);
  main_->Item("mnuExit")->trigger();
  EXPECT_TRUE(main_->ExitRefused());
  EXPECT_TRUE(main_->MdiArea()->subWindowList().isEmpty());
  EXPECT_EQ(ReadBytes(WinFile("Brenvolta.ini")), ini);
  EXPECT_FALSE(Enabled("mnuChiudi"));
  // The other program counts itself out; the exit then goes through.
  MidAssign(dev, 14, Chr(1));
  WriteBytes(WinFile("Veltrano"), dev);
  main_->Item("mnuExit")->trigger();
  EXPECT_FALSE(main_->ExitRefused());
  EXPECT_NE(ReadBytes(WinFile("Brenvolta.ini")), ini);
  EXPECT_EQ(Asc(ReadBytes(WinFile("Veltrano")), 14), 0);
}

TEST_F(MainWindowTest, TheExitWritesTheSettingsOfThisRun) {
  Start();
  main_->Item("mnuCaricaArr")->trigger();
  main_->Item("mnuVisBarraStato")->trigger();  // shown at exit
  main_->Item("mnuMsgEx")->trigger();
  gChArrang = 6;
  gInstrMode = 1;
  main_->Item("mnuExit")->trigger();
  const std::string rec1 = ReadBytes(WinFile("Brenvolta.ini")).substr(0, 250);
  EXPECT_EQ(Mid(rec1, 1, 10), std::string("Brenvolta") + '\0');
  EXPECT_EQ(Asc(rec1, 25), 2);
  EXPECT_EQ(Asc(rec1, 28), 1);
  EXPECT_EQ(Asc(rec1, 27), 1);
  EXPECT_EQ(Asc(rec1, 215), 6);
  EXPECT_EQ(Asc(rec1, 47), 1);
  EXPECT_EQ(Asc(rec1, 51 + 9 * 15 + 8), 0);  // the monitor never reopens
}

// The stored Top, Left, Height and Width are the window's outer geometry,
// frame included, as the exit stores them: a run that changes nothing
// writes back the same 8 bytes, run after run.
TEST_F(MainWindowTest, AStartAndAnExitWithNoChangeKeepTheMainWindowsGeometry) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(1, 1500, 2250, 6000, 9000, 0);  // at 15 twips a pixel: 150, 100, 600 x 400
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  const std::string stored = Mid(s.Record(1), 51, 8);
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    Start();
    Settle();
    EXPECT_EQ(main_->frameGeometry(), QRect(150, 100, 600, 400));
    main_->Item("mnuExit")->trigger();
    ASSERT_FALSE(main_->ExitRefused());
    EXPECT_EQ(Mid(ReadBytes(WinFile("Brenvolta.ini")), 51, 8), stored);
    delete main_;
    main_ = nullptr;
    ResetProgramState();
    SetTwipsPerPixel(15);
  }
}

TEST_F(MainWindowTest, AboutWindowAndItsMenuItem) {
  WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(1).bytes());
  Start();
  main_->Item("mnuInfo")->trigger();
  frmAbout* about = main_->About();
  ASSERT_NE(about, nullptr);
  EXPECT_FALSE(Enabled("mnuInfo"));
  EXPECT_EQ(gToolWinCount, 1);
  EXPECT_EQ(about->windowTitle().toStdString(), "Informazioni su Brenvolta");
  EXPECT_EQ(about->findChild<QLabel*>("lblVersion")->text().toStdString(),
            "Versione 2.0 2000 (Release Ottobre 2000)");
  EXPECT_EQ(about->Tag(), Chr(28) + Chr(0) + "   ");
  about->close();
  Settle();
  EXPECT_TRUE(Enabled("mnuInfo"));
  EXPECT_EQ(gToolWinCount, 0);
}

// About opens at its designed size, in which the caption and the four texts
// are whole in both languages, at 96 DPI (15 twips a pixel) and at 144 DPI
// (10 twips a pixel, fonts half as large again).
TEST_F(MainWindowTest, AboutShowsItsTextsWholeAtEveryResolution) {
  const QFont appFont = QApplication::font();
  for (int language : {1, 2}) {
    for (int tpp : {15, 10}) {
      SCOPED_TRACE("language " + std::to_string(language) + ", " + std::to_string(tpp) + " twips a pixel");
      WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(language).bytes());
      ResetProgramState();
      SetTwipsPerPixel(tpp);
      QFont font = appFont;
      font.setPointSizeF(appFont.pointSizeF() * 15 / tpp);
      QApplication::setFont(font);
      Start();
      main_->Item("mnuInfo")->trigger();
      frmAbout* about = main_->About();
      ASSERT_NE(about, nullptr);
      Settle();
      EXPECT_EQ(about->minimumSize(), about->maximumSize());  // a fixed size
      EXPECT_EQ(about->size(), about->minimumSize());

      // The caption fits the room the title bar leaves it.
      QStyleOptionTitleBar bar;
      bar.initFrom(about);
      bar.text = about->windowTitle();
      bar.titleBarFlags = about->windowFlags();
      bar.subControls = QStyle::SC_All;
      bar.rect = QRect(0, 0, about->width(), about->style()->pixelMetric(QStyle::PM_TitleBarHeight, &bar, about));
      const QRect room = about->style()->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarLabel, about);
      const QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
      EXPECT_GE(room.width(), QFontMetrics(titleFont).horizontalAdvance(about->windowTitle()));

      // Each text is whole inside the window and below the one before it.
      QWidget* body = about->widget();
      int bottom = 0;
      for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "lblDisclaimer"}) {
        SCOPED_TRACE(name);
        auto* label = about->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr);
        EXPECT_FALSE(label->text().isEmpty());
        EXPECT_TRUE(body->rect().contains(label->geometry()));
        EXPECT_LE(label->heightForWidth(label->width()), label->height());
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text().section(' ', 0, 0)), label->width());
        EXPECT_GE(label->y(), bottom);
        bottom = label->geometry().bottom();
      }
      EXPECT_TRUE(about->rect().contains(body->geometry()));
      main_->Item("mnuExit")->trigger();
      delete main_;
      main_ = nullptr;
    }
  }
  QApplication::setFont(appFont);
  SetTwipsPerPixel(15);
}

class GuideTest : public MainFixture {
 protected:
  void ShipGuides() {
    for (const char* name : {"Brenvolta_UserGuide.txt", "Brenvolta_GuidaUtente.txt"})
      WriteBytes(ProgFile(name), ReadBytes(std::string(BRV_RESOURCES_DIR) + "/" + name));
  }
  std::string Shown() const { return main_->Guida()->Text1()->toPlainText().toStdString(); }
};

TEST_F(GuideTest, TheShippedGuidesOpenInTheirLanguage) {
  ShipGuides();
  Start();
  main_->Item("mnuGuida")->trigger();
  ASSERT_NE(main_->Guida(), nullptr);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Shown().substr(0, 9), "BRENVOLTA");
  EXPECT_EQ(main_->Guida()->windowTitle().toStdString(), "Brenvolta - Brenvolta v 2.0  - User's Guide");
  main_->Item("mnuGuida")->trigger();  // a second time: still one window
  EXPECT_EQ(gToolWinCount, 1);
  gLangSel = 1;
  main_->Item("mnuGuida")->trigger();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_NE(Shown().find("GUIDA"), std::string::npos);
  EXPECT_EQ(gToolWinCount, 1);
}

// Each shipped guide fits the guide window (32,000 characters after its tag
// line), so that Help > User's Guide opens it whole in either language
// instead of refusing it.
TEST_F(GuideTest, EachShippedGuideFitsTheGuideWindow) {
  ShipGuides();
  Start();
  const struct {
    const char* file;
    std::string tag;
    int language;
  } guides[] = {{"Brenvolta_UserGuide.txt", "UserGuide.txt\r\n", 2}, {"Brenvolta_GuidaUtente.txt", "GuidaUtente.txt\r\n", 1}};
  for (const auto& g : guides) {
    SCOPED_TRACE(g.file);
    const std::string bytes = ReadBytes(ProgFile(g.file));
    ASSERT_EQ(Left(bytes, static_cast<int>(g.tag.size())), g.tag);
    const std::string text = Mid(bytes, static_cast<int>(g.tag.size()) + 1);
    ASSERT_LE(static_cast<int>(text.size()), kGuideTextLen)
        << "the guide is " << text.size() - kGuideTextLen << " characters too long";
    dialogs_.Clear();
    gLangSel = g.language;
    main_->Item("mnuGuida")->trigger();
    EXPECT_TRUE(dialogs_.boxes.empty());
    ASSERT_NE(main_->Guida(), nullptr);
    const std::string padded = text + std::string(kGuideTextLen - text.size(), ' ');
    EXPECT_EQ(Shown(), QString::fromLatin1(padded.data(), static_cast<qsizetype>(padded.size()))
                           .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                           .toStdString());
  }
}

TEST_F(GuideTest, AGuideWithoutItsTagOrTooLongIsRefused) {
  Start();
  main_->Item("mnuGuida")->trigger();  // missing
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File not found");
  EXPECT_EQ(dialogs_.boxes[0].title, "Opening Brenvolta_UserGuide.txt");
  EXPECT_EQ(main_->Guida(), nullptr);

  WriteBytes(ProgFile("Brenvolta_UserGuide.txt"), "GuidaUtente.txt\r\ntext");
  main_->Item("mnuGuida")->trigger();
  EXPECT_EQ(dialogs_.boxes.size(), 2u);

  WriteBytes(ProgFile("Brenvolta_UserGuide.txt"), "UserGuide.txt\r\n" + std::string(32001, 'x'));
  main_->Item("mnuGuida")->trigger();
  EXPECT_EQ(dialogs_.boxes.size(), 3u);
  EXPECT_EQ(main_->Guida(), nullptr);

  WriteBytes(ProgFile("Brenvolta_UserGuide.txt"), "UserGuide.txt\r\n" + std::string(32000, 'x'));
  main_->Item("mnuGuida")->trigger();
  EXPECT_EQ(dialogs_.boxes.size(), 3u);
  ASSERT_NE(main_->Guida(), nullptr);
  EXPECT_EQ(Shown(), std::string(32000, 'x'));

  // A shorter guide read after a longer one leaves no tail behind.
  WriteBytes(ProgFile("Brenvolta_UserGuide.txt"), "UserGuide.txt\r\nshort");
  main_->Item("mnuGuida")->trigger();
  EXPECT_EQ(RTrim(Shown()), "short");
}

TEST_F(MainWindowTest, SaveOfTheGlobalParametersGoesThroughSaveAs) {
  Start();
  auto* child = new TestChild(main_, kKindGblParam);
  MidAssign(child->WinTag(), 21, PadRight("Global Parameters", 250));
  child->WinTag() += GblFileBytes();
  main_->MdiArea()->setActiveSubWindow(child);
  MenuUpdate();
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("mine.gbl");
  answer.filterIndex = 5;
  dialogs_.fileAnswers = {answer};
  main_->Item("mnuSalva")->trigger();
  ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
  EXPECT_TRUE(dialogs_.fileCalls[0].save);
  EXPECT_EQ(ReadBytes(ProgFile("mine.gbl")), GblFileBytes());
}

TEST_F(MainWindowTest, CascadeMovesOnlyOpenNormalWindows) {
  Start();
  main_->Item("mnuMsgEx")->trigger();
  main_->Item("mnuInfo")->trigger();
  main_->About()->showMinimized();  // skipped
  Settle();
  main_->Item("mnuWCascade")->trigger();
  EXPECT_EQ(main_->MsgEx()->TopTwips(), 0);
  EXPECT_EQ(main_->MsgEx()->LeftTwips(), 0);
  EXPECT_EQ(gWinPosTab[kKindMonitor].Top, 330);
  EXPECT_EQ(gWinPosTab[kKindMonitor].Left, 300);
  EXPECT_EQ(main_->MdiArea()->currentSubWindow(), main_->MsgEx());
}

// A place recorded on a larger screen, or at a smaller scale, may reach
// outside the main window: the window opens inside its area, moved as far
// as needed and cut only where it is larger than the area; one that fits
// keeps its place. While nobody moves it, the fit follows the area as it
// takes its size (a window manager maximises the main window after it is
// shown); one the user moved stays where it was put.
TEST_F(MainWindowTest, ARestoredWindowIsKeptInsideTheMainWindowsArea) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(1, 1500, 1500, 4500, 6000, 0);   // the main window: 400 x 300 at 100, 100
  s.Window(17, 300, 300, 1500, 1500, 0);    // fits: 100 x 100 at 20, 20
  s.Window(18, 1500, 3000, 4815, 7785, 0);  // larger than the area: 519 x 321 at 200, 100
  s.Window(9, 900, 4500, 1500, 3000, 0);    // reaches out on the right: 200 x 100 at 300, 60
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  Start();
  Settle();
  for (const char* item : {"mnuStyA", "mnuStyB", "mnuDrum"}) main_->Item(item)->trigger();
  Settle();
  auto window = [this](int kind) -> ChildForm* {
    for (QMdiSubWindow* w : main_->MdiArea()->subWindowList())
      if (auto* child = dynamic_cast<ChildForm*>(w); child && child->Kind() == kind) return child;
    return nullptr;
  };
  ChildForm* styA = window(17);
  ChildForm* styB = window(18);
  ChildForm* drum = window(9);
  ASSERT_TRUE(styA && styB && drum);
  QSize room = main_->MdiArea()->viewport()->size();
  ASSERT_LT(room.width(), 500);
  ASSERT_LT(room.height(), 300);
  EXPECT_EQ(styA->geometry(), QRect(20, 20, 100, 100));
  EXPECT_EQ(styB->geometry(), QRect(QPoint(0, 0), room));
  EXPECT_EQ(drum->geometry(), QRect(room.width() - 200, 60, 200, 100));
  // The size a window was cut to is its record's, as after any resize.
  EXPECT_EQ(TwipsToPixels(gWinPosTab[18].Width), room.width());

  main_->resize(780, 580);
  Settle();
  room = main_->MdiArea()->viewport()->size();
  ASSERT_GE(room.width(), 200 + 519);
  ASSERT_GE(room.height(), 100 + 321);
  EXPECT_EQ(styA->geometry(), QRect(20, 20, 100, 100));
  EXPECT_EQ(styB->geometry(), QRect(200, 100, 519, 321));
  EXPECT_EQ(drum->geometry(), QRect(300, 60, 200, 100));

  drum->move(500, 200);  // the user puts it elsewhere
  Settle();
  main_->resize(400, 300);
  Settle();
  EXPECT_EQ(drum->geometry(), QRect(500, 200, 200, 100));
  EXPECT_EQ(styA->geometry(), QRect(20, 20, 100, 100));
}

// The main window itself opens on its screen: moved onto it as far as it
// reached past its edges, and cut only where it is larger than the screen.
TEST_F(MainWindowTest, TheMainWindowOpensOnItsScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  ASSERT_TRUE(screen.contains(QRect(0, 0, 800, 600)));
  struct Case {
    QRect recorded, shown;
  } cases[] = {
      {{150, 100, 600, 400}, {150, 100, 600, 400}},
      {{screen.width() - 200, 300, 400, 300}, {screen.width() - 400, 300, 400, 300}},
      {{100, 50, screen.width() + 200, screen.height() + 100}, screen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recorded.x());
    SettingsImage s = SettingsImage::Valid(2);
    s.Window(1, PixelsToTwips(c.recorded.y()), PixelsToTwips(c.recorded.x()), PixelsToTwips(c.recorded.height()),
             PixelsToTwips(c.recorded.width()), 0);
    WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
    Start();
    Settle();
    EXPECT_EQ(main_->frameGeometry(), c.shown);
    main_->Item("mnuExit")->trigger();
    ASSERT_FALSE(main_->ExitRefused());
    delete main_;
    main_ = nullptr;
    ResetProgramState();
    SetTwipsPerPixel(15);
  }
}
