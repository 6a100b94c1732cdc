// The on-screen keyboard: opening from View > Keyboard with the kept
// settings, the keys played with the mouse in click, hold-note and glide
// modes, the held chord, All Notes Off, the channel box, the sliders, the
// octave and the split point, the mode buttons, closing and the exit.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/midilink.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "services/messages.h"
#include "tests/fixtures/mainfixture.h"
#include "tests/fixtures/scrollbars.h"
#include "tests/fixtures/midibytes.h"
#include "tests/fixtures/testchild.h"
#include "ui/editors/frmtastiera.h"

namespace {

using Messages = std::vector<std::string>;

std::string NoteOn(int ch, int note, int vel) { return Bytes({0x90 | ch, note, vel}); }
std::string NoteOff(int ch, int note, int vel) { return Bytes({0x80 | ch, note, vel}); }
std::string AllOff(int ch) { return Bytes({0xB0 | ch, 0x7B, 0}); }
std::string Control(int ch, int cc, int v) { return Bytes({0xB0 | ch, cc, v}); }
std::string Bend(int ch, int v) { return Bytes({0xE0 | ch, 0x7F, v}); }
std::string Split(int note) { return SysExHeader() + Bytes({0x41, 0x02, note, 0x00, 0xF7}); }
std::string Mode(int code) { return SysExHeader() + Bytes({0x4E, code, 0xF7}); }

// What opening sends with the settings of a first start on channel ch.
Messages OpeningMessages(int ch, int split = 60) {
  return {Control(ch, 7, 100), Control(ch, 10, 64), Control(ch, 73, 0), Control(ch, 72, 0), Bend(ch, 64),
          Control(ch, 1, 0),   Control(ch, 2, 0),   Control(ch, 91, 0), Control(ch, 93, 0), Split(split)};
}

}  // namespace

class FrmTastieraTest : public MainFixture {
 protected:
  void TearDown() override {
    // Leave no button down for the next test.
    if (main_ && QGuiApplication::mouseButtons() != Qt::NoButton)
      QTest::mouseRelease(main_->windowHandle(), Qt::LeftButton);
    MainFixture::TearDown();
  }
  // Settings bytes k = 0-15 of the keyboard in the settings file.
  void WriteTasSettings(const std::vector<int>& bytes, int language = 2) {
    SettingsImage image = SettingsImage::Valid(language);
    for (size_t k = 0; k < bytes.size(); ++k) image.Byte(1, 30 + static_cast<int>(k), bytes[k]);
    WriteBytes(WinFile("Brenvolta.ini"), image.bytes());
  }
  frmTastiera* Open() {
    main_->Item("mnuTastiera")->trigger();
    return gTasForm;
  }
  // Started, the keyboard open, the records of the opening cleared.
  frmTastiera* StartAndOpen() {
    Start();
    frmTastiera* form = Open();
    midi_->ClearRecords();
    return form;
  }
  // The messages sent since the last call.
  Messages Taken() {
    Messages out = Sent(*midi_);
    midi_->ClearRecords();
    return out;
  }

  template <class T>
  static T* Ctl(const char* name) {
    return gTasForm ? gTasForm->findChild<T*>(name) : nullptr;
  }
  static TasKey* Key(int i) { return Ctl<TasKey>(("Key_" + CStr(i)).c_str()); }
  static QScrollBar* Slider(int i) { return Ctl<QScrollBar>(("VScroll_" + CStr(i)).c_str()); }
  static std::string Text(const char* name) {
    if (auto* edit = Ctl<QLineEdit>(name)) return edit->text().toStdString();
    return Ctl<QLabel>(name)->text().toStdString();
  }

  // The mouse as the window system delivers it: through the main window,
  // to whatever lies under the pointer (the pressed control keeps it). A
  // press first moves the pointer there, as a hand does.
  QWindow* Win() const { return main_->windowHandle(); }
  QPoint WinPos(QWidget* w, QPoint p) const { return Win()->mapFromGlobal(w->mapToGlobal(p)); }
  static QPoint Centre(QWidget* w) { return w->rect().center(); }
  void MoveTo(QWidget* w, QPoint p) { QTest::mouseMove(Win(), WinPos(w, p)); }
  void MoveTo(QWidget* w) { MoveTo(w, Centre(w)); }
  void Press(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    if (QGuiApplication::mouseButtons() == Qt::NoButton) MoveTo(w, p);
    QTest::mousePress(Win(), b, {}, WinPos(w, p));
  }
  void Press(QWidget* w) { Press(w, Centre(w)); }
  void Release(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    QTest::mouseRelease(Win(), b, {}, WinPos(w, p));
  }
  void Release(QWidget* w) { Release(w, Centre(w)); }
  void Click(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    Press(w, p, b);
    Release(w, p, b);
  }
  void Click(QWidget* w) { Click(w, Centre(w)); }
  // A point of the MDI area outside every child window.
  void MoveOutside() { MoveTo(main_->MdiArea()->viewport(), main_->MdiArea()->viewport()->rect().bottomRight()); }

  // Keys: a white key is taken below the black keys that lie over it.
  static QPoint Spot(int i) {
    TasKey* k = Key(i);
    return k->Black() ? Centre(k) : QPoint(k->width() / 2, k->height() - 15);
  }
  void MoveToKey(int i, QPoint offset = {}) { MoveTo(Key(i), Spot(i) + offset); }
  void PressKey(int i, Qt::MouseButton b = Qt::LeftButton) { Press(Key(i), Spot(i), b); }
  void ReleaseKey(int i, Qt::MouseButton b = Qt::LeftButton) { Release(Key(i), Spot(i), b); }
  void PlayKey(int i) {
    PressKey(i);
    ReleaseKey(i);
  }

