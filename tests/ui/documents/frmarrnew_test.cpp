// The new-arrangement window: its empty bank, the call-up of pasted
// arrangements, the bank and style transfers, Save As and the close prompt.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/menuupdate.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "files/datafiles.h"
#include "files/styfile.h"
#include "midi/dumps.h"
#include "midi/midilink.h"
#include "services/messages.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/ui/documents/arrwintest.h"
#include "ui/documents/frmarrnew.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"

using namespace arrwintest;

class FrmArrNewTest : public MainFixture {
 protected:
  void SetUp() override {
    MainFixture::SetUp();
    const std::string dir = QFile::encodeName(progDir_->path()).toStdString();
    ASSERT_EQ(MakeDataFiles(dir, [](int s) { return PadRight("Factory " + CStr(s), 16); }), 0);
    // The info file the sibling programs share, naming nothing yet.
    WriteBytes(WinFile("TessaroInfo"), PadRight("TessaroInfo", 1000));
  }
  void StartClean() {
    Start();
    midi_->ClearRecords();
  }
  frmArrNew* NewWindow() {
    main_->Item("mnuNuovoArr")->trigger();
    frmArrNew* w = gArrNewForms[gArrNewSlotIdx];
    if (w) main_->MdiArea()->setActiveSubWindow(w);
    return w;
  }
  // Edit > Paste as it will work: the source document in the clipboard,
  // record `source` pasted into `target`, the document marked modified.
  void Paste(frmArrNew* w, const std::string& image, int source, int target) {
    main_->MdiArea()->setActiveSubWindow(w);
    gClipText = Chr(19) + Nuls(19) + Space(250) + image;
    gPasteName = "11  " + Mid(image, 33 + 164 * source, 16);
    ArrRecCopy(source, target, w->WinTag());
    MidAssign(w->WinTag(), 4, Chr(1));
  }
  void InfoNames(int pos, const std::string& name) {
    std::string info = ReadBytes(WinFile("TessaroInfo"));
    MidAssign(info, pos, PadRight(name, 50));
    WriteBytes(WinFile("TessaroInfo"), info);
  }
  static QListWidget* List1(frmArrNew* w) { return w->findChild<QListWidget*>("List1"); }
  static StepTimer* Timer(frmArrNew* w, const char* name) { return w->findChild<StepTimer*>(name); }
  // Until no step of the window is pending.
  static void WaitSteps(frmArrNew* w) {
    SettleUntil([w] {
      for (const char* t : {"TimerLoadArr", "TimerLoadSty", "TimerList1"})
        if (Timer(w, t)->isActive()) return false;
      return true;
    });
  }
  static std::string Combo1Text(frmArrNew* w) { return ComboText(w->findChild<QComboBox*>("Combo1")); }
  static bool ButtonOn(frmArrNew* w, const char* name) {
    return w->findChild<QPushButton*>(name)->isEnabled();
  }
};

TEST_F(FrmArrNewTest, FileNewArrOpensAnEmptyUntitledBank) {
  StartClean();
  frmArrNew* w = NewWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "New File Arr - Untitled.arr (1)");
  const std::string& tag = w->Tag();
  ASSERT_EQ(tag.size(), 42622u + 4928u);
  EXPECT_EQ(Left(tag, 20),
            Chr(20) + Nuls(1) + Chr(2) + Nuls(5) + Chr(1) + Nuls(5) + Chr(1) + Nuls(2) + Chr(1) + Nuls(2));
  EXPECT_EQ(Mid(tag, 21, 250), PadRight("Untitled (1)", 250));
  EXPECT_EQ(Mid(tag, 271, 10528), Left(ReadBytes(ProgFile("r40ArrA")), 32) + Nuls(64 * 164));
  EXPECT_EQ(Mid(tag, 10799, 21), Chr(0) + "11" + Space(18));
  EXPECT_EQ(Mid(tag, 10799 + 21 * 63, 21), Chr(0) + "88" + Space(18));
  EXPECT_EQ(Mid(tag, 12143, 30480), Space(30480));
  EXPECT_EQ(Mid(tag, 42623), gStyTemplate);

  QListWidget* list = List1(w);
  ASSERT_EQ(list->count(), 64);
  EXPECT_EQ(w->ListText(0), "11");
  EXPECT_EQ(w->ListText(7), "18");
  EXPECT_EQ(w->ListText(8), "21");
  EXPECT_EQ(w->ListText(63), "88");
  EXPECT_EQ(gArrNewSlots[1].Title, PadRight("Untitled (1)", 238));
  EXPECT_EQ(gArrNewSlots[1].State, 1);
  EXPECT_EQ(gArrWinCount, 1);
  // The transfers wait for a paste; the menu refresh never enables them.
  MenuUpdate();
  EXPECT_FALSE(ButtonOn(w, "CommLoadArr"));
  EXPECT_FALSE(ButtonOn(w, "CommLoadSty"));
  EXPECT_FALSE(Enabled("mnuLoadArr"));
  EXPECT_TRUE(Enabled("mnuSalvaAs"));
  EXPECT_TRUE(midi_->Calls().empty());

  // Slots are taken from the lowest free one; the eighth disables the command.
  for (int i = 2; i <= 8; ++i) ASSERT_NE(NewWindow(), nullptr);
  EXPECT_EQ(gArrNewForms[6]->windowTitle().toStdString(), "New File Arr - Untitled.arr (6)");
  EXPECT_EQ(Mid(gArrNewForms[6]->Tag(), 21, 12), "Untitled (6)");
  EXPECT_FALSE(Enabled("mnuNuovoArr"));
  EXPECT_EQ(gArrWinCount, 8);
  gArrNewForms[3]->close();  // nothing pasted: no prompt
  Settle();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gArrNewForms[3], nullptr);
  EXPECT_EQ(gArrNewSlotUsed[3], 0);
  EXPECT_EQ(gArrNewSlots[3].State, 0);
  EXPECT_EQ(gArrWinCount, 7);
  EXPECT_TRUE(Enabled("mnuNuovoArr"));
  frmArrNew* again = NewWindow();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Slot(), 3);
}

