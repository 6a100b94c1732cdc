// The global-parameters windows: the instrument's (View > Global
// Parameters) and the global files' (File > Open Gbl), driven through the
// real main window as a user drives them: lists chosen from their popup,
// buttons and tabs clicked, bars clicked and dragged with the mouse. What
// each change sends is read from the MIDI calls made (one global dump per
// change), what it stores from the window's document and the files.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <initializer_list>
#include <utility>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/menuupdate.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/channels.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/scrollbars.h"
#include "ui/main/frmmsgex.h"
#include "ui/editors/frmgbl.h"
#include "ui/main/listtext.h"

namespace {

// A 448-byte global block with the given (offset, byte) pairs after its
// header; every other byte 0.
std::string Block(std::initializer_list<std::pair<int, int>> bytes = {}) { return GblBlockBytes(bytes); }

// The global dump of a window's document.
std::string DumpOf(const std::string& doc) {
  return SysExHeader() + Chr(0x51) + Pack8to7(Mid(doc, 303, 415)) + Chr(0xF7);
}

// ---- What a user does ----

QPoint PartOf(const QScrollBar* bar, QStyle::SubControl part) { return ScrollBarPart(bar, part).center(); }

// A click on an arrow (SubLine: left or top; AddLine: right or bottom) or
// on the trough beside the thumb (SubPage, AddPage).
void ClickBar(QScrollBar* bar, QStyle::SubControl part) {
  QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, PartOf(bar, part));
}

// Drags the thumb by `steps` moves of `pixels` each along the bar.
void DragBar(QScrollBar* bar, int steps, int pixels) {
  const QPoint start = PartOf(bar, QStyle::SC_ScrollBarSlider);
  const QPoint step = bar->orientation() == Qt::Horizontal ? QPoint(pixels, 0) : QPoint(0, pixels);
  QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, start);
  for (int i = 1; i <= steps; ++i) QTest::mouseMove(bar, start + step * i);
  QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, start + step * steps);
}

// Opens the list, moves to the entry and takes it with Return.
void Choose(QComboBox* combo, int index) {
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  view->setCurrentIndex(view->model()->index(index, 0));
  QTest::keyClick(view, Qt::Key_Return);
}

// A click on a check box's or option button's box.
void ClickBox(QAbstractButton* box) {
  QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
}

class FrmGblTest : public MainFixture {
 protected:
  // Starts the program with `block` as the kept global block (settings
  // records 37 and 38) and gGblCurValid as `valid`.
  void StartWithBlock(const std::string& block, int valid = 1) {
    SettingsImage s = SettingsImage::Valid(2);
    s.Byte(1, 49, valid);
    s.Text(37, 1, Left(block, 250));
    s.Text(38, 1, Mid(block, 251, 198));
    WriteBytes(WinFile("Brenvolta.ini"), s.bytes());
    Start();
    midi_->ClearRecords();
  }
  frmGbl* OpenInstrument() {
    main_->Item("mnuGlobalParam")->trigger();
    return gGblForms[0];
  }
  // File > Open Gbl of name.gbl in the program folder, written with bytes
  // first; the window of the slot it took, or nullptr.
  frmGbl* OpenFile(const std::string& name, const std::string& bytes, bool readOnly = false) {
    WriteBytes(ProgFile(name + ".gbl"), bytes);
    FileDialogResult answer;
    answer.accepted = true;
    answer.fileName = ProgFile(name + ".gbl");
    answer.filterIndex = 5;
    answer.readOnly = readOnly;
    dialogs_.fileAnswers.push_back(answer);
    int slot = 0;
    for (int k = 8; k >= 1; --k)
      if (gGblSlots[k].InUse == 0) slot = k;
    main_->Item("mnuApriGbl")->trigger();
    return slot != 0 ? gGblForms[slot].data() : nullptr;
  }
  std::vector<std::string> Dumps() const {
    std::vector<std::string> out;
    for (const VirtualMidi::Call& c : midi_->CallsNamed("midiOutLongMsg")) out.push_back(c.bytes);
    return out;
  }
  template <class T>
  static T* Ctl(frmGbl* w, const QString& name) {
    T* c = w->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << name.toStdString();
    return c;
  }
  static QComboBox* List(frmGbl* w, const char* array, int i) {
    return Ctl<QComboBox>(w, QString("%1_%2").arg(array).arg(i));
  }
  static QScrollBar* Bar(frmGbl* w, const char* array, int i) {
    return Ctl<QScrollBar>(w, QString("%1_%2").arg(array).arg(i));
  }
  static std::string Shown(frmGbl* w, const char* array, int i) {
    return ComboText(List(w, array, i));
  }
  static std::string LabelText(frmGbl* w, const QString& name) {
    return Ctl<QLabel>(w, name)->text().toStdString();
  }
  // Clicks the tab, as the user does, so that its controls can be reached.
  static void ShowTab(frmGbl* w, int index) {
    QTabBar* tabs = Ctl<QTabWidget>(w, "SSTab1")->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(index).center());
  }
  static void Press(frmGbl* w, const char* button) { QTest::mouseClick(Ctl<QPushButton>(w, button), Qt::LeftButton); }
  static std::string BlockOf(frmGbl* w) { return Mid(w->Tag(), 271, 448); }
  static int Modified(frmGbl* w) { return Asc(w->Tag(), 4); }
  QSize CappedSize() const { return QSize(TwipsToPixels(9072), TwipsToPixels(5640)); }
};

