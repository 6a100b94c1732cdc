// The on-screen keyboard (window kind 15, one at a time): 61 keys drawn as
// boxes that the user plays with the mouse, in click, hold-note and glide
// modes, a held chord that each click replays transposed, All Notes Off;
// eleven sliders for the controllers, the pitch bend and the two note
// velocities; the octave scroll bar; the split point, sent to the
// instrument as a parameter change; the mode buttons. Its settings are
// gTasSettings (byte k at element k + 1): they come back at the next
// opening.
#pragma once

#include <QPointer>
#include <QScrollBar>
#include <QWidget>
#include <array>
#include <cstdint>

#include "ui/editors/topmaxscrollbar.h"
#include "ui/main/childform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class frmTastiera;

// True (-1) while the keyboard window is loaded, else False (0). While it
// is True the arrangement editor copies its split point into the window's
// VScroll1, which sends it.
extern int gKbdOpen;

// One key of the keyboard: a box, white or black by its index, with a dot
// while its note sounds. Its mouse events go to the window's handlers.
class TasKey : public QWidget {
  Q_OBJECT
 public:
  TasKey(frmTastiera* form, QWidget* parent, int index);
  int Index() const { return index_; }
  bool Black() const { return black_; }
  bool Marked() const { return marked_; }
  // Draws the dot, or restores the key's colour.
  void SetMarked(bool on);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  frmTastiera* form_;
  int index_;
  bool black_;
  bool marked_ = false;
};

class frmTastiera : public ChildForm {
  Q_OBJECT
 public:
  frmTastiera();

  // Builds the window from gTasSettings and the position record of kind
  // 15, adds it to the main window and sends the sliders' controllers and
  // the split point.
  void Form_Load();

  // The keys (index 0-60; y in twips from the top of the key).
  void Key_MouseDown(int index);
  void Key_MouseMove(int index, int y);
  void Key_MouseUp(int index);
  // The pointer moved over the window outside the keys.
  void Form_MouseMove();
  // The pointer left a key (for the key it went to, or for anywhere else).
  void KeyLeft();
  void Frame1_MouseMove() { Form_MouseMove(); }
  // A move reported by key: handled as a move over the key now under the
  // pointer (the pressed key keeps the mouse while a button is down).
  void KeyPointerMoved(TasKey* key, const QPoint& pos);

  void CheckClickKey_Click();
  void CheckHoldNote_Click();
  void CommHoldChord_Click();
  void CommAllNoteOff_Click();
  void CommArrPlay_Click();
  void CommSongPlay_Click();
  void Combo1_Change();
  void HScroll1_Change();
  void VScroll_Change(int index);
  void VScroll1_Change();

  // The split-point control; the arrangement editor sets its value.
  QScrollBar* VScroll1() const { return vScroll1_; }
  int BaseNote() const { return baseNote_; }
  int LastNote() const { return lastNote_; }
  // 1 when the note (12-108) is latched on, else 0.
  int HeldNote(int note) const;

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void LayoutControls();
  void KeyNoteOn(int note);
  void KeyNoteOff(int note);
  // All Notes Off on a channel (the window's own, or the one it leaves).
  void AllNotesOff(int channel);
  void ModeButton(void (*txMode)());
  void KeysReset();
  void KeysRepaint();
  void HeldKeysMark();
  void HoldNoteClear();
  void HoldChordClear();
  int HoldNoteAny() const;
  void OctaveLabelsSet();
  void SplitCtlsLayout();
  int Channel() const;
  bool ClickKeyTicked() const;
  bool HoldNoteTicked() const;
  TasKey* KeyOfNote(int note) const;

  QWidget* body_ = nullptr;
  QWidget* frame1_ = nullptr;
  std::array<TasKey*, 61> keys_{};
  std::array<QLabel*, 9> label1_{};
  std::array<TopMaxScrollBar*, 11> vScroll_{};
  std::array<QLabel*, 11> label2_{}, label3_{}, label4_{}, label5_{};
  QScrollBar* hScroll1_ = nullptr;
  TopMaxScrollBar* vScroll1_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QLineEdit* text3_ = nullptr;
  QCheckBox* checkClickKey_ = nullptr;
  QCheckBox* checkHoldNote_ = nullptr;
  QPushButton* commHoldChord_ = nullptr;
  QPushButton* commAllNoteOff_ = nullptr;
  QPushButton* commArrPlay_ = nullptr;
  QPushButton* commSongPlay_ = nullptr;
  QPushButton* commChiudi_ = nullptr;
  QWidget* picture1_ = nullptr;
  QWidget* picture2_ = nullptr;

  int baseNote_ = 36;
  int lastNote_ = 200;
  std::array<uint8_t, 97> heldNote_{};   // by note - 12
  std::array<uint8_t, 97> chordNote_{};  // by note - 12
  int chordMode_ = 0;
  int clickGuard_ = 0;
  int splitMarkLeft_ = 0;
  int splitMarkTop_ = 0;
  // Set while Form_Load fills the controls: values set from code then run
  // no change handler.
  bool loading_ = false;
  bool loaded_ = false;
};

// The keyboard window while it exists (it deletes itself when closed).
extern QPointer<frmTastiera> gTasForm;

// View > Keyboard: creates and loads the window, or activates the open one.
void TasWinShow();

// Deletes a window still open and puts gKbdOpen back (tests).
void FrmTastieraReset();
