// The global-parameters window, in two kinds: the instrument's global
// parameters (kind 14, slot 0), which edits a copy of the block last sent
// (gGblCur) and has no file, and a global file (kind 25, slots 1-8), which
// edits the block of a .gbl file and can save it. Every change of a block
// field is written into the window's document and the whole block goes to
// the instrument at once (the global dump), which also makes it the
// program's current block. The tab "Harmony, MIDI" also holds the program's
// own MIDI channel table, which is kept at once and never sent.
//
// The document (WinTag) is 718 characters: 1 the kind, 2 read-only, 4
// modified, 15 the slot, 21-258 "Global Parameters" or the file's path
// without extension, 271-718 the 448-byte block.
#pragma once

#include <QPointer>
#include <string>

#include "ui/editors/gblblock.h"
#include "ui/main/childform.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTabWidget;
class QWidget;

class frmGbl : public ChildForm {
  Q_OBJECT
 public:
  frmGbl();

  // Builds the window of slot gGblSlotIdx (0 the instrument's block from
  // gGblCur; 1-8 the file in gGblFileBuf, gGblFileDir, gGblFileName,
  // gOpenReadOnly), fills its controls without sending, and adds it to the
  // main window.
  void Form_Load();
  // Sets every control from the document's block and the program's
  // channel table.
  void GblAggFrm();

  // "Load": sends the block as the global dump and makes it the program's
  // current block; the common tail of every change. Nothing while a window
  // fills its controls.
  void CommLoadGbl_Click();
  // "GLOBAL": the instrument's global mode.
  void CommGlobal_Click();
  // "Reset US1" .. "Reset US4": the twelve notes of user scale index + 1 to
  // 0, then one dump.
  void CommResetUS_Click(int index);

  // The change handlers, one run per change of a control.
  void GblCombo1_Change(int index);
  void GblCheck1_Click(int index);
  void GblOption1_Click(int index);
  void GblHScroll1_Change(int index);
  void VScroll2_Change(int index);
  void HScroll3_Change(int index);
  void Check3_Click();
  void Combo3_Change(int index);

  int Slot() const;
  // The cents shown by user-scale slider index (its bar runs from +50 at the
  // top to -50 at the bottom).
  int VScroll2Value(int index) const;

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;

 private:
  void BuildControls();
  void ConnectHandlers();
  // Steps 2-5 of a change: the field written, the document marked
  // modified, the block sent.
  void StoreField(GblCtl ctl, int index, int value);
  void ShowTuneLabel(int index);
  void ShowScaleLabel(int index);
  void ShowRangeLabel(int index);
  void SetVScroll2(int index, int cents);

  QWidget* page_ = nullptr;  // every control, on the clipping body
  QTabWidget* SSTab1 = nullptr;
  QComboBox* GblCombo1[20] = {};  // no element 4
  QCheckBox* GblCheck1[3] = {};
  QRadioButton* GblOption1[2] = {};
  QScrollBar* GblHScroll1[2] = {};
  QScrollBar* VScroll2[kUserScaleNotes] = {};
  QScrollBar* HScroll3[2] = {};
  QCheckBox* Check3 = nullptr;
  QComboBox* Combo3[15] = {};
  QLabel* GblLab1[14] = {};  // value labels 1 (Master Tune) and 13 (Velocity)
  QLabel* Lab2[kUserScaleNotes] = {};
  QLabel* Lab3[8] = {};  // note labels 5 (Range L) and 7 (Range H)
  QPushButton* CommLoadGbl = nullptr;
  QPushButton* CommGlobal = nullptr;
  QPushButton* CommResetUS[4] = {};
  QPushButton* CommClose = nullptr;
  bool loaded_ = false;
};

// The windows by slot (0 the instrument's, 1-8 the files). A window deletes
// itself when it closes, which empties its entry.
extern QPointer<frmGbl> gGblForms[9];

// The opener of View > Global Parameters (slot 0) and of the global files
// (File > Open Gbl, the recent files): the window of gGblSlotIdx, created
// and loaded. The instrument's window, when open, is only brought forward
// (restored when minimised), and keeps what it shows.
void GblWinShow();

// Deletes any window still registered (one that outlived its main window)
// and empties the registry.
void FrmGblReset();
