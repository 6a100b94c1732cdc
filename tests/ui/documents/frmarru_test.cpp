// The arrangement-file window: its load from the file and its companions,
// the call-up of a clicked arrangement, the transfers and their chains as
// they reach the wire, the close prompt and the start-up restore. The
// window is driven through the real main window; the timers run for real.
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/dbarr.h"
#include "app/listbuild.h"
#include "app/nametables.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "files/styfile.h"
#include "midi/channels.h"
#include "midi/sysex.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "services/paths.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/ui/documents/arrwintest.h"
#include "ui/documents/frmarru.h"

using arrwintest::ArrFile;
using arrwintest::Rec;

namespace {

// A style group of whole banks: the names given, each slot `length` bytes.
std::string StyFile(const std::vector<std::string>& names, int length = 40) {
  std::vector<StySlotDef> defs;
  for (const auto& n : names) defs.push_back({n, length, 's'});
  return StyGroupBytes(defs);
}

// A System Exclusive message by its function: the two mode changes, the
// arrangement bank, a style bank, the programs.
std::string LongMessageName(const std::string& msg) {
  switch (Asc(msg, 5)) {
    case 0x4E:
      return Asc(msg, 6) == 0x06 ? "song" : Asc(msg, 6) == 0x0A ? "arr" : "mode";
    case 0x64:
      return "bank";
    case 0x65:
      return "sty";
    case 0x4C:
      return "prg";
    default:
      return "?" + Hex2(Asc(msg, 5));
  }
}

}  // namespace

class FrmArrUTest : public MainFixture {
 protected:
  void SetUp() override {
    MainFixture::SetUp();
    WriteBytes(ProgFile("r40Sty"), StyTemplateFileImage());
  }

  // The info file, naming the files the instrument holds.
  void WriteInfo(const std::string& arr, const std::string& sty, const std::string& prg) {
    std::string info = Space(kSharedInfoLen);
    MidAssign(info, 51, arr);
    MidAssign(info, 101, sty);
    MidAssign(info, 151, prg);
    WriteBytes(WinFile("TessaroInfo"), info);
  }

  // Starts the program and lets its start-up restore run, before a test
  // opens windows of its own.
  void StartSettled() {
    Start();
    Settle(50);
  }

  void Tick(const char* item, bool on) {
    if (Checked(item) != on) main_->Item(item)->trigger();
  }

  // File > Open Arr on name.arr of the program folder.
  frmArrU* Open(const std::string& name) {
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = ProgFile(name + ".arr");
    dialogs_.fileAnswers.push_back(answer);
    main_->mnuApriArr_Click();
    return gArrUForms[gArrSlotIdx];
  }

  static bool WaitUntil(const std::function<bool()>& done, int ms = 6000) {
    const qint64 end = QDateTime::currentMSecsSinceEpoch() + ms;
    while (!done()) {
      if (QDateTime::currentMSecsSinceEpoch() > end) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
  }

  // What went out, in order: the long messages by their function (song,
  // arr, bank, sty, prg), the short ones as their bytes.
  std::vector<std::string> Sent() const {
    std::vector<std::string> out;
    for (const auto& c : midi_->Calls()) {
      if (c.name == "midiOutShortMsg") {
        out.push_back(Hex(c.bytes));
      } else if (c.name == "midiOutLongMsg") {
        out.push_back(LongMessageName(c.bytes));
      }
    }
    return out;
  }
  // The bank select and program change of arrangement n of a file.
  static std::vector<std::string> CallUp(int n) {
    const std::string ch = Hex2(gChArrang).substr(1);
    return {"B" + ch + " 00 00", "B" + ch + " 20 01", "C" + ch + " " + Hex2(n)};
  }
  static std::vector<std::string> Seq(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  }

  static QListWidget* List(frmArrU* w) { return w->findChild<QListWidget*>("List1"); }
  static std::string Text(frmArrU* w, const char* box) {
    return w->findChild<QLineEdit*>(box)->text().toStdString();
  }
  static std::string ComboText(frmArrU* w) {
    return w->findChild<QComboBox*>("Combo1")->currentText().toStdString();
  }
  static bool On(frmArrU* w, const char* button) { return w->findChild<QPushButton*>(button)->isEnabled(); }
  static void Press(frmArrU* w, const char* button) { w->findChild<QPushButton*>(button)->click(); }
  // A left click on a line, as the user makes it.
  static void Click(frmArrU* w, int line) {
    QListWidget* list = List(w);
    list->scrollToItem(list->item(line));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(line)).center());
  }
};

