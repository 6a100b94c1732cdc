// The arrangement editor: opened from an arrangement-file window's Edit,
// its fill of every field, each change written into the edit record and
// sent as the exact parameter change, the picks from the style and program
// windows, the store prompt and its owner's commands. The windows are driven
// through the real main window with scripted dialogs and the virtual MIDI
// back end.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QStyleOptionTitleBar>
#include <QTabWidget>
#include <QKeyEvent>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

#include "app/arrrec.h"
#include "app/nametables.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "platform/twips.h"
#include "core/bytes.h"
#include "files/datafiles.h"
#include "midi/callup.h"
#include "midi/sysex.h"
#include "platform/dialogs.h"
#include "tests/fixtures/filebuilders.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/midibytes.h"
#include "tests/ui/documents/arrwintest.h"
#include "tests/ui/documents/docwintest.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmpcgae.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyab.h"
#include "ui/documents/frmstyun.h"
#include "ui/editors/frmeditarr.h"
#include "ui/editors/frmtastiera.h"

using arrwintest::ArrFile;
using arrwintest::ClickLine;
using arrwintest::Rec;

namespace {

// A record: its name (16 bytes as stored) and bytes set at record offsets.
std::string RecWith(const std::string& name, std::initializer_list<std::pair<int, int>> bytes) {
  std::string rec = Nuls(164);
  MidAssign(rec, 1, Left(name + Space(16), 16));
  for (const auto& [offset, value] : bytes) MidAssign(rec, offset + 1, Chr(value));
  return rec;
}

// Scripted dialogs that let something happen while a box is up, before its
// answer: a window manager may hand the activation back to another child
// window of the main window then.
class DialogsWithActivation : public ScriptedDialogs {
 public:
  std::function<void()> whileUp;
  int MessageBox(const std::string& title, const std::string& text, MsgIcon icon, MsgButtons buttons) override {
    if (whileUp) whileUp();
    return ScriptedDialogs::MessageBox(title, text, icon, buttons);
  }
};

// A left click on the close box of a child window's title bar.
void ClickCloseBox(QMdiSubWindow* w) {
  QStyleOptionTitleBar bar;
  bar.initFrom(w);
  bar.text = w->windowTitle();
  bar.titleBarFlags = w->windowFlags();
  bar.titleBarState = w->windowState();
  bar.subControls = QStyle::SC_All;
  const int border = w->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, w);
  bar.rect = QRect(border, border, w->width() - 2 * border,
                   w->style()->pixelMetric(QStyle::PM_TitleBarHeight, &bar, w));
  const QRect box = w->style()->subControlRect(QStyle::CC_TitleBar, &bar, QStyle::SC_TitleBarCloseButton, w);
  // The title bar takes a button by the place the mouse moved to.
  QTest::mouseMove(w, w->rect().center());
  QTest::mouseMove(w, box.center());
  QTest::mouseClick(w, Qt::LeftButton, {}, box.center());
}

}  // namespace

class FrmEditArrTest : public DocWindowTest {
 protected:
  frmArrU* Open(const std::string& name, bool readOnly = false) {
    OpenThrough("mnuApriArr", name + ".arr", readOnly);
    return gArrUForms[gArrSlotIdx];
  }
  static QListWidget* List(frmArrU* w) { return w->findChild<QListWidget*>("List1"); }
  static QPushButton* Button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }
  void Click(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton);
    Settle(0);
  }
  // A click on the line of the window, then on its Edit button.
  frmEditArr* Edit(frmArrU* w, int line) {
    main_->MdiArea()->setActiveSubWindow(w);
    ClickLine(List(w), line);
    Click(Button(w, "CommEdit"));
    return gEditArrForm;
  }
  template <class T>
  static T* Ctl(const QString& name) {
    return gEditArrForm ? gEditArrForm->findChild<T*>(name) : nullptr;
  }
  static QString Idx(const char* name, int i) { return QString(name) + "_" + QString::number(i); }
  static std::string Field(int i) { return Ctl<QLineEdit>(Idx("Text1", i))->text().toStdString(); }
  static std::string LabelText(const QString& name) { return Ctl<QLabel>(name)->text().toStdString(); }
  static std::string ListShown(QComboBox* combo) { return combo->currentText().toStdString(); }
  static QComboBox* Combo1(int i) { return Ctl<QComboBox>(Idx("Combo1", i)); }
  static QComboBox* Combo2(int i) { return Ctl<QComboBox>(Idx("Combo2", i)); }
  // Record offset k of the edit record.
  static int Rb(int k) { return Asc(gArrEditBuf, k + 1); }

  // Chooses entry index of a list from its open drop-down, as the user does.
  void Choose(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(WaitFor([view] { return view->isVisible(); }, 1000));
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    Settle(0);
  }
  // Drags a slider's thumb to v.
  static void Drag(QScrollBar* bar, int v) {
    bar->setSliderDown(true);
    bar->setSliderPosition(v);
    bar->setSliderDown(false);
  }
  static void ClickField(int i) {
    QLineEdit* box = Ctl<QLineEdit>(Idx("Text1", i));
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
  }
  static bool Highlighted(int i) {
    return Ctl<QLineEdit>(Idx("Text1", i))->palette().color(QPalette::Base) == QColor(0, 0xFF, 0xFF);
  }
  // The parameter changes sent, as "id vl vh".
  std::vector<std::string> Params() const {
    std::vector<std::string> out;
    for (const auto& c : midi_->CallsNamed("midiOutLongMsg"))
      if (Asc(c.bytes, 5) == 0x41) out.push_back(Hex(Mid(c.bytes, 6, 3)));
    return out;
  }
  // Every System Exclusive message sent is a parameter change of the
  // global channel.
  bool OnlyParams() const {
    for (const auto& c : midi_->CallsNamed("midiOutLongMsg"))
      if (Left(c.bytes, 5) != SysExHeader() + Chr(0x41) || c.bytes.size() != 9 || Asc(c.bytes, 9) != 0xF7) return false;
    return true;
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : dialogs_.boxes) out.push_back(b.text);
    return out;
  }
};

