// The style-file and new-style windows: the list of 16 slots and the size
// boxes, the send of all banks and of one bank as they reach the output,
// the style pick, the close prompt, the slot records and counters, and the
// refusal of a group that an arrangement-file window holds.
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/recent.h"
#include "app/recentfiles.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "files/styfile.h"
#include "midi/dumps.h"
#include "midi/midilink.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "tests/fixtures/fakeeditor.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/ui/documents/docwintest.h"
#include "tests/ui/documents/arrwintest.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmstyun.h"
#include "ui/main/openers.h"
#include "ui/main/steptimer.h"

using namespace arrwintest;

namespace {

// A style group of 16 slots: the names given, the rest "- empty -"; slot k
// holds 40 + k bytes, so every bank's dump differs. A slot named "" is
// absent (length 0).
std::string Group(const std::vector<std::string>& names) {
  std::vector<StySlotDef> defs;
  for (int k = 0; k < 16; ++k) {
    const std::string name = k < static_cast<int>(names.size()) ? names[k] : "- empty -";
    defs.push_back({name, name.empty() ? 0 : 40 + k, static_cast<char>('a' + k)});
  }
  std::string group = StyGroupBytes(defs);
  return group + Space((4 - group.size() % 4) % 4);
}

// The dump of style bank b of a window's group.
std::string StyleDump(const std::string& tag, int bank) {
  const MIDIHDR kept = gOutMsg;
  EXPECT_EQ(StyMsgBuild(tag, bank), 0);
  const std::string dump = gOutMsg.data;
  gOutMsg = kept;
  return dump;
}

}  // namespace

class FrmStyUNTest : public DocWindowTest {
 protected:
  frmStyUN* NewSty() {
    main_->Item("mnuNuovoSty")->trigger();
    return gStyNewForms[gStyWinIdx];
  }
  // File > Open Sty on name.sty of the program folder.
  frmStyUN* OpenSty(const std::string& name, bool readOnly = false) {
    OpenThrough("mnuApriSty", name + ".sty", readOnly);
    return gStyForms[gStySlotIdx];
  }
  static QListWidget* List1(frmStyUN* w) { return w->findChild<QListWidget*>("List1"); }
  static QPushButton* Button(frmStyUN* w, const QString& name) { return w->findChild<QPushButton*>(name); }
  static std::string Box(frmStyUN* w, const QString& name) {
    return w->findChild<QLineEdit*>(name)->text().toStdString();
  }
  static StepTimer* Timer(frmStyUN* w, const QString& name) { return w->findChild<StepTimer*>(name); }
  // The form's body and what it holds (its list, a size box, a label, a
  // button) use Arial, size 10, normal weight.
  static void ExpectArial10(frmStyUN* w) {
    const QWidget* controls[] = {w->widget(), List1(w), w->findChild<QLineEdit*>("Text3"), w->findChild<QLabel*>("Label3"),
                                 Button(w, "CommClose")};
    for (const QWidget* c : controls) {
      ASSERT_NE(c, nullptr);
      SCOPED_TRACE(c->objectName().toStdString());
      EXPECT_EQ(c->font().family(), "Arial");
      EXPECT_EQ(c->font().pointSize(), 10);
      EXPECT_EQ(c->font().weight(), QFont::Normal);
    }
  }
  static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  std::vector<std::string> Long() const {
    std::vector<std::string> out;
    for (const auto& c : midi_->CallsNamed("midiOutLongMsg")) out.push_back(c.bytes);
    return out;
  }
  // Lets the steps run until n messages went out (at most 6 s), noting the
  // time since start of each one's arrival; then 50 ms more.
  std::vector<qint64> WaitSent(size_t n, const QElapsedTimer& start) {
    std::vector<qint64> at;
    const qint64 end = start.elapsed() + 6000;
    while (start.elapsed() < end && at.size() < n) {
      QApplication::processEvents(QEventLoop::AllEvents, 2);
      while (at.size() < Sent(*midi_).size()) at.push_back(start.elapsed());
    }
    Settle(50);
    return at;
  }
};