TEST_F(FrmArrUTest, ListsTheFileAndItsCompanionsAndCallsUpWhatIsClicked) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Rock Song", 5, 0, 4)},
                                            {1, Rec("Own", 1, 1)},
                                            {9, Rec("Same", 5)},
                                            {10, Rec("Odd", 200)},
                                            {11, Rec("Odd own", 40, 1)}}));
  WriteBytes(ProgFile("song.sty"), StyFile({"Alpha", "Beta", "- empty -", "- empty -"}));
  WriteBytes(ProgFile("song.prg"), PrgFileBytes());
  std::string db = DBArrNewImage();
  MidAssign(db, kDBArrDirPos, PadRight(PathDir(ProgFile("song")), kDBArrDirLen));
  int rec = 0;
  ASSERT_EQ(DBArrLookup(db, "song", rec), DBArrFind::Absent);
  const int id = DBArrInsert(db, "song", rec);
  WriteBytes(WinFile("r40DBArr"), db);
  StartSettled();
  for (const char* item : {"mnuCaricaArr", "mnuCaricaSty", "mnuCaricaPrg"}) Tick(item, false);
  midi_->ClearRecords();

  frmArrU* w = Open("song");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(w->windowTitle().toStdString(), "File Arr - song.arr (1)");
  QListWidget* list = List(w);
  ASSERT_EQ(list->count(), 64);
  EXPECT_EQ(w->ListText(0), "11  Rock Song       ");
  EXPECT_EQ(w->ListText(1), "12 +Own             ");
  EXPECT_EQ(w->ListText(2), "13  ");
  EXPECT_EQ(w->ListText(7), "18  ");
  EXPECT_EQ(w->ListText(8), "21  ");
  EXPECT_EQ(w->ListText(63), "88  ");
  // The factory styles in use once each (none for a number beyond 127),
  // then the file's own styles.
  const std::string a16 = RTrim(gStyNames[5]) + " (A16)";
  std::vector<std::string> items;
  for (int i = 0; i < w->Combo1ListCount(); ++i) items.push_back(w->Combo1List(i));
  EXPECT_EQ(items, (std::vector<std::string>{a16, "Alpha (U11)", "Beta (U12)", "- empty - (U13)",
                                             "- empty - (U14)"}));
  EXPECT_EQ(ComboText(w), "");
  EXPECT_EQ(Text(w, "Text1"), Str(id));
  EXPECT_EQ(gArrSlots[1].DbId, id);
  for (const char* b : {"CommLoadArr", "CommLoadSty", "CommLoadPrg", "CommLoadAll"})
    EXPECT_TRUE(On(w, b)) << b;
  const std::string& tag = w->Tag();
  EXPECT_EQ(Asc(tag, 1), 19);
  EXPECT_EQ(Asc(tag, 9), 2);
  EXPECT_EQ(Asc(tag, 6), 1);
  EXPECT_EQ(Asc(tag, 15), 1);
  EXPECT_EQ(RTrim(Mid(tag, 21, 238)), ProgFile("song"));
  EXPECT_EQ(Mid(tag, 12143, 30480), PrgFileBytes());
  EXPECT_EQ(Mid(tag, 42623), StyFile({"Alpha", "Beta", "- empty -", "- empty -"}));
  EXPECT_EQ(gArrWinCount, 1);
  EXPECT_EQ(midi_->CallsNamed("midiOutShortMsg").size(), 0u);

  // With the Load options off, a click sends the call-up alone, and a
  // second click on the same line sends it again.
  Click(w, 0);
  Click(w, 0);
  EXPECT_EQ(Sent(), Seq({CallUp(0), CallUp(0)}));
  EXPECT_EQ(Text(w, "Text1"), Str(id) + " 11");
  EXPECT_EQ(Text(w, "Text2"), "User");
  EXPECT_EQ(ComboText(w), a16);

  midi_->ClearRecords();
  gInstrMode = 1;  // not in arrangement play: the mode goes first
  Click(w, 1);
  EXPECT_EQ(Sent(), Seq({{"arr"}, CallUp(1)}));
  EXPECT_EQ(Text(w, "Text2"), "Internal");
  EXPECT_EQ(ComboText(w), "Beta (U12)");
  EXPECT_EQ(Text(w, "Text1"), Str(id) + " 12");

  // Style numbers beyond the tables name nothing; an empty slot sends
  // nothing and leaves the box's items.
  Click(w, 10);
  EXPECT_EQ(ComboText(w), "");
  Click(w, 11);
  EXPECT_EQ(ComboText(w), "");
  midi_->ClearRecords();
  Click(w, 2);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Text(w, "Text1"), "");
  EXPECT_EQ(Text(w, "Text2"), "");
  EXPECT_EQ(ComboText(w), "");
  EXPECT_EQ(w->Combo1ListCount(), 5);
  // The right button selects nothing and calls nothing up.
  QListWidget* lines = List(w);
  QTest::mouseClick(lines->viewport(), Qt::RightButton, {}, lines->visualItemRect(lines->item(0)).center());
  EXPECT_EQ(w->ListIndex(), 2);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(FrmArrUTest, CompanionFilesDecideTheButtons) {
  struct Case {
    const char* what;
    bool used, sty;
    std::string prg, pgg;
    bool loadSty, loadPrg, loadAll;
    int pos9, pos6, pos19;
  };
  const std::string bad = Left(PrgFileBytes(), 1000);
  const std::vector<Case> cases = {
      {"no companions", true, false, "", "", false, false, true, 1, 0, 0},
      {"nothing used", false, false, "", "", false, false, false, 1, 0, 0},
      {"a .prg", true, false, PrgFileBytes(), "", false, true, true, 1, 1, 0},
      {"bad .prg, good .pgg", true, false, bad, PrgFileBytes(true), false, true, true, 1, 1, 1},
      {"bad .prg and .pgg", true, true, bad, bad, true, false, true, 2, 0, 0},
  };
  StartSettled();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* ext : {".sty", ".prg", ".pgg"})
      QFile::remove(QString::fromStdString(ProgFile("f" + std::string(ext))));
    WriteBytes(ProgFile("f.arr"), c.used ? ArrFile({{3, Rec("X", 7)}}) : ArrFile({}));
    if (c.sty) WriteBytes(ProgFile("f.sty"), StyFile({"A", "B", "C", "D"}));
    if (!c.prg.empty()) WriteBytes(ProgFile("f.prg"), c.prg);
    if (!c.pgg.empty()) WriteBytes(ProgFile("f.pgg"), c.pgg);
    dialogs_.Clear();
    frmArrU* w = Open("f");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(On(w, "CommLoadArr"), c.used);
    EXPECT_EQ(On(w, "CommLoadSty"), c.loadSty);
    EXPECT_EQ(On(w, "CommLoadPrg"), c.loadPrg);
    EXPECT_EQ(On(w, "CommLoadAll"), c.loadAll);
    EXPECT_EQ(Asc(w->Tag(), 9), c.pos9);
    EXPECT_EQ(Asc(w->Tag(), 6), c.pos6);
    EXPECT_EQ(Asc(w->Tag(), 19), c.pos19);
    if (c.pos9 == 1) {
      EXPECT_EQ(Mid(w->Tag(), 42623), gStyTemplate);
    }
    if (c.pos19 == 1) {
      EXPECT_EQ(Mid(w->Tag(), 12143, 30480), c.pgg);
    }
    // A badly formed program file is reported by its reader.
    const std::vector<std::string> texts = BoxTexts();
    const auto formatErrors = std::count(texts.begin(), texts.end(), "Data format error");
    EXPECT_EQ(formatErrors, (c.prg == bad ? 1 : 0) + (c.pgg == bad ? 1 : 0));
    w->close();
    Settle(0);
  }
}