TEST_F(FrmEditArrTest, EditShowsEveryFieldOfTheArrangementAndSendsNothing) {
  const std::string name("Pop\0xyz", 7);
  const std::string rec = RecWith(name, {{17, 70},  {19, 2},   {21, 90},  {22, 12},  {23, 61}, {24, 0x85},
                                         {25, 250}, {26, 12},  {27, 5},   {28, 16},  {29, 9},  {33, 5},
                                         {34, 3},   {37, 3},   {38, 14},  {135, 3},  {136, 60},
                                         // Drum: bank B program 5, volume, pan, sends, octave, output, wrap
                                         {39, 69},  {41, 200}, {42, 255}, {43, 0x5A}, {44, 255}, {45, 9}, {46, 255},
                                         // Percussion: kit 3
                                         {47, 3},   {48, 4},   {50, 31},  {51, 0x0C}, {54, 3},
                                         // Bass: a program beyond bank B
                                         {55, 200}, {58, 3},   {59, 0xC3}, {61, 14},
                                         // ACC1: program 20 of the program file; ACC2 no bank
                                         {63, 20},  {64, 3},   {72, 16}});
  WriteBytes(ProgFile("song.arr"), ArrFile({{4, rec}}));
  StartPlain();
  frmArrU* w = Open("song");
  ASSERT_NE(Edit(w, 4), nullptr);
  midi_->ClearRecords();
  Settle(20);

  EXPECT_EQ(gEditArrForm->objectName(), "frmEditArr");
  EXPECT_EQ(gEditArrForm->Kind(), 13);
  EXPECT_EQ(gEditArrForm->windowTitle().toStdString(), "Edit Arrangement  song.arr / Pop");
  EXPECT_TRUE(gArrEditLinked);
  EXPECT_FALSE(gArrModified);
  EXPECT_EQ(Field(0), "Pop");
  EXPECT_EQ(Field(1), RTrim(gStyNames[70]));
  EXPECT_EQ(LabelText("Label_1"), "Style (B17)");
  EXPECT_EQ(LabelText("Label1_0"), "120");
  EXPECT_EQ(Ctl<QScrollBar>("VScroll1_0")->value(), 120);
  EXPECT_EQ(LabelText("Label1_3"), "C4#");
  EXPECT_EQ(Ctl<QScrollBar>("HScroll1_0")->value(), 61);
  // Values outside a list show no entry, or the first where the list gives
  // one; the drum map keeps its number, the slider at the nearest end.
  const std::pair<int, const char*> lists[] = {{0, ""},    {1, " ->3"}, {2, " OFF"},       {3, " 3"},
                                               {4, " -6"}, {5, " VAR1"}, {6, ""},          {7, " D"},
                                               {8, "Power Ens."},        {9, " Dr11"}};
  for (const auto& [i, text] : lists) EXPECT_EQ(ListShown(Combo1(i)), text) << "Combo1 " << i;
  EXPECT_EQ(LabelText("Label1_4"), "9");
  EXPECT_EQ(Ctl<QScrollBar>("HScroll1_1")->value(), 8);
  const bool checks[10] = {true, false, true, false, false, false, false, false, true, true};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Ctl<QCheckBox>(Idx("Check1", i))->isChecked(), checks[i]) << i;
  EXPECT_EQ(ListShown(Ctl<QComboBox>("EffCombo_0")), "Concert Hall");
  EXPECT_EQ(LabelText("EffLab1_0"), "Effect 1 (3)");
  EXPECT_EQ(ListShown(Ctl<QComboBox>("EffCombo_1")), "No Effect");
  EXPECT_EQ(LabelText("EffLab1_1"), "Effect 2 (Off)");
  ASSERT_EQ(Ctl<QComboBox>("EffCombo_0")->count(), 48);
  EXPECT_EQ(Ctl<QComboBox>("EffCombo_0")->itemText(0).toStdString(), "Delay/Rotary");
  EXPECT_EQ(Ctl<QComboBox>("EffCombo_0")->itemText(13).toStdString(), "Rotary Speaker");

  // Tracks: name, place (as a pick writes it), volume, pan, the six lists.
  struct Track {
    int t;
    std::string name, place, volume, pan;
    int panSlider;
    const char* lists[6];
  };
  const Track tracks[] = {
      {0, Mid(gPrgNames[5], 81, 16), "B  16", "100", "OFF", 1, {"PRG", " 5", " -1", "INT", "SOLO", " ORG"}},
      {1, Mid(gDrumKitNames, 49, 16), "Dr  14", "0", "PRG", 33, {"PRG", " 0", "  0", "OFF", "PLAY", " 4"}},
      {2, "", "", "0", "L12", 5, {" 3", "PRG", "  0", "BOTH", "PLAY", " 1"}},
      {3, PadRight("UserPrg20", 16), "U  35", "0", "L15", 2, {" 0", " 0", "  0", "OFF", "PLAY", " 1"}},
      {4, "", "", "0", "L15", 2, {" 0", " 0", "  0", "OFF", "PLAY", " 1"}},
  };
  for (const Track& tr : tracks) {
    SCOPED_TRACE(tr.t);
    EXPECT_EQ(Field(2 * tr.t + 2), tr.name);
    EXPECT_EQ(Field(2 * tr.t + 3), tr.place);
    EXPECT_EQ(LabelText(Idx("Label2", 2 * tr.t + 1)), tr.volume);
    EXPECT_EQ(LabelText(Idx("Label2", 2 * tr.t + 2)), tr.pan);
    EXPECT_EQ(Ctl<QScrollBar>(Idx("VScroll1", 2 * tr.t + 2))->value(), tr.panSlider);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(ListShown(Combo2(6 * tr.t + k)), tr.lists[k]) << k;
  }
  // Showing writes nothing and sends nothing.
  EXPECT_EQ(Left(gArrEditBuf, 164), rec);
  EXPECT_TRUE(midi_->CallsNamed("midiOutLongMsg").empty());
  EXPECT_FALSE(Button(w, "CommEdit")->isEnabled());
  EXPECT_FALSE(Enabled("mnuEditArr"));
}