TEST_F(FrmArrNewTest, AClickCallsThePastedArrangementUp) {
  StartClean();
  frmArrNew* w = NewWindow();
  const std::string source = BankImage({{"Alpha", 21}, {"Beta", 70}, {"Gamma", 200}});
  Paste(w, source, 0, 2);
  Paste(w, source, 1, 9);
  Paste(w, source, 2, 20);
  EXPECT_EQ(w->ListText(2), "13  Alpha");
  EXPECT_EQ(w->ListText(9), "22  Beta");
  EXPECT_EQ(Mid(w->Tag(), 303 + 164 * 2, 164), Mid(source, 33, 164));
  QListWidget* list = List1(w);

  ClickLine(list, 2);
  EXPECT_EQ(Sent(*midi_), CallUp(1, 2));
  EXPECT_EQ(Combo1Text(w), RTrim(gStyNames[21]) + " (A36)");
  midi_->ClearRecords();
  ClickLine(list, 9);
  EXPECT_EQ(Combo1Text(w), RTrim(gStyNames[70]) + " (B17)");
  // A click on the line already selected calls it up again.
  ClickLine(list, 9);
  EXPECT_EQ(Sent(*midi_), Join({CallUp(1, 9), CallUp(1, 9)}));

  // A style number beyond the factory styles names none; the record goes
  // out as it is stored.
  midi_->ClearRecords();
  ClickLine(list, 20);
  EXPECT_EQ(Combo1Text(w), "");
  EXPECT_EQ(Sent(*midi_), CallUp(1, 20));

  // An empty entry sends nothing and clears the style box.
  ClickLine(list, 9);
  midi_->ClearRecords();
  ClickLine(list, 0);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Combo1Text(w), "");

  // Out of arrangement play, the mode change goes first.
  TxModeSongPlay();
  midi_->ClearRecords();
  ClickLine(list, 2);
  EXPECT_EQ(Sent(*midi_), Join({{ModeChange(0x0A)}, CallUp(1, 2)}));
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
}

TEST_F(FrmArrNewTest, LoadArrangementSendsTheBankBeforeTheCallUp) {
  StartClean();
  frmArrNew* w = NewWindow();
  Paste(w, BankImage({{"Alpha", 3}}), 0, 5);
  QListWidget* list = List1(w);
  InfoNames(51, "other");

  // Unticked, the info file is not even compared.
  ClickLine(list, 5);
  EXPECT_EQ(Sent(*midi_), CallUp(1, 5));

  main_->Item("mnuCaricaArr")->trigger();
  ASSERT_TRUE(Checked("mnuCaricaArr"));
  midi_->ClearRecords();
  ClickLine(list, 5);
  EXPECT_TRUE(Sent(*midi_).empty());  // the bank step runs after 9 ms
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 11);
  EXPECT_EQ(Status(), "Loading Arrangement");
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), Join({{BankDump(w->Tag())}, CallUp(1, 5)}));
  EXPECT_EQ(Mid(ReadBytes(WinFile("TessaroInfo")), 51, 50), PadRight("Untitled (1)", 50));
  EXPECT_EQ(main_->Label("LabelArr")->text().toStdString(), "Untitled (1).arr");
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  EXPECT_EQ(Timer(w, "TimerLoadArr")->interval(), 10);
  EXPECT_EQ(Status(), "");

  // The instrument holds the bank now: only the call-up.
  midi_->ClearRecords();
  ClickLine(list, 5);
  EXPECT_EQ(Sent(*midi_), CallUp(1, 5));

  // A send that fails still ends the step and releases the click.
  InfoNames(51, "other");
  midi_->SetResult("midiOutLongMsg", MMSYSERR_ERROR);
  midi_->ClearRecords();
  ClickLine(list, 5);
  WaitSteps(w);
  const std::vector<std::string> sent = Sent(*midi_);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(sent.begin() + 1, sent.end()), CallUp(1, 5));
  EXPECT_FALSE(dialogs_.boxes.empty());  // the link reports the failure
  EXPECT_EQ(InfoField(51), "other");     // and the bank is not recorded as held
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  EXPECT_EQ(Status(), "");

  // Edit > Load Arrang sends the bank alone.
  midi_->ClearRecords();
  main_->Relay("TimerLoadArr");
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), std::vector<std::string>{BankDump(w->Tag())});

  // Closing the window while the step waits drops it.
  midi_->ClearRecords();
  main_->Relay("TimerLoadArr");
  SettleUntil([w] { return Timer(w, "TimerLoadArr")->interval() == 9; }, 0);  // the first phase has run
  EXPECT_EQ(Status(), "Loading Arrangement");
  MidAssign(w->WinTag(), 4, Chr(0));
  w->close();
  Settle(60);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");
}