// ---- Opening -------------------------------------------------------------

TEST_F(FrmGblTest, TheInstrumentWindowOpensOnTheKeptBlockWithoutSending) {
  const std::string block = Block({{32, 244},  {34, 0x89}, {35, 47},  {37, 10},  {38, 1},    {51, 3},
                                   {60, 2},    {61, 1},    {64, 236}, {75, 50},  {88, 5},    {244, 100},
                                   {245, 0x2F}, {247, 254}, {248, 36}, {249, 96}, {250, 15}, {251, 8},
                                   {252, 32},  {253, 1},   {254, 2},  {447, 0x55}});
  StartWithBlock(block);
  gChDrum = 9;
  gOpenReadOnly = true;  // left by a file opened read-only: not this window's
  ASSERT_TRUE(Enabled("mnuGlobalParam"));
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(midi_->Calls().empty());
  EXPECT_EQ(w->windowTitle().toStdString(), "Global Parameters");
  const std::string& tag = w->Tag();
  ASSERT_EQ(tag.size(), 718u);
  EXPECT_EQ(Left(tag, 20), Chr(14) + Nuls(19));  // not read-only, not modified, slot 0
  EXPECT_EQ(Mid(tag, 21, 250), PadRight("Global Parameters", 250));
  EXPECT_EQ(BlockOf(w), block);
  EXPECT_EQ(gGblSlots[0].InUse, 1);
  EXPECT_EQ(gGblSlots[0].ReadOnly, 0);
  EXPECT_EQ(gGblWinCount, 1);
  EXPECT_FALSE(Enabled("mnuGlobalParam"));
  MenuUpdate();
  EXPECT_TRUE(Enabled("mnuSalva"));
  EXPECT_TRUE(Enabled("mnuSalvaAs"));

  // The window starts on its first tab, every field shown from the block.
  EXPECT_EQ(Ctl<QTabWidget>(w, "SSTab1")->currentIndex(), 0);
  EXPECT_EQ(LabelText(w, "GblLab1_1"), "-12");
  EXPECT_EQ(Bar(w, "GblHScroll1", 0)->value(), -12);
  EXPECT_TRUE(Ctl<QRadioButton>(w, "GblOption1_0")->isChecked());
  EXPECT_FALSE(Ctl<QRadioButton>(w, "GblOption1_1")->isChecked());
  EXPECT_EQ(Shown(w, "GblCombo1", 16), " DIS");
  EXPECT_EQ(Shown(w, "GblCombo1", 17), " PRG");
  EXPECT_EQ(Shown(w, "GblCombo1", 19), " IN 2");
  EXPECT_EQ(Shown(w, "GblCombo1", 10), "SYNC STOP");  // code 47
  EXPECT_EQ(Shown(w, "GblCombo1", 6), "USER SCALE 1");
  EXPECT_EQ(Shown(w, "GblCombo1", 8), " C#");
  EXPECT_EQ(Shown(w, "GblCombo1", 2), " 4");
  EXPECT_EQ(Shown(w, "GblCombo1", 5), "One Finger");
  EXPECT_EQ(Shown(w, "GblCombo1", 0), " U-1");
  EXPECT_EQ(Shown(w, "GblCombo1", 1), " L+2");
  EXPECT_TRUE(Ctl<QCheckBox>(w, "GblCheck1_0")->isChecked());
  EXPECT_TRUE(Ctl<QCheckBox>(w, "GblCheck1_1")->isChecked());
  EXPECT_FALSE(Ctl<QCheckBox>(w, "GblCheck1_2")->isChecked());
  EXPECT_EQ(LabelText(w, "GblLab1_13"), "100");
  EXPECT_EQ(LabelText(w, "Lab2_0"), "-20");
  EXPECT_EQ(w->VScroll2Value(0), -20);
  EXPECT_EQ(LabelText(w, "Lab2_11"), "50");
  EXPECT_EQ(LabelText(w, "Lab2_24"), "5");
  EXPECT_EQ(LabelText(w, "Lab2_1"), "0");
  EXPECT_EQ(LabelText(w, "Lab2b_13"), "C#");
  EXPECT_EQ(Shown(w, "Combo3", 0), " -2");
  EXPECT_EQ(LabelText(w, "Lab3_5"), "C2");
  EXPECT_EQ(LabelText(w, "Lab3_7"), "C7");
  EXPECT_EQ(Shown(w, "Combo3", 1), " 16");
  EXPECT_EQ(Shown(w, "Combo3", 2), " LOW/UP2");
  EXPECT_EQ(Shown(w, "Combo3", 3), " Keyboard");
  EXPECT_TRUE(Ctl<QCheckBox>(w, "Check3")->isChecked());
  EXPECT_EQ(Shown(w, "Combo3", 4), " 1");
  EXPECT_EQ(Shown(w, "Combo3", 9), " 10");
  EXPECT_EQ(w->findChild<QPushButton*>("CommClose")->text().toStdString(), "&Close");
  // No list can be typed into.
  for (QComboBox* combo : w->findChildren<QComboBox*>()) EXPECT_FALSE(combo->isEditable());
}

