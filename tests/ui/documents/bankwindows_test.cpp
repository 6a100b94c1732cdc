// The windows of the instrument's factory banks: Style A and B, Program A to
// E, Drum and Percussion. Their lists, the call-ups on each window's own
// channel, the picks for the arrangement editor, the position records with
// the channel, the menu items and counters, and the restore at start-up.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QSignalSpy>
#include <QStyle>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/nametables.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/callup.h"
#include "midi/channels.h"
#include "platform/twips.h"
#include "tests/fixtures/fakeeditor.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/settingsimage.h"
#include "tests/ui/documents/arrwintest.h"
#include "ui/documents/frmdrum.h"
#include "ui/documents/frmpcgae.h"
#include "ui/documents/frmstyab.h"
#include "ui/main/frmmsgex.h"

using namespace arrwintest;

namespace {

// Bank select 0 / lsb and program change on channel n.
std::vector<std::string> ProgramCallUp(int n, int lsb, int program) {
  return {Chr(0xB0 | n) + Chr(0) + Chr(0), Chr(0xB0 | n) + Chr(0x20) + Chr(lsb), Chr(0xC0 | n) + Chr(program)};
}

std::string PrgName(int kind, int p) { return Mid(gPrgNames[kind], 16 * p + 1, 16); }
std::string KitName(int k) { return Mid(gDrumKitNames, 16 * k + 1, 16); }

// The state byte a bank window's record was written with at exit.
int StateByteAtExit(const std::string& settings, int kind) { return Asc(settings, 51 + 9 * (kind - 1) + 8); }

}  // namespace

class BankWindowsTest : public MainFixture {
 protected:
  // Starts with the given window records (kind, state byte: channel in the
  // high nibble for the program and kit windows).
  void StartWith(const std::vector<std::pair<int, int>>& records = {}) {
    SettingsImage s = SettingsImage::Valid(2);
    for (const auto& [kind, stateByte] : records) s.Window(kind, 0, 0, 0, 0, stateByte);
    WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
    Start();
    Settle(30);
    midi_->ClearRecords();
  }
  template <class Form>
  static QListWidget* List1(Form* w) {
    return w->template findChild<QListWidget*>("List1");
  }
  template <class Form>
  static QComboBox* Combo1(Form* w) {
    return w->template findChild<QComboBox*>("Combo1");
  }
  frmMsgEx* OpenMonitor() {
    main_->Item("mnuMsgEx")->trigger();
    return main_->MsgEx();
  }
  // Picks a channel in a window's channel box from the keyboard.
  template <class Form>
  static void PickChannel(Form* w, int channel) {
    QComboBox* box = Combo1(w);
    box->setFocus();
    while (box->currentIndex() < channel) QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > channel) QTest::keyClick(box, Qt::Key_Up);
  }
};

TEST_F(BankWindowsTest, AStyleBankListsItsStylesAndSendsNothing) {
  StartWith();
  main_->Item("mnuStyB")->trigger();
  frmStyAB* b = gStyABForms[1];
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->windowTitle().toStdString(), "Style B - Read Only");
  ASSERT_EQ(List1(b)->count(), 64);
  // The names as stored, trailing blanks included.
  EXPECT_EQ(b->ListText(0), "11  " + gStyNames[64]);
  EXPECT_EQ(b->ListText(0).size(), 20u);
  EXPECT_EQ(b->ListText(9), "22  " + gStyNames[73]);
  EXPECT_EQ(Left(b->ListText(63), 4), "88  ");
  const std::string& tag = b->Tag();
  EXPECT_EQ(tag, Chr(18) + Chr(1) + Nuls(14) + Chr(1) + Nuls(3) + PadRight("Style B", 250));
  EXPECT_FALSE(Enabled("mnuStyB"));  // one window per bank
  EXPECT_TRUE(Enabled("mnuStyA"));
  EXPECT_EQ(gStyWinCount, 1);
  EXPECT_EQ(gWinPosTab[18].State, 1);

  ClickLine(List1(b), 5);
  ClickLine(List1(b), 40);
  EXPECT_TRUE(midi_->Calls().empty());
  EXPECT_FALSE(gArrModified);

  b->move(20, 10);
  const int height = b->HeightTwips();
  b->close();
  Settle();
  EXPECT_EQ(gStyABForms[1], nullptr);
  EXPECT_TRUE(Enabled("mnuStyB"));
  EXPECT_EQ(gStyWinCount, 0);
  EXPECT_EQ(gWinPosTab[18].State, 0);
  EXPECT_NEAR(gWinPosTab[18].Left, 20 * TwipsPerPixel(), TwipsPerPixel());
  EXPECT_NEAR(gWinPosTab[18].Height, height, TwipsPerPixel());

  // Opened again: a new window, loaded and counted once more.
  main_->Item("mnuStyB")->trigger();
  ASSERT_NE(gStyABForms[1], nullptr);
  EXPECT_EQ(gStyWinCount, 1);
  EXPECT_EQ(gWinPosTab[18].State, 1);
  EXPECT_FALSE(Enabled("mnuStyB"));
}

