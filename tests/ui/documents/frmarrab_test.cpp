// The internal bank windows (Arr A, Arr B): the list and its styles, the
// two-phase call-up, the Copy rule of the right click, Save As, selection
// by ID, the window record and the restore at start-up.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/sysex.h"
#include "services/messages.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/ui/documents/arrwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/main/listtext.h"
#include "ui/main/openers.h"
#include "ui/main/steptimer.h"

using namespace arrwintest;

namespace {

// Bank A: a few named records (one with a style beyond the factory styles,
// one whose name holds a NUL, one empty), the others "Arr i" in style i.
std::string BankA() {
  return BankImage({{"Piano Ballad", 5},
                    {"Rock", 5},
                    {"Swing", 9},
                    {"Odd", 200},
                    {std::string("Cut\0Name", 8), 5},
                    {Nuls(16), 5}});
}

// Bank B: 64 arrangements of one style.
std::string BankB() {
  std::vector<std::pair<std::string, int>> records;
  for (int i = 0; i < 64; ++i) records.push_back({"B " + CStr(i), 70});
  return BankImage(records);
}

}  // namespace

class FrmArrABTest : public MainFixture {
 protected:
  void SetUp() override {
    MainFixture::SetUp();
    WriteBytes(ProgFile("r40ArrA"), BankA());
    WriteBytes(ProgFile("r40ArrB"), BankB());
  }
  void StartClean() {
    Start();
    midi_->ClearRecords();
  }
  frmArrAB* Open(int kind) {
    main_->Item(kind == 2 ? "mnuArrA" : "mnuArrB")->trigger();
    return gArrABForms[kind];
  }
  static QListWidget* List1(frmArrAB* w) { return w->findChild<QListWidget*>("List1"); }
  static QComboBox* Combo1(frmArrAB* w) { return w->findChild<QComboBox*>("Combo1"); }
  static std::string Text1(frmArrAB* w) { return w->findChild<QLineEdit*>("Text1")->text().toStdString(); }
  static StepTimer* Timer0(frmArrAB* w) { return w->findChild<StepTimer*>("Timer_0"); }
  // Until the second phase of the call-up has run.
  static void WaitCallUp(frmArrAB* w) {
    SettleUntil([w] { return !Timer0(w)->isActive(); });
  }
  std::string LabelArr() const { return main_->Label("LabelArr")->text().toStdString(); }
  static int StateByteAtExit(const std::string& settings, int kind) {
    return Asc(settings, 51 + 9 * (kind - 1) + 8);
  }
};

TEST_F(FrmArrABTest, TheWindowListsTheBankAndTheStylesItUses) {
  StartClean();
  frmArrAB* a = Open(2);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->windowTitle().toStdString(), "Arr A - Read Only");
  QListWidget* list = List1(a);
  ASSERT_EQ(list->count(), 64);
  EXPECT_EQ(a->ListText(0), "11  Piano Ballad    ");
  EXPECT_EQ(a->ListText(4), "15  Cut");  // shown up to its first NUL
  EXPECT_EQ(a->ListText(5), "16  ");
  EXPECT_EQ(a->ListText(8), "21  Arr 8           ");
  EXPECT_EQ(a->ListText(63), "88  Arr 63          ");
  EXPECT_EQ(list->currentRow(), -1);
  // Each factory style once, in the order of first use; none for 200.
  QComboBox* combo = Combo1(a);
  ASSERT_EQ(combo->count(), 59);
  EXPECT_EQ(ComboItemText(combo, 0), gStyNames[5]);
  EXPECT_EQ(ComboItemText(combo, 1), gStyNames[9]);
  EXPECT_EQ(ComboItemText(combo, 2), gStyNames[6]);
  EXPECT_EQ(ComboText(combo), "");
  EXPECT_EQ(Text1(a), " 1");

  const std::string& tag = a->Tag();
  ASSERT_EQ(tag.size(), 12142u);
  EXPECT_EQ(Left(tag, 20), Chr(2) + Chr(1) + Chr(2) + Nuls(13) + Chr(1) + Nuls(3));
  EXPECT_EQ(Mid(tag, 21, 250), PadRight("Arr A", 250));
  EXPECT_EQ(Mid(tag, 271, 10528), BankA());
  EXPECT_EQ(Mid(tag, 10799), Space(1344));
  EXPECT_FALSE(Enabled("mnuArrA"));
  EXPECT_EQ(gArrWinCount, 1);
  EXPECT_EQ(gWinPosTab[2].State, 1);
  EXPECT_TRUE(midi_->Calls().empty());

  // A bank of one style gives a one-line style box.
  frmArrAB* b = Open(3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(Combo1(b)->count(), 1);
  EXPECT_EQ(Text1(b), " 2");
  EXPECT_EQ(b->windowTitle().toStdString(), "Arr B - Read Only");
  EXPECT_EQ(gArrWinCount, 2);

  // A missing bank file opens nothing.
  b->close();
  Settle();
  WriteBytes(ProgFile("r40ArrB"), "");
  main_->Item("mnuArrB")->trigger();
  EXPECT_EQ(gArrABForms[3], nullptr);
  ASSERT_FALSE(dialogs_.boxes.empty());
  EXPECT_EQ(dialogs_.boxes.back().text, "File r40ArrB not found");
  EXPECT_EQ(gArrWinCount, 1);
}