TEST_F(FrmGblTest, BytesOutOfRangeShowFixedEntriesAndTravelUntilChanged) {
  // A kept block that is all 0xEE: most fields are out of range.
  std::string block = Block();
  for (int k = 32; k < 448; ++k) MidAssign(block, k + 1, Chr(0xEE));
  MidAssign(block, 248 + 1, Chr(200));  // Range L
  MidAssign(block, 249 + 1, Chr(5));    // Range H
  MidAssign(block, 247 + 1, Chr(100));  // Octave
  StartWithBlock(block);
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(Dumps().empty());
  EXPECT_EQ(Modified(w), 0);
  EXPECT_EQ(BlockOf(w), block);
  EXPECT_EQ(LabelText(w, "GblLab1_1"), "-18");       // 0xEE is -18: in range
  EXPECT_EQ(LabelText(w, "GblLab1_13"), "Normal");   // 238 is no velocity
  EXPECT_EQ(Shown(w, "GblCombo1", 2), " 1");
  EXPECT_EQ(Shown(w, "GblCombo1", 5), "One Finger");  // low two bits 10
  EXPECT_EQ(Shown(w, "GblCombo1", 6), "EQUAL TEMP");
  EXPECT_EQ(Shown(w, "GblCombo1", 9), " C");
  EXPECT_EQ(Shown(w, "GblCombo1", 12), "OFF");
  EXPECT_EQ(Shown(w, "GblCombo1", 0), " U-2");        // nibble E
  EXPECT_EQ(Shown(w, "GblCombo1", 1), " L-2");
  EXPECT_EQ(Shown(w, "GblCombo1", 19), " OFF");       // bits 6-7 = 11
  EXPECT_EQ(Shown(w, "Combo3", 0), " 3");
  EXPECT_EQ(Shown(w, "Combo3", 1), " 1");
  EXPECT_EQ(Shown(w, "Combo3", 2), " OFF");
  EXPECT_EQ(Shown(w, "Combo3", 3), " MIDI Ch01");
  EXPECT_EQ(LabelText(w, "Lab3_5"), "C-1");
  EXPECT_EQ(LabelText(w, "Lab3_7"), "G9");

  // One field changed: only its byte changes, the others go out as they are.
  Choose(List(w, "GblCombo1", 2), 4);
  ASSERT_EQ(Dumps().size(), 1u);
  std::string expected = block;
  MidAssign(expected, 51 + 1, Chr(4));
  EXPECT_EQ(BlockOf(w), expected);
  EXPECT_EQ(Dumps()[0], DumpOf(w->Tag()));
}

TEST_F(FrmGblTest, AShortKeptBlockOpensAsZeros) {
  // A settings file that ends inside record 37: the rest of the block reads
  // as zeros.
  SettingsImage s = SettingsImage::Valid(2);
  s.Byte(1, 49, 1);
  s.Text(37, 1, Left(Block({{32, 5}}), 100));
  WriteBytes(WinFile("Brenvolta.ini"), Left(s.bytes(), 36 * 250 + 100));
  Start();
  midi_->ClearRecords();
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(BlockOf(w), Block({{32, 5}}));
  EXPECT_EQ(LabelText(w, "GblLab1_1"), "5");
  EXPECT_EQ(Shown(w, "Combo3", 1), " 1");
  EXPECT_EQ(Modified(w), 0);
  EXPECT_TRUE(midi_->Calls().empty());
}

// ---- Changes ---------------------------------------------------------------

