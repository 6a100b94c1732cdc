// Copy, Cut and Paste of arrangements, programs and styles between the
// document and bank windows, through the Edit menu, the right-click menu
// and the Delete key: the clipboard and the entry tables, the documents'
// bytes, the lines and boxes shown, the buttons, the messages, and the
// group shared by an arrangement window and the style window it opened.
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/arrrec.h"
#include "app/clipedit.h"
#include "app/listbuild.h"
#include "app/nametables.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "files/styfile.h"
#include "files/stygrp.h"
#include "services/messages.h"
#include "services/paths.h"
#include "platform/files.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarrnew.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmdrum.h"
#include "ui/documents/frmpcgae.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyun.h"
#include "ui/main/openers.h"

using namespace arrwintest;

namespace {

constexpr int kArrEntries = 10799;
constexpr int kPrgEntries = 30751;
constexpr int kStyEntries = 271;

// A style group of the slots given (name, length); slots after them absent.
// A slot named "" is absent too.
std::string Group(const std::vector<std::pair<std::string, int>>& slotList) {
  std::vector<StySlotDef> defs;
  for (size_t k = 0; k < slotList.size(); ++k)
    defs.push_back({slotList[k].first, slotList[k].first.empty() ? 0 : slotList[k].second, static_cast<char>('a' + k)});
  return StyGroupBytes(defs);
}

// A group of one bank: the four names, 40 bytes each.
std::string Bank(const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
  return Group({{a, 40}, {b, 40}, {c, 40}, {d, 40}});
}

// The data of slot k of a bare group: after the header and the slots
// before it (absent slots take no room).
std::string SlotData(const std::string& group, int k) {
  int pos = 225;
  for (int s = 0; s < k; ++s) pos += StyGrpSlotLen(s, group);
  return Mid(group, pos, StyGrpSlotLen(k, group));
}

std::string Entry(const std::string& tag, int base, int line) { return Mid(tag, base + 21 * line, 21); }

// A program record: a reference (flag 1) or a full program (any other
// flag; a record in use has a first byte other than 0).
std::string PrgRecord(int flag, int bank, int program, const std::string& name) {
  return Left(Chr(flag) + Chr(bank) + Chr(program) + PadRight(name, 16) + Nuls(172), 172);
}

// A program file whose records are empty but the given ones (index,
// record).
std::string PrgFile(const std::vector<std::pair<int, std::string>>& recs, bool pgg = false) {
  std::string file = PrgFileBytes(pgg);
  MidAssign(file, 49, Nuls(64 * 172));
  for (const auto& [i, rec] : recs) MidAssign(file, 49 + 172 * i, rec);
  return file;
}

// The arrangement editor as its owner sees it: a window named "frmEditArr"
// whose close asks its own question; a Cancel keeps it open and sets
// gArrSavedBack.
class EditorStandIn : public ChildForm {
 public:
  explicit EditorStandIn(bool cancel) : cancel_(cancel) {
    setObjectName("frmEditArr");
    winTag_ = Chr(kKindEditArr) + Chr(0);
  }
  int asked = 0;

 protected:
  void Form_QueryUnload(bool& cancel) override {
    ++asked;
    if (!cancel_) return;
    gArrSavedBack = true;
    cancel = true;
  }

 private:
  bool cancel_;
};

}  // namespace

class ClipboardTest : public DocWindowTest {
 protected:
  void StartClean() { StartPlain(); }

  // File > Open Arr, Open Prg, Open Sty on a file of the program folder.
  frmArrU* OpenArr(const std::string& file, bool readOnly = false) {
    OpenThrough("mnuApriArr", file, readOnly);
    return gArrUForms[gArrSlotIdx];
  }
  frmPrgUN* OpenPrg(const std::string& file) {
    OpenThrough("mnuApriPrg", file, false);
    return gPrgForms[gPrgSlotIdx];
  }
  frmStyUN* OpenSty(const std::string& file) {
    OpenThrough("mnuApriSty", file, false);
    return gStyForms[gStySlotIdx];
  }
  // File > New Arr, New Prg, New Sty.
  frmArrNew* NewArr() {
    main_->Item("mnuNuovoArr")->trigger();
    return gArrNewForms[gArrNewSlotIdx];
  }
  frmPrgUN* NewPrg() {
    main_->Item("mnuNuovoPrg")->trigger();
    return gPrgNewForms[gPrgSlotIdx];
  }
  frmStyUN* NewSty() {
    main_->Item("mnuNuovoSty")->trigger();
    return gStyNewForms[gStyWinIdx];
  }
  // The style window of an arrangement window's own group, as its Show
  // Styles opens it: the group of the document, the companion flag set.
  frmStyUN* ShowStylesOf(frmArrU* w) {
    const std::string path = RTrim(Mid(w->Tag(), 21, 238));
    gStySlotIdx = StyWinFreeSlot();
    gStyData = Mid(w->Tag(), kArrWinGrpBase);
    gStyFileDir = PathDir(path);
    gStyFileName = PathFileName(path);
    gStySlots[gStySlotIdx].FromArr = 1;
    gStySlotUsed[gStySlotIdx] = 1;
    gStyWinIdx = 0;
    gOpenReadOnly = false;
    Openers().styFile();
    return gStyForms[gStySlotIdx];
  }

  static QListWidget* List(ChildForm* w) { return w->findChild<QListWidget*>("List1"); }
  static bool On(ChildForm* w, const char* button) { return w->findChild<QPushButton*>(button)->isEnabled(); }
  static std::string Box(ChildForm* w, const QString& name) {
    return w->findChild<QLineEdit*>(name)->text().toStdString();
  }
  // Selects lines as the user does: a click on the first, a Ctrl+click on
  // each further one (the last one clicked is the current line).
  void Select(ChildForm* w, const std::vector<int>& lines) {
    main_->MdiArea()->setActiveSubWindow(w);
    QListWidget* list = List(w);
    for (size_t i = 0; i < lines.size(); ++i) {
      QListWidgetItem* item = list->item(lines[i]);
      list->scrollToItem(item);
      QTest::mouseClick(list->viewport(), Qt::LeftButton, i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                        list->visualItemRect(item).center());
    }
    Settle(30);
  }
  // The right-click menu on a line of a window's list, and its item.
  void RightClickItem(ChildForm* w, int line, const char* item) {
    main_->MdiArea()->setActiveSubWindow(w);
    QListWidget* list = List(w);
    list->scrollToItem(list->item(line));
    RightClickAsPlatform(list->viewport(), list->visualItemRect(list->item(line)).center());
    ClickOpenMenuItem(main_->EditMenu(), item);
  }
  void DeleteKey(ChildForm* w) {
    main_->MdiArea()->setActiveSubWindow(w);
    QTest::keyClick(List(w), Qt::Key_Delete);
    Settle(0);
  }
  // Lines and menus as the user selects them, then Edit > item.
  void SelectAndEdit(ChildForm* w, const std::vector<int>& lines, const char* item) {
    Select(w, lines);
    ClickEditItem(item);
  }
};

// ---- Copy ------------------------------------------------------------------

TEST_F(ClipboardTest, CopyMarksTheSelectedLinesInTheWindowAndTheClipboard) {
  WriteBytes(ProgFile("src.arr"), ArrFile({{3, Rec("Rock", 7)}, {5, Rec("Disco", 9)}}));
  StartClean();
  frmArrU* w = OpenArr("src.arr");
  ASSERT_NE(w, nullptr);
  Select(w, {7, 3});
  ASSERT_TRUE(Enabled("mnuCopia"));
  ClickEditItem("mnuCopia");

  EXPECT_EQ(gClipKind, 19);
  EXPECT_EQ(gClipText, w->Tag());
  for (int i = 0; i < 64; ++i) EXPECT_EQ(Asc(gClipText, kArrEntries + 21 * i), i == 3 || i == 7 ? 1 : 0) << i;
  EXPECT_EQ(Entry(gClipText, kArrEntries, 3), Chr(1) + PadRight("14  Rock", 20));
  EXPECT_EQ(Entry(gClipText, kArrEntries, 7), Chr(1) + PadRight("18", 20));
  EXPECT_EQ(Entry(gClipText, kArrEntries, 5), Chr(0) + PadRight("16  Disco", 20));
}