TEST_F(FrmArrUTest, AnUnusableStyleFileIsReportedAndNeverWrittenOver) {
  std::string wrongHeader = StyFile({"A", "B", "C", "D"});
  MidAssign(wrongHeader, 1, "XORG");
  std::string tooLong = StyFile({"A", "B", "C", "D"});
  PutU16LE(tooLong, 25, 5000);  // slot 0 claims more than the file holds
  struct Case {
    const char* what;
    std::string bytes;
    bool readFault;
  };
  const std::vector<Case> cases = {{"wrong header", wrongHeader, false},
                                   {"shorter than its header", Left(StyFile({"A"}), 100), false},
                                   {"lengths beyond its data", tooLong, false},
                                   {"read error", StyFile({"A", "B", "C", "D"}), true}};
  StartSettled();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 0, 1)}}));
    WriteBytes(ProgFile("song.sty"), c.bytes);
    dialogs_.Clear();
    frmArrU* w = nullptr;
    {
      FaultHook fault([&](const std::string& op, const std::string& path, int) {
        return c.readFault && op == "get" && Right(path, 4) == ".sty" ? 57 : 0;
      });
      w = Open("song");
    }
    ASSERT_NE(w, nullptr);
    ASSERT_FALSE(dialogs_.boxes.empty());
    EXPECT_EQ(dialogs_.boxes.back().text, "Error reading song.sty");
    EXPECT_EQ(dialogs_.boxes.back().title, "File Arr - song.arr (1)");
    EXPECT_EQ(Asc(w->Tag(), 9), 0);
    EXPECT_EQ(Mid(w->Tag(), 42623), gStyTemplate);
    EXPECT_FALSE(On(w, "CommLoadSty"));
    // Saved on closing: the arrangement file is written, the style file
    // stays as it was.
    MidAssign(*w->MutableTag(), 4, Chr(1));
    MidAssign(*w->MutableTag(), 303 + 5, "Z");
    dialogs_.boxAnswers = {kMsgYes};
    EXPECT_TRUE(w->close());
    Settle(0);
    EXPECT_EQ(Asc(ReadBytes(ProgFile("song.arr")), 33 + 5), 'Z');
    EXPECT_EQ(ReadBytes(ProgFile("song.sty")), c.bytes);
  }
}

TEST_F(FrmArrUTest, UntickedOptionsAndUnreadStylesSendOnlyTheCallUp) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{4, Rec("Own", 2, 1)}}));  // no song.sty
  WriteInfo("other", "other", "other");
  StartSettled();
  frmArrU* w = Open("song");
  midi_->ClearRecords();
  // Load Arrangement off: the stale name of another file sends nothing.
  gSentArrName = "other";
  Click(w, 4);
  EXPECT_EQ(Sent(), CallUp(4));
  // Load Style on, but the window holds no style file of its own.
  Tick("mnuCaricaSty", true);
  midi_->ClearRecords();
  Click(w, 4);
  EXPECT_EQ(Sent(), CallUp(4));
  EXPECT_EQ(ComboText(w), "- empty - (U13)");  // the template's slot
  EXPECT_EQ(InfoField(101), "other");
}

TEST_F(FrmArrUTest, AClickFirstSendsTheBankThenTheStylesBankByBank) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}, {2, Rec("Own", 0, 1)}}));
  WriteBytes(ProgFile("song.sty"),
             StyFile({"A1", "A2", "A3", "A4", "B1", "- empty -", "- empty -", "- empty -"}));
  WriteInfo("other", "other", "");
  StartSettled();
  Tick("mnuCaricaArr", true);
  Tick("mnuCaricaSty", true);
  frmArrU* w = Open("song");
  midi_->ClearRecords();
  const qint64 start = QDateTime::currentMSecsSinceEpoch();
  Click(w, 2);
  EXPECT_EQ(Status(), "Loading Arrangement");
  EXPECT_TRUE(Sent().empty());  // the bank waits for its timer
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() >= 3 + 2 + 3 + 3; }));
  // Each style bank has its second to settle before anything follows it.
  EXPECT_GE(QDateTime::currentMSecsSinceEpoch() - start, 2000);
  // Song play and arrangement play, the bank, each style bank, the call-up
  // that the end of the styles makes, and then the click's own.
  EXPECT_EQ(Sent(), Seq({{"song", "arr", "bank", "sty", "sty"}, CallUp(2), CallUp(2)}));
  EXPECT_EQ(InfoField(51), "song");
  EXPECT_EQ(InfoField(101), "song");
  EXPECT_EQ(main_->Label("LabelArr")->text().toStdString(), "song.arr");
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(ComboText(w), "A1 (U11)");

  // The instrument now holds both: a click sends the call-up alone, also
  // for an arrangement of a factory style.
  midi_->ClearRecords();
  Click(w, 2);
  Click(w, 0);
  Settle(30);
  EXPECT_EQ(Sent(), Seq({CallUp(2), CallUp(0)}));
}

TEST_F(FrmArrUTest, StyleBanksReachTheWireTheirDelayApartAndTheStatusStaysUntilTheLastByte) {
  // The real clock: each bank of four long styles takes about 1.2 s on the
  // wire, longer than the second the instrument gets after each bank.
  midi_ = &VirtualMidi::Install(1, 1, true);
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 0, 1)}}));
  WriteBytes(ProgFile("song.sty"), StyFile({"A1", "A2", "A3", "A4", "B1", "B2", "B3", "B4"}, 700));
  WriteInfo("", "", "");
  StartSettled();
  frmArrU* w = Open("song");
  midi_->ClearRecords();
  Press(w, "CommLoadSty");
  EXPECT_EQ(Status(), "Loading Style");
  int64_t clearedUs = -1;
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (Status().empty()) clearedUs = midi_->NowUs();
        return clearedUs >= 0;
      },
      15000));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"sty", "sty"}));

  // The chunks of each bank, by the F0 that begins it.
  const std::vector<VirtualMidi::WireChunk> wire = midi_->Wire();
  size_t second = 0;
  for (size_t i = 1; i < wire.size(); ++i)
    if (Asc(wire[i].bytes, 1) == 0xF0) second = i;
  ASSERT_GT(second, 0u);
  EXPECT_GE(wire[second].startUs - wire[second - 1].endUs, 1000000);
  EXPECT_GE(clearedUs, wire.back().endUs);
  EXPECT_EQ(InfoField(101), "song");
}