  // The thumb and the arrows of a vertical scroll bar.
  static QRect Part(QScrollBar* bar, QStyle::SubControl part) { return ScrollBarPart(bar, part); }

  std::string Monitor() const { return main_->MsgEx() ? main_->MsgEx()->KeptText() : std::string(); }
  // The monitor open beside the keyboard, which is then opened over it.
  void OpenMonitor() {
    main_->Item("mnuMsgEx")->trigger();
    main_->MsgEx()->move(0, 400);
  }
};

TEST_F(FrmTastieraTest, ViewKeyboardOpensItWithTheFirstStartSettingsAndSendsTheControllers) {
  // The settings file holds NULs where the keyboard keeps its bytes, as a
  // first start ended before its exit leaves them.
  Start();
  EXPECT_TRUE(Enabled("mnuTastiera"));
  midi_->ClearRecords();
  frmTastiera* form = Open();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Taken(), OpeningMessages(0));

  EXPECT_EQ(form->windowTitle().toStdString(), "Keyboard");
  EXPECT_EQ(Ctl<QPushButton>("CommChiudi")->text().toStdString(), "&Close");
  EXPECT_EQ(form->Tag(), Chr(15) + Chr(0));
  EXPECT_FALSE(Enabled("mnuTastiera"));
  EXPECT_EQ(gToolWinCount, 1);
  EXPECT_EQ(gKbdOpen, -1);
  EXPECT_TRUE(gKbdMonitorOn);
  EXPECT_EQ(gWinPosTab[kKindKeyboard].State, 1);
  EXPECT_EQ(form->height(), TwipsToPixels(5532));
  EXPECT_EQ(form->width(), TwipsToPixels(9288));

  const char* values[] = {"100", "0", "64", "64", "0", "0", "0", "0", "0", "0", "0"};
  const char* names[] = {"Volume", "Pan", "Vel On", "Vel Off", "Att Time", "Rel Time",
                         "Bend",   "PMod", "COMod", "Reverb", "Chorus"};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(Text(("Label3_" + CStr(i)).c_str()), values[i]) << i;
    EXPECT_EQ(Text(("Label2_" + CStr(i)).c_str()), names[i]) << i;
  }
  EXPECT_EQ(Text("Label4_1"), "63");
  EXPECT_EQ(Text("Label5_6"), "-64");
  EXPECT_EQ(Slider(0)->value(), 100);
  for (int k = 0; k <= 5; ++k) EXPECT_EQ(Text(("Label1_" + CStr(k)).c_str()), "C" + CStr(2 + k));
  EXPECT_EQ(Text("Text3"), " C4");
  EXPECT_EQ(Text("Text1"), "");
  EXPECT_EQ(form->BaseNote(), 36);

  // The channel box is a fixed list of the 16 channels.
  auto* combo = Ctl<QComboBox>("Combo1");
  EXPECT_FALSE(combo->isEditable());
  ASSERT_EQ(combo->count(), 16);
  EXPECT_EQ(combo->itemText(0).toStdString(), "  1");
  EXPECT_EQ(combo->itemText(15).toStdString(), " 16");
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_TRUE(Ctl<QCheckBox>("CheckClickKey")->isChecked());
  EXPECT_FALSE(Ctl<QCheckBox>("CheckHoldNote")->isChecked());
  EXPECT_TRUE(Ctl<QCheckBox>("CheckHoldNote")->isEnabled());
  EXPECT_TRUE(Ctl<QPushButton>("CommHoldChord")->isEnabled());
  EXPECT_TRUE(Ctl<QWidget>("Picture1")->isVisible());

  // The block now holds the first-start values, which a close stores.
  const int defaults[17] = {0, 0, 1, 0, 2, 100, 64, 64, 64, 0, 0, 64, 0, 0, 0, 0, 60};
  for (int i = 1; i <= 16; ++i) EXPECT_EQ(gTasSettings[i], defaults[i]) << i;
}

TEST_F(FrmTastieraTest, TheItalianWindowTakesItsCaptionsFromTheStringTable) {
  WriteBytes(WinFile("Brenvolta.ini"), SettingsImage::Valid(1).bytes());
  Start();
  frmTastiera* form = Open();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->windowTitle().toStdString(), "Tastiera");
  EXPECT_EQ(Ctl<QPushButton>("CommChiudi")->text().toStdString(), "&Chiudi");
  EXPECT_EQ(Ctl<QPushButton>("CommHoldChord")->text().toStdString(), "Hold Chord");
}

struct TasCase {
  const char* name;
  std::vector<int> stored;    // bytes 0-15 as the settings file holds them
  std::vector<int> expected;  // bytes 0-15 after the check
};

void PrintTo(const TasCase& c, std::ostream* os) { *os << c.name; }

class FrmTastieraSettingsTest : public FrmTastieraTest, public ::testing::WithParamInterface<TasCase> {};

const std::vector<int> kFirstStart = {0, 1, 0, 2, 100, 64, 64, 64, 0, 0, 64, 0, 0, 0, 0, 60};