TEST_F(FrmStyUNTest, ANewStyleListsTheTemplateAndItsSizes) {
  StartClean();
  frmStyUN* w = NewSty();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "New Style - Untitled.sty (1)");
  const std::string& tag = w->Tag();
  ASSERT_EQ(tag.size(), 669u + 4928u);
  EXPECT_EQ(Left(tag, 20), Chr(24) + Nuls(13) + Chr(1) + Nuls(2) + Chr(1) + Nuls(2));
  EXPECT_EQ(Mid(tag, 21, 250), PadRight("Untitled (1)", 250));
  EXPECT_EQ(Mid(tag, 271, 399), Nuls(399));
  EXPECT_EQ(Mid(tag, 670), gStyTemplate);
  ExpectArial10(w);

  QListWidget* list = List1(w);
  ASSERT_EQ(list->count(), 19);
  for (int i : {0, 1, 2, 3}) EXPECT_EQ(w->ListText(i), CStr(11 + i) + "  - empty -");
  for (int i : {4, 9, 14}) EXPECT_EQ(w->ListText(i), " ");
  EXPECT_EQ(w->ListText(5), "15  ");
  EXPECT_EQ(w->ListText(8), "18  ");
  EXPECT_EQ(w->ListText(10), "21  ");
  EXPECT_EQ(w->ListText(18), "28  ");
  for (int s = 0; s < 16; ++s) EXPECT_EQ(Box(w, "Text1_" + QString::number(s)), s < 4 ? "1176 " : "0 ") << s;
  EXPECT_EQ(Box(w, "Text2_0"), "4704 ");
  for (int b = 1; b < 4; ++b) EXPECT_EQ(Box(w, "Text2_" + QString::number(b)), "0 ");
  EXPECT_EQ(Box(w, "Text3"), "4928");
  EXPECT_TRUE(Button(w, "CommLoadStyGrp_0")->isEnabled());
  for (int b = 1; b < 4; ++b) EXPECT_FALSE(Button(w, "CommLoadStyGrp_" + QString::number(b))->isEnabled());

  // New Sty counts each window once; the second is "Untitled (2)".
  EXPECT_EQ(gStyWinCount, 1);
  frmStyUN* second = NewSty();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Mid(second->Tag(), 21, 12), "Untitled (2)");
  EXPECT_EQ(gStyWinCount, 2);
  EXPECT_EQ(gStyWinOpen[2], 1);
  second->close();
  Settle();
  EXPECT_EQ(gStyWinCount, 1);
  EXPECT_EQ(gStyWinOpen[2], 0);
  EXPECT_EQ(gStyNewForms[2], nullptr);

  // Eight at most: the command is then disabled, and a closing window
  // enables it again.
  for (int i = 2; i <= 8; ++i) ASSERT_NE(NewSty(), nullptr);
  EXPECT_FALSE(Enabled("mnuNuovoSty"));
  EXPECT_EQ(gStyWinCount, 8);
  gStyNewForms[5]->close();
  Settle();
  EXPECT_TRUE(Enabled("mnuNuovoSty"));
  EXPECT_TRUE(midi_->Calls().empty());
}

TEST_F(FrmStyUNTest, NewStyWithoutItsTemplateOpensNothing) {
  WriteBytes(ProgFile("r40Sty"), Left(StyTemplateFileImage(), 4000));
  StartClean();
  dialogs_.Clear();
  main_->Item("mnuNuovoSty")->trigger();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Error reading r40Sty");
  EXPECT_EQ(gStyNewForms[1], nullptr);
  EXPECT_EQ(gStyWinOpen[1], 0);
  EXPECT_EQ(gStyWinCount, 0);
}