// Copy is offered only while a line is selected, in every window with a
// list: opened and not clicked, or with its one selected line unselected by
// a Ctrl+click, the window leaves Edit > Copy off, and choosing it keeps
// the clipboard as it was.
TEST_F(ClipboardTest, CopyIsOfferedOnlyWhileALineIsSelected) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Pop", 3)}}));
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, PrgRecord(2, 0, 5, "Piano")}}));
  WriteBytes(ProgFile("set.sty"), StyFileBytes(Bank("Alpha", "Beta", "Gamma", "Delta")));
  StartClean();
  main_->Item("mnuArrB")->trigger();
  frmArrAB* held = gArrABForms[kKindArrB];
  ASSERT_NE(held, nullptr);
  SelectAndEdit(held, {5}, "mnuCopia");
  ASSERT_EQ(gClipKind, kKindArrB);
  const std::string clip = gClipText;
  held->close();
  Settle(0);
  struct Case {
    const char* window;
    std::function<ChildForm*()> open;
  };
  const Case cases[] = {
      {"Arrangement A", [&]() -> ChildForm* {
         main_->Item("mnuArrA")->trigger();
         return gArrABForms[kKindArrA];
       }},
      {"Program A", [&]() -> ChildForm* {
         main_->Item("mnuWProgA")->trigger();
         return gPcgAEForms[4];
       }},
      {"song.arr", [&]() -> ChildForm* { return OpenArr("song.arr"); }},
      {"song.prg", [&]() -> ChildForm* { return OpenPrg("song.prg"); }},
      {"set.sty", [&]() -> ChildForm* { return OpenSty("set.sty"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    ChildForm* w = c.open();
    ASSERT_NE(w, nullptr);
    Settle(20);
    EXPECT_FALSE(Enabled("mnuCopia"));
    ClickEditItem("mnuCopia");
    EXPECT_EQ(gClipText, clip);
    Select(w, {0});
    EXPECT_TRUE(Enabled("mnuCopia"));
    Select(w, {0, 0});  // a click, then a Ctrl+click on the same line
    ASSERT_TRUE(List(w)->selectedItems().isEmpty());
    EXPECT_FALSE(Enabled("mnuCopia"));
    ClickEditItem("mnuCopia");
    EXPECT_EQ(gClipText, clip);
    w->close();
    Settle(0);
  }
}

TEST_F(ClipboardTest, CopyWritesEachLineWholeSoNoEarlierTextStays) {
  // A style window: its entries keep the text of the last Copy.
  WriteBytes(ProgFile("long.sty"), Group({{"LongStyleName", 40}, {"Pop", 40}, {"Jazz", 40}, {"- empty -", 40}}));
  StartClean();
  frmStyUN* w = OpenSty("long.sty");
  ASSERT_NE(w, nullptr);
  SelectAndEdit(w, {0}, "mnuCopia");
  EXPECT_EQ(Entry(w->Tag(), kStyEntries, 0), Chr(1) + PadRight("11  LongStyleName", 20));
  SelectAndEdit(w, {0}, "mnuTaglia");
  ASSERT_EQ(w->ListText(0), "11  - empty -");

  // The emptied slot and Pop: the entry of slot 0 holds only its new line.
  SelectAndEdit(w, {0, 1}, "mnuCopia");
  EXPECT_EQ(Entry(gClipText, kStyEntries, 0), Chr(1) + PadRight("11  - empty -", 20));
  EXPECT_EQ(Entry(w->Tag(), kStyEntries, 0), Entry(gClipText, kStyEntries, 0));
  frmStyUN* target = NewSty();
  SelectAndEdit(target, {0}, "mnuIncolla");
  EXPECT_EQ(target->ListText(0), "11  - empty -");
  EXPECT_EQ(target->ListText(1), "12  Pop");
}

TEST_F(ClipboardTest, CopyOfAWindowWithoutEntriesKeepsTheClipboard) {
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Pop", 3)}}));
  StartClean();
  frmArrU* src = OpenArr("src.arr");
  SelectAndEdit(src, {0}, "mnuCopia");
  const std::string clip = gClipText;
  // A kit window has no entry table: a stale Copy changes nothing.
  main_->Item("mnuDrum")->trigger();
  ChildForm* kit = gDrumForms[kKindDrum];
  ASSERT_NE(kit, nullptr);
  const std::string tag = kit->Tag();
  Select(kit, {2});
  main_->mnuCopia_Click();
  EXPECT_EQ(gClipText, clip);
  EXPECT_EQ(gClipKind, 19);
  EXPECT_EQ(kit->Tag(), tag);
}

// ---- Paste of arrangements ---------------------------------------------------

TEST_F(ClipboardTest, PasteFillsEmptyLinesFromTheSelectionAndNeverOverwrites) {
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Pop", 3)}, {3, Rec("Rock", 7)}, {4, Rec("Disco", 9)}}));
  struct Case {
    std::vector<int> select;
    std::vector<std::pair<int, std::string>> held;  // the target's own arrangements
    std::vector<int> filled;                         // lines that take Pop, Rock, Disco in turn
  };
  const Case cases[] = {
      {{10}, {}, {10, 11, 12}},
      {{10}, {{12, Rec("Mine", 1)}}, {10, 11}},  // line 12 is taken: the walk ends there
      {{10, 20}, {}, {10}},                      // line 11 is not selected: the walk ends there
  };
  StartClean();
  frmArrU* src = OpenArr("src.arr");
  SelectAndEdit(src, {0, 3, 4}, "mnuCopia");
  const std::string clip = gClipText;
  for (const Case& c : cases) {
    WriteBytes(ProgFile("dst.arr"), ArrFile(c.held));
    frmArrU* dst = OpenArr("dst.arr");
    ASSERT_NE(dst, nullptr);
    dialogs_.Clear();
    SelectAndEdit(dst, c.select, "mnuIncolla");
    const std::string names[] = {"Pop", "Rock", "Disco"};
    const int sources[] = {0, 3, 4};
    for (size_t k = 0; k < c.filled.size(); ++k) {
      const int L = c.filled[k];
      EXPECT_EQ(dst->ListText(L), ArrSlotNum(L) + "  " + names[k]) << L;
      EXPECT_EQ(Mid(dst->Tag(), ArrRecPos(L), 164), Mid(clip, ArrRecPos(sources[k]), 164)) << L;
    }
    // The next line holds what it held.
    const int after = c.filled.back() + 1;
    EXPECT_EQ(RTrim(dst->ListText(after)), c.held.empty() ? ArrSlotNum(after) : ArrSlotNum(after) + "  Mine");
    EXPECT_EQ(Asc(dst->Tag(), 4), 1);
    EXPECT_EQ(Asc(dst->Tag(), 3), 2);
    EXPECT_TRUE(On(dst, "CommLoadArr"));
    EXPECT_TRUE(On(dst, "CommLoadAll"));
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_EQ(gClipText, clip);  // the same lines paste again
    Discard(dst, 4);
  }
}

TEST_F(ClipboardTest, AGroupStyleTravelsWithItsArrangementOrReusesTheSameName) {
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Pop", 3)}, {1, Rec("Beat", 1, 1)}}));
  const std::string srcGroup = Bank("Ballad", "Groove", "Swing", "- empty -");
  WriteBytes(ProgFile("src.sty"), srcGroup);
  // A target without a style file, which takes the template; one that
  // holds a style named Groove already, in slot 3.
  WriteBytes(ProgFile("bare.arr"), ArrFile({}));
  WriteBytes(ProgFile("own.arr"), ArrFile({}));
  const std::string ownGroup = Group({{"- empty -", 40}, {"- empty -", 40}, {"Waltz", 40}, {"Groove", 48}});
  WriteBytes(ProgFile("own.sty"), ownGroup);
  StartClean();
  frmArrU* src = OpenArr("src.arr");
  SelectAndEdit(src, {1}, "mnuCopia");

  frmArrU* bare = OpenArr("bare.arr");
  ASSERT_EQ(Asc(bare->Tag(), 9), 1);
  EXPECT_FALSE(On(bare, "CommLoadSty"));
  SelectAndEdit(bare, {5}, "mnuIncolla");
  const std::string& tag = bare->Tag();
  const std::string group = Mid(tag, kArrWinGrpBase);
  EXPECT_EQ(StyGrpSlotName(0, group), "Groove");  // the first "- empty -" slot
  EXPECT_EQ(SlotData(group, 0), SlotData(srcGroup, 1));
  EXPECT_EQ(Asc(tag, ArrRecPos(5) + 17), 0);
  EXPECT_EQ(Asc(tag, ArrRecPos(5) + 18), 1);
  EXPECT_EQ(Mid(tag, ArrRecPos(5), 17), Mid(gClipText, ArrRecPos(1), 17));
  EXPECT_EQ(Mid(tag, ArrRecPos(5) + 19, 145), Mid(gClipText, ArrRecPos(1) + 19, 145));
  EXPECT_EQ(bare->ListText(5), "16 +Beat");
  EXPECT_EQ(Asc(tag, 4), 1);
  EXPECT_EQ(Asc(tag, 9), 2);
  EXPECT_EQ(Asc(tag, 10), 1);
  for (const char* button : {"CommLoadArr", "CommLoadSty", "CommShowSty", "CommLoadAll"})
    EXPECT_TRUE(On(bare, button)) << button;
  EXPECT_EQ(bare->Combo1List(0), "Groove (U11)");
  EXPECT_TRUE(dialogs_.boxes.empty());

  frmArrU* own = OpenArr("own.arr");
  SelectAndEdit(own, {0}, "mnuIncolla");
  EXPECT_EQ(Mid(own->Tag(), kArrWinGrpBase), ownGroup);  // the group is not changed
  EXPECT_EQ(Asc(own->Tag(), ArrRecPos(0) + 17), 3);
  EXPECT_EQ(Asc(own->Tag(), ArrRecPos(0) + 18), 1);
  EXPECT_EQ(Asc(own->Tag(), 10), 0);
  EXPECT_EQ(own->ListText(0), "11 +Beat");
}

TEST_F(ClipboardTest, TheRecordNotTheLineTellsAGroupStyle) {
  // The list keeps its marker when the editor stores another style into a
  // record: Paste and Cut go by the record's style source.
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Pop", 3)}, {1, Rec("Beat", 1, 1)}}));
  WriteBytes(ProgFile("src.sty"), Bank("Ballad", "Groove", "Swing", "- empty -"));
  WriteBytes(ProgFile("dst.arr"), ArrFile({}));
  StartClean();
  frmArrU* src = OpenArr("src.arr");
  std::string& srcTag = *src->MutableTag();
  MidAssign(srcTag, ArrRecPos(0) + 17, Chr(2) + Chr(1));  // Pop now plays Swing
  MidAssign(srcTag, ArrRecPos(1) + 17, Chr(1) + Chr(0));  // Beat factory style 1
  ASSERT_EQ(RTrim(src->ListText(0)), "11  Pop");
  SelectAndEdit(src, {0, 1}, "mnuCopia");
  frmArrU* dst = OpenArr("dst.arr");
  SelectAndEdit(dst, {0}, "mnuIncolla");
  EXPECT_EQ(dst->ListText(0), "11 +Pop");
  EXPECT_EQ(dst->ListText(1), "12  Beat");
  EXPECT_EQ(StyGrpSlotName(0, Mid(dst->Tag(), kArrWinGrpBase)), "Swing");
  EXPECT_EQ(Asc(dst->Tag(), ArrRecPos(1) + 17), 1);
  EXPECT_EQ(Asc(dst->Tag(), ArrRecPos(1) + 18), 0);

  // In the source, Beat's line still shows " +" but its record plays
  // factory style 1: cutting it leaves group slot 1, which Also plays.
  MidAssign(srcTag, ArrRecPos(3), Rec("Also", 1, 1));
  ASSERT_EQ(RTrim(src->ListText(1)), "12 +Beat");
  const std::string group = Mid(srcTag, kArrWinGrpBase);
  SelectAndEdit(src, {1}, "mnuTaglia");
  EXPECT_EQ(Mid(src->Tag(), kArrWinGrpBase), group);
  EXPECT_EQ(Asc(src->Tag(), 10), 0);
  EXPECT_EQ(src->ListText(1), "12");
}

TEST_F(ClipboardTest, AGroupStyleTheSourceCannotSupplyEndsThePasteWithItsMessage) {
  // Pop, then Beat (a group style the source lacks), then Rock.
  struct Case {
    const char* what;
    std::string sty;  // the source's style file; "" none written
    int style;        // Beat's style number
  };
  const std::string group = Group({{"Ballad", 40}, {"Groove", 40}, {"", 0}, {"Swing", 40}});
  const Case cases[] = {
      {"an unreadable style file", "not a style file", 1},
      {"a number past slot 15", group, 16},
      {"an absent slot", group, 2},
  };
  WriteBytes(ProgFile("dst.arr"), ArrFile({}));
  StartClean();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Pop", 3)}, {1, Rec("Beat", c.style, 1)}, {2, Rec("Rock", 7)}}));
    WriteBytes(ProgFile("src.sty"), c.sty);
    frmArrU* src = OpenArr("src.arr");
    SelectAndEdit(src, {0, 1, 2}, "mnuCopia");
    frmArrU* dst = OpenArr("dst.arr");
    const std::string group0 = Mid(dst->Tag(), kArrWinGrpBase);
    dialogs_.Clear();
    SelectAndEdit(dst, {8}, "mnuIncolla");
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, "File .sty assente");
    EXPECT_EQ(dialogs_.boxes[0].text, "generic error");
    // Pop stays pasted and stored; Beat and Rock are not pasted.
    EXPECT_EQ(dst->ListText(8), "21  Pop");
    EXPECT_EQ(Mid(dst->Tag(), ArrRecPos(8), 164), Mid(gClipText, ArrRecPos(0), 164));
    EXPECT_EQ(RTrim(dst->ListText(9)), "22");
    EXPECT_EQ(Mid(dst->Tag(), ArrRecPos(9), 164), Nuls(164));
    EXPECT_EQ(RTrim(dst->ListText(10)), "23");
    EXPECT_EQ(Mid(dst->Tag(), kArrWinGrpBase), group0);
    EXPECT_EQ(Asc(dst->Tag(), 4), 1);
    // The style box was filled again: the group's slots, then Pop's style.
    EXPECT_EQ(dst->Combo1List(dst->Combo1ListCount() - 1), RTrim(gStyNames[3]));
    Discard(dst, 4);
    Discard(src, 4);
  }
}