TEST_F(FrmArrABTest, AClickCallsTheArrangementUpAfterTenMilliseconds) {
  StartClean();
  frmArrAB* a = Open(2);
  QListWidget* list = List1(a);
  ClickLine(list, 0);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(LabelArr(), "Piano Ballad");
  EXPECT_TRUE(Timer0(a)->isActive());
  WaitCallUp(a);
  EXPECT_EQ(Sent(*midi_), CallUp(0, 0));
  EXPECT_EQ(Text1(a), " 1 11");
  EXPECT_EQ(ComboText(Combo1(a)), gStyNames[5]);
  EXPECT_EQ(Timer0(a)->interval(), 10);
  EXPECT_TRUE(Enabled("mnuCopia"));  // the selected line may be copied
  EXPECT_FALSE(Enabled("mnuTaglia"));
  EXPECT_FALSE(Enabled("mnuIncolla"));

  // The line already selected is called up again.
  midi_->ClearRecords();
  ClickLine(list, 9);
  WaitCallUp(a);
  ClickLine(list, 9);
  WaitCallUp(a);
  EXPECT_EQ(Sent(*midi_), Join({CallUp(0, 9), CallUp(0, 9)}));
  EXPECT_EQ(Text1(a), " 1 22");

  // A style beyond the factory styles shows no name; the call-up goes out.
  midi_->ClearRecords();
  ClickLine(list, 3);
  WaitCallUp(a);
  EXPECT_EQ(ComboText(Combo1(a)), "");
  EXPECT_EQ(Sent(*midi_), CallUp(0, 3));

  // An empty entry sends nothing.
  midi_->ClearRecords();
  ClickLine(list, 5);
  WaitCallUp(a);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Timer0(a)->interval(), 10);

  // Bank B: the program change of its first arrangement is 64; out of
  // arrangement play the mode change goes first.
  frmArrAB* b = Open(3);
  TxModeSongPlay();
  midi_->ClearRecords();
  ClickLine(List1(b), 0);
  WaitCallUp(b);
  EXPECT_EQ(Sent(*midi_), Join({{ModeChange(0x0A)}, CallUp(0, 64)}));
  EXPECT_EQ(Text1(b), " 2 11");
  EXPECT_EQ(LabelArr(), "B 0");
  EXPECT_EQ(gNewArrABKind, 3);
}

TEST_F(FrmArrABTest, TheRightClickOffersCopyOnlyWithASelection) {
  StartClean();
  frmArrAB* a = Open(2);
  QListWidget* list = List1(a);
  MenuUpdate();
  ASSERT_FALSE(Enabled("mnuCopia"));  // nothing selected yet
  ClickLine(list, 3, Qt::RightButton);
  EXPECT_FALSE(Enabled("mnuCopia"));
  EXPECT_TRUE(main_->EditMenu()->isVisible());
  EXPECT_TRUE(list->selectedItems().isEmpty());  // the right button selects nothing
  main_->EditMenu()->hide();

  ClickLine(list, 3);
  WaitCallUp(a);
  ClickLine(list, 7, Qt::RightButton);
  EXPECT_TRUE(Enabled("mnuCopia"));
  EXPECT_TRUE(main_->EditMenu()->isVisible());
  EXPECT_EQ(list->currentRow(), 3);
  main_->EditMenu()->hide();
  EXPECT_EQ(Sent(*midi_), CallUp(0, 3));  // the right click called nothing up
}

TEST_F(FrmArrABTest, SaveAsWritesACopyOfTheBank) {
  StartClean();
  frmArrAB* a = Open(2);
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("copyA.arr");
  dialogs_.fileAnswers = {answer};
  main_->Item("mnuSalvaAs")->trigger();
  ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
  EXPECT_EQ(dialogs_.fileCalls[0].request.fileName, "r40ArrA.arr");
  EXPECT_EQ(ReadBytes(ProgFile("copyA.arr")), BankA());
  // The window keeps its own document and caption.
  EXPECT_EQ(Mid(a->Tag(), 21, 5), "Arr A");
  EXPECT_EQ(a->windowTitle().toStdString(), "Arr A - Read Only");
  EXPECT_EQ(ReadBytes(ProgFile("r40ArrA")), BankA());
}