TEST_F(FrmEditArrTest, EachChangeIsWrittenIntoTheRecordAndSentAsItsParameterChange) {
  const std::string rec = RecWith("Song", {{21, 90}, {23, 60}, {51, 0xC3}, {29, 2}, {30, 3}, {31, 4}, {32, 5}});
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, rec}}));
  StartPlain();
  frmArrU* w = Open("song");
  ASSERT_NE(Edit(w, 0), nullptr);
  auto check = [this](const char* name) {
    return [this, name] { QTest::mouseClick(Ctl<QCheckBox>(name), Qt::LeftButton); };
  };
  struct Case {
    const char* what;
    std::function<void()> act;
    std::vector<std::pair<int, int>> bytes;  // record offsets that change
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {"ACC1 octave -1", [&] { Choose(Combo2(20), 3); }, {{68, 255}}, {"2E 7F 7F"}},
      {"tempo 200", [&] { Drag(Ctl<QScrollBar>("VScroll1_0"), 200); }, {{21, 170}}, {"00 48 01"}},
      {"transpose -11", [&] { Choose(Combo1(4), 22); }, {{25, 245}}, {"03 75 7F"}},
      {"transpose +2", [&] { Choose(Combo1(4), 9); }, {{25, 2}}, {"03 02 00"}},
      {"drum octave, stored only", [&] { Choose(Combo2(2), 1); }, {{44, 1}}, {}},
      {"LOWER wrap-around, stored only", [&] { Choose(Combo2(53), 0); }, {{110, 11}}, {}},
      {"UPPER2 Out Status1, stored only", [&] { Choose(Combo2(45), 2); }, {{101, 2}}, {}},
      {"Bass Out Status2 SOLO, stored only", [&] { Choose(Combo2(16), 2); }, {{61, 8}}, {}},
      {"Bass Out Status2 MUTE", [&] { Choose(Combo2(16), 1); }, {{61, 4}}, {"23 01 00"}},
      {"Bass Out Status1 EXT, the whole byte", [&] { Choose(Combo2(15), 2); }, {{61, 6}}, {"25 06 00"}},
      {"Percussion C send keeps the D send", [&] { Choose(Combo2(6), 3); }, {{51, 0xC7}}, {"17 07 00"}},
      {"Percussion D send PRG", [&] { Choose(Combo2(7), 0); }, {{51, 0xA7}}, {"18 0A 00"}},
      {"ACC3 wrap-around ORG", [&] { Choose(Combo2(35), 12); }, {{86, 255}}, {"44 7F 7F"}},
      {"kick C", [&] { Choose(Combo1(6), 2); }, {{33, 2}}, {}},
      {"drum map VAR3 shows offset 31", [&] { Choose(Combo1(5), 2); }, {}, {}},
      {"drum map slider writes offset 31", [&] { Drag(Ctl<QScrollBar>("HScroll1_1"), 7); }, {{31, 7}}, {}},
      {"Drum volume", [&] { Drag(Ctl<QScrollBar>("VScroll1_1"), 99); }, {{41, 99}}, {"0B 63 00"}},
      {"Drum pan OFF", [&] { Drag(Ctl<QScrollBar>("VScroll1_2"), 1); }, {{42, 255}}, {"0C 7F 7F"}},
      {"Bass pan R3", [&] { Drag(Ctl<QScrollBar>("VScroll1_6"), 20); }, {{58, 18}}, {"20 12 00"}},
      {"split point", [&] { Drag(Ctl<QScrollBar>("HScroll1_0"), 72); }, {{23, 72}}, {"02 48 00"}},
      {"effect 1 Hall", [&] { Choose(Ctl<QComboBox>("EffCombo_0"), 46); }, {{135, 1}}, {"06 01 00"}},
      {"effect 2 Delay/Rotary", [&] { Choose(Ctl<QComboBox>("EffCombo_1"), 0); }, {{136, 47}}, {"08 2F 00"}},
      {"fill 1 DOWN", [&] { Choose(Combo1(1), 12); }, {{37, 12}}, {"04 0C 00"}},
      {"fill 2", [&] { Choose(Combo1(2), 5); }, {{38, 5}}, {"05 05 00"}},
      {"KBD1 Damp En", check("Check1_2"), {{27, 4}}, {"4F 01 00"}},
      {"KBD2 Damp En", check("Check1_3"), {{27, 12}}, {"59 01 00"}},
      {"Dynamic Velocity, stored only", check("Check1_0"), {{27, 13}}, {}},
      {"Chord Latch", check("Check1_8"), {{28, 16}}, {"01 01 00"}},
      {"Chord Latch off", check("Check1_8"), {{28, 0}}, {"01 00 00"}},
      {"ensemble on", check("Check1_9"), {{24, 0x80}}, {}},
      {"ensemble type keeps the switch", [&] { Choose(Combo1(8), 3); }, {{24, 0x83}}, {}},
      {"keyboard assign", [&] { Choose(Combo1(0), 3); }, {{22, 3}}, {}},
      {"manual drum kit Dr21", [&] { Choose(Combo1(9), 8); }, {{26, 8}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = gArrEditBuf;
    gArrModified = false;
    midi_->ClearRecords();
    c.act();
    std::string expected = before;
    for (const auto& [offset, value] : c.bytes) MidAssign(expected, offset + 1, Chr(value));
    EXPECT_EQ(Hex(gArrEditBuf), Hex(expected));
    EXPECT_EQ(Params(), c.sent);
    EXPECT_TRUE(OnlyParams());
    EXPECT_EQ(gArrModified, !c.bytes.empty());
  }
  EXPECT_EQ(LabelText("Label1_3"), "C5");
  EXPECT_EQ(LabelText("Label2_2"), "OFF");
  EXPECT_EQ(LabelText("Label2_6"), "R3");
  EXPECT_EQ(LabelText("Label1_0"), "200");
  EXPECT_EQ(LabelText("Label1_4"), "7");
  EXPECT_EQ(LabelText("EffLab1_0"), "Effect 1 (1)");

  // Effect on/off is only sent.
  midi_->ClearRecords();
  gArrModified = false;
  const std::string before = gArrEditBuf;
  QPushButton* on = Ctl<QPushButton>("EffComm_1");
  Click(on);
  EXPECT_EQ(on->text().toStdString(), "Off");
  Click(on);
  EXPECT_EQ(on->text().toStdString(), "On");
  EXPECT_EQ(Params(), (std::vector<std::string>{"09 00 00", "09 01 00"}));
  EXPECT_EQ(gArrEditBuf, before);
  EXPECT_FALSE(gArrModified);
}

TEST_F(FrmEditArrTest, TheNameTakesPrintableLatin1OnlyAndChangesTheCaption) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("Old Name  tail", {})}}));
  StartPlain();
  frmArrU* w = Open("song");
  ASSERT_NE(Edit(w, 0), nullptr);
  midi_->ClearRecords();
  QLineEdit* name = Ctl<QLineEdit>("Text1_0");
  name->setFocus();
  name->selectAll();
  QTest::keyClicks(name, "Hit");
  EXPECT_EQ(gEditArrForm->windowTitle().toStdString(), "Edit Arrangement  song.arr / Hit");
  EXPECT_EQ(Left(gArrEditBuf, 16), "Hit       tail  ");  // offsets 10-15 are never written
  EXPECT_TRUE(gArrNameChanged);
  EXPECT_TRUE(gArrModified);
  // A character with no byte, or a control character, is refused.
  auto type = [name](const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(name, &press);
    QApplication::sendEvent(name, &release);
  };
  type(QString::fromUtf8("\xE2\x82\xAC"));  // the euro sign
  type(QString(QChar(0x07)));
  type(QString::fromUtf8("\xC3\xA9"));
  EXPECT_EQ(name->text().toLatin1().toStdString(), "Hit\xE9");
  EXPECT_EQ(Left(gArrEditBuf, 10), "Hit\xE9      ");
  EXPECT_TRUE(midi_->CallsNamed("midiOutLongMsg").empty());
}