TEST_F(ClipboardTest, AFullGroupOrAnOverlongBankSkipsTheArrangementAndGoesOn) {
  struct Case {
    const char* what;
    std::string target;  // the target's style group
    int length;          // of the source's style
    int code;
    std::string text;
  };
  const std::string full = Group({{"S0", 40}, {"S1", 40}, {"S2", 40}, {"S3", 40}, {"S4", 40}, {"S5", 40},
                                  {"S6", 40}, {"S7", 40}, {"S8", 40}, {"S9", 40}, {"S10", 40}, {"S11", 40},
                                  {"S12", 40}, {"S13", 40}, {"S14", 40}, {"S15", 40}});
  const std::string big = Group({{"- empty -", 1176}, {"Big1", 21000}, {"Big2", 21000}, {"Big3", 21000}});
  const Case cases[] = {
      {"no free slot", full, 40, 3, "Not more than 4 styles per file are allowed"},
      {"a bank too long", big, 3000, 36, "The length of a 4 Styles group must be less than 65496 bytes"},
  };
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Beat", 0, 1)}, {1, Rec("Rock", 7)}}));
  WriteBytes(ProgFile("dst.arr"), ArrFile({}));
  StartClean();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(ProgFile("src.sty"), Group({{"Groove", c.length}}));
    WriteBytes(ProgFile("dst.sty"), c.target);
    frmArrU* src = OpenArr("src.arr");
    SelectAndEdit(src, {0, 1}, "mnuCopia");
    frmArrU* dst = OpenArr("dst.arr");
    dialogs_.Clear();
    SelectAndEdit(dst, {0}, "mnuIncolla");
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, "Paste Arrangement/s");
    EXPECT_EQ(dialogs_.boxes[0].text, c.text);
    EXPECT_EQ(RTrim(dst->ListText(0)), "11");
    EXPECT_EQ(Mid(dst->Tag(), ArrRecPos(0), 164), Nuls(164));
    EXPECT_EQ(dst->ListText(1), "12  Rock");
    EXPECT_EQ(Mid(dst->Tag(), kArrWinGrpBase), c.target);
    EXPECT_EQ(Asc(dst->Tag(), 10), 0);
    Discard(dst, 4);
    Discard(src, 4);
  }
}