TEST_F(FrmArrUTest, AnOpenByIdSendsWhatTheInstrumentLacksThenCallsUp) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}, {3, Rec("Both", 1, 1, 2)}}));
  WriteBytes(ProgFile("song.sty"), StyFile({"A1", "A2", "A3", "A4"}));
  WriteBytes(ProgFile("song.prg"), PrgFileBytes());
  WriteInfo("other", "other", "other");
  StartSettled();
  for (const char* item : {"mnuCaricaArr", "mnuCaricaSty", "mnuCaricaPrg"}) Tick(item, true);
  midi_->ClearRecords();
  gArrSelectPending = true;
  gArrSelectIdx = 3;
  frmArrU* w = Open("song");
  EXPECT_EQ(w->ListIndex(), 3);
  EXPECT_TRUE(Sent().empty());
  ASSERT_TRUE(WaitUntil([&] { return !gArrSelectPending; }));
  EXPECT_EQ(Sent(), Seq({{"song", "arr", "bank", "sty"}, CallUp(3), {"prg"}, CallUp(3)}));
  EXPECT_EQ(InfoField(51), "song");
  EXPECT_EQ(InfoField(101), "song");
  EXPECT_EQ(InfoField(151), "song");
  EXPECT_EQ(main_->Label("LabelPrg")->text().toStdString(), "song.prg");
  EXPECT_EQ(Text(w, "Text2"), "User");
  EXPECT_EQ(w->findChild<QObject*>("TimerFindID")->property("interval").toInt(), 10);

  // Everything is held now: a second open by ID of the same file calls up
  // at once.
  w->close();
  Settle(0);
  midi_->ClearRecords();
  gArrSelectPending = true;
  Open("song");
  ASSERT_TRUE(WaitUntil([&] { return !gArrSelectPending; }));
  Settle(30);
  EXPECT_EQ(Sent(), CallUp(3));
}

TEST_F(FrmArrUTest, AProgramFileThatCannotBeLoadedStillEndsTheFindChain) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{5, Rec("Prog", 1, 0, 0)}}));  // no program file
  WriteInfo("song", "", "");
  StartSettled();
  Tick("mnuCaricaPrg", true);
  midi_->ClearRecords();
  gArrSelectPending = true;
  gArrSelectIdx = 5;
  frmArrU* w = Open("song");
  ASSERT_TRUE(WaitUntil([&] { return !gArrSelectPending; }));
  EXPECT_EQ(Sent(), CallUp(5));
  EXPECT_EQ(w->findChild<QObject*>("TimerLoadPrg")->property("interval").toInt(), 10);
  EXPECT_FALSE(On(w, "CommLoadPrg"));
}

TEST_F(FrmArrUTest, LoadAllSendsBankStylesAndProgramsWithoutModeChanges) {
  // A .pgg companion: its reference records go out as zeros.
  std::string pgg = PrgFileBytes(true);
  MidAssign(pgg, 49, Chr(1));            // program 0 is a reference
  MidAssign(pgg, 49 + 172 * 2, Chr(5));  // program 2 is not
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  WriteBytes(ProgFile("song.sty"), StyFile({"A1", "A2", "A3", "A4"}));
  WriteBytes(ProgFile("song.pgg"), pgg);
  WriteInfo("", "", "");
  StartSettled();
  frmArrU* w = Open("song");
  midi_->ClearRecords();
  Press(w, "CommLoadAll");
  EXPECT_EQ(Status(), "Loading Arrangement");
  auto* loadAll = w->findChild<QObject*>("TimerLoadAll");
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 3 && loadAll->property("interval").toInt() == 10; }));
  Settle(30);
  // No line is selected: the end of the styles calls nothing up.
  EXPECT_EQ(Sent(), (std::vector<std::string>{"bank", "sty", "prg"}));
  std::string data = pgg.substr(48, 11008) + pgg.substr(23096, 2104);
  MidAssign(data, 1, Nuls(20));
  EXPECT_EQ(midi_->CallsNamed("midiOutLongMsg").back().bytes,
            SysExHeader() + Chr(0x4C) + Pack8to7(data) + Chr(0xF7));
  EXPECT_EQ(InfoField(151), "song");
  EXPECT_EQ(main_->Label("LabelPrg")->text().toStdString(), "song.pgg");
  EXPECT_FALSE(gLoadAllStyStep);
  EXPECT_EQ(Status(), "");
}

TEST_F(FrmArrUTest, LoadAllWithoutStylesGoesOnToThePrograms) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  WriteBytes(ProgFile("song.sty"), StyFile(std::vector<std::string>(16, "- empty -")));  // no bank in use
  WriteBytes(ProgFile("song.prg"), PrgFileBytes());
  WriteInfo("", "", "");
  StartSettled();
  frmArrU* w = Open("song");
  midi_->ClearRecords();
  main_->MdiArea()->setActiveSubWindow(w);
  main_->Item("mnuLoadAll")->trigger();  // the Edit menu's relay
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 2; }, 2000));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"bank", "prg"}));
  EXPECT_EQ(InfoField(101), "");
}