TEST_F(FrmEditArrTest, MuteAndSoloAreSentShownAndKeptForTheNextOpening) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("Song", {})}}));
  StartPlain();
  frmArrU* w = Open("song");
  ASSERT_NE(Edit(w, 0), nullptr);
  const QColor red(0xFF, 0, 0), green(0, 0xFF, 0), grey(0xC0, 0xC0, 0xC0);
  auto colour = [](const char* name, int t) { return Ctl<QPushButton>(Idx(name, t))->palette().color(QPalette::Button); };
  auto ids = [](std::initializer_list<int> values) {
    std::vector<std::string> out;
    int t = 0;
    for (int v : values) out.push_back(Hex2(10 * t++ + 15) + " " + Hex2(v) + " 00");
    return out;
  };
  midi_->ClearRecords();
  Click(Ctl<QPushButton>("CommS_3"));  // solo ACC1
  EXPECT_EQ(Params(), ids({1, 1, 1, 0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(colour("CommS", 3), green);
  EXPECT_EQ(colour("CommM", 3), grey);
  EXPECT_EQ(colour("CommM", 0), red);
  midi_->ClearRecords();
  Click(Ctl<QPushButton>("CommS_3"));
  EXPECT_EQ(Params(), ids({0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(colour("CommS", 3), grey);
  EXPECT_EQ(colour("CommM", 0), grey);

  // A mute, then a solo of the same track clears the mute; a mute of a
  // soloed track clears the solo.
  midi_->ClearRecords();
  Click(Ctl<QPushButton>("CommS_8"));
  Click(Ctl<QPushButton>("CommM_8"));
  EXPECT_EQ(Params().back(), "5F 01 00");
  EXPECT_EQ(colour("CommS", 8), grey);
  EXPECT_EQ(colour("CommM", 8), red);
  EXPECT_FALSE(gArrModified);

  // The next opening shows what the instrument was last sent, so the first
  // click on a muted track unmutes it.
  ASSERT_TRUE(gEditArrForm->close());
  Settle(0);
  ASSERT_NE(Edit(w, 0), nullptr);
  EXPECT_EQ(colour("CommM", 8), red);
  EXPECT_EQ(colour("CommM", 0), red);
  EXPECT_EQ(colour("CommS", 8), grey);
  midi_->ClearRecords();
  Click(Ctl<QPushButton>("CommM_8"));
  EXPECT_EQ(Params(), std::vector<std::string>{"5F 00 00"});
  EXPECT_EQ(colour("CommM", 8), grey);
}

TEST_F(FrmEditArrTest, FieldsHighlightAndPickOnlyWhatTheRecordCanTake) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("Song", {{17, 5}, {39, 7}})}}));
  WriteBytes(ProgFile("song.sty"), StyGroupBytes({{"Alpha", 40}, {"Beta", 40}}));
  WriteBytes(ProgFile("other.sty"), StyGroupBytes({{"Other", 40}, {"Else", 40}}));
  StartPlain();
  frmArrU* w = Open("song");
  ASSERT_NE(Edit(w, 0), nullptr);

  // The style field turns its highlight and the style pick on and off; a
  // bank field only removes the highlight.
  ClickField(1);
  EXPECT_TRUE(Highlighted(1));
  EXPECT_TRUE(gStyPickMode);
  ClickField(1);
  EXPECT_FALSE(Highlighted(1));
  EXPECT_FALSE(gStyPickMode);
  ClickField(1);
  ClickField(3);
  EXPECT_FALSE(Highlighted(1));
  EXPECT_FALSE(gStyPickMode);
  EXPECT_FALSE(Highlighted(3));
  // The style field, then a program field: both picks stay on.
  ClickField(1);
  ClickField(4);
  EXPECT_TRUE(gStyPickMode && gPrgPickMode);
  EXPECT_TRUE(Highlighted(4));
  EXPECT_FALSE(Highlighted(1));
  // A program field, then the name field: a program click picks nothing.
  ClickField(0);
  EXPECT_FALSE(gPrgPickMode);
  EXPECT_TRUE(gEditArrNameSel);
  const std::string before = gArrEditBuf;
  main_->Item("mnuWProgA")->trigger();
  frmPcgAE* bankA = gPcgAEForms[4];
  ASSERT_NE(bankA, nullptr);
  ClickLine(bankA->findChild<QListWidget*>("List1"), 10);
  Settle(0);
  EXPECT_EQ(gArrEditBuf, before);
  EXPECT_FALSE(gArrModified);

  // A program field picks: the place reads as a refill shows it.
  ClickField(2);
  ClickLine(bankA->findChild<QListWidget*>("List1"), 10);
  Settle(0);
  EXPECT_EQ(Rb(39), 10);
  EXPECT_EQ(Rb(40), 0);
  EXPECT_EQ(Field(2), Mid(gPrgNames[4], 161, 16));
  EXPECT_EQ(Field(3), "A  23");
  EXPECT_TRUE(gArrModified);

  // A factory style of bank B.
  ClickField(1);
  main_->Item("mnuStyB")->trigger();
  frmStyAB* styB = gStyABForms[1];
  ASSERT_NE(styB, nullptr);
  ClickLine(styB->findChild<QListWidget*>("List1"), 2);
  Settle(0);
  EXPECT_EQ(Rb(17), 66);
  EXPECT_EQ(Rb(18), 0);
  EXPECT_EQ(Field(1), RTrim(gStyNames[66]));
  EXPECT_EQ(LabelText("Label_1"), "Style (B13)");

  // A style of another file is not taken, nor an empty slot of the owner's
  // own file; a style of the owner's file is.
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("other.sty");
  dialogs_.fileAnswers.push_back(answer);
  main_->Item("mnuApriSty")->trigger();
  frmStyUN* other = gStyForms[gStySlotIdx];
  ASSERT_NE(other, nullptr);
  const std::string held = gArrEditBuf;
  EXPECT_TRUE(gStyPickMode);
  ClickLine(other->findChild<QListWidget*>("List1"), 1);
  Settle(0);
  EXPECT_EQ(gArrEditBuf, held);
  EXPECT_EQ(Field(1), RTrim(gStyNames[66]));
  Click(Button(w, "CommShowSty"));
  frmStyUN* own = gStyForms[gStySlotIdx];
  ASSERT_NE(own, other);
  ClickLine(own->findChild<QListWidget*>("List1"), 2);  // slot 2: no data
  Settle(0);
  EXPECT_EQ(gArrEditBuf, held);
  ClickLine(own->findChild<QListWidget*>("List1"), 1);
  Settle(0);
  EXPECT_EQ(Rb(17), 1);
  EXPECT_EQ(Rb(18), 1);
  EXPECT_EQ(Field(1), "Beta");
  EXPECT_EQ(LabelText("Label_1"), "Style (U12)");
  EXPECT_TRUE(OnlyParams());
}