INSTANTIATE_TEST_SUITE_P(
    Bytes, FrmTastieraSettingsTest,
    ::testing::Values(
        // No close ever wrote the block: every byte takes its first value.
        TasCase{"SplitBelowRange", {3, 0, 1, 1, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 35}, kFirstStart},
        TasCase{"SplitAboveRange", {3, 0, 1, 1, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 97}, kFirstStart},
        TasCase{"AllNul", std::vector<int>(16, 0), kFirstStart},
        // A written block: each byte out of its range on its own.
        TasCase{"EachByteOnItsOwn",
                {16, 2, 7, 4, 128, 30, 200, 50, 60, 70, 255, 90, 100, 110, 120, 72},
                {0, 1, 0, 2, 100, 30, 64, 50, 60, 70, 64, 90, 100, 110, 120, 72}},
        TasCase{"AllInRange",
                {15, 0, 1, 3, 0, 127, 1, 2, 3, 4, 5, 6, 7, 8, 9, 96},
                {15, 0, 1, 3, 0, 127, 1, 2, 3, 4, 5, 6, 7, 8, 9, 96}}),
    [](const ::testing::TestParamInfo<TasCase>& info) { return std::string(info.param.name); });

TEST_P(FrmTastieraSettingsTest, OpeningUsesOnlyValuesInRange) {
  const TasCase& c = GetParam();
  WriteTasSettings(c.stored);
  Start();
  midi_->ClearRecords();
  Open();
  ASSERT_NE(gTasForm, nullptr);
  const std::vector<int>& e = c.expected;
  for (int k = 0; k <= 15; ++k) EXPECT_EQ(gTasSettings[k + 1], e[k]) << k;
  // What opening sends and shows follows the checked block.
  const int ch = e[0];
  EXPECT_EQ(Taken(), Messages({Control(ch, 7, e[4]), Control(ch, 10, e[5]), Control(ch, 73, e[8]),
                               Control(ch, 72, e[9]), Bend(ch, e[10]), Control(ch, 1, e[11]), Control(ch, 2, e[12]),
                               Control(ch, 91, e[13]), Control(ch, 93, e[14]), Split(e[15])}));
  EXPECT_EQ(Ctl<QComboBox>("Combo1")->currentIndex(), ch);
  EXPECT_EQ(Ctl<QCheckBox>("CheckClickKey")->isChecked(), e[1] == 1);
  EXPECT_EQ(Ctl<QCheckBox>("CheckHoldNote")->isChecked(), e[2] == 1);
  EXPECT_EQ(Ctl<QScrollBar>("HScroll1")->value(), e[3]);
  EXPECT_EQ(gTasForm->BaseNote(), e[3] * 12 + 12);
  EXPECT_EQ(Ctl<QScrollBar>("VScroll1")->value(), e[15]);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(Slider(i)->value(), e[4 + i]) << i;
  // Opened in glide mode, Hold Note and Hold Chord start disabled.
  EXPECT_EQ(Ctl<QCheckBox>("CheckHoldNote")->isEnabled(), e[1] == 1);
  EXPECT_EQ(Ctl<QPushButton>("CommHoldChord")->isEnabled(), e[1] == 1);
}

TEST_F(FrmTastieraTest, ClickModePlaysTheKeyWhileTheButtonIsDown) {
  StartAndOpen();
  // Key 24 is C4 at octave 2: Note On with Vel On, Note Off with Vel Off.
  PressKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 64)}));
  EXPECT_EQ(Text("Text1"), "C/Do (60)");
  EXPECT_TRUE(Key(24)->Marked());
  ReleaseKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 60, 64)}));
  EXPECT_EQ(Text("Text1"), "");
  EXPECT_FALSE(Key(24)->Marked());

  // A black key; the release away from it (over another key) ends its note.
  PressKey(25);
  EXPECT_EQ(Text("Text1"), "C#/Do# (61)");
  EXPECT_TRUE(Key(25)->Marked());
  MoveToKey(30);
  ReleaseKey(30);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 61, 64), NoteOff(0, 61, 64)}));
  EXPECT_FALSE(Key(25)->Marked());

  // The name of each note of the octave.
  const char* names[] = {"C/Do", "C#/Do#", "D/Re", "D#/Re#", "E/Mi",   "F/Fa",
                         "F#/Fa#", "G/Sol", "G#/Sol#", "A/La", "A#/La#", "B/Si"};
  for (int i = 0; i < 12; ++i) {
    PressKey(36 + i);
    EXPECT_EQ(Text("Text1"), std::string(names[i]) + " (" + CStr(72 + i) + ")");
    ReleaseKey(36 + i);
  }
  midi_->ClearRecords();

  // The right button plays the key as well, and pops no menu over it.
  PressKey(0, Qt::RightButton);
  ReleaseKey(0, Qt::RightButton);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 36, 64), NoteOff(0, 36, 64)}));
  EXPECT_FALSE(main_->EditMenu()->isVisible());
  // Elsewhere in the window the right button pops up the Edit menu.
  Click(Ctl<QLabel>("Label1_7"), QPoint(2, 2), Qt::RightButton);
  EXPECT_TRUE(main_->EditMenu()->isVisible());
  main_->EditMenu()->hide();
  EXPECT_TRUE(Taken().empty());
}