// With MIDI off nothing reaches the instrument, so neither Load All nor a
// click with the Load options records a file as held: the status bar and
// the info file keep what they named. Started again with the instrument
// plugged in, the click sends what it lacks.
TEST_F(FrmArrUTest, WithMidiOffNothingIsRecordedAsHeldAndTheNextStartSendsIt) {
  WriteBytes(ProgFile("band.arr"), ArrFile({{0, Rec("Plain", 3)}, {2, Rec("Own", 0, 1)}}));
  WriteBytes(ProgFile("band.sty"), StyFile({"A1", "A2", "A3", "A4"}));
  WriteBytes(ProgFile("band.prg"), PrgFileBytes());
  WriteInfo("other", "other", "other");
  const std::string info = ReadBytes(WinFile("TessaroInfo"));
  midi_->SetDeviceCounts(0, 0);
  StartSettled();
  const std::vector<std::string> boxes = BoxTexts();
  EXPECT_NE(std::find(boxes.begin(), boxes.end(), "Output MIDI Device not found"), boxes.end());
  auto labels = [&] {
    std::vector<std::string> out;
    for (const char* l : {"LabelArr", "LabelSty", "LabelPrg"}) out.push_back(main_->Label(l)->text().toStdString());
    return out;
  };
  const std::vector<std::string> shown = labels();
  ASSERT_EQ(shown[0], "other.arr");

  frmArrU* w = Open("band");
  midi_->ClearRecords();
  Press(w, "CommLoadAll");
  auto* loadAll = w->findChild<QObject*>("TimerLoadAll");
  auto* loadPrg = w->findChild<QObject*>("TimerLoadPrg");
  ASSERT_TRUE(WaitUntil([&] {
    return loadAll->property("interval").toInt() == 10 && loadPrg->property("interval").toInt() == 10 &&
           Status().empty();
  }));
  Settle(30);
  EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")), info);
  EXPECT_EQ(labels(), shown);

  for (const char* item : {"mnuCaricaArr", "mnuCaricaSty", "mnuCaricaPrg"}) Tick(item, true);
  Click(w, 2);
  ASSERT_TRUE(WaitUntil([&] {
    return w->findChild<QObject*>("TimerList1")->property("interval").toInt() == 10 && Status().empty();
  }));
  Settle(30);
  EXPECT_EQ(ReadBytes(WinFile("TessaroInfo")), info);
  EXPECT_EQ(labels(), shown);
  EXPECT_TRUE(midi_->Calls().empty());

  // The next start, with the interface plugged in: the click finds the
  // bank and the styles missing and sends them first.
  w->close();
  Settle(0);
  main_->Item("mnuExit")->trigger();
  ASSERT_FALSE(main_->ExitRefused());
  delete main_;
  main_ = nullptr;
  ResetProgramState();
  midi_ = &VirtualMidi::Install(1, 1);
  StartSettled();
  EXPECT_EQ(labels(), shown);
  w = Open("band");
  midi_->ClearRecords();
  Click(w, 2);
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() >= 3 + 1 + 3 + 3; }));
  Settle(30);
  EXPECT_EQ(Sent(), Seq({{"song", "arr", "bank", "sty"}, CallUp(2), CallUp(2)}));
  EXPECT_EQ(InfoField(51), "band");
  EXPECT_EQ(InfoField(101), "band");
  EXPECT_EQ(main_->Label("LabelArr")->text().toStdString(), "band.arr");
}

// A file is recorded as held only when each of its dumps was handed to the
// output without error. A send that fails on the wire is answered by the
// next call: for a file of several dumps, the next dump of that file.
TEST_F(FrmArrUTest, LoadAllRecordsOnlyTheFilesWhoseEveryDumpWasHandedOver) {
  WriteBytes(ProgFile("band.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  WriteBytes(ProgFile("band.sty"), StyFile({"A1", "A2", "A3", "A4", "B1", "B2", "B3", "B4"}));
  WriteBytes(ProgFile("band.prg"), PrgFileBytes());
  StartSettled();
  frmArrU* w = Open("band");
  auto* loadAll = w->findChild<QObject*>("TimerLoadAll");
  auto* loadPrg = w->findChild<QObject*>("TimerLoadPrg");
  struct Case {
    const char* what;
    int failing;  // the long message (1 bank, 2 and 3 the style banks, 4 programs) that fails
    bool onWire;  // it is handed over, then its port goes away while it is on the wire
    bool arr, sty, prg;  // recorded as held
  };
  const Case cases[] = {{"every send answers 0", 0, false, true, true, true},
                        {"the bank's send fails", 1, false, false, true, true},
                        {"the second style bank's send fails", 3, false, true, false, true},
                        {"the programs' send fails", 4, false, true, true, false},
                        {"the first style bank is lost on the wire", 2, true, true, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteInfo("other", "other", "other");
    midi_->ClearRecords();
    dialogs_.Clear();
    int longMessages = 0;
    bool unplugged = false;
    midi_->SetCallHook([&](const std::string& call) {
      if (unplugged && call == "midiOutPrepareHeader") {
        midi_->SetDeviceCounts(1, 1);  // plugged in again before the next dump
        unplugged = false;
      }
      if (call != "midiOutLongMsg" || ++longMessages != c.failing) return;
      if (c.onWire) {
        midi_->SetDeviceCounts(0, 1);
        unplugged = true;
      } else {
        midi_->SetResult("midiOutLongMsg", MMSYSERR_ERROR);
      }
    });
    Press(w, "CommLoadAll");
    ASSERT_TRUE(WaitUntil([&] {
      return midi_->CallsNamed("midiOutLongMsg").size() == 4 && loadAll->property("interval").toInt() == 10 &&
             loadPrg->property("interval").toInt() == 10 && Status().empty();
    }));
    Settle(30);
    midi_->SetCallHook(nullptr);
    EXPECT_EQ(!dialogs_.boxes.empty(), c.failing != 0);  // the failure was reported
    EXPECT_EQ(InfoField(51), c.arr ? "band" : "other");
    EXPECT_EQ(InfoField(101), c.sty ? "band" : "other");
    EXPECT_EQ(InfoField(151), c.prg ? "band" : "other");
  }
}

TEST_F(FrmArrUTest, AnAutomaticDatabaseAddShowsTheNewIdInTheWindow) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  StartSettled();
  Tick("mnuAddi40DBArr", true);
  dialogs_.boxAnswers.push_back(kMsgYes);  // the opened file's folder becomes the database's
  frmArrU* w = Open("song");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Text(w, "Text1"), " 3");
  EXPECT_EQ(gArrSlots[gArrSlotIdx].DbId, 3);
}

TEST_F(FrmArrUTest, LoadAllNeverSendsTheEmptyTemplateStyles) {
  // No style file: the template stands in and must not overwrite the
  // instrument's user styles.
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  WriteBytes(ProgFile("song.prg"), PrgFileBytes());
  WriteInfo("", "", "");
  StartSettled();
  frmArrU* w = Open("song");
  ASSERT_NE(Asc(w->Tag(), 9), 2);
  midi_->ClearRecords();
  w->CommLoadAll_Click();
  ASSERT_TRUE(WaitUntil([&] { return Sent().size() == 2; }, 2000));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"bank", "prg"}));
  EXPECT_EQ(InfoField(101), "");
}

