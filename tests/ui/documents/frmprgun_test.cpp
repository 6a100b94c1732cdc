// The program-file window and the new program file: the list and the
// document, the channel, the file step and the click that waits for it as
// they reach the output, the pick for the arrangement editor, the close
// prompt, the Delete key, the slot records and the restore at start-up.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/recent.h"
#include "app/slots.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "files/prgfile.h"
#include "midi/callup.h"
#include "midi/channels.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "tests/fixtures/fakeeditor.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/ui/documents/docwintest.h"
#include "tests/fixtures/settingsimage.h"
#include "tests/ui/documents/arrwintest.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmprgun.h"
#include "ui/main/steptimer.h"

using namespace arrwintest;

namespace {

struct PrgRec {
  int index;
  int flag;  // 1 a reference to an internal program or kit
  int bank, program;
  std::string name;
};

// A program file whose records are empty but the given ones, with the
// channel byte (offset 15) given.
std::string PrgFile(const std::vector<PrgRec>& recs, int channel = 0, bool pgg = false) {
  std::string file = PrgFileBytes(pgg);
  MidAssign(file, 49, Nuls(64 * 172));
  MidAssign(file, 16, Chr(channel));
  for (const PrgRec& r : recs)
    MidAssign(file, 49 + 172 * r.index, Chr(r.flag) + Chr(r.bank) + Chr(r.program) + PadRight(r.name, 16));
  return file;
}

// The program dump of a file image: its 64 records (the reference records
// of a .pgg with their first 20 bytes as zeros) and the block at 23,096.
std::string ProgramDump(const std::string& image, bool pgg) {
  std::string programs = Mid(image, 49, 64 * 172);
  for (int i = 0; i < 64 && pgg; ++i)
    if (Asc(programs, 1 + 172 * i) == 1) MidAssign(programs, 1 + 172 * i, Nuls(20));
  return SysExHeader() + Chr(0x4C) + Pack8to7(programs + Mid(image, 23097, 2104)) + Chr(0xF7);
}

std::vector<std::string> ProgramCallUp(int n, int lsb, int program) {
  return {Chr(0xB0 | n) + Chr(0) + Chr(0), Chr(0xB0 | n) + Chr(0x20) + Chr(lsb), Chr(0xC0 | n) + Chr(program)};
}

const std::string kArrPlay = SysExHeader() + Chr(0x4E) + Chr(0x0A) + Chr(0xF7);
const std::string kSongPlay = SysExHeader() + Chr(0x4E) + Chr(0x06) + Chr(0xF7);

}  // namespace

class FrmPrgUNTest : public DocWindowTest {
 protected:
  void WriteInfo(const std::string& prg) { DocWindowTest::WriteInfo(151, prg); }
  frmPrgUN* OpenPrg(const std::string& file, bool readOnly = false) {
    OpenThrough("mnuApriPrg", file, readOnly);
    return gPrgSlotUsed[gPrgSlotIdx] ? gPrgForms[gPrgSlotIdx] : nullptr;
  }
  frmPrgUN* NewPrg() {
    main_->Item("mnuNuovoPrg")->trigger();
    return gPrgNewForms[gPrgSlotIdx];
  }
  static QListWidget* List1(frmPrgUN* w) { return w->findChild<QListWidget*>("List1"); }
  static QComboBox* Combo1(frmPrgUN* w) { return w->findChild<QComboBox*>("Combo1"); }
  static QPushButton* CommLoad(frmPrgUN* w) { return w->findChild<QPushButton*>("CommLoad"); }
  static StepTimer* Timer(frmPrgUN* w, const char* name) { return w->findChild<StepTimer*>(name); }
  static void PickChannel(frmPrgUN* w, int channel) {
    QComboBox* box = Combo1(w);
    box->setFocus();
    while (box->currentIndex() < channel) QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > channel) QTest::keyClick(box, Qt::Key_Up);
  }
  // Until neither step of the window is pending, then 30 ms more.
  static void WaitSteps(frmPrgUN* w) {
    SettleUntil([w] { return !Timer(w, "TimerLoadPrg")->isActive() && !Timer(w, "TimerList1")->isActive(); }, 30);
  }
};