TEST_F(FrmGblTest, EachChangeSendsTheWholeBlockOnce) {
  StartWithBlock(Block({{34, 0x07}, {254, 0x01}}));
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  struct Step {
    const char* what;
    std::function<void()> act;
    std::vector<std::pair<int, int>> changes;  // block offsets and their new bytes
  };
  const std::vector<Step> steps = {
      {"Octave Upper U-1", [&] { Choose(List(w, "GblCombo1", 0), 3); }, {{245, 0x0F}}},
      {"Octave Lower L+2", [&] { Choose(List(w, "GblCombo1", 1), 0); }, {{245, 0x2F}}},
      {"Octave Lower L-2", [&] { Choose(List(w, "GblCombo1", 1), 4); }, {{245, 0xEF}}},
      {"Velocity Curve 8", [&] { Choose(List(w, "GblCombo1", 2), 7); }, {{51, 7}}},
      {"Echo Back IN 2", [&] { Choose(List(w, "GblCombo1", 19), 2); }, {{34, 0x87}}},
      {"JS x LOW DIS", [&] { Choose(List(w, "GblCombo1", 16), 1); }, {{34, 0x8F}}},
      {"Damper -", [&] { ClickBox(Ctl<QRadioButton>(w, "GblOption1_1")); }, {{34, 0x8E}}},
      {"Damper +", [&] { ClickBox(Ctl<QRadioButton>(w, "GblOption1_0")); }, {{34, 0x8F}}},
      {"Transpose Lock", [&] { ClickBox(Ctl<QCheckBox>(w, "GblCheck1_1")); }, {{254, 0x03}}},
      {"Auto Chord Scan", [&] { ClickBox(Ctl<QCheckBox>(w, "GblCheck1_0")); }, {{61, 1}}},
      {"Assignable Pedal", [&] { Choose(List(w, "GblCombo1", 10), 3); }, {{35, 47}}},
      {"Ext. Controller E", [&] { Choose(List(w, "GblCombo1", 15), 51); }, {{59, 53}}},
      {"Sub Scale Key B", [&] { Choose(List(w, "GblCombo1", 9), 11); }, {{54, 11}}},
      {"Master Tune arrow", [&] { ClickBar(Bar(w, "GblHScroll1", 0), QStyle::SC_ScrollBarSubLine); }, {{32, 255}}},
      {"Velocity page", [&] { ClickBar(Bar(w, "GblHScroll1", 1), QStyle::SC_ScrollBarAddPage); }, {{244, 10}}},
      {"User scales 3, 4", [&] { ShowTab(w, 2); }, {}},
      {"US3 C up", [&] { ClickBar(Bar(w, "VScroll2", 24), QStyle::SC_ScrollBarSubLine); }, {{88, 1}}},
      {"US3 C down", [&] { ClickBar(Bar(w, "VScroll2", 24), QStyle::SC_ScrollBarAddLine); }, {{88, 0}}},
      {"US3 C down", [&] { ClickBar(Bar(w, "VScroll2", 24), QStyle::SC_ScrollBarAddLine); }, {{88, 255}}},
      {"US4 B page down", [&] { ClickBar(Bar(w, "VScroll2", 47), QStyle::SC_ScrollBarAddPage); }, {{111, 246}}},
      {"Harmony", [&] { ShowTab(w, 3); }, {}},
      {"TG (Song Play)", [&] { ClickBox(Ctl<QCheckBox>(w, "Check3")); }, {{253, 1}}},
      {"Range L arrow", [&] { ClickBar(Bar(w, "HScroll3", 0), QStyle::SC_ScrollBarAddLine); }, {{248, 1}}},
      {"Range H arrow", [&] { ClickBar(Bar(w, "HScroll3", 1), QStyle::SC_ScrollBarSubLine); }, {{249, 126}}},
      {"Octave -3", [&] { Choose(List(w, "Combo3", 0), 6); }, {{247, 253}}},
      {"Channel (Arr) 16", [&] { Choose(List(w, "Combo3", 1), 16); }, {{250, 15}}},
      {"Channel (Arr) OFF", [&] { Choose(List(w, "Combo3", 1), 0); }, {{250, 255}}},
      {"Track ETr1", [&] { Choose(List(w, "Combo3", 2), 9); }, {{251, 9}}},
      {"Song Keyboard", [&] { Choose(List(w, "Combo3", 3), 33); }, {{252, 32}}},
      {"Song Ch01", [&] { Choose(List(w, "Combo3", 3), 17); }, {{252, 16}}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    const std::string before = BlockOf(w);
    const size_t sent = Dumps().size();
    s.act();
    std::string expected = before;
    for (const auto& [offset, value] : s.changes) MidAssign(expected, offset + 1, Chr(value));
    EXPECT_EQ(BlockOf(w), expected);
    if (s.changes.empty()) {
      EXPECT_EQ(Dumps().size(), sent);
      continue;
    }
    ASSERT_EQ(Dumps().size(), sent + 1);
    EXPECT_EQ(Dumps().back(), DumpOf(w->Tag()));
    EXPECT_EQ(Dumps().back().size(), 481u);
    EXPECT_EQ(Modified(w), 1);
    EXPECT_EQ(gGblCur, BlockOf(w));
    EXPECT_EQ(gGblCurValid, 1);
  }
  EXPECT_EQ(LabelText(w, "GblLab1_1"), "-1");
  EXPECT_EQ(LabelText(w, "GblLab1_13"), "10");
  EXPECT_EQ(LabelText(w, "Lab2_24"), "-1");
  EXPECT_EQ(LabelText(w, "Lab2_47"), "-10");
  EXPECT_EQ(LabelText(w, "Lab3_5"), "C#-1");
  EXPECT_EQ(LabelText(w, "Lab3_7"), "F#9");
  // Nothing else ever went out.
  EXPECT_EQ(midi_->CallsNamed("midiOutShortMsg").size(), 0u);
  // The instrument's window's send leaves its item enabled: choosing it
  // only brings the window forward.
  EXPECT_TRUE(Enabled("mnuGlobalParam"));
}

TEST_F(FrmGblTest, ADragSendsOneDumpPerValueAndEndsOnTheLastValue) {
  StartWithBlock(Block());
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  QScrollBar* tune = Bar(w, "GblHScroll1", 0);
  int values = 0;
  QObject::connect(tune, &QScrollBar::valueChanged, [&values] { ++values; });
  DragBar(tune, 12, 5);
  ASSERT_GT(tune->value(), 5);
  EXPECT_EQ(static_cast<int>(Dumps().size()), values);
  EXPECT_EQ(Asc(w->Tag(), 271 + 32), tune->value());
  EXPECT_EQ(Dumps().back(), DumpOf(w->Tag()));
  EXPECT_EQ(LabelText(w, "GblLab1_1"), CStr(tune->value()));
}

TEST_F(FrmGblTest, TheChannelTableIsKeptAtOnceAndNeverSent) {
  StartWithBlock(Block({{40, 0x11}}));
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  ShowTab(w, 3);
  Choose(List(w, "Combo3", 4), 4);  // GLB " 5"
  Choose(List(w, "Combo3", 9), 2);  // DRM " 3"
  EXPECT_EQ(gChGlobal, 4);
  EXPECT_EQ(gChDrum, 2);
  EXPECT_TRUE(midi_->Calls().empty());
  EXPECT_EQ(Modified(w), 0);
  EXPECT_EQ(BlockOf(w), Block({{40, 0x11}}));

  // "Load" sends the unchanged block, on the new global channel, and marks
  // nothing; the open monitor shows the dump alone.
  main_->Item("mnuMsgEx")->trigger();
  main_->MdiArea()->setActiveSubWindow(w);
  Press(w, "CommLoadGbl");
  ASSERT_EQ(Dumps().size(), 1u);
  EXPECT_EQ(Left(Dumps()[0], 5), std::string("\xF0\x42\x34\x4D\x51", 5));
  EXPECT_EQ(Dumps()[0], DumpOf(w->Tag()));
  EXPECT_EQ(Modified(w), 0);
  EXPECT_EQ(main_->MsgEx()->KeptText(), MonitorLine(Dumps()[0]));

  // "GLOBAL" puts the instrument in its global mode.
  Press(w, "CommGlobal");
  ASSERT_EQ(Dumps().size(), 2u);
  EXPECT_EQ(Dumps()[1], std::string("\xF0\x42\x34\x4D\x4E\x04\xF7", 7));
  EXPECT_EQ(gInstrMode, 2);
  EXPECT_EQ(main_->Label("LabelMode")->text().toStdString(), "GLOBAL");
}

TEST_F(FrmGblTest, ResetUserScaleZeroesItsTwelveNotesWithOneDump) {
  std::string block = Block();
  for (int k = 64; k <= 111; ++k) MidAssign(block, k + 1, Chr(k == 90 ? 100 : 7));  // 100: out of range
  StartWithBlock(block);
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  ShowTab(w, 2);
  Press(w, "CommResetUS_2");
  ASSERT_EQ(Dumps().size(), 1u);
  std::string expected = block;
  MidAssign(expected, 88 + 1, Nuls(12));
  EXPECT_EQ(BlockOf(w), expected);
  EXPECT_EQ(Dumps()[0], DumpOf(w->Tag()));
  EXPECT_EQ(Modified(w), 1);
  for (int i = 24; i < 36; ++i) {
    EXPECT_EQ(w->VScroll2Value(i), 0);
    EXPECT_EQ(LabelText(w, "Lab2_" + QString::number(i)), "0");
  }
  EXPECT_EQ(LabelText(w, "Lab2_36"), "7");
  EXPECT_FALSE(gFormLoading);
}

// ---- The instrument's window ----------------------------------------------

TEST_F(FrmGblTest, ChoosingGlobalParametersAgainOnlyBringsTheWindowForward) {
  StartWithBlock(Block());
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  Choose(List(w, "GblCombo1", 3), 5);  // a send enables the item again
  ASSERT_TRUE(Enabled("mnuGlobalParam"));
  ShowTab(w, 1);
  w->showMinimized();
  const size_t sent = Dumps().size();
  EXPECT_EQ(OpenInstrument(), w);
  EXPECT_FALSE(w->isMinimized());
  EXPECT_EQ(main_->MdiArea()->activeSubWindow(), w);
  EXPECT_EQ(gGblWinCount, 1);
  EXPECT_EQ(Shown(w, "GblCombo1", 3), " 6");
  EXPECT_EQ(Ctl<QTabWidget>(w, "SSTab1")->currentIndex(), 1);
  EXPECT_EQ(Modified(w), 1);
  EXPECT_EQ(Dumps().size(), sent);
}

TEST_F(FrmGblTest, TheInstrumentWindowClosesWithoutAskingAndReopensWhereItWas) {
  StartWithBlock(Block());
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  // The first showing caps the first-start size (9228 x 5916 twips).
  EXPECT_EQ(w->geometry().size(), CappedSize());
  // Its controls are laid out inside that size.
  Settle(0);
  EXPECT_LT(w->widget()->width(), w->width());
  EXPECT_LT(w->widget()->height(), w->height());
  EXPECT_EQ(gWinPosTab[kKindGblParam].Height, ClampTwips16(w->HeightTwips()));
  EXPECT_EQ(gWinPosTab[kKindGblParam].State, 1);
  w->setGeometry(45, 30, 400, 300);
  Choose(List(w, "GblCombo1", 2), 1);
  dialogs_.Clear();
  EXPECT_TRUE(w->close());
  Settle(0);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(gGblForms[0], nullptr);
  EXPECT_EQ(gGblSlots[0].InUse, 0);
  EXPECT_EQ(gGblWinCount, 0);
  EXPECT_TRUE(Enabled("mnuGlobalParam"));
  EXPECT_EQ(gWinPosTab[kKindGblParam].State, 0);

  // It reopens on the block last sent, at its place and size.
  frmGbl* again = OpenInstrument();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->geometry(), QRect(45, 30, 400, 300));
  EXPECT_EQ(Shown(again, "GblCombo1", 2), " 2");
  EXPECT_EQ(Modified(again), 0);
}