TEST_F(FrmArrUTest, ClosingMidChainDropsItsStepsAndReleasesTheSelection) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  WriteInfo("other", "", "");
  StartSettled();
  Tick("mnuCaricaArr", true);
  midi_->ClearRecords();
  gArrSelectPending = true;
  gArrSelectIdx = 0;
  frmArrU* w = Open("song");
  w->CommLoadAll_Click();  // its first phase: the bank waits for the timer
  EXPECT_EQ(Status(), "Loading Arrangement");
  w->close();
  Settle(100);
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(gArrSelectPending);
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(gArrUForms[1], nullptr);
}

TEST_F(FrmArrUTest, TheClosePromptSavesDiscardsOrKeepsTheWindow) {
  struct Case {
    int answer;
    bool failSave;
    bool closes;
    bool saved;
  };
  const std::vector<Case> cases = {{kMsgYes, false, true, true},
                                   {kMsgNo, false, true, false},
                                   {kMsgCancel, false, false, false},
                                   {kMsgYes, true, false, false}};
  StartSettled();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer * 10 + c.failSave);
    const std::string file = ArrFile({{0, Rec("Plain", 3)}});
    WriteBytes(ProgFile("song.arr"), file);
    frmArrU* w = Open("song");
    w->move(3000, -3000);  // beyond the 16 bits of the record
    std::string* tag = w->MutableTag();
    MidAssign(*tag, 4, Chr(1));
    MidAssign(*tag, 303, "Q");
    EXPECT_EQ(CloseAnswering(w, c.answer, c.failSave), c.closes);
    ASSERT_GE(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, "File Arr - song.arr (1)");
    EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(Asc(ReadBytes(ProgFile("song.arr")), 33), c.saved ? 'Q' : 'P');
    if (c.closes) {
      EXPECT_EQ(gArrUForms[1], nullptr);
      EXPECT_EQ(gArrSlotUsed[1], 0);
      EXPECT_EQ(gArrSlots[1].Open, 0);
      EXPECT_EQ(gArrSlots[1].Left, 32767);
      EXPECT_EQ(gArrSlots[1].Top, -32768);
      EXPECT_EQ(gArrWinCount, 0);
      EXPECT_TRUE(Enabled("mnuApriArr"));
    } else {
      EXPECT_EQ(gArrUForms[1], w);
      EXPECT_NE(Asc(w->Tag(), 4), 0);
      // Discard it for the next case.
      MidAssign(*w->MutableTag(), 4, Chr(0));
      w->close();
      Settle(0);
    }
  }
}

TEST_F(FrmArrUTest, AFailedSaveOrCancelInTheClosePromptStopsTheExit) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  StartSettled();
  frmArrU* w = Open("song");
  MidAssign(*w->MutableTag(), 4, Chr(1));
  for (int attempt = 0; attempt < 2; ++attempt) {
    dialogs_.boxAnswers = {attempt == 0 ? kMsgCancel : kMsgYes};
    FaultHook fault(FailOp("write", 61));
    main_->Item("mnuExit")->trigger();
    EXPECT_TRUE(main_->ExitRefused());
    EXPECT_EQ(gArrUForms[1], w);
    EXPECT_EQ(gArrSlots[1].Open, 1);
    EXPECT_FALSE(gClosing);
  }
  // Saved at last: the exit goes through and keeps the window for the next
  // start.
  dialogs_.boxAnswers = {kMsgYes};
  main_->Item("mnuExit")->trigger();
  EXPECT_FALSE(main_->ExitRefused());
  EXPECT_EQ(gArrSlots[1].Open, 1);
}

TEST_F(FrmArrUTest, TheRestoreReopensWindowsWhereTheyWere) {
  WriteBytes(ProgFile("a3.arr"), ArrFile({{0, Rec("Three", 3)}}));
  WriteBytes(ProgFile("a6.arr"), ArrFile({{0, Rec("Six", 3)}}));
  SettingsImage s = SettingsImage::Valid(2);
  auto slot = [&](int rec, const std::string& path, int top, int left, int height, int width) {
    s.Text(rec, 1, PadRight(path, 238));
    s.Byte(rec, 241, 1);
    s.Position(rec, 243, top);
    s.Position(rec, 245, left);
    s.U16(rec, 239, height);
    s.U16(rec, 249, width);
  };
  slot(23, ProgFile("a3"), 300, 600, 3000, 6000);
  slot(26, ProgFile("a6"), 900, 1200, 3600, 7500);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  StartSettled();
  ASSERT_TRUE(WaitUntil([] { return gArrUForms[1] && gArrUForms[2]; }, 1000));
  const int tpp = TwipsPerPixel();
  frmArrU* first = gArrUForms[1];
  frmArrU* second = gArrUForms[2];
  EXPECT_EQ(first->windowTitle().toStdString(), "File Arr - a3.arr (1)");
  EXPECT_EQ(second->windowTitle().toStdString(), "File Arr - a6.arr (2)");
  EXPECT_NEAR(first->TopTwips(), 300, tpp);
  EXPECT_NEAR(first->LeftTwips(), 600, tpp);
  EXPECT_NEAR(first->HeightTwips(), 3000, tpp);
  EXPECT_NEAR(first->WidthTwips(), 6000, tpp);
  EXPECT_NEAR(second->TopTwips(), 900, tpp);
  EXPECT_NEAR(second->WidthTwips(), 7500, tpp);
  EXPECT_EQ(RTrim(gArrSlots[2].Path), ProgFile("a6"));
  EXPECT_EQ(gArrSlots[6].Open, 0);
  EXPECT_EQ(gArrWinCount, 2);
  EXPECT_EQ(first->ListText(0), "11  Three           ");
}