TEST_F(ClipboardTest, ABankPastesIntoANewArrangementFromTheRightClickMenu) {
  StartClean();
  main_->Item("mnuArrA")->trigger();
  frmArrAB* bank = gArrABForms[kKindArrA];
  ASSERT_NE(bank, nullptr);
  Select(bank, {2, 4});
  RightClickItem(bank, 4, "mnuCopia");
  ASSERT_EQ(gClipKind, 2);
  EXPECT_EQ(gClipText, bank->Tag());
  EXPECT_EQ(Asc(gClipText, kArrEntries + 21 * 2), 1);
  EXPECT_EQ(Asc(gClipText, kArrEntries + 21 * 4), 1);
  frmArrNew* w = NewArr();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(On(w, "CommLoadArr"));
  Select(w, {6});
  RightClickItem(w, 6, "mnuIncolla");
  EXPECT_EQ(w->ListText(6), "17  " + RTrim(Mid(bank->Tag(), ArrRecPos(2), 16)));
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(6), 164), Mid(bank->Tag(), ArrRecPos(2), 164));
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(7), 164), Mid(bank->Tag(), ArrRecPos(4), 164));
  EXPECT_TRUE(On(w, "CommLoadArr"));
  EXPECT_EQ(Asc(w->Tag(), 4), 1);
  EXPECT_TRUE(dialogs_.boxes.empty());

  // The bank window closed since the Copy: the clipboard still pastes.
  bank->close();
  Settle(0);
  Select(w, {20});
  ClickEditItem("mnuIncolla");
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(20), 164), Mid(gClipText, ArrRecPos(2), 164));
}

// ---- Cut of arrangements -----------------------------------------------------

TEST_F(ClipboardTest, CutFreesTheGroupStylesNoArrangementPlaysAnyMore) {
  // A uses slot 1, B and C slot 2, D a factory style; slot 0 is played by
  // none.
  WriteBytes(ProgFile("cut.arr"),
             ArrFile({{0, Rec("A", 1, 1)}, {1, Rec("B", 2, 1)}, {2, Rec("C", 2, 1)}, {3, Rec("D", 4)}}));
  const std::string group = Bank("Ballad", "Groove", "Swing", "- empty -");
  WriteBytes(ProgFile("cut.sty"), group);
  struct Case {
    std::vector<int> lines;
    std::vector<int> freed;  // slots that take the empty style
  };
  const Case cases[] = {{{0}, {1}}, {{1}, {}}, {{1, 2}, {2}}, {{3}, {}}};
  StartClean();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.size() == 2 ? "B and C" : std::string(1, static_cast<char>('A' + c.lines[0])));
    frmArrU* w = OpenArr("cut.arr");
    const std::string before = w->Tag();
    dialogs_.Clear();
    SelectAndEdit(w, c.lines, "mnuTaglia");
    const std::string& tag = w->Tag();
    for (int L : c.lines) {
      EXPECT_EQ(Mid(tag, ArrRecPos(L), 164), Nuls(164));
      EXPECT_EQ(w->ListText(L), ArrSlotNum(L));
    }
    const std::string now = Mid(tag, kArrWinGrpBase);
    for (int k = 0; k < 4; ++k) {
      const bool freed = std::find(c.freed.begin(), c.freed.end(), k) != c.freed.end();
      EXPECT_EQ(StyGrpSlotName(k, now), freed ? "- empty -" : StyGrpSlotName(k, group)) << k;
      EXPECT_EQ(StyGrpSlotLen(k, now), freed ? kStyTemplateSlotLen : 40) << k;
    }
    EXPECT_EQ(Asc(tag, 4), 1);
    EXPECT_EQ(Asc(tag, 10), c.freed.empty() ? 0 : 1);
    EXPECT_EQ(Asc(tag, 9), 2);
    EXPECT_EQ(Asc(tag, 3), 2);
    EXPECT_TRUE(On(w, "CommLoadArr"));
    EXPECT_TRUE(On(w, "CommLoadSty"));
    EXPECT_FALSE(On(w, "CommEdit"));
    EXPECT_TRUE(dialogs_.boxes.empty());
    // The clipboard holds the window as it was, marks included.
    EXPECT_EQ(Mid(gClipText, 1, kArrEntries - 1), Mid(before, 1, kArrEntries - 1));
    EXPECT_EQ(Mid(gClipText, kArrWinGrpBase), group);
    for (int L : c.lines) EXPECT_EQ(Asc(tag, kArrEntries + 21 * L), 1);
    Discard(w, 4);
  }
}

TEST_F(ClipboardTest, CuttingTheLastArrangementAndTheLastStyle) {
  WriteBytes(ProgFile("one.arr"), ArrFile({{5, Rec("Solo", 0, 1)}}));
  WriteBytes(ProgFile("one.sty"), Bank("Lonely", "- empty -", "- empty -", "- empty -"));
  StartClean();
  frmArrU* w = OpenArr("one.arr");
  ASSERT_TRUE(On(w, "CommLoadSty"));
  Select(w, {5});
  DeleteKey(w);
  const std::string& tag = w->Tag();
  EXPECT_EQ(Asc(tag, 3), 0);
  EXPECT_EQ(Asc(tag, 9), 1);  // Save deletes the style file
  EXPECT_EQ(Asc(tag, 10), 1);
  EXPECT_FALSE(On(w, "CommLoadArr"));
  EXPECT_FALSE(On(w, "CommLoadSty"));
  EXPECT_FALSE(On(w, "CommEdit"));
  EXPECT_TRUE(On(w, "CommLoadAll"));
  EXPECT_EQ(w->ListText(5), "16");
  // The menu follows: the line is empty, the clipboard holds Solo.
  EXPECT_FALSE(Enabled("mnuTaglia"));
  EXPECT_FALSE(Enabled("mnuLoadArr"));
  EXPECT_TRUE(Enabled("mnuIncolla"));

  // The close prompt's save deletes the style file that holds no style.
  EXPECT_TRUE(CloseAnswering(w, {kMsgYes, false, true, true}));
  EXPECT_FALSE(Exists(ProgFile("one.sty")));
  EXPECT_EQ(Mid(ReadBytes(ProgFile("one.arr")), 33 + 164 * 5, 164), Nuls(164));
}