TEST_F(FrmGblTest, ANormalWindowNeverGrowsBeyondItsSizeAMaximisedOneIsLeftAlone) {
  StartWithBlock(Block());
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  w->resize(w->width() + 200, w->height() + 100);
  EXPECT_EQ(w->geometry().size(), CappedSize());
  Settle(0);
  EXPECT_LT(w->widget()->width(), w->width());
  w->resize(300, 200);  // smaller is fine
  EXPECT_EQ(w->geometry().size(), QSize(300, 200));
  EXPECT_EQ(gWinPosTab[kKindGblParam].Width, ClampTwips16(PixelsToTwips(300)));

  // A main window larger than the cap: the maximised child fills it.
  main_->showNormal();
  main_->resize(1400, 1000);
  Settle(0);
  w->showMaximized();
  Settle(0);
  EXPECT_TRUE(w->isMaximized());
  EXPECT_GT(w->width(), CappedSize().width());
  EXPECT_EQ(gWinPosTab[kKindGblParam].State, 1);
  w->showNormal();
  Settle(0);
  EXPECT_EQ(w->geometry().size(), QSize(300, 200));
}

TEST_F(FrmGblTest, ARightClickOnAFrameOrTheTabsShowsTheEditMenu) {
  StartWithBlock(Block());
  frmGbl* w = OpenInstrument();
  ASSERT_NE(w, nullptr);
  for (const char* target : {"Frame1", "SSTab1"}) {
    SCOPED_TRACE(target);
    QWidget* widget = Ctl<QWidget>(w, target);
    const QPoint at = widget->mapTo(main_, QPoint(4, 4));
    QTest::mouseClick(main_->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    EXPECT_TRUE(main_->EditMenu()->isVisible());
    main_->EditMenu()->hide();
  }
  // A left click shows nothing.
  const QPoint at = Ctl<QWidget>(w, "Frame1")->mapTo(main_, QPoint(4, 4));
  QTest::mouseClick(main_->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_FALSE(main_->EditMenu()->isVisible());
}

// ---- Global files ------------------------------------------------------------

TEST_F(FrmGblTest, GlobalFilesOpenAtTheTopLeftUpToEight) {
  StartWithBlock(Block(), 0);
  EXPECT_FALSE(Enabled("mnuGlobalParam"));  // no block was ever sent
  ASSERT_TRUE(Enabled("mnuApriGbl"));
  frmGbl* first = OpenFile("g1", Block({{51, 2}}));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->windowTitle().toStdString(), "File Gbl - g1.gbl (1)");
  const std::string& tag = first->Tag();
  EXPECT_EQ(Left(tag, 20), Chr(25) + Nuls(13) + Chr(1) + Nuls(5));
  EXPECT_EQ(Mid(tag, 21, 238), PadRight(ProgFile("g1"), 238));
  EXPECT_EQ(BlockOf(first), Block({{51, 2}}));
  EXPECT_EQ(gGblSlots[1].InUse, 1);
  EXPECT_EQ(RTrim(gGblSlots[1].Path), ProgFile("g1"));
  EXPECT_EQ(first->geometry(), QRect(QPoint(0, 0), CappedSize()));
  EXPECT_TRUE(midi_->Calls().empty());
  first->setGeometry(50, 60, 300, 200);

  for (int k = 2; k <= 8; ++k) {
    SCOPED_TRACE(k);
    frmGbl* w = OpenFile("g" + CStr(k), GblFileBytes());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Slot(), k);
    EXPECT_EQ(w->geometry(), QRect(QPoint(0, 0), CappedSize()));
  }
  EXPECT_EQ(gGblWinCount, 8);
  EXPECT_FALSE(Enabled("mnuApriGbl"));
  // A ninth opens nothing, not even its dialog.
  dialogs_.Clear();
  EXPECT_EQ(OpenFile("g9", GblFileBytes()), nullptr);
  EXPECT_TRUE(dialogs_.fileCalls.empty());
  main_->mnuApriGbl_Click();
  EXPECT_TRUE(dialogs_.fileCalls.empty());
  dialogs_.Clear();

  // Closing one frees its slot and the command.
  gGblForms[3]->close();
  Settle(0);
  EXPECT_EQ(gGblSlots[3].InUse, 0);
  EXPECT_TRUE(Enabled("mnuApriGbl"));
  frmGbl* again = OpenFile("g9", GblFileBytes());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Slot(), 3);
  EXPECT_EQ(again->windowTitle().toStdString(), "File Gbl - g9.gbl (3)");
}