// The names are stored padded with blanks to 16 characters: a name that
// fits its column shows whole, never cut short for its trailing blanks.
TEST_F(BankWindowsTest, EveryNameThatFitsItsColumnShowsWhole) {
  StartWith();
  for (const char* item : {"mnuStyA", "mnuStyB", "mnuWProgA", "mnuDrum"}) main_->Item(item)->trigger();
  for (ChildForm* w : std::initializer_list<ChildForm*>{gStyABForms[0], gStyABForms[1], gPcgAEForms[kKindPrgA],
                                                        gDrumForms[kKindDrum]}) {
    ASSERT_NE(w, nullptr);
    SCOPED_TRACE(w->windowTitle().toStdString());
    const QListWidget* list = List1(w);
    // The room for the text inside a cell: the cell less the text margins.
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int room = list->gridSize().width() - 2 * margin;
    const QFontMetrics metrics(list->font());
    int whole = 0;
    for (int i = 0; i < list->count(); ++i) {
      const QString text = list->item(i)->text();
      const std::string name = RTrim(text.toStdString());
      if (metrics.horizontalAdvance(QString::fromStdString(name)) > room) continue;
      ++whole;
      EXPECT_EQ(RTrim(metrics.elidedText(text, list->textElideMode(), room).toStdString()), name);
    }
    EXPECT_GT(whole, list->count() / 2);
  }
}

TEST_F(BankWindowsTest, AStyleBankHandsTheClickedStyleToTheWaitingEditor) {
  StartWith();
  main_->Item("mnuStyA")->trigger();
  frmStyAB* a = gStyABForms[0];
  FakeEditorPicks editor;
  gStyPickMode = true;
  ClickLine(List1(a), 5);
  ASSERT_EQ(editor.styPicks.size(), 1u);
  EXPECT_EQ(editor.styPicks[0], std::make_pair(5, a->Tag()));
  EXPECT_TRUE(gArrModified);

  gArrModified = false;
  editor.styAnswer = 0;  // refused by the editor: nothing changed
  ClickLine(List1(a), 6);
  EXPECT_FALSE(gArrModified);
  editor.styAnswer = 1;
  List1(a)->setCurrentRow(-1);  // no current line
  a->List1_Click();
  EXPECT_EQ(editor.styPicks.size(), 2u);
  EXPECT_FALSE(gArrModified);
  EXPECT_TRUE(midi_->Calls().empty());
}

TEST_F(BankWindowsTest, AProgramBankCallsUpOnItsOwnChannel) {
  StartWith({{7, 0x50}});  // bank D: channel 6 (index 5), closed
  frmMsgEx* monitor = OpenMonitor();
  main_->Item("mnuWProgD")->trigger();
  frmPcgAE* d = gPcgAEForms[7];
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->windowTitle().toStdString(), "Prg D - MIDI Channel 6 - Read Only");
  EXPECT_EQ(Combo1(d)->currentText().toStdString(), "  6");
  EXPECT_EQ(Combo1(d)->count(), 16);
  EXPECT_EQ(Combo1(d)->itemText(15).toStdString(), " 16");
  const std::string& tag = d->Tag();
  ASSERT_EQ(tag.size(), 1369u);
  EXPECT_EQ(Left(tag, 25), Chr(7) + Chr(1) + Nuls(13) + Chr(5) + Chr(1) + Nuls(3) + "Prg D");
  EXPECT_EQ(d->ListText(0), "11  " + PrgName(7, 0));
  EXPECT_EQ(d->ListText(63), "88  " + PrgName(7, 63));
  EXPECT_EQ(Mid(tag, 30, 21), Chr(0) + "11  " + PrgName(7, 0));
  EXPECT_EQ(Mid(tag, 30 + 21 * 63), Chr(0) + "88  " + Left(PrgName(7, 63), 12));  // never lengthened
  EXPECT_FALSE(Enabled("mnuWProgD"));
  EXPECT_EQ(gPrgWinCount, 1);

  midi_->ClearRecords();
  ClickLine(List1(d), 0);
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(5, 1, 64));
  EXPECT_EQ(monitor->KeptText(), "B5 00 00 B5 20 01 C5 40 \r\n\r\n");
  midi_->ClearRecords();
  ClickLine(List1(d), 17);
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(5, 1, 81));

  // No current line: nothing at all.
  midi_->ClearRecords();
  List1(d)->setCurrentRow(-1);
  d->List1_Click();
  EXPECT_TRUE(Sent(*midi_).empty());

  // Widened beyond its enlarged size it snaps back.
  d->SetSizeTwips(4000, 9000);
  Settle();
  EXPECT_NEAR(d->WidthTwips(), 7780, TwipsPerPixel());
  EXPECT_NEAR(gWinPosTab[7].Width, 7780, TwipsPerPixel());

  d->close();
  Settle();
  EXPECT_EQ(gPrgWinCount, 0);
  EXPECT_TRUE(Enabled("mnuWProgD"));
  EXPECT_EQ(gWinPosTab[7].State, 0);
}