TEST_F(FrmTastieraTest, TheOctaveScrollBarMovesTheKeysTheLabelsAndTheSplitMarker) {
  frmTastiera* form = StartAndOpen();
  auto* octave = Ctl<QScrollBar>("HScroll1");
  QWidget* marker = Ctl<QWidget>("Picture1");
  // At octave 2 the C4 marker stands rel = 2 octaves right of the frame.
  const int markLeft = 70 - 180 / 2 + 10;
  EXPECT_EQ(marker->x(), TwipsToPixels(markLeft + 2 * (7 * 252 - 1)));

  // One step right: notes 48-108, the split point sent again, the marker
  // one octave to the left.
  Click(octave, QPoint(octave->width() - 3, octave->height() / 2));
  EXPECT_EQ(octave->value(), 3);
  EXPECT_EQ(form->BaseNote(), 48);
  EXPECT_EQ(Taken(), Messages({Split(60)}));
  EXPECT_EQ(marker->x(), TwipsToPixels(markLeft + 1 * (7 * 252 - 0)));
  for (int k = 0; k <= 5; ++k) EXPECT_EQ(Text(("Label1_" + CStr(k)).c_str()), "C" + CStr(3 + k));
  PlayKey(60);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 108, 64), NoteOff(0, 108, 64)}));

  // Down to octave 0: notes 12-72; C4 is now beyond the keys in view.
  for (int i = 0; i < 3; ++i) Click(octave, QPoint(2, octave->height() / 2));
  EXPECT_EQ(octave->value(), 0);
  EXPECT_EQ(Taken(), Messages({Split(60), Split(60), Split(60)}));
  for (int k = 0; k <= 5; ++k) EXPECT_EQ(Text(("Label1_" + CStr(k)).c_str()), "C" + CStr(k));
  EXPECT_EQ(marker->x(), TwipsToPixels(markLeft + 4 * (7 * 252 - 2)));
  PlayKey(0);
  PlayKey(60);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 12, 64), NoteOff(0, 12, 64), NoteOn(0, 72, 64), NoteOff(0, 72, 64)}));
  // The octave is kept only when the window closes.
  EXPECT_EQ(gTasSettings[4], 2);
}

TEST_F(FrmTastieraTest, HoldNoteTogglesEachKeyAndHoldChordReplaysTheShapeTransposed) {
  frmTastiera* form = StartAndOpen();
  auto* hold = Ctl<QCheckBox>("CheckHoldNote");
  auto* chord = Ctl<QPushButton>("CommHoldChord");
  // "Hold Chord" with no note held does nothing and stays enabled.
  Click(chord);
  EXPECT_TRUE(Taken().empty());
  EXPECT_TRUE(chord->isEnabled());

  Click(hold);  // ticking it ends every note
  EXPECT_TRUE(hold->isChecked());
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));
  EXPECT_TRUE(chord->isEnabled());

  // A click latches the note; the release sends nothing; a second click
  // ends it with the Vel Off velocity.
  Ctl<QScrollBar>("VScroll_3")->setValue(30);
  PlayKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 64)}));
  EXPECT_EQ(form->HeldNote(60), 1);
  PlayKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 60, 30)}));
  EXPECT_EQ(form->HeldNote(60), 0);
  EXPECT_FALSE(Key(24)->Marked());

  // The chord C4 E4 G4, replayed from D4: all notes off, then 62 66 69.
  for (int k : {24, 28, 31}) PlayKey(k);
  midi_->ClearRecords();
  Click(chord);
  EXPECT_FALSE(chord->isEnabled());
  EXPECT_TRUE(Taken().empty());
  PlayKey(26);
  EXPECT_EQ(Taken(), Messages({AllOff(0), NoteOn(0, 62, 64), NoteOn(0, 66, 64), NoteOn(0, 69, 64)}));
  EXPECT_EQ(Text("Text1"), "A/La (69)");
  for (int k = 0; k < 61; ++k) EXPECT_EQ(Key(k)->Marked(), k == 26 || k == 30 || k == 33) << k;

  // At octave 3 from 106: only 106 is in range.
  auto* octave = Ctl<QScrollBar>("HScroll1");
  Click(octave, QPoint(octave->width() - 3, octave->height() / 2));
  // The held marks follow the notes into the new view.
  for (int k = 0; k < 61; ++k) EXPECT_EQ(Key(k)->Marked(), k == 14 || k == 18 || k == 21) << k;
  midi_->ClearRecords();
  PlayKey(58);
  EXPECT_EQ(Taken(), Messages({AllOff(0), NoteOn(0, 106, 64)}));
  EXPECT_EQ(form->HeldNote(106), 1);
  EXPECT_EQ(form->HeldNote(62), 0);

  // All Notes Off ends the chord: a click plays one note again.
  Click(Ctl<QPushButton>("CommAllNoteOff"));
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));
  EXPECT_TRUE(chord->isEnabled());
  PlayKey(12);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 64)}));
}

TEST_F(FrmTastieraTest, AllNotesOffClearsEveryHeldNoteAndShowsItsThreeBytes) {
  Start();
  OpenMonitor();
  frmTastiera* form = Open();
  midi_->ClearRecords();
  Click(Ctl<QCheckBox>("CheckHoldNote"));
  // Each note is shown alone in the monitor, cleared before it.
  PlayKey(4);
  EXPECT_EQ(Monitor(), "90 28 40 \r\n\r\n");
  // Scrolled up, the held note 40 lies outside the view; 100 is held too.
  auto* octave = Ctl<QScrollBar>("HScroll1");
  Click(octave, QPoint(octave->width() - 3, octave->height() / 2));
  PlayKey(52);
  EXPECT_EQ(form->HeldNote(40), 1);
  EXPECT_EQ(form->HeldNote(100), 1);
  midi_->ClearRecords();

  Click(Ctl<QPushButton>("CommAllNoteOff"));
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));
  EXPECT_EQ(Monitor(), "B0 7B 00 \r\n\r\n");
  EXPECT_EQ(form->HeldNote(40), 0);
  EXPECT_EQ(form->HeldNote(100), 0);
  EXPECT_FALSE(Key(52)->Marked());
  // Back in the first view no key is marked, and a click on 40 plays it.
  Click(octave, QPoint(2, octave->height() / 2));
  for (int k = 0; k < 61; ++k) EXPECT_FALSE(Key(k)->Marked()) << k;
  midi_->ClearRecords();
  PlayKey(4);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 40, 64)}));
}