namespace {
bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }
}  // namespace

TEST_F(FrmEditArrTest, ClosingAsksWhetherTheChangedArrangementGoesBack) {
  const std::string rec = RecWith("Old", {{21, 90}});
  WriteBytes(ProgFile("song.arr"), ArrFile({{2, rec}}));
  StartPlain();
  struct Case {
    int answer;
    bool readOnly;    // the Open dialog's read-only box
    bool preference;  // Preferences > Read only file ticked once the editor is open
    bool closes;
    bool stored;
  };
  const Case cases[] = {{kMsgYes, false, false, true, true},
                        {kMsgNo, false, false, true, false},
                        {kMsgCancel, false, false, false, false},
                        {kMsgYes, true, false, true, false},
                        {kMsgYes, false, true, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.answer) + (c.readOnly ? " read-only" : "") +
                 (c.preference ? " preference" : ""));
    frmArrU* w = Open("song", c.readOnly);
    ASSERT_NE(Edit(w, 2), nullptr);
    if (c.preference) main_->Item("mnuRdOnly")->trigger();
    ASSERT_EQ(Checked("mnuRdOnly"), c.preference);
    const std::string doc = w->Tag();
    QLineEdit* name = Ctl<QLineEdit>("Text1_0");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "New");
    const std::string caption = gEditArrForm->windowTitle().toStdString();
    ASSERT_TRUE(gArrModified);

    QPointer<frmEditArr> editor = gEditArrForm;
    EXPECT_EQ(CloseAnswering(editor, c.answer, false), c.closes);
    ASSERT_FALSE(dialogs_.boxes.empty());
    EXPECT_EQ(dialogs_.boxes[0].title, caption);
    EXPECT_TRUE(Has(dialogs_.boxes[0].text, "The Arrangement has changed."));
    const bool refused = c.readOnly || c.preference;
    EXPECT_EQ(Boxes().size() == 2 && Has(Boxes()[1], "Read only file"), refused);
    if (refused && dialogs_.boxes.size() == 2) {
      EXPECT_EQ(dialogs_.boxes[1].title, caption);
    }
    EXPECT_EQ(gArrEditLinked, !c.closes);
    EXPECT_EQ(gArrSavedBack, !c.closes);
    EXPECT_EQ(!editor || editor->Unloading(), c.closes);
    if (c.stored) {
      EXPECT_EQ(Mid(w->Tag(), ArrRecPos(2), 164), Left(gArrEditBuf, 164));
      EXPECT_EQ(Mid(w->Tag(), ArrRecPos(2), 16), "New" + Space(13));
      EXPECT_EQ(Asc(w->Tag(), 4), 1);
      EXPECT_EQ(w->ListText(2), "13  New             ");
    } else {
      EXPECT_EQ(w->Tag(), doc);
      EXPECT_EQ(w->ListText(2), "13  Old             ");
    }
    if (!c.closes) {
      ASSERT_TRUE(CloseAnswering(editor, kMsgNo, false));
    }
    if (c.preference) main_->Item("mnuRdOnly")->trigger();
    // An unchanged document closes without its save prompt.
    ASSERT_TRUE(CloseAnswering(w, kMsgNo, false));
    if (!c.stored) {
      EXPECT_TRUE(dialogs_.boxes.empty());
    }
  }
}