TEST_F(BankWindowsTest, EachBankKeepsItsOwnChannelInItsRecord) {
  StartWith({{4, 0x10}, {5, 0x10}});
  main_->Item("mnuWProgA")->trigger();
  main_->Item("mnuWProgB")->trigger();
  frmPcgAE* a = gPcgAEForms[4];
  frmPcgAE* b = gPcgAEForms[5];
  PickChannel(a, 9);
  EXPECT_EQ(Asc(a->Tag(), 16), 9);
  EXPECT_EQ(gWinPosTab[4].Extra, 9);
  EXPECT_EQ(a->windowTitle().toStdString(), "Prg A - MIDI Channel 10 - Read Only");
  EXPECT_EQ(Asc(b->Tag(), 16), 1);
  EXPECT_EQ(gWinPosTab[5].Extra, 1);
  midi_->ClearRecords();
  ClickLine(List1(a), 2);
  ClickLine(List1(b), 2);
  EXPECT_EQ(Sent(*midi_), Join({ProgramCallUp(9, 0, 2), ProgramCallUp(1, 0, 66)}));

  // A closed. B open at the exit: both channels are kept, only B reopens.
  a->close();
  Settle();
  main_->Item("mnuExit")->trigger();
  const std::string settings = ReadBytes(WinFile("Brenvolta.ini"));
  EXPECT_EQ(StateByteAtExit(settings, 4), 0x90);
  EXPECT_EQ(StateByteAtExit(settings, 5), 0x11);
}

TEST_F(BankWindowsTest, WindowsOpenAtTheLastExitReopenCountedOnce) {
  StartWith({{6, 0x31}, {10, 0x21}});
  ASSERT_TRUE(WaitFor([] { return gPcgAEForms[6] && gDrumForms[10]; }));
  Settle(30);
  EXPECT_EQ(Asc(gPcgAEForms[6]->Tag(), 16), 3);
  EXPECT_EQ(gDrumForms[10]->windowTitle().toStdString(), "Percussion - MIDI Channel 3 - Read Only");
  EXPECT_EQ(gPrgWinCount, 2);
  EXPECT_FALSE(Enabled("mnuWProgC"));
  EXPECT_FALSE(Enabled("mnuPerc"));
  EXPECT_TRUE(Enabled("mnuDrum"));
  EXPECT_EQ(gPcgAEForms[4], nullptr);
}

TEST_F(BankWindowsTest, AProgramPickGoesToTheEditorAndIsHeardOnThePartChannel) {
  StartWith({{7, 0x50}});
  frmMsgEx* monitor = OpenMonitor();
  main_->Item("mnuWProgD")->trigger();
  frmPcgAE* d = gPcgAEForms[7];
  FakeEditorPicks editor;
  gChLower = 11;
  gPrgPickMode = true;
  gEditArrFieldSel[18] = 1;  // the lower track's program
  midi_->ClearRecords();
  MidiMonLog("");
  ClickLine(List1(d), 9);
  EXPECT_EQ(Mid(gArrEditBuf, 104, 2), Chr(73) + Chr(1));
  EXPECT_EQ(Mid(gArrEditBuf, 309, 16), PrgName(7, 9));
  EXPECT_EQ(editor.fields[18], PrgName(7, 9));
  EXPECT_EQ(editor.fields[19], "D  22");
  EXPECT_TRUE(gArrModified);
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(11, 1, 73));
  EXPECT_EQ(monitor->KeptText(), "");  // the monitor keeps what it shows

  // The name field highlighted: the record keeps its bytes, nothing is
  // marked changed; the program is still heard on the window's channel.
  ArrRecReset();
  editor.fields.clear();
  gEditArrFieldSel[18] = 0;
  gEditArrFieldSel[0] = 1;
  midi_->ClearRecords();
  ClickLine(List1(d), 9);
  EXPECT_EQ(gArrEditBuf, Space(kArrEditBufLen));
  EXPECT_TRUE(editor.fields.empty());
  EXPECT_FALSE(gArrModified);
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(5, 1, 73));
}