TEST_F(FrmArrNewTest, StylesGoOutOnlyWhenTheGroupHoldsStylesOfAFile) {
  StartClean();
  main_->Item("mnuCaricaSty")->trigger();
  InfoNames(101, "other");
  frmArrNew* w = NewWindow();
  std::string source = BankImage({{"Own", 1}});
  MidAssign(source, 33 + 18, Chr(1));  // user style slot 1
  Paste(w, source, 0, 4);
  QListWidget* list = List1(w);

  // The empty template: its "- empty -" styles are never sent.
  ClickLine(list, 4);
  EXPECT_EQ(Combo1Text(w), "- empty - (U12)");
  EXPECT_EQ(Sent(*midi_), CallUp(1, 4));
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  midi_->ClearRecords();
  main_->Relay("TimerLoadSty");
  WaitSteps(w);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");

  // A group of styles read from a file (as a paste of user styles leaves
  // it): one bank in use.
  std::vector<StySlotDef> styles = {{"Rock", 300}, {"Jazz", 300}, {"- empty -", 300}, {"- empty -", 300}};
  for (int k = 4; k < 16; ++k) styles.push_back({"- empty -", 40});
  std::string& tag = w->WinTag();
  tag = Left(tag, 42622) + StyGroupBytes(styles);
  MidAssign(tag, 9, Chr(2));
  ASSERT_EQ(StyMsgBuild(tag, 0), 0);
  const std::string styleDump = gOutMsg.data;
  midi_->ClearRecords();
  ClickLine(list, 4);
  EXPECT_EQ(Combo1Text(w), "Jazz (U12)");
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 12);
  EXPECT_EQ(Status(), "Loading Style");
  WaitSteps(w);  // 20 ms, the bank, 800 ms, the end, 10 ms, the call-up
  EXPECT_EQ(Sent(*midi_), Join({{styleDump}, CallUp(1, 4)}));
  EXPECT_EQ(Mid(ReadBytes(WinFile("TessaroInfo")), 101, 50), PadRight("Untitled (1)", 50));
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  EXPECT_EQ(Timer(w, "TimerLoadSty")->interval(), 10);
  EXPECT_EQ(Status(), "");

  // With no line selected, the end of a transfer calls nothing up.
  list->setCurrentRow(-1);
  midi_->ClearRecords();
  main_->Relay("TimerLoadSty");
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), std::vector<std::string>{styleDump});

  // A group whose sixteen slots are all empty: nothing to send or record,
  // and the click goes on at once.
  std::vector<StySlotDef> empty(16, StySlotDef{"- empty -", 40});
  tag = Left(tag, 42622) + StyGroupBytes(empty);
  InfoNames(101, "other");
  midi_->ClearRecords();
  ClickLine(list, 4);
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), CallUp(1, 4));
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  EXPECT_EQ(Mid(ReadBytes(WinFile("TessaroInfo")), 101, 5), "other");
  EXPECT_EQ(Status(), "");
}

TEST_F(FrmArrNewTest, SaveAsWritesTheBankAndNamesTheWindow) {
  StartClean();
  frmArrNew* w = NewWindow();
  const std::string source = BankImage({{"Alpha", 3}, {"Beta", 4}});
  Paste(w, source, 0, 0);
  Paste(w, source, 1, 63);
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("mine.arr");
  dialogs_.fileAnswers = {answer};
  main_->Item("mnuSalvaAs")->trigger();
  ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
  EXPECT_EQ(dialogs_.fileCalls[0].request.fileName, "Untitled.arr");
  const std::string file = ReadBytes(ProgFile("mine.arr"));
  EXPECT_EQ(file, Left(ReadBytes(ProgFile("r40ArrA")), 32) + Mid(source, 33, 164) + Nuls(62 * 164) +
                      Mid(source, 33 + 164, 164));
  EXPECT_EQ(w->windowTitle().toStdString(), "New File Arr - mine.arr (1)");
  EXPECT_EQ(Asc(w->Tag(), 18), 0);
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  EXPECT_EQ(RTrim(Mid(w->Tag(), 21, 238)), ProgFile("mine"));
}