TEST_F(FrmEditArrTest, AfterTheEditorStoresAndClosesItsOwnerOffersEditAgain) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("One", {})}, {1, RecWith("Twelve", {})}}));
  StartPlain();
  frmArrU* w = Open("song");
  for (bool ownerFirst : {false, true}) {
    SCOPED_TRACE(ownerFirst ? "the owner activated while the prompt is up" : "the owner activated after");
    ASSERT_NE(Edit(w, 1), nullptr);
    QPointer<frmEditArr> editor = gEditArrForm;
    EXPECT_FALSE(Button(w, "CommEdit")->isEnabled());
    Click(Ctl<QCheckBox>("Check1_0"));
    DialogsWithActivation boxes;
    boxes.boxAnswers = {kMsgYes};
    if (ownerFirst) boxes.whileUp = [&] { main_->MdiArea()->setActiveSubWindow(w); };
    SetDialogs(&boxes);
    ClickCloseBox(editor);
    Settle(20);
    SetDialogs(&dialogs_);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(Has(boxes.boxes[0].text, "The Arrangement has changed."));
    EXPECT_FALSE(editor && !editor->Unloading());
    EXPECT_EQ(Mid(w->Tag(), ArrRecPos(1), 164), Left(gArrEditBuf, 164));  // stored
    // As a click on its selected line leaves them.
    EXPECT_EQ(main_->MdiArea()->activeSubWindow(), w);
    EXPECT_EQ(w->ListIndex(), 1);
    EXPECT_TRUE(w->ListSelected(1));
    EXPECT_TRUE(Button(w, "CommEdit")->isEnabled());
    EXPECT_TRUE(Enabled("mnuEditArr"));
  }
}

TEST_F(FrmEditArrTest, TheOwnerClosesTheEditorFirstAndTheExitAsksOnce) {
  WriteBytes(ProgFile("one.arr"), ArrFile({{0, RecWith("One", {})}}));
  WriteBytes(ProgFile("two.arr"), ArrFile({{0, RecWith("Two", {})}, {1, RecWith("Deux", {})}}));
  StartPlain();
  frmArrU* one = Open("one");
  ASSERT_NE(Edit(one, 0), nullptr);
  Click(Ctl<QCheckBox>("Check1_0"));
  // A Cancel in the editor's prompt keeps both open.
  EXPECT_FALSE(CloseAnswering(one, kMsgCancel, false));
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(gEditArrForm && !gEditArrForm->Unloading());
  EXPECT_FALSE(one->Unloading());
  // Yes stores the record; the owner's own prompt follows.
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgYes, kMsgNo};
  EXPECT_TRUE(one->close());
  Settle(0);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_TRUE(Has(Boxes()[0], "The Arrangement has changed."));
  EXPECT_TRUE(Has(Boxes()[1], "The file has changed"));
  EXPECT_FALSE(gEditArrForm);

  // The editor, opened before the window whose record it holds: the exit
  // asks about that record once.
  one = Open("one");
  ASSERT_NE(Edit(one, 0), nullptr);
  frmArrU* two = Open("two");
  ASSERT_NE(Edit(two, 1), nullptr);
  EXPECT_EQ(gEditArrForm->windowTitle().toStdString(), "Edit Arrangement  two.arr / Deux      ");
  Click(Ctl<QCheckBox>("Check1_0"));
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgNo, kMsgNo, kMsgNo};
  main_->close();
  Settle(0);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(Has(Boxes()[0], "The Arrangement has changed."));
  EXPECT_FALSE(main_->ExitRefused());
}