TEST_F(FrmTastieraTest, GlideModePlaysTheKeyUnderThePointerAndEndsItAwayFromTheKeys) {
  frmTastiera* form = StartAndOpen();
  auto* click = Ctl<QCheckBox>("CheckClickKey");
  Click(click);
  EXPECT_FALSE(click->isChecked());
  EXPECT_FALSE(Ctl<QCheckBox>("CheckHoldNote")->isEnabled());
  Ctl<QScrollBar>("VScroll_3")->setValue(30);
  EXPECT_TRUE(Taken().empty());

  MoveToKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 64)}));
  MoveToKey(24, QPoint(0, -5));  // still the sounding key: nothing
  // Key to key: the old note ends (Vel Off) before the new one.
  MoveToKey(26);
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 60, 30), NoteOn(0, 62, 64)}));
  // Onto a black key lying over the white one.
  MoveToKey(27);
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 62, 30), NoteOn(0, 63, 64)}));
  MoveToKey(28);
  midi_->ClearRecords();

  // The lowest 36 twips of the key: Note Off at velocity 64, the name stays.
  const int bottom = Key(28)->height() - 1;
  MoveTo(Key(28), QPoint(8, bottom));
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 64, 64)}));
  EXPECT_EQ(Text("Text1"), "E/Mi (64)");
  EXPECT_FALSE(Key(28)->Marked());
  EXPECT_EQ(form->LastNote(), 200);
  // The next move over the same key, at any height, plays it again.
  MoveTo(Key(28), QPoint(8, bottom - 30));
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 64, 64)}));

  // Off the keys onto a label of the window, and out of the window: the
  // note ends, wherever the pointer goes.
  MoveTo(Ctl<QLabel>("Label1_7"));
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 64, 30)}));
  MoveToKey(40);
  MoveOutside();
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 76, 64), NoteOff(0, 76, 30)}));
  EXPECT_EQ(Text("Text1"), "");

  // A button held down in glide mode: the key under the pointer still plays.
  PressKey(10);
  MoveToKey(12);
  ReleaseKey(12);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 46, 64), NoteOff(0, 46, 30), NoteOn(0, 48, 64)}));
  EXPECT_TRUE(Key(12)->Marked());
  EXPECT_FALSE(Key(10)->Marked());
}

TEST_F(FrmTastieraTest, TickingClickKeyEndsTheGlideNoteFirst) {
  StartAndOpen();
  auto* click = Ctl<QCheckBox>("CheckClickKey");
  Click(click);
  MoveToKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 64)}));
  // Ticked from the computer keyboard while the pointer stays on the key.
  click->setFocus();
  QTest::keyClick(click, Qt::Key_Space);
  EXPECT_TRUE(click->isChecked());
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 60, 64)}));
  EXPECT_FALSE(Key(24)->Marked());
  EXPECT_TRUE(Ctl<QCheckBox>("CheckHoldNote")->isEnabled());
  // Click mode now: the key plays on a press only.
  MoveToKey(26);
  EXPECT_TRUE(Taken().empty());
  PlayKey(26);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 62, 64), NoteOff(0, 62, 64)}));
}

TEST_F(FrmTastieraTest, HoldNoteInGlideModeEndsTheGlideNoteAndLetsThatKeyPlayAgain) {
  frmTastiera* form = StartAndOpen();
  auto* click = Ctl<QCheckBox>("CheckClickKey");
  auto* hold = Ctl<QCheckBox>("CheckHoldNote");
  // Into glide mode through a held chord: Hold Note stays enabled.
  Click(hold);
  PlayKey(24);
  Click(Ctl<QPushButton>("CommHoldChord"));
  midi_->ClearRecords();
  Click(click);
  EXPECT_FALSE(click->isChecked());
  EXPECT_FALSE(hold->isChecked());
  EXPECT_TRUE(hold->isEnabled());
  EXPECT_EQ(Taken(), Messages({AllOff(0), AllOff(0)}));

  MoveToKey(30);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 66, 64)}));
  // Hold Note ticked from the computer keyboard, the pointer still on the
  // key: everything is silenced and the glide note no longer counts.
  hold->setFocus();
  QTest::keyClick(hold, Qt::Key_Space);
  EXPECT_TRUE(hold->isChecked());
  EXPECT_FALSE(click->isChecked());
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));
  EXPECT_EQ(form->LastNote(), 200);
  EXPECT_EQ(Text("Text1"), "");
  EXPECT_FALSE(Key(30)->Marked());
  // The key under the pointer sounds again when the pointer moves on it.
  MoveToKey(30, QPoint(0, 4));
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 66, 64)}));
  // Hold Note cannot be unticked in glide mode.
  QTest::keyClick(hold, Qt::Key_Space);
  EXPECT_TRUE(hold->isChecked());
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));

  // With Hold Note the glide note sounds on off the keys; scrolled to
  // another octave, its mark follows it.
  MoveToKey(24);
  auto* octave = Ctl<QScrollBar>("HScroll1");
  Click(octave, QPoint(octave->width() - 3, octave->height() / 2));
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 64), Split(60)}));
  for (int k = 0; k < 61; ++k) EXPECT_EQ(Key(k)->Marked(), k == 12) << k;
  MoveToKey(30);
  EXPECT_EQ(Taken(), Messages({NoteOff(0, 60, 64), NoteOn(0, 78, 64)}));
  for (int k = 0; k < 61; ++k) EXPECT_EQ(Key(k)->Marked(), k == 30) << k;
}