TEST_F(FrmArrABTest, ASelectionByIdCallsTheArrangementUpOnce) {
  StartClean();
  gArrSelectPending = true;
  gArrSelectIdx = 12;
  main_->mnuArrA_Click();
  frmArrAB* a = gArrABForms[2];
  ASSERT_NE(a, nullptr);
  EXPECT_FALSE(gArrSelectPending);
  EXPECT_EQ(a->ListIndex(), 12);
  WaitCallUp(a);
  EXPECT_EQ(Sent(*midi_), CallUp(0, 12));
  EXPECT_EQ(Text1(a), " 1 25");

  // Shown again while open: no second load, nothing sent.
  a->SetListText(0, "kept");
  midi_->ClearRecords();
  gNewArrABKind = 2;
  ArrBankWinShow();
  WaitCallUp(a);
  EXPECT_EQ(gArrABForms[2], a);
  EXPECT_EQ(a->ListText(0), "kept");
  EXPECT_EQ(gArrWinCount, 1);
  EXPECT_TRUE(Sent(*midi_).empty());

  // An open window served by ID: its first click selects the entry, the
  // caller's click calls it up, once.
  gArrSelectPending = true;
  gArrSelectIdx = 20;
  ArrBankWinShow();
  EXPECT_TRUE(gArrSelectPending);
  a->List1_Click();
  EXPECT_FALSE(gArrSelectPending);
  a->List1_Click();
  WaitCallUp(a);
  EXPECT_EQ(Sent(*midi_), CallUp(0, 20));
}

TEST_F(FrmArrABTest, TheWindowKeepsItsPlaceInItsRecord) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(2, 300, 600, 3000, 5010, 0);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  StartClean();
  frmArrAB* a = Open(2);
  EXPECT_NEAR(a->TopTwips(), 300, 15);
  EXPECT_NEAR(a->LeftTwips(), 600, 15);
  EXPECT_NEAR(a->HeightTwips(), 3000, 15);
  EXPECT_NEAR(a->WidthTwips(), 5010, 15);
  EXPECT_EQ(gWinPosTab[2].State, 1);

  a->SetSizeTwips(9000, 12000);  // beyond the enlarged size: cut back
  Settle();
  EXPECT_NEAR(a->HeightTwips(), gArrABBigHeight, 15);
  EXPECT_NEAR(a->WidthTwips(), gArrABBigWidth, 15);
  EXPECT_NEAR(gWinPosTab[2].Height, gArrABBigHeight, 15);
  EXPECT_NEAR(gWinPosTab[2].Width, gArrABBigWidth, 15);
  a->showMinimized();
  Settle();
  EXPECT_EQ(gWinPosTab[2].State, 2);
  a->showNormal();
  Settle();
  EXPECT_EQ(gWinPosTab[2].State, 1);

  // A place beyond the 16 bits of the record is clamped.
  a->move(3000, 30);
  a->close();
  Settle();
  EXPECT_EQ(gArrABForms[2], nullptr);
  EXPECT_EQ(gWinPosTab[2].Left, 32767);
  EXPECT_NEAR(gWinPosTab[2].Top, 450, 15);
  EXPECT_EQ(gWinPosTab[2].State, 0);
  EXPECT_TRUE(Enabled("mnuArrA"));
  EXPECT_EQ(gArrWinCount, 0);
}

TEST_F(FrmArrABTest, ABankWindowOpenAtExitReopensAtTheNextStart) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Window(3, 0, 0, 4810, 7780, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  StartClean();
  SettleUntil([] { return gArrABForms[3] != nullptr; });
  ASSERT_NE(gArrABForms[3], nullptr);
  EXPECT_EQ(gArrABForms[3]->ListText(0), "11  B 0             ");
  EXPECT_FALSE(Enabled("mnuArrB"));
  EXPECT_EQ(gArrWinCount, 1);

  // Bank A, closed by the user before the exit, does not come back.
  frmArrAB* a = Open(2);
  ASSERT_NE(a, nullptr);
  a->close();
  Settle();
  main_->Item("mnuExit")->trigger();
  const std::string settings = ReadBytes(WinFile("Brenvolta.ini"));
  EXPECT_EQ(StateByteAtExit(settings, 3), 1);
  EXPECT_EQ(StateByteAtExit(settings, 2), 0);
}