TEST_F(FrmEditArrTest, EditOpensOnAnArrangementOnlyAndTheOneEditorTakesTheNextAfterItsPrompt) {
  WriteBytes(ProgFile("one.arr"), ArrFile({{0, RecWith("One", {})}}));
  WriteBytes(ProgFile("two.arr"), ArrFile({{0, RecWith("Two", {})}, {1, RecWith("Deux", {})}}));
  StartPlain();
  frmArrU* two = Open("two");
  frmArrU* one = Open("one");
  QPushButton* edit = Button(one, "CommEdit");
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_FALSE(Enabled("mnuEditArr"));
  // An empty line: Edit stays off, and neither its relay nor a double click
  // opens the editor.
  ClickLine(List(one), 5);
  EXPECT_FALSE(edit->isEnabled());
  one->StartTimer("TimerEditArr");
  Settle(30);
  QListWidget* list = List(one);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(5)).center());
  Settle(0);
  EXPECT_FALSE(gEditArrForm);
  // A used line: Edit on; a double click opens the editor.
  ClickLine(List(one), 0);
  EXPECT_TRUE(edit->isEnabled());
  EXPECT_TRUE(Enabled("mnuEditArr"));
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
  Settle(0);
  ASSERT_TRUE(gEditArrForm);
  QPointer<frmEditArr> editor = gEditArrForm;
  EXPECT_EQ(Field(0), "One");
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_FALSE(Enabled("mnuEditArr"));
  Click(Ctl<QCheckBox>("Check1_1"));

  // A click in the other window asks first; No drops the change and the
  // editor shows the clicked arrangement.
  main_->MdiArea()->setActiveSubWindow(two);
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgNo};
  ClickLine(List(two), 1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(Has(Boxes()[0], "The Arrangement has changed."));
  EXPECT_EQ(Field(0), "Deux");
  EXPECT_EQ(Asc(one->Tag(), 4), 0);
  EXPECT_FALSE(gArrModified);
  // Edit there (the Edit menu's relay, its button being off) asks as well:
  // Yes stores the record into its window and the same editor shows it
  // anew.
  Click(Ctl<QCheckBox>("Check1_1"));
  dialogs_.Clear();
  dialogs_.boxAnswers = {kMsgYes};
  two->StartTimer("TimerEditArr");
  ASSERT_TRUE(WaitFor([this] { return !dialogs_.boxes.empty(); }));
  Settle(20);
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Asc(two->Tag(), ArrRecPos(1) + 27), 2);
  EXPECT_EQ(Asc(two->Tag(), 4), 1);
  EXPECT_EQ(Rb(27), 2);
  EXPECT_EQ(gEditArrForm, editor);
  EXPECT_EQ(main_->MdiArea()->activeSubWindow(), editor);
  EXPECT_EQ(gEditArrForm->windowTitle().toStdString(), "Edit Arrangement  two.arr / Deux      ");
  EXPECT_FALSE(gArrModified);
  int editors = 0;
  for (QMdiSubWindow* sub : main_->MdiArea()->subWindowList()) editors += sub->objectName() == "frmEditArr";
  EXPECT_EQ(editors, 1);
}

TEST_F(FrmEditArrTest, TheSplitPointGoesThroughTheOpenKeyboardFirst) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("Song", {{23, 60}})}}));
  StartPlain();
  frmArrU* w = Open("song");
  main_->Item("mnuTastiera")->trigger();
  Settle(20);
  ASSERT_NE(Edit(w, 0), nullptr);
  midi_->ClearRecords();
  Drag(Ctl<QScrollBar>("HScroll1_0"), 65);
  EXPECT_EQ(Params(), (std::vector<std::string>{"02 41 00", "02 41 00"}));
  ASSERT_TRUE(gTasForm);
  EXPECT_EQ(gTasForm->VScroll1()->value(), 65);
  EXPECT_EQ(LabelText("Label1_3"), "F4");
  EXPECT_EQ(Rb(23), 65);
}

TEST_F(FrmEditArrTest, TheWindowKeepsItsPlaceNeverGrowsAndARefillSendsNothing) {
  WriteBytes(ProgFile("song.arr"),
             ArrFile({{0, RecWith("Plain", {})}, {1, RecWith("Effects", {{135, 9}, {136, 30}, {27, 12}, {28, 16}})}}));
  StartPlain();
  frmArrU* w = Open("song");
  ASSERT_NE(Edit(w, 0), nullptr);
  // Wider or higher than 9228 x 5916 twips snaps back; the size is kept.
  gEditArrForm->SetSizeTwips(6500, 10500);
  Settle(0);
  EXPECT_EQ(gEditArrForm->width(), TwipsToPixels(9228));
  EXPECT_EQ(gEditArrForm->height(), TwipsToPixels(5916));
  gEditArrForm->SetGeometryTwips(600, 900, 4500, 8000);
  Settle(0);
  EXPECT_EQ(gWinPosTab[kKindEditArr].Height, PixelsToTwips(TwipsToPixels(4500)));
  EXPECT_EQ(gWinPosTab[kKindEditArr].State, 1);

  // A click on another line shows that arrangement and sends none of its
  // effects or switches: the instrument still plays the one called up.
  midi_->ClearRecords();
  main_->MdiArea()->setActiveSubWindow(w);
  ClickLine(List(w), 1);
  EXPECT_EQ(Field(0), "Effects");
  EXPECT_TRUE(Ctl<QCheckBox>("Check1_8")->isChecked());
  EXPECT_EQ(LabelText("EffLab1_1"), "Effect 2 (30)");
  EXPECT_TRUE(midi_->CallsNamed("midiOutLongMsg").empty());
  EXPECT_FALSE(gArrModified);

  // Closed, it keeps its place but never reopens at the next start.
  ASSERT_TRUE(gEditArrForm->close());
  Settle(0);
  EXPECT_EQ(gWinPosTab[kKindEditArr].State, 0);
  EXPECT_EQ(gWinPosTab[kKindEditArr].Top, PixelsToTwips(TwipsToPixels(600)));
  EXPECT_EQ(gWinPosTab[kKindEditArr].Left, PixelsToTwips(TwipsToPixels(900)));
  ASSERT_NE(Edit(w, 1), nullptr);
  EXPECT_EQ(gEditArrForm->TopTwips(), PixelsToTwips(TwipsToPixels(600)));
  EXPECT_EQ(gEditArrForm->HeightTwips(), PixelsToTwips(TwipsToPixels(4500)));
}