TEST_F(FrmGblTest, ABadOrOpenFileOpensNoWindowAndIsLeftAsItWas) {
  StartWithBlock(Block(), 0);
  struct Case {
    const char* name;
    std::string bytes;
    const char* title;
  };
  const Case cases[] = {{"short", Left(GblFileBytes(), 447), "Opening short.gbl"},
                        {"header", "KORX" + Mid(GblFileBytes(), 5), "Opening header.gbl"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs_.Clear();
    EXPECT_EQ(OpenFile(c.name, c.bytes), nullptr);
    EXPECT_EQ(gGblForms[1], nullptr);
    EXPECT_EQ(ReadBytes(ProgFile(std::string(c.name) + ".gbl")), c.bytes);
    ASSERT_EQ(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, c.title);
    EXPECT_EQ(dialogs_.boxes[0].text, "Error reading ");
  }
  ASSERT_NE(OpenFile("good", GblFileBytes()), nullptr);
  dialogs_.Clear();
  EXPECT_EQ(OpenFile("good", GblFileBytes()), nullptr);  // slot 2 stays free
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "File already open");
  EXPECT_EQ(gGblWinCount, 1);
  EXPECT_EQ(gGblSlots[2].InUse, 0);
}

TEST_F(FrmGblTest, AFileWindowSendsItsBlockAndMakesItTheCurrentOne) {
  StartWithBlock(Block(), 0);
  frmGbl* file = OpenFile("song", Block({{37, 3}}));
  ASSERT_NE(file, nullptr);
  Choose(List(file, "GblCombo1", 3), 2);
  ASSERT_EQ(Dumps().size(), 1u);
  EXPECT_EQ(Dumps()[0], DumpOf(file->Tag()));
  EXPECT_EQ(gGblCur, Block({{37, 3}, {52, 2}}));
  EXPECT_EQ(gGblCurValid, 1);
  // The instrument now has a block: its window opens on it.
  ASSERT_TRUE(Enabled("mnuGlobalParam"));
  frmGbl* inst = OpenInstrument();
  ASSERT_NE(inst, nullptr);
  EXPECT_EQ(BlockOf(inst), Block({{37, 3}, {52, 2}}));
  EXPECT_EQ(inst->Slot(), 0);
  EXPECT_EQ(gGblSlots[1].InUse, 1);  // the instrument's window takes no file slot
  EXPECT_EQ(gGblWinCount, 2);
}