TEST_F(FrmArrUTest, AnOpenRecordOfAnotherFileIsNotTaken) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  StartSettled();
  gArrSlots[1].Open = 1;
  gArrSlots[1].Path = PadRight("/elsewhere/old", 238);
  gArrSlots[1].Top = 500;
  gArrSlots[1].Height = 2000;
  frmArrU* w = Open("song");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(RTrim(Mid(w->Tag(), 21, 238)), ProgFile("song"));
  EXPECT_EQ(RTrim(gArrSlots[1].Path), ProgFile("song"));
  EXPECT_EQ(gArrSlots[1].Top, 0);
  EXPECT_NEAR(gArrSlots[1].Height, gArrUBigHeight, TwipsPerPixel());
  EXPECT_NEAR(gArrSlots[1].Width, gArrUBigWidth, TwipsPerPixel());
  EXPECT_NEAR(w->HeightTwips(), gArrUBigHeight, TwipsPerPixel());
}

TEST_F(FrmArrUTest, TheEditRecordIsStoredIntoItsWindowBySlot) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}, {1, Rec("Other", 4)}}));
  StartSettled();
  frmArrU* w = Open("song");
  ArrEditBufBuild(w->Tag(), 1);
  MidAssign(gArrEditBuf, 1, "Changed   ");
  gArrModified = true;
  EXPECT_EQ(ArrEditBufStore(), 0);
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(1), 10), "Changed   ");
  EXPECT_EQ(Asc(w->Tag(), 4), 1);
  EXPECT_FALSE(gArrModified);

  // Once the window is closed no window holds the record any more.
  dialogs_.boxAnswers = {kMsgNo};
  w->close();
  Settle(0);
  gArrModified = true;
  EXPECT_EQ(ArrEditBufStore(), 1);
  EXPECT_TRUE(gArrModified);
}

TEST_F(FrmArrUTest, DeleteInAReadOnlyFileIsRefused) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  StartSettled();
  FileDialogResult answer;
  answer.accepted = true;
  answer.readOnly = true;
  answer.fileName = ProgFile("song.arr");
  dialogs_.fileAnswers.push_back(answer);
  main_->mnuApriArr_Click();
  frmArrU* w = gArrUForms[1];
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Asc(w->Tag(), 2), 1);
  EXPECT_EQ(w->windowTitle().toStdString(), WinCaption(w->Tag()));
  Click(w, 0);
  QTest::keyClick(List(w), Qt::Key_Delete);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Read only file");
  EXPECT_EQ(w->ListText(0), "11  Plain           ");
}

// A recent file reopens from its menu item, whether the list came from the
// last run or from File > Open Arr in this one; one that was deleted says
// so and opens nothing.
TEST_F(FrmArrUTest, RecentFilesReopenFromTheMenu) {
  SettingsImage s = SettingsImage::Valid(2);
  s.Text(39, 1, PadRight(ProgFile("gone"), 238));
  s.Byte(39, 242, 1);
  s.Text(40, 1, PadRight(ProgFile("song"), 238));
  s.Byte(40, 242, 1);
  WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Rock", 5)}}));
  WriteBytes(ProgFile("other.arr"), ArrFile({{0, Rec("Jazz", 6)}}));
  StartSettled();
  EXPECT_TRUE(Enabled("mnuRecentFile_0"));
  EXPECT_TRUE(Enabled("mnuRecentFile_1"));
  EXPECT_FALSE(main_->Item("mnuRecentFile_2")->isVisible());

  main_->Item("mnuRecentFile_0")->trigger();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File not found"});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Opening gone.arr"});
  EXPECT_TRUE(main_->MdiArea()->subWindowList().isEmpty());
  EXPECT_EQ(gArrSlotUsed[1], 0);

  main_->Item("mnuRecentFile_1")->trigger();
  ASSERT_NE(gArrUForms[1], nullptr);
  EXPECT_EQ(gArrUForms[1]->windowTitle().toStdString(), "File Arr - song.arr (1)");

  // Opened in this run: its new entry works at once.
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("other.arr");
  dialogs_.fileAnswers.push_back(answer);
  main_->Item("mnuApriArr")->trigger();
  ASSERT_NE(gArrUForms[2], nullptr);
  ASSERT_TRUE(main_->Item("mnuRecentFile_2")->isVisible());
  EXPECT_TRUE(Enabled("mnuRecentFile_2"));
  gArrUForms[2]->close();
  Settle(0);
  ASSERT_EQ(gArrUForms[2], nullptr);
  main_->Item("mnuRecentFile_2")->trigger();
  ASSERT_NE(gArrUForms[2], nullptr);
  EXPECT_EQ(List(gArrUForms[2])->item(0)->text().toStdString().substr(0, 8), "11  Jazz");
  EXPECT_EQ(dialogs_.boxes.size(), 1u);
}