TEST_F(FrmStyUNTest, OpenStyListsTheFileAndKeepsItsSlotRecord) {
  const std::string group = Group({"Pop One", "Pop Two", "", "Rock"});
  WriteBytes(ProgFile("song.sty"), group);
  StartClean();
  frmStyUN* w = OpenSty("song", true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "File Sty - song.sty (1) - Read Only");
  const std::string& tag = w->Tag();
  EXPECT_EQ(Left(tag, 20), Chr(23) + Chr(1) + Nuls(12) + Chr(1) + Nuls(1) + Chr(1) + Nuls(3));
  EXPECT_EQ(RTrim(Mid(tag, 21, 250)), ProgFile("song"));
  EXPECT_EQ(Mid(tag, 670), group);
  ExpectArial10(w);
  EXPECT_EQ(w->ListText(0), "11  Pop One");
  EXPECT_EQ(w->ListText(2), "13  ");  // an absent slot has no name
  EXPECT_EQ(w->ListText(3), "14  Rock");
  EXPECT_EQ(w->ListText(5), "15  - empty -");
  EXPECT_EQ(Box(w, "Text1_0"), "40 ");
  EXPECT_EQ(Box(w, "Text1_2"), "0 ");
  EXPECT_EQ(Box(w, "Text2_0"), CStr(40 + 41 + 43) + " ");
  EXPECT_EQ(Box(w, "Text3"), CStr(group.size()));
  EXPECT_EQ(RTrim(gStySlots[1].Path), ProgFile("song"));
  EXPECT_EQ(gStySlots[1].InUse, 1);
  EXPECT_EQ(gStySlots[1].FromArr, 0);
  EXPECT_EQ(gStySlotUsed[1], 1);
  EXPECT_EQ(gStyWinCount, 1);
  EXPECT_NEAR(w->HeightTwips(), gStyUNBigHeight, TwipsPerPixel());
  EXPECT_NEAR(w->WidthTwips(), gStyUNBigWidth, TwipsPerPixel());

  // Closed by the user: the slot is free, the record closed with its place.
  w->move(30, 20);
  w->close();
  Settle();
  EXPECT_EQ(gStyForms[1], nullptr);
  EXPECT_EQ(gStySlotUsed[1], 0);
  EXPECT_EQ(gStySlots[1].InUse, 0);
  EXPECT_NEAR(gStySlots[1].Top, 20 * TwipsPerPixel(), TwipsPerPixel());
  EXPECT_NEAR(gStySlots[1].Left, 30 * TwipsPerPixel(), TwipsPerPixel());
  EXPECT_EQ(gStyWinCount, 0);
  EXPECT_TRUE(Enabled("mnuApriSty"));
}

TEST_F(FrmStyUNTest, AStaleRecordOfTheSlotGivesNeitherPathNorPlace) {
  WriteBytes(ProgFile("song.sty"), Group({"Pop One"}));
  StartClean();
  // A record left marked open by an exit that was refused.
  gStySlots[1].InUse = 1;
  gStySlots[1].Path = PadRight("/elsewhere/old", 238);
  gStySlots[1].Top = 600;
  gStySlots[1].Height = 2000;
  frmStyUN* w = OpenSty("song");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(RTrim(Mid(w->Tag(), 21, 238)), ProgFile("song"));
  EXPECT_EQ(RTrim(gStySlots[1].Path), ProgFile("song"));
  EXPECT_EQ(gStySlots[1].Top, 0);
  EXPECT_NEAR(w->HeightTwips(), gStyUNBigHeight, TwipsPerPixel());
  EXPECT_EQ(w->windowTitle().toStdString(), "File Sty - song.sty (1)");
  w->close();
  Settle();

  // A reopening after a change of the group keeps the record's place, once.
  gStySlots[1].Top = 600;
  gStySlots[1].Left = 300;
  gStySlots[1].Height = 3000;
  gStySlots[1].Width = 3600;
  gStyData = Group({"Changed"});
  gStyChanged = 1;
  gStySlotIdx = 1;
  gStySlotUsed[1] = 1;
  gStyWinIdx = 4;  // as a new style window left it: not read for a style file
  Openers().styFile();
  w = gStyForms[1];
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Kind(), 23);
  EXPECT_EQ(gStyChanged, 0);
  EXPECT_EQ(w->ListText(0), "11  Changed");
  EXPECT_NEAR(w->TopTwips(), 600, TwipsPerPixel());
  EXPECT_NEAR(w->HeightTwips(), 3000, TwipsPerPixel());
  EXPECT_EQ(RTrim(Mid(w->Tag(), 21, 238)), ProgFile("song"));
  EXPECT_EQ(gStyNewForms[4], nullptr);
}