TEST_F(ClipboardTest, CutKeepsAStyleFileThatStillHoldsStylesBeyondAGap) {
  // Slots 4-13 are absent; Late sits in slot 14. Cutting the factory
  // arrangement deletes nothing and leaves the style file's action alone.
  std::vector<std::pair<std::string, int>> slotList = {{"- empty -", 40}, {"Gone", 40}, {"- empty -", 40},
                                                      {"- empty -", 40}};
  for (int k = 4; k < 14; ++k) slotList.push_back({"", 0});
  slotList.push_back({"Late", 40});
  WriteBytes(ProgFile("gap.arr"), ArrFile({{0, Rec("Uses1", 1, 1)}, {1, Rec("Uses14", 14, 1)}, {2, Rec("Plain", 3)}}));
  WriteBytes(ProgFile("gap.sty"), Group(slotList));
  StartClean();
  frmArrU* w = OpenArr("gap.arr");
  SelectAndEdit(w, {2}, "mnuTaglia");
  EXPECT_EQ(Asc(w->Tag(), 9), 2);
  EXPECT_EQ(Asc(w->Tag(), 10), 0);

  SelectAndEdit(w, {0}, "mnuTaglia");
  EXPECT_EQ(StySlotName(1, w->Tag()), "- empty -");
  EXPECT_EQ(Asc(w->Tag(), 9), 2);
  EXPECT_TRUE(On(w, "CommLoadSty"));
  EXPECT_TRUE(CloseAnswering(w, {kMsgYes, false, true, true}));
  ASSERT_TRUE(Exists(ProgFile("gap.sty")));
  EXPECT_EQ(StyGrpSlotName(14, ReadBytes(ProgFile("gap.sty"))), "Late");
}

TEST_F(ClipboardTest, CutClearsAnArrangementWhoseSlotTheGroupLacksAndGoesOn) {
  // The style file, as the program writes it, holds slots 0-3. Far names
  // slot 20, which no group has, or slot 7, which this group lacks.
  std::string styTag = Nuls(kArrWinGrpBase - 1) + Bank("Ballad", "Groove", "- empty -", "- empty -");
  const std::string sty = StyFileImage(styTag);
  StartClean();
  for (int slot : {20, 7, 4}) {
    SCOPED_TRACE(slot);
    WriteBytes(ProgFile("odd.arr"), ArrFile({{0, Rec("Far", slot, 1)}, {1, Rec("Near", 1, 1)}}));
    WriteBytes(ProgFile("odd.sty"), sty);
    frmArrU* w = OpenArr("odd.arr");
    ASSERT_NE(w, nullptr);
    const std::string group = Mid(w->Tag(), kArrWinGrpBase);
    dialogs_.Clear();
    SelectAndEdit(w, {0}, "mnuTaglia");
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_EQ(Mid(w->Tag(), ArrRecPos(0), 164), Nuls(164));
    EXPECT_EQ(w->ListText(0), "11");
    // No slot is freed or filled: the group, its action and its flag stay.
    EXPECT_EQ(Mid(w->Tag(), kArrWinGrpBase), group);
    EXPECT_EQ(Asc(w->Tag(), 9), 2);
    EXPECT_EQ(Asc(w->Tag(), 10), 0);
    EXPECT_EQ(Asc(w->Tag(), 4), 1);
    main_->Item("mnuSalva")->trigger();
    Settle(0);
    EXPECT_EQ(ReadBytes(ProgFile("odd.sty")), sty);
    EXPECT_EQ(Mid(ReadBytes(ProgFile("odd.arr")), 33, 164), Nuls(164));

    // The walk goes on past such a line: Near's style is freed.
    SelectAndEdit(w, {0, 1}, "mnuTaglia");
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_EQ(w->ListText(1), "12");
    EXPECT_EQ(StySlotName(0, w->Tag()), "Ballad");
    EXPECT_EQ(StySlotName(1, w->Tag()), "- empty -");
    Discard(w, 4);
  }
}

TEST_F(ClipboardTest, AGroupStyleOfAFileWithoutStyleDataIsNotDeleted) {
  WriteBytes(ProgFile("bad.arr"), ArrFile({{0, Rec("Own", 1, 1)}, {1, Rec("Next", 3)}}));
  WriteBytes(ProgFile("bad.sty"), "not a style file");
  StartClean();
  frmArrU* w = OpenArr("bad.arr");
  ASSERT_EQ(Asc(w->Tag(), 9), 0);
  const std::string group = Mid(w->Tag(), kArrWinGrpBase);
  dialogs_.Clear();
  SelectAndEdit(w, {0, 1}, "mnuTaglia");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "File .sty assente");
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(0), 164 * 2), Nuls(164 * 2));  // the walk went on
  EXPECT_EQ(Mid(w->Tag(), kArrWinGrpBase), group);
  EXPECT_EQ(Asc(w->Tag(), 9), 0);
}

// ---- The style window of an arrangement window -------------------------------

TEST_F(ClipboardTest, ACutOrAPasteThatChangesTheGroupClosesItsStyleWindowWithoutAPrompt) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Own", 1, 1)}, {1, Rec("Plain", 3)}}));
  WriteBytes(ProgFile("song.sty"), Bank("Ballad", "Groove", "- empty -", "- empty -"));
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Beat", 0, 1)}}));
  WriteBytes(ProgFile("src.sty"), Bank("Waltz", "- empty -", "- empty -", "- empty -"));
  WriteBytes(ProgFile("other.sty"), Bank("Other", "- empty -", "- empty -", "- empty -"));
  StartClean();
  frmArrU* src = OpenArr("src.arr");
  frmArrU* w = OpenArr("song.arr");
  struct Step {
    const char* what;
    std::function<void()> act;
  };
  const Step steps[] = {
      {"cut", [&] { SelectAndEdit(w, {0}, "mnuTaglia"); }},
      {"paste", [&] {
         SelectAndEdit(src, {0}, "mnuCopia");
         SelectAndEdit(w, {5}, "mnuIncolla");
       }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    frmStyUN* sty = ShowStylesOf(w);
    ASSERT_NE(sty, nullptr);
    const int slot = gStySlotIdx;
    MidAssign(*sty->MutableTag(), 10, Chr(1));  // it would ask to save
    QPointer<frmStyUN> held = sty;
    dialogs_.Clear();
    step.act();
    EXPECT_TRUE(dialogs_.boxes.empty());
    EXPECT_TRUE(!held || held->Unloading());
    EXPECT_EQ(gStySlotUsed[slot], 0);
    EXPECT_EQ(gStySlots[slot].FromArr, 1);
    EXPECT_EQ(RTrim(gStySlots[slot].Path), RTrim(Mid(w->Tag(), 21, 238)));
    EXPECT_EQ(gStySlotIdx, slot);
    EXPECT_EQ(gStyChanged, 1);
    // Show Styles opens it again in the same slot, at the same place, with
    // the new group; the next style window opens its own file.
    ASSERT_TRUE(WaitFor([&] { return gStyChanged == 0 && gStyForms[slot] && !held; }));
    frmStyUN* again = gStyForms[slot];
    EXPECT_EQ(gStySlotUsed[slot], 1);
    EXPECT_EQ(Mid(again->Tag(), kStyWinGrpBase), Mid(w->Tag(), kArrWinGrpBase));
    EXPECT_EQ(RTrim(Mid(again->Tag(), 21, 238)), RTrim(Mid(w->Tag(), 21, 238)));
    again->close();
    Settle(0);
    frmStyUN* other = OpenSty("other.sty");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(RTrim(Mid(other->Tag(), 21, 238)), ProgFile("other"));
    EXPECT_EQ(StySlotName(0, other->Tag()), "Other");
    other->close();
    Settle(0);
  }
  EXPECT_EQ(StySlotName(0, w->Tag()), "Ballad");
  EXPECT_EQ(StySlotName(1, w->Tag()), "Waltz");  // the freed slot took the pasted style
}