TEST_F(FrmTastieraTest, ChangingTheChannelEndsTheNotesOfTheOldOne) {
  frmTastiera* form = StartAndOpen();
  Click(Ctl<QCheckBox>("CheckHoldNote"));
  PlayKey(24);
  PlayKey(28);
  midi_->ClearRecords();
  auto* combo = Ctl<QComboBox>("Combo1");
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(combo->currentIndex(), 2);
  // Channel 1's notes end before channel 2 is chosen, channel 2's before 3.
  EXPECT_EQ(Taken(), Messages({AllOff(0), AllOff(1)}));
  EXPECT_EQ(gTasSettings[1], 2);
  EXPECT_EQ(form->HeldNote(60), 0);
  EXPECT_FALSE(Key(24)->Marked());
  // Keys and controllers go out on the new channel.
  PlayKey(24);
  QTest::keyClick(Slider(0), Qt::Key_Up);
  Click(Ctl<QPushButton>("CommAllNoteOff"));
  EXPECT_EQ(Taken(), Messages({NoteOn(2, 60, 64), Control(2, 7, 101), AllOff(2)}));
}

TEST_F(FrmTastieraTest, TheSlidersSendTheirControllersAndTheBend) {
  StartAndOpen();
  // The arrows: the upper one raises the value, the lower one lowers it.
  QScrollBar* volume = Slider(0);
  Click(volume, Part(volume, QStyle::SC_ScrollBarSubLine).center());
  EXPECT_EQ(volume->value(), 101);
  Click(volume, Part(volume, QStyle::SC_ScrollBarAddLine).center());
  Click(volume, Part(volume, QStyle::SC_ScrollBarAddLine).center());
  EXPECT_EQ(Taken(), Messages({Control(0, 7, 101), Control(0, 7, 100), Control(0, 7, 99)}));
  EXPECT_EQ(Text("Label3_0"), "99");
  EXPECT_EQ(gTasSettings[5], 99);

  // The bend at its ends and its centre, shown as value - 64.
  QScrollBar* bend = Slider(6);
  bend->setFocus();
  QTest::keyClick(bend, Qt::Key_End);
  EXPECT_EQ(Text("Label3_6"), "63");
  QTest::keyClick(bend, Qt::Key_Home);
  EXPECT_EQ(Text("Label3_6"), "-64");
  bend->setValue(64);
  EXPECT_EQ(Text("Label3_6"), "0");
  EXPECT_EQ(Taken(), Messages({Bend(0, 127), Bend(0, 0), Bend(0, 64)}));
  EXPECT_EQ(gTasSettings[11], 64);

  // Each controller on its number; Pan shown as value - 64.
  const int controllers[11] = {7, 10, -1, -1, 73, 72, -1, 1, 2, 91, 93};
  for (int i : {1, 4, 5, 7, 8, 9, 10}) {
    Slider(i)->setValue(90);
    EXPECT_EQ(Taken(), Messages({Control(0, controllers[i], 90)})) << i;
    EXPECT_EQ(gTasSettings[5 + i], 90) << i;
  }
  EXPECT_EQ(Text("Label3_1"), "26");

  // A drag of the thumb sends one message per value it passes, the last
  // one the value shown.
  QSignalSpy changes(volume, &QAbstractSlider::valueChanged);
  const QPoint thumb = Part(volume, QStyle::SC_ScrollBarSlider).center();
  Press(volume, thumb);
  for (int dy = 1; dy <= 20; ++dy) MoveTo(volume, thumb - QPoint(0, dy));
  Release(volume, thumb - QPoint(0, 20));
  const Messages dragged = Taken();
  ASSERT_GT(changes.count(), 5);
  ASSERT_EQ(dragged.size(), static_cast<size_t>(changes.count()));
  for (size_t k = 0; k < dragged.size(); ++k)
    EXPECT_EQ(dragged[k], Control(0, 7, changes[static_cast<int>(k)].at(0).toInt()));
  EXPECT_GT(volume->value(), 99);  // dragged up: louder
  EXPECT_EQ(Text("Label3_0"), CStr(volume->value()));
}

TEST_F(FrmTastieraTest, TheVelocitySlidersSendNothingAndSetTheNotesVelocities) {
  Start();
  OpenMonitor();
  Open();
  midi_->ClearRecords();
  PlayKey(24);
  const std::string shown = Monitor();
  midi_->ClearRecords();
  Slider(2)->setValue(100);
  Slider(3)->setValue(10);
  EXPECT_TRUE(Taken().empty());
  EXPECT_EQ(Monitor(), shown);
  EXPECT_EQ(Text("Label3_2"), "100");
  EXPECT_EQ(Text("Label3_3"), "10");
  EXPECT_EQ(gTasSettings[7], 100);
  EXPECT_EQ(gTasSettings[8], 10);
  PlayKey(24);
  EXPECT_EQ(Taken(), Messages({NoteOn(0, 60, 100), NoteOff(0, 60, 10)}));
  // A controller shows its own three bytes, the monitor cleared first.
  Slider(9)->setValue(5);
  EXPECT_EQ(Monitor(), "B0 5B 05 \r\n\r\n");
}