TEST_F(FrmStyUNTest, LoadStylesSendsTheBanksInUseThenCallsTheFilesUp) {
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "Three", "Four", "Five", "Six"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  midi_->ClearRecords();
  QElapsedTimer start;
  start.start();
  Click(Button(w, "CommLoadSty"));
  EXPECT_EQ(Status(), "Loading Style");
  EXPECT_TRUE(Sent(*midi_).empty());  // the first bank waits 20 ms
  const std::vector<qint64> at = WaitSent(5, start);
  EXPECT_EQ(Sent(*midi_), Join({{StyleDump(w->Tag(), 0), StyleDump(w->Tag(), 1)}, CallUp(1, 0)}));
  ASSERT_EQ(at.size(), 5u);
  EXPECT_GE(at[0], 20);
  EXPECT_GE(at[1] - at[0], 790);  // 800 ms between banks
  EXPECT_GE(at[2] - at[1], 790);  // and to the end
  EXPECT_EQ(InfoField(101), "song");
  EXPECT_EQ(main_->Label("LabelSty")->text().toStdString(), "song.sty");
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(Timer(w, "TimerTxSty_0")->interval(), 10);
  EXPECT_FALSE(Timer(w, "TimerTxSty_0")->isActive());
  EXPECT_FALSE(Timer(w, "TimerTxSty_1")->isActive());
}

TEST_F(FrmStyUNTest, ASecondClickDuringTheSendSendsTheNextBankAtOnce) {
  // Bank 2 lacks slot 9: the send ends there.
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "Three", "Four", "Five", "Six", "- empty -", "- empty -",
                                          "Nine", ""}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  midi_->ClearRecords();
  QElapsedTimer start;
  start.start();
  Click(Button(w, "CommLoadSty"));
  std::vector<qint64> at = WaitSent(1, start);
  ASSERT_EQ(at.size(), 1u);
  const qint64 clicked = start.elapsed();
  Click(Button(w, "CommLoadSty"));
  EXPECT_EQ(Long(), (std::vector<std::string>{StyleDump(w->Tag(), 0), StyleDump(w->Tag(), 1)}));
  at = WaitSent(5, start);
  EXPECT_EQ(Sent(*midi_), Join({{StyleDump(w->Tag(), 0), StyleDump(w->Tag(), 1)}, CallUp(1, 0)}));
  ASSERT_EQ(at.size(), 5u);
  EXPECT_GE(at[2] - clicked, 790);
}

TEST_F(FrmStyUNTest, WhenNoBankWentOutNothingIsRecorded) {
  // Bank 0 lacks slot 2: neither the send of all banks nor the bank's own
  // button can send it.
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "", "Four", "Five"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  ASSERT_TRUE(Button(w, "CommLoadStyGrp_0")->isEnabled());
  midi_->ClearRecords();
  Click(Button(w, "CommLoadSty"));
  EXPECT_EQ(Status(), "Loading Style");
  SettleUntil([&] { return Timer(w, "TimerTxSty_0")->interval() == 10; }, 900);
  Click(Button(w, "CommLoadStyGrp_0"));
  SettleUntil([&] { return Timer(w, "TimerLoadStyGrp_0")->interval() == 10; }, 100);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(InfoField(101), "");
  EXPECT_EQ(main_->Label("LabelSty")->text().toStdString(), "");
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Timer(w, "TimerTxSty_0")->interval(), 10);
}