TEST_F(ClipboardTest, AStyleWindowOfAnArrangementWindowGivesItItsNewGroup) {
  // Two files named song in two folders; the style window of the second.
  ASSERT_EQ(MakeDirs(ProgFile("two")), 0);
  ASSERT_EQ(MakeDirs(ProgFile("three")), 0);
  WriteBytes(ProgFile("three/song.sty"), Bank("Three", "- empty -", "- empty -", "- empty -"));
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("One", 3)}}));
  WriteBytes(ProgFile("two/song.arr"), ArrFile({{0, Rec("Two", 3)}}));
  WriteBytes(ProgFile("src.sty"), Bank("Waltz", "Tango", "- empty -", "- empty -"));
  StartClean();
  frmArrU* one = OpenArr("song.arr");
  frmArrU* two = OpenArr("two/song.arr");
  ASSERT_EQ(Asc(two->Tag(), 9), 1);  // no style file: the template
  const std::string oneTag = one->Tag();
  frmStyUN* sty = ShowStylesOf(two);
  frmStyUN* src = OpenSty("src.sty");
  SelectAndEdit(src, {1}, "mnuCopia");
  SelectAndEdit(sty, {2}, "mnuIncolla");
  EXPECT_EQ(StySlotName(2, sty->Tag()), "Tango");
  EXPECT_EQ(Mid(two->Tag(), kArrWinGrpBase), Mid(sty->Tag(), kStyWinGrpBase));
  EXPECT_EQ(Asc(two->Tag(), 10), 1);
  EXPECT_EQ(Asc(two->Tag(), 9), 2);  // the save now writes the style file
  EXPECT_EQ(one->Tag(), oneTag);

  // A cut mirrors too.
  SelectAndEdit(sty, {2}, "mnuTaglia");
  EXPECT_EQ(StySlotName(2, two->Tag()), "- empty -");
  EXPECT_EQ(Mid(two->Tag(), kArrWinGrpBase), Mid(sty->Tag(), kStyWinGrpBase));

  // A style file of the same name opened by itself changes no arrangement
  // window.
  const std::string twoTag = two->Tag();
  frmStyUN* plain = OpenSty("three/song.sty");
  ASSERT_NE(plain, nullptr);
  SelectAndEdit(src, {0}, "mnuCopia");
  SelectAndEdit(plain, {1}, "mnuIncolla");
  EXPECT_EQ(StySlotName(1, plain->Tag()), "Waltz");
  EXPECT_EQ(two->Tag(), twoTag);
  EXPECT_EQ(one->Tag(), oneTag);

  // Nor does a new style, whose index is the slot number of the style
  // window of song.
  frmStyUN* fresh = NewSty();
  ASSERT_EQ(Asc(fresh->Tag(), 15), Asc(sty->Tag(), 15));
  SelectAndEdit(fresh, {0}, "mnuIncolla");
  EXPECT_EQ(StySlotName(0, fresh->Tag()), "Waltz");
  EXPECT_EQ(two->Tag(), twoTag);
}

// ---- The editor, read-only files, stale commands ----------------------------

TEST_F(ClipboardTest, CuttingTheEditedArrangementClosesTheEditorFirst) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}, {1, Rec("Edited", 4)}}));
  StartClean();
  frmArrU* w = OpenArr("song.arr");
  auto link = [&](bool cancel, int line) {
    auto* editor = new EditorStandIn(cancel);
    main_->AddChild(editor);
    editor->show();
    gArrEditLinked = true;
    MidAssign(gArrEditBuf, 325, Chr(kKindArrFile) + Chr(line) + Chr(w->Slot()));
    return QPointer<EditorStandIn>(editor);
  };

  // The editor holds line 1, which is not cut: it stays open. (A click
  // while the editor is linked builds its record from the clicked line.)
  Select(w, {0});
  QPointer<EditorStandIn> editor = link(true, 1);
  DeleteKey(w);
  EXPECT_EQ(editor->asked, 0);
  EXPECT_EQ(RTrim(w->ListText(0)), "11");
  const std::string clip = gClipText;

  // Its prompt is cancelled: nothing is copied or cut.
  Select(w, {1});
  DeleteKey(w);
  ASSERT_TRUE(editor);
  EXPECT_EQ(editor->asked, 1);
  EXPECT_TRUE(gArrEditLinked);
  EXPECT_EQ(gClipText, clip);
  EXPECT_EQ(RTrim(w->ListText(1)), "12  Edited");
  EXPECT_NE(Mid(w->Tag(), ArrRecPos(1), 164), Nuls(164));
  editor->UnloadNow();
  Settle(0);

  // It closes: then the arrangement is cut.
  editor = link(false, 1);
  Select(w, {1});
  ClickEditItem("mnuTaglia");
  EXPECT_TRUE(!editor || editor->Unloading());
  EXPECT_FALSE(gArrEditLinked);
  EXPECT_EQ(w->ListText(1), "12");
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(1), 164), Nuls(164));
  EXPECT_EQ(Asc(gClipText, kArrEntries + 21), 1);
}

TEST_F(ClipboardTest, TheEditCommandFollowsTheCurrentLineAndTheEditor) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Plain", 3)}}));
  StartClean();
  frmArrU* w = OpenArr("song.arr");
  Select(w, {0});
  w->UpdateEditCommand();
  EXPECT_TRUE(On(w, "CommEdit"));
  EXPECT_TRUE(Enabled("mnuEditArr"));
  gArrEditLinked = true;
  w->UpdateEditCommand();
  EXPECT_FALSE(On(w, "CommEdit"));
  EXPECT_FALSE(Enabled("mnuEditArr"));
  gArrEditLinked = false;
  Select(w, {3});
  w->UpdateEditCommand();
  EXPECT_FALSE(On(w, "CommEdit"));
}

// Click 13, Ctrl+click 13: the line stays current but unselected, so the
// Edit button and Edit > Edit go off and neither opens the editor; a
// further Ctrl+click selects it again and Edit opens it.
TEST_F(ClipboardTest, ACtrlClickThatUnselectsTheLineTurnsEditOff) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{2, Rec("Plain", 3)}}));
  StartClean();
  frmArrU* w = OpenArr("song.arr");
  auto editors = [this] {
    int n = 0;
    for (QMdiSubWindow* sub : main_->MdiArea()->subWindowList()) n += sub->objectName() == "frmEditArr";
    return n;
  };
  Select(w, {2});
  EXPECT_TRUE(On(w, "CommEdit"));
  EXPECT_TRUE(Enabled("mnuEditArr"));
  Select(w, {2, 2});
  ASSERT_EQ(List(w)->currentRow(), 2);
  ASSERT_FALSE(w->ListSelected(2));
  EXPECT_FALSE(On(w, "CommEdit"));
  EXPECT_FALSE(Enabled("mnuEditArr"));
  QTest::mouseClick(w->findChild<QPushButton*>("CommEdit"), Qt::LeftButton);
  ClickEditItem("mnuEditArr");
  Settle(30);
  EXPECT_EQ(editors(), 0);
  QListWidget* list = List(w);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                    list->visualItemRect(list->item(2)).center());
  Settle(30);
  ASSERT_TRUE(w->ListSelected(2));
  EXPECT_TRUE(On(w, "CommEdit"));
  EXPECT_TRUE(Enabled("mnuEditArr"));
  QTest::mouseClick(w->findChild<QPushButton*>("CommEdit"), Qt::LeftButton);
  Settle(30);
  EXPECT_EQ(editors(), 1);
}