TEST_F(FrmPrgUNTest, OpenPrgListsTheProgramsAndMarksTheReferences) {
  const std::string file =
      PrgFile({{0, 2, 9, 9, "Piano"}, {10, 1, 1, 0x45, "Ref"}, {63, 2, 0, 0, "Last"}}, 0x13);
  WriteBytes(ProgFile("song.prg"), file);
  StartClean();
  frmPrgUN* w = OpenPrg("song.prg", true);
  ASSERT_NE(w, nullptr);
  const std::string& tag = w->Tag();
  ASSERT_EQ(tag.size(), 32094u);
  EXPECT_EQ(Left(tag, 20), Chr(21) + Chr(1) + Nuls(12) + Chr(1) + Nuls(3) + Chr(1) + Nuls(1));
  EXPECT_EQ(RTrim(Mid(tag, 21, 250)), ProgFile("song"));
  // A reference makes the document a .pgg, whose signature it then takes.
  EXPECT_EQ(Mid(tag, 271, 4), "KPGG");
  EXPECT_EQ(Mid(tag, 275), Mid(file, 5) + Nuls(1344));
  EXPECT_EQ(Asc(tag, 7), 0);  // not modified by that
  // The channel byte stays as read; the box and the caption show its low
  // four bits.
  EXPECT_EQ(Asc(tag, 286), 0x13);
  EXPECT_EQ(Combo1(w)->currentText().toStdString(), "  4");
  EXPECT_EQ(w->windowTitle().toStdString(), "File Prg - song.pgg (1) - MIDI Channel 4 - Read Only");

  ASSERT_EQ(List1(w)->count(), 64);
  EXPECT_EQ(w->ListText(0), "11  Piano           ");
  EXPECT_EQ(w->ListText(1), "12  ");
  EXPECT_EQ(w->ListText(10), "23 *Ref             ");
  EXPECT_EQ(w->ListText(63), "88  Last            ");
  EXPECT_EQ(RTrim(gPrgSlots[1].Path), ProgFile("song"));
  EXPECT_EQ(gPrgSlots[1].Channel, 3);
  EXPECT_EQ(gPrgSlots[1].Pgg, 1);
  EXPECT_EQ(gPrgSlots[1].ReadOnly, 1);
  EXPECT_EQ(gPrgSlots[1].Open, 1);
  EXPECT_EQ(gPrgWinCount, 1);
  EXPECT_TRUE(CommLoad(w)->isEnabled());
  EXPECT_TRUE(Enabled("mnuLoadPrg"));
  // Sent, the channel and the reference's bytes are masked as well.
  ClickLine(List1(w), 0);
  ClickLine(List1(w), 10);
  EXPECT_EQ(Sent(*midi_), Join({ProgramCallUp(3, 3, 0), ProgramCallUp(3, 1, 0x45)}));

  // Read-only, it is not saved: Save is off and the file stays as it was.
  EXPECT_FALSE(Enabled("mnuSalva"));
  main_->Item("mnuSalva")->trigger();
  EXPECT_EQ(ReadBytes(ProgFile("song.prg")), file);
  EXPECT_FALSE(Exists(ProgFile("song.pgg")));
  w->close();
  Settle();

  // Opened writable and saved, it is a .pgg that opens again; the .prg of
  // the same name goes.
  w = OpenPrg("song.prg");
  ASSERT_NE(w, nullptr);
  main_->Item("mnuSalva")->trigger();
  EXPECT_FALSE(Exists(ProgFile("song.prg")));
  EXPECT_EQ(Left(ReadBytes(ProgFile("song.pgg")), 4), "KPGG");
  w->close();
  Settle();
  EXPECT_EQ(gPrgWinCount, 0);
  EXPECT_EQ(gPrgSlotUsed[1], 0);
  EXPECT_EQ(gPrgSlots[1].Open, 0);
  EXPECT_TRUE(PrgWinOpen(ProgFile("song")) == 0);
  ASSERT_NE(gPrgForms[1], nullptr);
  EXPECT_EQ(gPrgForms[1]->ListText(10), "23 *Ref             ");
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmPrgUNTest, ANewProgramFileListsEmptyPlaces) {
  StartClean();
  frmPrgUN* w = NewPrg();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "New File Program - Untitled.prg (1) - MIDI Channel 1");
  const std::string& tag = w->Tag();
  EXPECT_EQ(Left(tag, 20), Chr(22) + Nuls(13) + Chr(1) + Nuls(2) + Chr(1) + Nuls(2));
  EXPECT_EQ(Mid(tag, 21, 250), PadRight("Untitled", 250));
  EXPECT_EQ(Asc(tag, 286), 0);
  EXPECT_EQ(w->ListText(0), "11  ");
  EXPECT_EQ(w->ListText(9), "22  ");
  EXPECT_EQ(w->ListText(63), "88  ");
  EXPECT_EQ(Combo1(w)->currentText().toStdString(), "  1");
  EXPECT_EQ(gPrgWinOpen[1], 1);
  EXPECT_EQ(gPrgWinCount, 1);
  // Load Prog waits for a paste; the menu refresh never turns it on.
  main_->MdiArea()->setActiveSubWindow(nullptr);
  main_->MdiArea()->setActiveSubWindow(w);
  EXPECT_FALSE(CommLoad(w)->isEnabled());
  EXPECT_FALSE(Enabled("mnuLoadPrg"));
  // An empty place sends nothing.
  ClickLine(List1(w), 5);
  EXPECT_TRUE(midi_->Calls().empty());

  frmPrgUN* second = NewPrg();
  EXPECT_EQ(second->windowTitle().toStdString(), "New File Program - Untitled.prg (2) - MIDI Channel 1");
  second->close();
  w->close();
  Settle();
  EXPECT_EQ(gPrgWinCount, 0);
  EXPECT_EQ(gPrgWinOpen[1], 0);
  EXPECT_TRUE(Enabled("mnuNuovoPrg"));
}