TEST_F(FrmStyUNTest, AGroupWithABankThatFailedToSendIsNotRecorded) {
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "Three", "Four", "Five", "Six"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  midi_->SetResult("midiOutLongMsg", MMSYSERR_ERROR);  // the first bank
  Click(Button(w, "CommLoadSty"));
  SettleUntil([&] { return Timer(w, "TimerTxSty_0")->interval() == 10; }, 50);
  EXPECT_EQ(midi_->CallsNamed("midiOutLongMsg").size(), 2u);  // the second bank still went out
  EXPECT_FALSE(dialogs_.boxes.empty());
  EXPECT_EQ(InfoField(101), "");
  EXPECT_EQ(main_->Label("LabelSty")->text().toStdString(), "");
}

TEST_F(FrmStyUNTest, TwoWindowsSendingAtOnceKeepTheirOwnBanks) {
  WriteBytes(ProgFile("two.sty"), Group({"A1", "A2", "A3", "A4", "A5"}));
  WriteBytes(ProgFile("three.sty"), Group({"B1", "B2", "B3", "B4", "B5", "B6", "B7", "B8", "B9"}));
  StartClean();
  frmStyUN* two = OpenSty("two");
  frmStyUN* three = OpenSty("three");
  ASSERT_NE(two, nullptr);
  ASSERT_NE(three, nullptr);
  midi_->ClearRecords();
  QElapsedTimer start;
  start.start();
  Click(Button(two, "CommLoadSty"));
  Click(Button(three, "CommLoadSty"));
  WaitSent(11, start);
  std::vector<std::string> fromTwo, fromThree;
  int callUps = 0;
  for (const std::string& m : Sent(*midi_)) {
    if (Asc(m, 1) == 0xF0) {
      bool two0 = m == StyleDump(two->Tag(), 0) || m == StyleDump(two->Tag(), 1);
      (two0 ? fromTwo : fromThree).push_back(m);
    } else if ((Asc(m, 1) & 0xF0) == 0xC0) {
      ++callUps;
    }
  }
  EXPECT_EQ(fromTwo, (std::vector<std::string>{StyleDump(two->Tag(), 0), StyleDump(two->Tag(), 1)}));
  EXPECT_EQ(fromThree, (std::vector<std::string>{StyleDump(three->Tag(), 0), StyleDump(three->Tag(), 1),
                                                 StyleDump(three->Tag(), 2)}));
  EXPECT_EQ(callUps, 2);
}

TEST_F(FrmStyUNTest, LoadStylesOfABankSendsThatBankOnly) {
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "Three", "Four", "Five"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  midi_->ClearRecords();
  Click(Button(w, "CommLoadStyGrp_1"));
  EXPECT_EQ(Status(), "Loading Style");
  EXPECT_EQ(Timer(w, "TimerLoadStyGrp_1")->interval(), 11);
  SettleUntil([&] { return !Sent(*midi_).empty(); }, 50);
  EXPECT_EQ(Sent(*midi_), std::vector<std::string>{StyleDump(w->Tag(), 1)});
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(InfoField(101), "");  // one bank records nothing and calls nothing up

  // Edit > Load Style sends the bank of the selected line: the relay starts
  // the bank's timer as it stands, and its first phase runs.
  midi_->ClearRecords();
  ClickLine(List1(w), 7);
  EXPECT_TRUE(Enabled("mnuLoadSty"));
  main_->Item("mnuLoadSty")->trigger();
  EXPECT_TRUE(Sent(*midi_).empty());
  SettleUntil([&] { return !Sent(*midi_).empty(); }, 50);
  EXPECT_EQ(Sent(*midi_), std::vector<std::string>{StyleDump(w->Tag(), 1)});
  EXPECT_EQ(Timer(w, "TimerLoadStyGrp_1")->interval(), 10);
}

TEST_F(FrmStyUNTest, ClosingDuringASendDropsItAndClearsTheStatus) {
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "Three", "Four", "Five"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  midi_->ClearRecords();
  Click(Button(w, "CommLoadSty"));
  Click(Button(w, "CommLoadStyGrp_1"));
  EXPECT_EQ(Status(), "Loading Style");
  w->close();
  Settle(1000);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(InfoField(101), "");
}