// What is not an arrangement file is refused as a missing one and left
// exactly as it was; nothing blocks on a pipe without a writer.
TEST_F(FrmArrUTest, OpenRefusesWhatIsNotAFileAndLeavesItAsItWas) {
  WriteBytes(ProgFile("empty.arr"), "");
  ASSERT_EQ(::symlink(ProgFile("empty.arr").c_str(), ProgFile("link.arr").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/null", ProgFile("device.arr").c_str()), 0);
  ASSERT_EQ(::mkfifo(ProgFile("pipe.arr").c_str(), 0644), 0);
  ASSERT_EQ(MakeDirs(ProgFile("folder.arr")), 0);
  StartSettled();
  for (const char* name : {"empty.arr", "link.arr", "device.arr", "pipe.arr", "folder.arr"}) {
    SCOPED_TRACE(name);
    struct stat before {};
    ASSERT_EQ(::lstat(ProgFile(name).c_str(), &before), 0);
    dialogs_.Clear();
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = ProgFile(name);
    dialogs_.fileAnswers.push_back(answer);
    main_->Item("mnuApriArr")->trigger();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"File not found"});
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{std::string("Opening ") + name});
    EXPECT_TRUE(main_->MdiArea()->subWindowList().isEmpty());
    struct stat after {};
    ASSERT_EQ(::lstat(ProgFile(name).c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
  }
  EXPECT_EQ(ReadBytes(ProgFile("empty.arr")), "");
}

// File > Save writes the arrangement file and its style file together:
// through a link to the real file, into a file with a second hard link, with
// the file's permission bits; a failure between the two, or a full disk,
// leaves both old files whole and says which one failed.
TEST_F(FrmArrUTest, SaveWritesTheFileAndItsStylesTogether) {
  const std::string oldArr = ArrFile({{0, Rec("Plain", 3)}});
  const std::string oldSty = StyFile({"Alpha", "Beta", "Gamma", "Delta"});
  ASSERT_EQ(MakeDirs(ProgFile("real")), 0);
  WriteBytes(ProgFile("real/song.arr"), oldArr);
  ASSERT_EQ(::chmod(ProgFile("real/song.arr").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("real/song.arr", ProgFile("song.arr").c_str()), 0);
  WriteBytes(ProgFile("song.sty"), oldSty);
  ASSERT_EQ(::link(ProgFile("song.sty").c_str(), ProgFile("styles-too.sty").c_str()), 0);
  StartSettled();
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("song.arr");
  dialogs_.fileAnswers.push_back(answer);
  main_->Item("mnuApriArr")->trigger();
  frmArrU* w = gArrUForms[1];
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(Asc(w->Tag(), 9), 2);  // the style file is written with it
  std::string* tag = w->MutableTag();
  MidAssign(*tag, 303, "Q");                // the first arrangement's name
  MidAssign(*tag, 42623 + 224, "Epsilon");  // the first style's name
  MidAssign(*tag, 4, Chr(1));
  MidAssign(*tag, 10, Chr(1));  // the styles changed

  const struct {
    const char* label;
    FaultHook::Fault fault;
    const char* reason;
    MsgButtons buttons;
  } failures[] = {
      {"between the two", [](const std::string& op, const std::string&, int n) { return op == "rename" && n == 2 ? 57 : 0; },
       "Error I/O device", MsgButtons::OK},
      {"full disk", [](const std::string& op, const std::string& path, int) {
         return op == "write" && Right(path, 4) == ".sty" ? 61 : 0;
       },
       "Disk full", MsgButtons::RetryCancel},  // answered Cancel
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.label);
    dialogs_.Clear();
    dialogs_.boxAnswers = {kMsgCancel};
    {
      FaultHook hook(f.fault);
      main_->Item("mnuSalva")->trigger();
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot write " + ProgFile("song.sty") + "\r\n" + f.reason});
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Saving song.sty"});
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].buttons, f.buttons);
    EXPECT_EQ(ReadBytes(ProgFile("real/song.arr")), oldArr);
    EXPECT_EQ(ReadBytes(ProgFile("song.sty")), oldSty);
    EXPECT_EQ(Asc(w->Tag(), 4), 1);  // still modified
  }

  dialogs_.Clear();
  main_->Item("mnuSalva")->trigger();
  EXPECT_TRUE(dialogs_.boxes.empty());
  struct stat st {};
  ASSERT_EQ(::lstat(ProgFile("song.arr").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(Asc(ReadBytes(ProgFile("real/song.arr")), 33), 'Q');
  ASSERT_EQ(::stat(ProgFile("real/song.arr").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Mid(ReadBytes(ProgFile("styles-too.sty")), 225, 7), "Epsilon");
  EXPECT_EQ(ReadBytes(ProgFile("styles-too.sty")), ReadBytes(ProgFile("song.sty")));
  EXPECT_EQ(Asc(w->Tag(), 4), 0);
  // Nothing is left beside the files.
  EXPECT_TRUE(QDir(progDir_->path()).entryList({".*~brv*"}, QDir::Files | QDir::Hidden).isEmpty());
  EXPECT_TRUE(QDir(progDir_->path() + "/real").entryList({".*~brv*"}, QDir::Files | QDir::Hidden).isEmpty());
}

// A refill of the style box selects nothing of its own: with no arrangement
// selected it shows nothing, and with one whose style has no item of the
// box it shows nothing either.
TEST_F(FrmArrUTest, TheStyleBoxRefillSelectsOnlyTheSelectedArrangementsStyle) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Factory", 5)}, {1, Rec("Own", 1, 1)}, {2, Rec("Lost", 7, 1)}}));
  WriteBytes(ProgFile("song.sty"), StyFile({"Alpha", "Beta", "- empty -", "- empty -"}));
  StartSettled();
  frmArrU* w = Open("song");
  ASSERT_NE(w, nullptr);
  auto* combo = w->findChild<QComboBox*>("Combo1");
  struct Case {
    int line;  // -1: no line selected
    int index;
    std::string text;
  };
  const std::string factory = RTrim(gStyNames[5]);
  const std::vector<Case> cases = {{-1, -1, ""}, {2, -1, ""}, {0, -1, factory}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    List(w)->clearSelection();
    if (c.line >= 0) List(w)->item(c.line)->setSelected(true);
    StyListFill(w->Tag());
    EXPECT_GE(combo->count(), 3);
    EXPECT_EQ(ComboText(w), c.text);
    if (c.line < 0 || c.line == 2) {
      EXPECT_EQ(combo->currentIndex(), -1);
    } else {
      EXPECT_EQ(combo->itemText(combo->currentIndex()).toStdString(), factory);
    }
  }
}