TEST_F(FrmTastieraTest, TheSplitPointIsSentAndShownAndKeptOnClosing) {
  StartAndOpen();
  QScrollBar* split = Ctl<QScrollBar>("VScroll1");
  Click(split, Part(split, QStyle::SC_ScrollBarSubLine).center());  // the upper arrow
  EXPECT_EQ(split->value(), 61);
  EXPECT_EQ(Text("Text3"), " C4#");
  EXPECT_EQ(Taken(), Messages({Split(61)}));
  EXPECT_EQ(gTasSettings[16], 60);  // kept only on closing

  struct Case {
    int note;
    const char* shown;
  };
  for (const Case& c : {Case{36, " C2"}, Case{96, " C7"}, Case{66, " F4#"}, Case{71, " B4"}, Case{47, " B2"}}) {
    split->setValue(c.note);
    EXPECT_EQ(Text("Text3"), c.shown) << c.note;
    EXPECT_EQ(Taken(), Messages({Split(c.note)})) << c.note;
  }
  // The control's range keeps any other value from being sent.
  split->setValue(120);
  EXPECT_EQ(split->value(), 96);
  EXPECT_EQ(Taken(), Messages({Split(96)}));

  // The arrangement editor's mirror: by the window's and control's names.
  auto* mirror = main_->findChild<QWidget*>("frmTastiera")->findChild<QScrollBar*>("VScroll1");
  ASSERT_EQ(mirror, split);
  mirror->setValue(64);
  EXPECT_EQ(Taken(), Messages({Split(64)}));
  EXPECT_EQ(Text("Text3"), " E4");

  Click(Ctl<QPushButton>("CommChiudi"));
  Settle();
  EXPECT_EQ(gTasSettings[16], 64);
}

TEST_F(FrmTastieraTest, TheModeButtonsHideTheirAllNotesOffAndLayTheSplitControlsOut) {
  Start();
  OpenMonitor();
  Open();
  midi_->ClearRecords();
  Click(Ctl<QPushButton>("CommSongPlay"));
  EXPECT_EQ(Taken(), Messages({Mode(0x06), AllOff(0)}));
  EXPECT_EQ(Monitor(), "F0 42 30 4D 4E 06 F7 \r\n\r\n");
  EXPECT_EQ(gInstrMode, 1);
  EXPECT_FALSE(Ctl<QWidget>("Picture1")->isVisible());
  for (const char* name : {"Picture2", "Text3", "VScroll1", "Label1_8"})
    EXPECT_FALSE(Ctl<QWidget>(name)->isEnabled()) << name;
  EXPECT_TRUE(gMonitorOn);

  // A mode change from the main window leaves them as they are.
  main_->Item("mnuArrPlay")->trigger();
  EXPECT_FALSE(Ctl<QWidget>("VScroll1")->isEnabled());
  midi_->ClearRecords();

  Click(Ctl<QPushButton>("CommArrPlay"));
  EXPECT_EQ(Taken(), Messages({Mode(0x0A), AllOff(0)}));
  EXPECT_EQ(Monitor(), "F0 42 30 4D 4E 0A F7 \r\n\r\n");
  EXPECT_TRUE(Ctl<QWidget>("Picture1")->isVisible());
  for (const char* name : {"Picture2", "Text3", "VScroll1", "Label1_8"})
    EXPECT_TRUE(Ctl<QWidget>(name)->isEnabled()) << name;

  // Opened while the last mode set was song play: disabled from the start.
  Click(Ctl<QPushButton>("CommChiudi"));
  Settle();
  main_->Item("mnuSongPlay")->trigger();
  Open();
  EXPECT_FALSE(Ctl<QWidget>("Picture1")->isVisible());
  EXPECT_FALSE(Ctl<QWidget>("VScroll1")->isEnabled());
}

TEST_F(FrmTastieraTest, ClosingEndsTheNotesAndReopeningRestoresEverySetting) {
  Start();
  OpenMonitor();
  frmTastiera* form = Open();
  form->move(30, 20);
  Click(Ctl<QCheckBox>("CheckHoldNote"));
  auto* combo = Ctl<QComboBox>("Combo1");
  combo->setFocus();
  for (int i = 0; i < 4; ++i) QTest::keyClick(combo, Qt::Key_Down);
  auto* octave = Ctl<QScrollBar>("HScroll1");
  Click(octave, QPoint(2, octave->height() / 2));
  const int values[11] = {80, 10, 90, 20, 30, 40, 100, 50, 60, 70, 5};
  for (int i = 0; i < 11; ++i) Slider(i)->setValue(values[i]);
  Ctl<QScrollBar>("VScroll1")->setValue(50);
  PlayKey(0);
  midi_->ClearRecords();

  Click(Ctl<QPushButton>("CommChiudi"));
  Settle();
  EXPECT_EQ(gTasForm, nullptr);
  EXPECT_EQ(Taken(), Messages({AllOff(4)}));
  EXPECT_EQ(Monitor(), "B4 7B 00 \r\n\r\n");
  const int stored[16] = {4, 1, 1, 1, 80, 10, 90, 20, 30, 40, 100, 50, 60, 70, 5, 50};
  for (int k = 0; k <= 15; ++k) EXPECT_EQ(gTasSettings[k + 1], stored[k]) << k;
  EXPECT_EQ(gWinPosTab[kKindKeyboard].State, 0);
  EXPECT_EQ(gWinPosTab[kKindKeyboard].Left, PixelsToTwips(30));
  EXPECT_EQ(gWinPosTab[kKindKeyboard].Top, PixelsToTwips(20));
  EXPECT_TRUE(Enabled("mnuTastiera"));
  EXPECT_EQ(gToolWinCount, 1);  // the monitor
  EXPECT_EQ(gKbdOpen, 0);

  form = Open();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->pos(), QPoint(30, 20));
  EXPECT_EQ(Taken(), Messages({Control(4, 7, 80), Control(4, 10, 10), Control(4, 73, 30), Control(4, 72, 40),
                               Bend(4, 100), Control(4, 1, 50), Control(4, 2, 60), Control(4, 91, 70),
                               Control(4, 93, 5), Split(50)}));
  EXPECT_EQ(Ctl<QComboBox>("Combo1")->currentIndex(), 4);
  EXPECT_TRUE(Ctl<QCheckBox>("CheckClickKey")->isChecked());
  EXPECT_TRUE(Ctl<QCheckBox>("CheckHoldNote")->isChecked());
  EXPECT_EQ(Ctl<QScrollBar>("HScroll1")->value(), 1);
  const char* shown[11] = {"80", "-54", "90", "20", "30", "40", "36", "50", "60", "70", "5"};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(Text(("Label3_" + CStr(i)).c_str()), shown[i]) << i;
  EXPECT_EQ(Text("Text3"), " D3");
  EXPECT_EQ(form->HeldNote(24), 0);  // nothing is held from before
}