TEST_F(ClipboardTest, AReadOnlyFileRefusesCutPasteAndTheDeleteKey) {
  WriteBytes(ProgFile("src.arr"), ArrFile({{0, Rec("Pop", 3)}}));
  WriteBytes(ProgFile("ro.arr"), ArrFile({{0, Rec("Mine", 3)}}));
  StartClean();
  frmArrU* src = OpenArr("src.arr");
  SelectAndEdit(src, {0}, "mnuCopia");
  const std::string clip = gClipText;
  frmArrU* ro = OpenArr("ro.arr", true);
  const std::string tag = ro->Tag();
  Select(ro, {4});
  EXPECT_FALSE(Enabled("mnuIncolla"));
  // A stale Paste, a stale Cut, the Delete key.
  struct Act {
    const char* what;
    std::function<void()> run;
  };
  const Act acts[] = {{"paste", [&] { main_->mnuIncolla_Click(); }},
                      {"cut", [&] {
                         Select(ro, {0});
                         main_->mnuTaglia_Click();
                       }},
                      {"delete key", [&] { DeleteKey(ro); }}};
  for (const Act& act : acts) {
    SCOPED_TRACE(act.what);
    dialogs_.Clear();
    act.run();
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].text, "Read only file");
    EXPECT_EQ(dialogs_.boxes[0].title, ro->windowTitle().toStdString());
    EXPECT_EQ(ro->Tag(), tag);
    EXPECT_EQ(gClipText, clip);
  }
  EXPECT_EQ(ro->ListText(0), "11  Mine            ");
  EXPECT_EQ(RTrim(ro->ListText(4)), "15");
}

TEST_F(ClipboardTest, AStaleCommandWithNothingToDoChangesNothing) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, Rec("Pop", 3)}}));
  WriteBytes(ProgFile("song.prg"), PrgFile({{0, PrgRecord(2, 0, 5, "Piano")}}));
  StartClean();
  frmPrgUN* prg = OpenPrg("song.prg");
  SelectAndEdit(prg, {0}, "mnuCopia");
  ASSERT_EQ(gClipKind, 21);
  const std::string clip = gClipText;
  frmArrU* w = OpenArr("song.arr");
  struct Act {
    const char* what;
    std::function<void()> run;
  };
  const Act acts[] = {
      // Programs do not paste into an arrangement window.
      {"paste of another kind", [&] {
         Select(w, {3});
         main_->mnuIncolla_Click();
       }},
      // Nothing selected: neither a paste nor a cut.
      {"paste without a selection", [&] {
         List(w)->clearSelection();
         main_->mnuIncolla_Click();
       }},
      {"cut without a selection", [&] {
         List(w)->clearSelection();
         DeleteKey(w);
       }},
  };
  const std::string tag = w->Tag();
  for (const Act& act : acts) {
    SCOPED_TRACE(act.what);
    act.run();
    EXPECT_EQ(w->Tag(), tag);
    EXPECT_EQ(gClipText, clip);
    EXPECT_EQ(RTrim(w->ListText(3)), "14");
    EXPECT_TRUE(dialogs_.boxes.empty());
  }
}

// ---- Programs ----------------------------------------------------------------

TEST_F(ClipboardTest, AProgramBankPastesReferencesWithTheirWholeNames) {
  StartClean();
  main_->Item("mnuWProgD")->trigger();
  frmPcgAE* bank = gPcgAEForms[7];
  ASSERT_NE(bank, nullptr);
  Select(bank, {5, 63});
  RightClickItem(bank, 63, "mnuCopia");
  ASSERT_EQ(gClipKind, 7);
  EXPECT_EQ(gClipText.size(), bank->Tag().size());  // the last entry stays short
  frmPrgUN* w = NewPrg();
  ASSERT_NE(w, nullptr);
  EXPECT_FALSE(On(w, "CommLoad"));
  SelectAndEdit(w, {0}, "mnuIncolla");

  const std::string name5 = Mid(gPrgNames[7], 16 * 5 + 1, 16);
  const std::string name63 = Mid(gPrgNames[7], 16 * 63 + 1, 16);
  const std::string& tag = w->Tag();
  EXPECT_EQ(Mid(tag, 319, 172), Chr(1) + Chr(1) + Chr(0x45) + name5 + Nuls(153));
  EXPECT_EQ(Mid(tag, 319 + 172, 172), Chr(1) + Chr(1) + Chr(63 + 64) + name63 + Nuls(153));
  EXPECT_EQ(w->ListText(0), "11 *" + name5);
  EXPECT_EQ(w->ListText(1), "12 *" + name63);
  EXPECT_EQ(Mid(tag, 271, 4), "KPGG");
  EXPECT_EQ(Asc(tag, 19), 1);
  EXPECT_EQ(Asc(tag, 7), 1);
  EXPECT_TRUE(On(w, "CommLoad"));
  EXPECT_EQ(w->windowTitle().toStdString(), WinCaption(tag));
  EXPECT_NE(w->windowTitle().indexOf(".pgg"), -1);
}

TEST_F(ClipboardTest, ProgramsPasteWholeAndTheSignatureFollowsTheReferences) {
  const std::string piano = PrgRecord(2, 0, 5, "Piano");
  const std::string organ = PrgRecord(2, 1, 9, "Organ");
  const std::string ref = PrgRecord(1, 2, 3, "Internal");
  WriteBytes(ProgFile("full.prg"), PrgFile({{0, piano}, {1, organ}}));
  WriteBytes(ProgFile("refs.pgg"), PrgFile({{0, ref}, {2, organ}}, true));
  StartClean();
  frmPrgUN* full = OpenPrg("full.prg");
  SelectAndEdit(full, {0, 1}, "mnuCopia");
  frmPrgUN* w = NewPrg();
  SelectAndEdit(w, {10}, "mnuIncolla");
  EXPECT_EQ(Mid(w->Tag(), 319 + 172 * 10, 172 * 2), piano + organ);
  EXPECT_EQ(w->ListText(10), "23  Piano           ");
  EXPECT_EQ(Mid(w->Tag(), 271, 4), "KORG");
  EXPECT_EQ(Asc(w->Tag(), 19), 0);

  // Cutting the only reference of a .pgg makes it a .prg; its entry is
  // blanked, the other entry keeps its mark.
  frmPrgUN* refs = OpenPrg("refs.pgg");
  ASSERT_EQ(Mid(refs->Tag(), 271, 4), "KPGG");
  SelectAndEdit(refs, {0, 2}, "mnuCopia");
  Select(refs, {0});
  DeleteKey(refs);
  const std::string& tag = refs->Tag();
  EXPECT_EQ(Mid(tag, 319, 172), Nuls(172));
  EXPECT_EQ(Mid(tag, 319 + 344, 172), organ);
  EXPECT_EQ(refs->ListText(0), "11");
  EXPECT_EQ(Entry(tag, kPrgEntries, 0), Chr(0) + Space(20));
  EXPECT_EQ(Entry(gClipText, kPrgEntries, 0), Chr(1) + "11 *Internal        ");
  EXPECT_EQ(Mid(tag, 271, 4), "KORG");
  EXPECT_EQ(Asc(tag, 19), 0);
  EXPECT_EQ(Asc(tag, 7), 1);
  EXPECT_TRUE(On(refs, "CommLoad"));
  EXPECT_NE(refs->windowTitle().indexOf(".prg"), -1);

  // Pasting the reference back makes it a .pgg again.
  SelectAndEdit(refs, {0}, "mnuIncolla");
  EXPECT_EQ(Mid(refs->Tag(), 319, 172), ref);
  EXPECT_EQ(Mid(refs->Tag(), 271, 4), "KPGG");
  EXPECT_NE(refs->windowTitle().indexOf(".pgg"), -1);
}