TEST_F(BankWindowsTest, TheKitWindowsCallUpTheKitTableOnTheirChannels) {
  StartWith({{9, 0x20}, {10, 0x30}});
  frmMsgEx* monitor = OpenMonitor();
  main_->Item("mnuDrum")->trigger();
  main_->Item("mnuPerc")->trigger();
  frmDrum* drum = gDrumForms[9];
  frmDrum* perc = gDrumForms[10];
  ASSERT_NE(drum, nullptr);
  ASSERT_NE(perc, nullptr);
  EXPECT_EQ(drum->windowTitle().toStdString(), "Drum - MIDI Channel 3 - Read Only");
  ASSERT_EQ(drum->Tag().size(), 300u);
  EXPECT_EQ(Left(drum->Tag(), 44), Chr(9) + Chr(1) + Nuls(13) + Chr(2) + Nuls(4) + PadRight("Drum", 24));
  EXPECT_EQ(Mid(drum->Tag(), 45), gDrumKitNames);
  ASSERT_EQ(List1(drum)->count(), 16);
  EXPECT_EQ(drum->ListText(0), "11  " + KitName(0));
  EXPECT_EQ(drum->ListText(7), "18  " + KitName(7));
  EXPECT_EQ(drum->ListText(8), "21  " + KitName(8));
  EXPECT_EQ(drum->ListText(15), "28  " + KitName(15));
  EXPECT_EQ(gPrgWinCount, 2);

  midi_->ClearRecords();
  ClickLine(List1(drum), 13);
  ClickLine(List1(drum), 12);
  ClickLine(List1(perc), 13);
  EXPECT_EQ(Sent(*midi_), Join({ProgramCallUp(2, 4, 56), ProgramCallUp(2, 4, 66), ProgramCallUp(3, 4, 56)}));
  EXPECT_EQ(monitor->KeptText(), "B3 00 00 B3 20 04 C3 38 \r\n\r\n");

  // Picked for the editor, a kit is sent nowhere.
  FakeEditorPicks editor;
  gPrgPickMode = true;
  gEditArrFieldSel[2] = 1;
  midi_->ClearRecords();
  ClickLine(List1(drum), 13);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Mid(gArrEditBuf, 40, 2), Chr(13) + Chr(4));
  EXPECT_EQ(editor.fields[3], "Dr  26");
  EXPECT_TRUE(gArrModified);

  // Higher than its enlarged height it snaps back.
  drum->SetSizeTwips(4000, 6000);
  Settle();
  EXPECT_NEAR(drum->HeightTwips(), 1920, TwipsPerPixel());

  // The right button pops the Edit menu up once, on release.
  QSignalSpy menus(main_->EditMenu(), &QMenu::aboutToShow);
  QListWidget* list = List1(drum);
  RightClickAsPlatform(list->viewport(), list->visualItemRect(list->item(5)).center());
  EXPECT_EQ(menus.count(), 1);
  main_->EditMenu()->hide();
  QWidget* body = drum->widget();
  const QPoint corner(body->width() - 3, body->height() - 3);
  QTest::mousePress(body, Qt::RightButton, Qt::NoModifier, corner);
  QContextMenuEvent press(QContextMenuEvent::Mouse, corner, body->mapToGlobal(corner));
  QApplication::sendEvent(body, &press);
  EXPECT_EQ(menus.count(), 1);  // not on the press
  QTest::mouseRelease(body, Qt::RightButton, Qt::NoModifier, corner);
  EXPECT_EQ(menus.count(), 2);
  main_->EditMenu()->hide();

  drum->close();
  Settle();
  EXPECT_TRUE(Enabled("mnuDrum"));
  EXPECT_FALSE(Enabled("mnuPerc"));
  EXPECT_EQ(gPrgWinCount, 1);
}