TEST_F(FrmTastieraTest, TheWindowIsCappedAtItsLargestSize) {
  frmTastiera* form = StartAndOpen();
  form->SetSizeTwips(8000, 12000);
  Settle();
  EXPECT_EQ(form->width(), TwipsToPixels(9288));
  EXPECT_EQ(form->height(), TwipsToPixels(5532));
  form->SetSizeTwips(3000, 4500);
  Settle();
  EXPECT_EQ(gWinPosTab[kKindKeyboard].Height, PixelsToTwips(TwipsToPixels(3000)));
  EXPECT_EQ(gWinPosTab[kKindKeyboard].Width, PixelsToTwips(TwipsToPixels(4500)));
  EXPECT_TRUE(Enabled("mnuIngrandisci"));
  main_->Item("mnuIngrandisci")->trigger();
  Settle();
  EXPECT_EQ(form->width(), TwipsToPixels(9288));
  EXPECT_FALSE(Enabled("mnuIngrandisci"));
}

TEST_F(FrmTastieraTest, AnExitCancelledByAnotherWindowLeavesTheKeyboardOpenAndCounted) {
  Start();
  Open();
  Click(Ctl<QCheckBox>("CheckHoldNote"));
  PlayKey(24);
  auto* other = new TestChild(main_, kKindArrFile);
  other->refuseClose = true;
  midi_->ClearRecords();
  main_->Item("mnuExit")->trigger();
  EXPECT_TRUE(main_->ExitRefused());
  // Its close query ended the notes; it is still open, counted and mirrored.
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));
  ASSERT_NE(gTasForm, nullptr);
  EXPECT_EQ(gKbdOpen, -1);
  EXPECT_EQ(gToolWinCount, 2);
  EXPECT_FALSE(Enabled("mnuTastiera"));
  // Its own close later uncounts it once.
  main_->MdiArea()->setActiveSubWindow(gTasForm);
  Click(Ctl<QPushButton>("CommChiudi"));
  Settle();
  EXPECT_EQ(gToolWinCount, 1);
  EXPECT_TRUE(Enabled("mnuTastiera"));
  EXPECT_EQ(gKbdOpen, 0);
  other->refuseClose = false;
}

TEST_F(FrmTastieraTest, TheExitStoresTheKeyboardSettingsAndDoesNotReopenIt) {
  Start();
  Open();
  Click(Ctl<QCheckBox>("CheckClickKey"));
  Ctl<QScrollBar>("VScroll1")->setValue(72);
  Slider(0)->setValue(110);
  midi_->ClearRecords();
  main_->Item("mnuExit")->trigger();
  ASSERT_FALSE(main_->ExitRefused());
  EXPECT_EQ(Taken(), Messages({AllOff(0)}));
  const std::string ini = ReadBytes(WinFile("Brenvolta.ini"));
  EXPECT_EQ(Mid(ini, 30, 16), Bytes({0, 0, 0, 2, 110, 64, 64, 64, 0, 0, 64, 0, 0, 0, 0, 72}));
  EXPECT_EQ(Asc(ini, 51 + 9 * (kKindKeyboard - 1) + 8), 0);
}

TEST_F(FrmTastieraTest, WithoutMidiNothingIsSentAndTheWindowStillFollowsItsControls) {
  Start();
  gMidiState = 0;
  midi_->ClearRecords();
  Open();
  PlayKey(24);
  Slider(0)->setValue(20);
  Ctl<QScrollBar>("VScroll1")->setValue(70);
  EXPECT_TRUE(Taken().empty());
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(Text("Label3_0"), "20");
  EXPECT_EQ(Text("Text3"), " A4#");
  EXPECT_EQ(gTasSettings[5], 20);

  // A failing send shows the link's own message, and the keyboard goes on.
  gMidiState = 1;
  midi_->SetResult("midiOutShortMsg", MMSYSERR_ERROR, 1);
  PressKey(24);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].text, "Error opening Output MIDI Device");
  EXPECT_TRUE(Key(24)->Marked());
  ReleaseKey(24);
  PlayKey(26);
  const auto shorts = midi_->CallsNamed("midiOutShortMsg");
  ASSERT_EQ(shorts.size(), 4u);
  EXPECT_EQ(shorts[3].bytes, NoteOff(0, 62, 64));
}