// File > Save As of a new program proposes its name with the type that
// matches it: a program that holds a reference is a .pgg, under "Programs
// (*.pgg)"; one without is a .prg under "Programs (*.prg)". The file written
// is the one proposed.
TEST_F(ClipboardTest, SaveAsOfANewProgramProposesTheTypeOfItsName) {
  WriteBytes(ProgFile("refs.pgg"), PrgFile({{0, PrgRecord(1, 2, 3, "Internal")}}, true));
  StartClean();
  // The pattern the Save As filter shows at a 1-based index.
  const auto typeAt = [](const std::string& filter, int index) {
    QStringList parts = QString::fromLatin1(filter.c_str()).split('|');
    return parts.value(2 * index - 1).trimmed().toStdString();
  };
  const auto proposed = [&](const char* label, const std::string& name, const std::string& type) {
    SCOPED_TRACE(label);
    dialogs_.Clear();
    main_->Item("mnuSalvaAs")->trigger();  // cancelled
    ASSERT_EQ(dialogs_.fileCalls.size(), 1u);
    const FileDialogRequest& req = dialogs_.fileCalls[0].request;
    EXPECT_EQ(req.fileName, name);
    EXPECT_EQ(typeAt(req.filter, req.filterIndex), type);
  };

  frmPrgUN* plain = NewPrg();
  proposed("no reference", "Untitled.prg", "*.prg");
  Discard(plain, 7);

  frmPrgUN* refs = OpenPrg("refs.pgg");
  SelectAndEdit(refs, {0}, "mnuCopia");
  frmPrgUN* w = NewPrg();
  SelectAndEdit(w, {4}, "mnuIncolla");
  ASSERT_NE(w->windowTitle().indexOf("Untitled.pgg"), -1);
  proposed("a reference", "Untitled.pgg", "*.pgg");

  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("kit.pgg");
  answer.filterIndex = 4;
  dialogs_.fileAnswers.push_back(answer);
  main_->Item("mnuSalvaAs")->trigger();
  EXPECT_EQ(Left(ReadBytes(ProgFile("kit.pgg")), 4), "KPGG");
  EXPECT_FALSE(Exists(ProgFile("kit.prg")));
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(ClipboardTest, CuttingEveryProgramSwitchesLoadOff) {
  std::vector<std::pair<int, std::string>> recs;
  for (int i = 0; i < 64; ++i) recs.push_back({i, PrgRecord(2, 0, i, "P" + CStr(i))});
  WriteBytes(ProgFile("all.prg"), PrgFile(recs));
  StartClean();
  frmPrgUN* w = OpenPrg("all.prg");
  Select(w, {0});
  QTest::keyClick(List(w), Qt::Key_A, Qt::ControlModifier);
  DeleteKey(w);
  const std::string& tag = w->Tag();
  EXPECT_EQ(Mid(tag, 319, 64 * 172), Nuls(64 * 172));
  EXPECT_FALSE(On(w, "CommLoad"));
  EXPECT_EQ(Asc(tag, 6), 0);
  EXPECT_EQ(Asc(tag, 7), 1);
  EXPECT_EQ(Mid(tag, 271, 4), "KORG");
  for (int i = 0; i < 64; ++i) EXPECT_EQ(w->ListText(i), ArrSlotNum(i));
  EXPECT_FALSE(Enabled("mnuTaglia"));
  EXPECT_FALSE(Enabled("mnuLoadPrg"));
}

// ---- Styles ------------------------------------------------------------------

TEST_F(ClipboardTest, StylesPasteFromTheSelectedSlotAndStopAtSlot15) {
  WriteBytes(ProgFile("src.sty"), Group({{"One", 40}, {"Two", 50}, {"Three", 60}, {"- empty -", 40}}));
  StartClean();
  frmStyUN* src = OpenSty("src.sty");
  SelectAndEdit(src, {0, 1, 2}, "mnuCopia");
  EXPECT_EQ(gClipKind, 23);
  EXPECT_EQ(gClipText, src->Tag());
  for (int line = 0; line < 19; ++line) EXPECT_EQ(Asc(gClipText, kStyEntries + 21 * line), line <= 2 ? 1 : 0);

  frmStyUN* w = NewSty();
  dialogs_.Clear();
  // Slot 14 is list line 17.
  SelectAndEdit(w, {17}, "mnuIncolla");
  EXPECT_TRUE(dialogs_.boxes.empty());
  const std::string group = Mid(w->Tag(), kStyWinGrpBase);
  EXPECT_EQ(StyGrpSlotName(14, group), "One");
  EXPECT_EQ(StyGrpSlotName(15, group), "Two");
  EXPECT_EQ(SlotData(group, 15), SlotData(Mid(gClipText, kStyWinGrpBase), 1));
  EXPECT_EQ(w->ListText(17), "27  One");
  EXPECT_EQ(w->ListText(18), "28  Two");
  EXPECT_EQ(Box(w, "Text1_14"), "40 ");
  EXPECT_EQ(Box(w, "Text1_15"), "50 ");
  EXPECT_EQ(Box(w, "Text2_3"), "90 ");
  EXPECT_EQ(Box(w, "Text3"), CStr(static_cast<long long>(group.size())));
  EXPECT_EQ(group.size(), 4928u + 90u);
  EXPECT_TRUE(On(w, "CommLoadStyGrp_3"));
  EXPECT_EQ(Asc(w->Tag(), 10), 1);
}

TEST_F(ClipboardTest, CuttingASlotPutsTheEmptyStyleThere) {
  WriteBytes(ProgFile("two.sty"),
             Group({{"A", 40}, {"B", 40}, {"C", 40}, {"D", 40}, {"E", 40}, {"F", 40}, {"G", 40}, {"H", 40}}));
  StartClean();
  frmStyUN* w = OpenSty("two.sty");
  // Slot 5 is list line 6.
  SelectAndEdit(w, {6}, "mnuTaglia");
  EXPECT_EQ(w->ListText(6), "16  - empty -");
  EXPECT_EQ(Box(w, "Text1_5"), "1176 ");
  EXPECT_EQ(Box(w, "Text2_1"), CStr(3 * 40 + 1176) + " ");
  EXPECT_EQ(Box(w, "Text3"), CStr(224 + 7 * 40 + 1176));
  EXPECT_EQ(StySlotName(5, w->Tag()), "- empty -");
  EXPECT_EQ(Asc(w->Tag(), 10), 1);
  EXPECT_EQ(Asc(gClipText, kStyEntries + 21 * 6), 1);
  // The menu follows the emptied slot: no second Cut over the clipboard.
  EXPECT_FALSE(Enabled("mnuTaglia"));
  EXPECT_TRUE(Enabled("mnuIncolla"));
}

TEST_F(ClipboardTest, AStylePasteThatWouldOverfillItsBankStops) {
  WriteBytes(ProgFile("big.sty"), Group({{"Huge", 30000}}));
  WriteBytes(ProgFile("full.sty"), Group({{"- empty -", 1176}, {"Big1", 21000}, {"Big2", 21000}, {"Big3", 21000}}));
  StartClean();
  frmStyUN* src = OpenSty("big.sty");
  SelectAndEdit(src, {0}, "mnuCopia");
  frmStyUN* w = OpenSty("full.sty");
  const std::string tag = w->Tag();
  dialogs_.Clear();
  SelectAndEdit(w, {0}, "mnuIncolla");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].title, "Paste Style");
  EXPECT_EQ(dialogs_.boxes[0].text, "The length of a 4 Styles group must be less than 65496 bytes");
  EXPECT_EQ(w->Tag(), tag);
  EXPECT_EQ(w->ListText(0), "11  - empty -");
}