TEST_F(FrmEditArrTest, EveryControlOfAFrameStandsBelowTheLineItsCaptionIsOn) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("Plain", {})}}));
  StartPlain();
  ASSERT_NE(Edit(Open("song"), 0), nullptr);
  const QList<QGroupBox*> frames = gEditArrForm->findChildren<QGroupBox*>();
  ASSERT_EQ(frames.size(), 13);
  for (QGroupBox* frame : frames) {
    // Where the frame's style draws its top line and its caption.
    QStyleOptionGroupBox opt;
    opt.initFrom(frame);
    opt.text = frame->title();
    opt.textAlignment = frame->alignment();
    opt.lineWidth = 1;
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect line = frame->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxFrame, frame);
    const QRect caption = frame->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, frame);
    EXPECT_LT(caption.top(), line.top()) << frame->objectName().toStdString();
    EXPECT_GT(caption.bottom(), line.top()) << frame->objectName().toStdString();
    for (QWidget* control : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      EXPECT_GT(control->geometry().top(), line.top()) << control->objectName().toStdString();
  }
}

TEST_F(FrmEditArrTest, EveryFrameIsWhollyShownAtTheLargestSize) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("Plain", {})}}));
  StartPlain();
  ASSERT_NE(Edit(Open("song"), 0), nullptr);
  ASSERT_EQ(gEditArrForm->size(), QSize(TwipsToPixels(9228), TwipsToPixels(5916)));
  auto* tabs = Ctl<QTabWidget>("SSTab1");
  for (int page = 0; page < 2; ++page) {
    tabs->setCurrentIndex(page);
    Settle(0);
    for (QGroupBox* frame : tabs->widget(page)->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
      EXPECT_TRUE(tabs->widget(page)->rect().contains(frame->geometry())) << frame->objectName().toStdString();
  }
}

// A window that closes hands the front back to the window the user came
// from, with the MIDI monitor and Arrangement A open as well (the area on
// its own takes the windows by the order they were made and their
// stacking): the editor, closed or storing through its prompt, to the file
// whose line it edited; Style B, closed during the editor's style pick, to
// the waiting editor; a New Style window to the style-file window it was
// opened from.
TEST_F(FrmEditArrTest, AClosedWindowHandsTheFrontBackToTheWindowTheUserCameFrom) {
  WriteBytes(ProgFile("song.arr"), ArrFile({{0, RecWith("One", {})}, {1, RecWith("Twelve", {})}}));
  WriteBytes(ProgFile("set.sty"), StyFileBytes(StyGroupBytes({{"Alpha", 40}, {"Beta", 40}})));
  StartPlain();
  QMdiArea* area = main_->MdiArea();
  main_->Item("mnuMsgEx")->trigger();
  main_->Item("mnuArrA")->trigger();
  Settle(20);
  ASSERT_TRUE(main_->MsgEx());
  frmArrU* w = Open("song");
  ASSERT_EQ(area->activeSubWindow(), w);

  // The editor closed by its close box, unchanged.
  QPointer<frmEditArr> editor = Edit(w, 1);
  ASSERT_TRUE(editor);
  ClickCloseBox(editor);
  Settle(20);
  ASSERT_FALSE(editor && !editor->Unloading());
  EXPECT_EQ(area->activeSubWindow(), w);

  // The editor storing its change through its prompt's Yes.
  editor = Edit(w, 1);
  ASSERT_TRUE(editor);
  Click(Ctl<QCheckBox>("Check1_0"));
  ASSERT_TRUE(CloseAnswering(editor, kMsgYes, false));
  EXPECT_EQ(Mid(w->Tag(), ArrRecPos(1), 164), Left(gArrEditBuf, 164));
  EXPECT_EQ(area->activeSubWindow(), w);

  // Style B, opened for the editor's style pick and closed after the pick.
  editor = Edit(w, 0);
  ASSERT_TRUE(editor);
  ClickField(1);
  ASSERT_TRUE(gStyPickMode);
  main_->Item("mnuStyB")->trigger();
  frmStyAB* styB = gStyABForms[1];
  ASSERT_NE(styB, nullptr);
  ASSERT_EQ(area->activeSubWindow(), styB);
  ClickLine(styB->findChild<QListWidget*>("List1"), 2);
  Settle(0);
  EXPECT_EQ(Rb(17), 66);
  Click(Button(styB, "CommClose"));
  Settle(20);
  EXPECT_EQ(area->activeSubWindow(), editor);
  ASSERT_TRUE(CloseAnswering(editor, kMsgNo, false));
  EXPECT_EQ(area->activeSubWindow(), w);

  // A New Style window opened from a style-file window.
  FileDialogResult answer;
  answer.accepted = true;
  answer.fileName = ProgFile("set.sty");
  dialogs_.fileAnswers.push_back(answer);
  main_->Item("mnuApriSty")->trigger();
  frmStyUN* set = gStyForms[gStySlotIdx];
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(area->activeSubWindow(), set);
  main_->Item("mnuNuovoSty")->trigger();
  QPointer<frmStyUN> fresh = gStyNewForms[gStyWinIdx];
  ASSERT_TRUE(fresh);
  ASSERT_EQ(area->activeSubWindow(), fresh);
  Click(Button(fresh, "CommClose"));
  Settle(20);
  EXPECT_FALSE(fresh && !fresh->Unloading());
  EXPECT_EQ(area->activeSubWindow(), set);
}