TEST_F(FrmPrgUNTest, TheChannelIsStoredInTheFileAndAsksToBeSaved) {
  const std::string file = PrgFile({{0, 2, 0, 0, "Piano"}}, 2);
  StartClean();
  for (const ClosePromptCase& c : ClosePromptCases()) {
    SCOPED_TRACE(c.answer * 10 + c.failSave);
    WriteBytes(ProgFile("song.prg"), file);
    frmPrgUN* w = OpenPrg("song.prg");
    ASSERT_NE(w, nullptr);
    PickChannel(w, 7);
    EXPECT_EQ(Asc(w->Tag(), 286), 7);
    EXPECT_EQ(Asc(w->Tag(), 7), 1);
    EXPECT_EQ(gPrgSlots[1].Channel, 7);
    EXPECT_EQ(w->windowTitle().toStdString(), "File Prg - song.prg (1) - MIDI Channel 8");
    midi_->ClearRecords();
    ClickLine(List1(w), 0);
    EXPECT_EQ(Sent(*midi_), ProgramCallUp(7, 3, 0));

    EXPECT_EQ(CloseAnswering(w, c), c.closes);
    ASSERT_GE(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, "File Program - song.prg (1)");
    EXPECT_EQ(Asc(ReadBytes(ProgFile("song.prg")), 16), c.saved ? 7 : 2);
    if (c.closes) {
      EXPECT_EQ(gPrgForms[1], nullptr);
      EXPECT_EQ(gPrgWinCount, 0);
    } else {
      EXPECT_EQ(gPrgForms[1], w);
      EXPECT_EQ(Asc(w->Tag(), 7), 1);
      Discard(w, 7);
    }
  }
}