TEST_F(FrmGblTest, WithoutMidiNothingLeavesButTheBlockIsStillCurrent) {
  midi_->SetDeviceCounts(0, 0);
  StartWithBlock(Block(), 0);
  dialogs_.Clear();
  frmGbl* file = OpenFile("song", Block());
  ASSERT_NE(file, nullptr);
  midi_->ClearRecords();
  Choose(List(file, "GblCombo1", 2), 6);
  EXPECT_TRUE(midi_->CallsNamed("midiOutLongMsg").empty());
  EXPECT_TRUE(midi_->Wire().empty());
  EXPECT_EQ(gGblCur, Block({{51, 6}}));
  EXPECT_TRUE(Enabled("mnuGlobalParam"));
  EXPECT_EQ(Modified(file), 1);
}

TEST_F(FrmGblTest, AReadOnlyFileIsSentButNotSaved) {
  StartWithBlock(Block(), 0);
  frmGbl* w = OpenFile("locked", Block(), true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle().toStdString(), "File Gbl - locked.gbl (1) - Read Only");
  EXPECT_EQ(Asc(w->Tag(), 2), 1);
  EXPECT_EQ(gGblSlots[1].ReadOnly, 1);
  Choose(List(w, "GblCombo1", 6), 4);
  EXPECT_EQ(Dumps().size(), 1u);
  MenuUpdate();
  EXPECT_FALSE(Enabled("mnuSalva"));
  EXPECT_TRUE(Enabled("mnuSalvaAs"));

  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgYes};
  EXPECT_TRUE(w->close());
  Settle(0);
  ASSERT_EQ(dialogs_.boxes.size(), 2u);
  EXPECT_EQ(dialogs_.boxes[1].title, "File Gbl - locked.gbl (1) - Read Only");
  EXPECT_EQ(dialogs_.boxes[1].text, "Read only file");
  EXPECT_EQ(ReadBytes(ProgFile("locked.gbl")), Block());
  EXPECT_EQ(gGblForms[1], nullptr);
}