TEST_F(FrmStyUNTest, AClickHandsAStyleOfTheFileToTheWaitingEditor) {
  WriteBytes(ProgFile("song.sty"), Group({"One", "Two", "Three", "Four", "Five"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  QListWidget* list = List1(w);
  FakeEditorPicks editor;

  ClickLine(list, 6);  // no pick waits: nothing
  EXPECT_TRUE(editor.styPicks.empty());

  gStyPickMode = true;
  ClickLine(list, 6);
  ASSERT_EQ(editor.styPicks.size(), 1u);
  EXPECT_EQ(editor.styPicks[0], std::make_pair(6, w->Tag()));
  EXPECT_TRUE(gArrModified);

  // A pick the editor refuses changes nothing, and brings no prompt later.
  gArrModified = false;
  editor.styAnswer = 0;
  ClickLine(list, 1);
  EXPECT_EQ(editor.styPicks.size(), 2u);
  EXPECT_FALSE(gArrModified);

  // A blank line between banks, or no current line, hands nothing over.
  editor.styAnswer = 1;
  ClickLine(list, 4);
  EXPECT_FALSE(Enabled("mnuLoadSty"));
  list->setCurrentRow(-1);
  w->List1_Click();
  EXPECT_EQ(editor.styPicks.size(), 2u);
  EXPECT_FALSE(gArrModified);

  // A new style never goes to the editor; its lines decide Load Style.
  frmStyUN* fresh = NewSty();
  ClickLine(List1(fresh), 2);
  EXPECT_TRUE(Enabled("mnuLoadSty"));
  ClickLine(List1(fresh), 6);  // a slot without data
  EXPECT_FALSE(Enabled("mnuLoadSty"));
  EXPECT_EQ(editor.styPicks.size(), 2u);
  EXPECT_TRUE(midi_->Calls().empty());
}

TEST_F(FrmStyUNTest, OneRightClickOpensOneMenu) {
  WriteBytes(ProgFile("song.sty"), Group({"One"}));
  StartClean();
  frmStyUN* w = OpenSty("song");
  QListWidget* list = List1(w);
  QSignalSpy menus(main_->EditMenu(), &QMenu::aboutToShow);
  RightClickAsPlatform(list->viewport(), list->visualItemRect(list->item(2)).center());
  EXPECT_EQ(menus.count(), 1);
  EXPECT_TRUE(list->selectedItems().isEmpty());  // the right button selects nothing
  main_->EditMenu()->hide();
  // On the window itself (beside a blank line) the press opens it.
  QWidget* body = w->widget();
  RightClickAsPlatform(body, QPoint(TwipsToPixels(3000), TwipsToPixels(30 + 4 * 241 + 120)));
  EXPECT_EQ(menus.count(), 2);
  main_->EditMenu()->hide();
}

TEST_F(FrmStyUNTest, TheClosePromptSavesDiscardsOrKeepsTheWindow) {
  const std::string group = Group({"One", "Two"});
  StartClean();
  for (const ClosePromptCase& c : ClosePromptCases()) {
    SCOPED_TRACE(c.answer * 10 + c.failSave);
    WriteBytes(ProgFile("song.sty"), group);
    frmStyUN* w = OpenSty("song");
    ASSERT_NE(w, nullptr);
    MidAssign(*w->MutableTag(), 10, Chr(1));
    MidAssign(*w->MutableTag(), 670 + 224, "Changed");  // the first style's name
    EXPECT_EQ(CloseAnswering(w, c), c.closes);
    ASSERT_GE(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, "File Sty - song.sty (1)");
    EXPECT_EQ(dialogs_.boxes[0].text, "The file has changed\r\nSave changes ?");
    EXPECT_EQ(Left(Mid(ReadBytes(ProgFile("song.sty")), 225), 7), c.saved ? "Changed" : "One    ");
    if (c.failSave) {
      // The write's own message names the file and the reason, and offers
      // a retry (closed: no retry); the old file stays whole.
      ASSERT_EQ(dialogs_.boxes.size(), 2u);
      EXPECT_EQ(dialogs_.boxes[1].title, "Saving song.sty");
      EXPECT_EQ(dialogs_.boxes[1].text, "Cannot write " + ProgFile("song.sty") + "\r\nDisk full");
      EXPECT_EQ(dialogs_.boxes[1].buttons, MsgButtons::RetryCancel);
      EXPECT_EQ(ReadBytes(ProgFile("song.sty")), group);
    }
    if (c.closes) {
      EXPECT_EQ(gStyForms[1], nullptr);
      EXPECT_EQ(gStyWinCount, 0);
    } else {
      EXPECT_EQ(gStyForms[1], w);
      EXPECT_EQ(Asc(w->Tag(), 10), 1);
      Discard(w, 10);
    }
  }
}

TEST_F(FrmStyUNTest, AnUntitledStyleStaysOpenUntilSavedAs) {
  StartClean();
  frmStyUN* w = NewSty();
  MidAssign(*w->MutableTag(), 10, Chr(1));
  dialogs_.boxAnswers = {kMsgYes};  // Save As then cancelled
  EXPECT_FALSE(w->close());
  EXPECT_EQ(gStyNewForms[1], w);
  dialogs_.boxAnswers = {kMsgYes};
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("fresh.sty");
  dialogs_.fileAnswers.push_back(answer);
  EXPECT_TRUE(w->close());
  Settle();
  EXPECT_EQ(ReadBytes(ProgFile("fresh.sty")), gStyTemplate);
  EXPECT_EQ(gStyNewForms[1], nullptr);
  EXPECT_EQ(gStyWinCount, 0);
  EXPECT_TRUE(Enabled("mnuNuovoSty"));
}

TEST_F(FrmStyUNTest, AStyleWindowOpenAtExitKeepsItsRecordAndIsUncounted) {
  WriteBytes(ProgFile("song.sty"), Group({"One"}));
  StartClean();
  ASSERT_NE(OpenSty("song"), nullptr);
  ASSERT_NE(NewSty(), nullptr);
  EXPECT_EQ(gStyWinCount, 2);
  main_->Item("mnuExit")->trigger();
  EXPECT_FALSE(main_->ExitRefused());
  EXPECT_EQ(gStySlots[1].InUse, 1);
  EXPECT_EQ(gStyWinCount, 0);
}

TEST_F(FrmStyUNTest, AGroupHeldByItsArrangementWindowIsAlreadyOpen) {
  WriteBytes(ProgFile("x.arr"), ArrFileBytes());
  WriteBytes(ProgFile("x.sty"), Group({"One"}));
  WriteBytes(ProgFile("y.sty"), Group({"Other"}));
  StartClean();
  FileDialogResult arr;
  arr.accepted = true;
  arr.fileName = ProgFile("x.arr");
  dialogs_.fileAnswers.push_back(arr);
  main_->Item("mnuApriArr")->trigger();
  ASSERT_NE(gArrUForms[1], nullptr);
  ASSERT_EQ(Asc(gArrUForms[1]->Tag(), 9), 2);  // it holds the styles of x.sty

  dialogs_.Clear();
  EXPECT_EQ(OpenSty("x"), nullptr);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File already open");
  EXPECT_EQ(gStySlotUsed[1], 0);
  EXPECT_EQ(gStyWinCount, 0);

  // Its recent entry likewise.
  std::string path = ProgFile("x.sty");
  RecentFileAdd(path, 0);
  dialogs_.Clear();
  ASSERT_TRUE(main_->Item("mnuRecentFile_0")->isEnabled());
  main_->Item("mnuRecentFile_0")->trigger();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File already open");
  EXPECT_EQ(gStySlotUsed[1], 0);
  EXPECT_EQ(gStyForms[1], nullptr);

  // Another style file opens; and x.sty does once the arrangement is closed.
  EXPECT_NE(OpenSty("y"), nullptr);
  gArrUForms[1]->close();
  Settle();
  EXPECT_NE(OpenSty("x"), nullptr);
  EXPECT_EQ(gStyWinCount, 2);
}