TEST_F(FrmPrgUNTest, LoadProgSendsTheFileThroughTheModes) {
  const std::string file = PrgFile({{0, 2, 0, 0, "Piano"}, {5, 1, 2, 3, "Ref"}});
  WriteBytes(ProgFile("song.prg"), file);
  StartClean();
  frmPrgUN* w = OpenPrg("song.prg");
  const std::string dump = ProgramDump(w->Tag().substr(270), true);

  // From song play: to arrangement play, through song play, and back.
  TxModeSongPlay();
  midi_->ClearRecords();
  QTest::mouseClick(CommLoad(w), Qt::LeftButton);
  EXPECT_EQ(Status(), "Loading Program");
  EXPECT_EQ(Timer(w, "TimerLoadPrg")->interval(), 9);
  EXPECT_TRUE(Sent(*midi_).empty());
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), (std::vector<std::string>{kArrPlay, kSongPlay, kArrPlay, dump, kSongPlay}));
  EXPECT_EQ(gInstrMode, 1);
  EXPECT_EQ(main_->Label("LabelMode")->text().toStdString(), "SONG PLAY");
  EXPECT_EQ(InfoField(151), "song");
  EXPECT_EQ(main_->Label("LabelPrg")->text().toStdString(), "song.pgg");
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(Timer(w, "TimerLoadPrg")->interval(), 10);

  // From arrangement play, by Edit > Load Prog: the relay runs the first
  // phase 10 ms later.
  TxModeArrPlay();
  midi_->ClearRecords();
  main_->Item("mnuLoadPrg")->trigger();
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Timer(w, "TimerLoadPrg")->interval(), 10);
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), (std::vector<std::string>{kSongPlay, kArrPlay, dump}));
  EXPECT_EQ(gInstrMode, 0);
}

TEST_F(FrmPrgUNTest, WithLoadProgramTheFirstClickSendsTheFileFirst) {
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, 2, 0, 0, "Piano"}, {1, 2, 0, 0, "Organ"}}, 4));
  StartClean();
  frmPrgUN* w = OpenPrg("song.prg");
  const std::string dump = ProgramDump(w->Tag().substr(270), false);
  main_->Item("mnuCaricaPrg")->trigger();
  ASSERT_TRUE(Checked("mnuCaricaPrg"));
  WriteInfo("other");
  midi_->ClearRecords();
  ClickLine(List1(w), 1);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 9);
  EXPECT_EQ(Status(), "Loading Program");
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), Join({{kSongPlay, kArrPlay, dump}, ProgramCallUp(4, 3, 1)}));
  EXPECT_EQ(InfoField(151), "song");
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);

  // Held now: the call-up alone.
  midi_->ClearRecords();
  ClickLine(List1(w), 0);
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(4, 3, 0));

  // Without an info file nothing counts as held.
  QFile::remove(QString::fromStdString(WinFile("TessaroInfo")));
  midi_->ClearRecords();
  ClickLine(List1(w), 0);
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), Join({{kSongPlay, kArrPlay, dump}, ProgramCallUp(4, 3, 0)}));

  // A click whose line is gone while it waits sends the file, no call-up.
  WriteInfo("other");
  midi_->ClearRecords();
  ClickLine(List1(w), 1);
  List1(w)->setCurrentRow(-1);
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), (std::vector<std::string>{kSongPlay, kArrPlay, dump}));
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  EXPECT_EQ(Status(), "");

  // A dump whose send fails is said so and not recorded as held: the next
  // click sends the file again.
  int longMessages = 0;
  midi_->SetCallHook([&](const std::string& call) {
    if (call == "midiOutLongMsg" && ++longMessages == 3) midi_->SetResult("midiOutLongMsg", MMSYSERR_ERROR);
  });
  WriteInfo("other");
  dialogs_.Clear();
  midi_->ClearRecords();
  ClickLine(List1(w), 1);
  WaitSteps(w);
  midi_->SetCallHook(nullptr);
  EXPECT_FALSE(dialogs_.boxes.empty());
  EXPECT_EQ(InfoField(151), "other");
  midi_->ClearRecords();
  ClickLine(List1(w), 1);
  WaitSteps(w);
  EXPECT_EQ(Sent(*midi_), Join({{kSongPlay, kArrPlay, dump}, ProgramCallUp(4, 3, 1)}));
  EXPECT_EQ(InfoField(151), "song");
}