TEST_F(FrmGblTest, TheClosePromptSavesDiscardsOrKeepsTheWindow) {
  StartWithBlock(Block(), 0);
  for (const ClosePromptCase& c : ClosePromptCases()) {
    SCOPED_TRACE(c.answer * 10 + c.failSave);
    frmGbl* w = OpenFile("song", Block());
    ASSERT_NE(w, nullptr);
    Choose(List(w, "GblCombo1", 2), 3);
    EXPECT_EQ(CloseAnswering(w, c), c.closes);
    ASSERT_GE(dialogs_.boxes.size(), 1u);
    EXPECT_EQ(dialogs_.boxes[0].title, "File Gbl - song.gbl (1)");
    EXPECT_EQ(dialogs_.boxes[0].text, "The file has changed\r\nSave changes ?");
    EXPECT_EQ(dialogs_.boxes[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(ReadBytes(ProgFile("song.gbl")), c.saved ? Block({{51, 3}}) : Block());
    if (c.closes) {
      EXPECT_EQ(gGblForms[1], nullptr);
      EXPECT_EQ(gGblSlots[1].InUse, 0);
      EXPECT_EQ(gGblWinCount, 0);
    } else {
      ASSERT_EQ(gGblForms[1], w);
      EXPECT_EQ(Modified(w), 1);
      EXPECT_EQ(gGblSlots[1].InUse, 1);
      dialogs_.boxAnswers = {kMsgNo};
      w->close();
      Settle(0);
    }
  }
  // An unchanged window closes without asking.
  frmGbl* w = OpenFile("song", Block());
  ASSERT_NE(w, nullptr);
  dialogs_.Clear();
  EXPECT_TRUE(w->close());
  EXPECT_TRUE(dialogs_.boxes.empty());
}

TEST_F(FrmGblTest, AFailedSaveOrCancelInTheClosePromptStopsTheExit) {
  StartWithBlock(Block(), 0);
  frmGbl* w = OpenFile("song", Block());
  ASSERT_NE(w, nullptr);
  Choose(List(w, "GblCombo1", 2), 3);
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    dialogs_.boxAnswers = {attempt == 0 ? kMsgCancel : kMsgYes};
    FaultHook fault(FailOp("write", 61));
    main_->Item("mnuExit")->trigger();
    EXPECT_TRUE(main_->ExitRefused());
    EXPECT_EQ(gGblForms[1], w);
    EXPECT_EQ(Modified(w), 1);
    EXPECT_FALSE(gClosing);
  }
  EXPECT_EQ(ReadBytes(ProgFile("song.gbl")), Block());
  dialogs_.boxAnswers = {kMsgYes};
  main_->Item("mnuExit")->trigger();
  EXPECT_FALSE(main_->ExitRefused());
  EXPECT_EQ(ReadBytes(ProgFile("song.gbl")), Block({{51, 3}}));
}

}  // namespace