TEST_F(FrmArrNewTest, TheClosePromptSavesOrKeepsTheWindow) {
  StartClean();
  struct Case {
    const char* what;
    int answer;     // to "The file has changed"
    bool dialogOk;  // the Save As dialog
    bool writeFails;
    bool closes;
  };
  const Case cases[] = {
      {"cancel", kMsgCancel, false, false, false},
      {"no", kMsgNo, false, false, true},
      {"yes, saved", kMsgYes, true, false, true},
      {"yes, save as cancelled", kMsgYes, false, false, false},
      {"yes, write failed", kMsgYes, true, true, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "case" + CStr(++n);
    frmArrNew* w = NewWindow();
    ASSERT_NE(w, nullptr);
    const int slot = w->Slot();
    Paste(w, BankImage(), 7, 7);
    dialogs_.Clear();
    dialogs_.boxAnswers = {c.answer};
    if (c.dialogOk) {
      FileDialogResult answer;
      answer.accepted = true;
      answer.fileName = ProgFile(name + ".arr");
      dialogs_.fileAnswers = {answer};
    }
    {
      FaultHook hook(FailOp("write", c.writeFails ? 75 : 0));
      w->close();
      Settle();
    }
    ASSERT_FALSE(dialogs_.boxes.empty());
    EXPECT_EQ(dialogs_.boxes[0].text, "The file has changed\r\nSave changes ?");
    EXPECT_EQ(dialogs_.boxes[0].title, "New File Arr - Untitled.arr (" + CStr(slot) + ")");
    EXPECT_EQ(gArrNewForms[slot] == nullptr, c.closes);
    EXPECT_EQ(gArrNewSlotUsed[slot], c.closes ? 0 : 1);
    EXPECT_EQ(Exists(ProgFile(name + ".arr")), c.closes && c.dialogOk);
    if (!c.closes) {
      dialogs_.boxAnswers = {kMsgNo};
      gArrNewForms[slot]->close();
      Settle();
      ASSERT_EQ(gArrNewForms[slot], nullptr);
    }
  }
  EXPECT_EQ(gArrWinCount, 0);

  // Once named, Yes saves in place; a failed save keeps the window.
  frmArrNew* w = NewWindow();
  Paste(w, BankImage(), 1, 1);
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("named.arr");
  dialogs_.fileAnswers = {answer};
  main_->Item("mnuSalvaAs")->trigger();
  ASSERT_TRUE(Exists(ProgFile("named.arr")));
  Paste(w, BankImage({{"Later", 5}}), 0, 2);
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgYes};
  {
    FaultHook hook(FailOp("write", 75));
    w->close();
    Settle();
  }
  ASSERT_NE(gArrNewForms[1], nullptr);
  EXPECT_TRUE(dialogs_.fileCalls.empty());
  dialogs_.boxAnswers = {kMsgYes};
  w->close();
  Settle();
  EXPECT_EQ(gArrNewForms[1], nullptr);
  EXPECT_EQ(Mid(ReadBytes(ProgFile("named.arr")), 33 + 2 * 164, 5), "Later");

  // A window without a pasted arrangement closes without asking, even when
  // its flag says modified.
  w = NewWindow();
  MidAssign(w->WinTag(), 4, Chr(1));
  dialogs_.Clear();
  w->close();
  Settle();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gArrNewForms[1], nullptr);
}

TEST_F(FrmArrNewTest, TheSizeIsCappedAndOnlyTheStateIsKept) {
  StartClean();
  frmArrNew* w = NewWindow();
  w->SetSizeTwips(9000, 12000);
  Settle();
  EXPECT_NEAR(w->HeightTwips(), gArrNewBigHeight, 15);
  EXPECT_NEAR(w->WidthTwips(), gArrNewBigWidth, 15);
  w->showMinimized();
  Settle();
  EXPECT_EQ(gArrNewSlots[1].State, 2);
  w->showNormal();
  Settle();
  EXPECT_EQ(gArrNewSlots[1].State, 1);
  // The exit frees the slot too: an untitled window never reopens.
  main_->Item("mnuExit")->trigger();
  EXPECT_EQ(gArrNewSlots[1].State, 0);
  EXPECT_EQ(gArrNewSlotUsed[1], 0);
}