TEST_F(FrmPrgUNTest, ClosingDuringTheFileStepDropsIt) {
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, 2, 0, 0, "Piano"}}));
  StartClean();
  frmPrgUN* w = OpenPrg("song.prg");
  main_->Item("mnuCaricaPrg")->trigger();
  WriteInfo("other");
  midi_->ClearRecords();
  ClickLine(List1(w), 0);
  EXPECT_EQ(Status(), "Loading Program");
  w->close();
  Settle(100);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(InfoField(151), "other");
  EXPECT_EQ(gPrgForms[1], nullptr);
}

TEST_F(FrmPrgUNTest, AProgramPickGoesToTheEditorAndIsCalledUpOnThePart) {
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, 2, 9, 9, "Piano"}, {3, 1, 1, 0x45, "Ref"}}, 4));
  StartClean();
  frmPrgUN* w = OpenPrg("song.prg");
  FakeEditorPicks editor;
  gPrgPickMode = true;
  gEditArrFieldSel[12] = 1;  // accompaniment 3
  gChAcc3 = 13;
  midi_->ClearRecords();
  ClickLine(List1(w), 0);
  EXPECT_EQ(Mid(gArrEditBuf, 80, 2), Chr(0) + Chr(3));
  EXPECT_EQ(Mid(gArrEditBuf, 261, 16), Chr(2) + Chr(9) + Chr(9) + PadRight("Piano", 13));
  EXPECT_EQ(editor.fields[13], "U  11");
  EXPECT_TRUE(gArrModified);
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(13, 3, 0));

  // A reference picks the internal program it names, and calls that up.
  midi_->ClearRecords();
  ClickLine(List1(w), 3);
  EXPECT_EQ(Mid(gArrEditBuf, 80, 2), Chr(69) + Chr(1));
  EXPECT_EQ(Mid(gArrEditBuf, 261, 16), Mid(gPrgNames[7], 16 * 5 + 1, 16));
  EXPECT_EQ(editor.fields[13], "D  16");
  EXPECT_EQ(Sent(*midi_), ProgramCallUp(13, 1, 69));
}

TEST_F(FrmPrgUNTest, DeleteInAReadOnlyFileIsRefused) {
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, 2, 0, 0, "Piano"}}));
  WriteBytes(ProgFile("free.prg"), PrgFile({{0, 2, 0, 0, "Organ"}}));
  StartClean();
  frmPrgUN* w = OpenPrg("song.prg", true);
  ClickLine(List1(w), 0);
  QTest::keyClick(List1(w), Qt::Key_Delete);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Read only file");
  EXPECT_EQ(dialogs_.boxes[0].title, w->windowTitle().toStdString());
  EXPECT_EQ(w->ListText(0), "11  Piano           ");
  EXPECT_EQ(Asc(w->Tag(), 7), 0);

  frmPrgUN* free = OpenPrg("free.prg");
  ClickLine(List1(free), 0);
  dialogs_.Clear();
  QTest::keyClick(List1(free), Qt::Key_Delete);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmPrgUNTest, ABadFileOpensNoWindowAndSaysSoOnce) {
  WriteBytes(ProgFile("short.prg"), Left(PrgFile({}), 30000));
  WriteBytes(ProgFile("song.arr"), ArrFileBytes());  // no program file beside it
  StartClean();
  EXPECT_EQ(OpenPrg("short.prg"), nullptr);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Data format error");
  EXPECT_EQ(gPrgWinCount, 0);
  EXPECT_EQ(gPrgSlotUsed[1], 0);

  // The companion program file of an arrangement file is looked for
  // silently.
  gOptOpenPrgFile = true;
  dialogs_.Clear();
  FileDialogResult arr;
  arr.accepted = true;
  arr.fileName = ProgFile("song.arr");
  dialogs_.fileAnswers.push_back(arr);
  main_->Item("mnuApriArr")->trigger();
  ASSERT_NE(gArrUForms[1], nullptr);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gPrgForms[1], nullptr);
  EXPECT_EQ(gPrgWinCount, 0);
}

TEST_F(FrmPrgUNTest, TheWindowKeepsItsPlaceAndReopensAtTheNextStart) {
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, 2, 0, 0, "Piano"}}, 5));
  SettingsImage s = SettingsImage::Valid(2);
  auto slot = [&](int index, const std::string& path, int top, int height) {
    const int rec = 4 + index;
    s.Text(rec, 1, PadRight(path, 238));
    s.Byte(rec, 241, 1);
    s.Byte(rec, 242, 5);
    s.Position(rec, 243, top);
    s.Position(rec, 245, 150);
    s.U16(rec, 239, height);
    s.U16(rec, 249, 6000);
  };
  slot(2, ProgFile("gone"), 0, 3000);  // its file is gone: stored closed
  slot(3, ProgFile("song"), 450, 3600);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  StartClean();
  frmPrgUN* w = gPrgForms[1];
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "File Prg - song.prg (1) - MIDI Channel 6");
  EXPECT_NEAR(w->TopTwips(), 450, TwipsPerPixel());
  EXPECT_NEAR(w->HeightTwips(), 3600, TwipsPerPixel());
  EXPECT_EQ(gPrgSlots[2].Open, 0);
  EXPECT_EQ(gPrgSlotUsed[2], 0);
  EXPECT_EQ(gPrgWinCount, 1);

  // Widened beyond 7,780 twips it snaps back.
  w->SetSizeTwips(3600, 9000);
  Settle();
  EXPECT_NEAR(w->WidthTwips(), 7780, TwipsPerPixel());
  EXPECT_NEAR(gPrgSlots[1].Width, 7780, TwipsPerPixel());

  // Open at the exit: the record keeps it open for the next start.
  main_->Item("mnuExit")->trigger();
  EXPECT_FALSE(main_->ExitRefused());
  EXPECT_EQ(gPrgSlots[1].Open, 1);
  EXPECT_EQ(gPrgWinCount, 0);
  const std::string settings = ReadBytes(WinFile("Brenvolta.ini"));
  EXPECT_EQ(Asc(settings, 250 * 4 + 241), 1);
  EXPECT_EQ(RTrim(Mid(settings, 250 * 4 + 1, 238)), ProgFile("song"));
}

TEST_F(FrmPrgUNTest, WithoutMidiTheStepsStillEndAndRecordNothing) {
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, 2, 0, 0, "Piano"}}));
  midi_->SetDeviceCounts(0, 0);
  StartClean();
  dialogs_.Clear();
  frmPrgUN* w = OpenPrg("song.prg");
  main_->Item("mnuCaricaPrg")->trigger();
  WriteInfo("other");
  ClickLine(List1(w), 0);
  EXPECT_EQ(Status(), "Loading Program");
  WaitSteps(w);
  EXPECT_TRUE(Sent(*midi_).empty());
  EXPECT_EQ(Status(), "");
  // Nothing reached the instrument: the record keeps the file it held.
  EXPECT_EQ(InfoField(151), "other");
  EXPECT_EQ(main_->Label("LabelPrg")->text().toStdString(), "");
  EXPECT_EQ(Timer(w, "TimerList1")->interval(), 10);
  EXPECT_EQ(Timer(w, "TimerLoadPrg")->interval(), 10);
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmPrgUNTest, NewPrgWithoutItsTemplateOpensNothing) {
  QFile::remove(QString::fromStdString(ProgFile("r40Prg")));
  StartClean();
  main_->Item("mnuNuovoPrg")->trigger();
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File not found");
  EXPECT_EQ(gPrgNewForms[1], nullptr);
  EXPECT_EQ(gPrgWinOpen[1], 0);
  EXPECT_EQ(gPrgWinCount, 0);
}
