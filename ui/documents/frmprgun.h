// frmPrgUN, the window of a program file (.prg or .pgg, kind 21) or of a
// new, untitled program file made from the template r40Prg (kind 22): the
// 64 programs of the file, a reference to an internal program marked " *".
// A click calls the program up on the window's MIDI channel (kept in the
// file image, byte 15), sending the whole file first when "Load Program" is
// ticked and the instrument does not hold it; while the arrangement editor
// waits for a program, the click also hands it to the editor. Load Prog
// sends the whole file as a two-phase step. Up to eight windows of each
// kind, one per slot.
//
// Steps (StepTimer, interval 10 idle): TimerLoadPrg (9: send the file) and
// TimerList1 (9: a click waits for the file, and is run again by the end of
// the file step).
#pragma once

#include <QPointer>
#include <string>

#include "ui/documents/slotform.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class StepTimer;

class frmPrgUN : public SlotForm {
  Q_OBJECT
 public:
  // kind 21 (a program file) or 22 (a new one).
  explicit frmPrgUN(int kind);

  // Builds the window of slot gPrgSlotIdx from the image in gPrgFileBuf, and
  // for kind 21 the path gPrgFileDir / gPrgFileName and gOpenReadOnly, and
  // adds it to the main window. PrgWinShow counts it in.
  void Form_Load();

  // The call-up (or the pick) of the current line.
  void List1_Click();
  // Load Prog: the whole file to the instrument.
  void CommLoad_Click();

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void LayoutControls();
  void Combo1_Click(int channel);
  void List1_KeyDown(int key);

  QListWidget* list1_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QLabel* label1_ = nullptr;
  QPushButton* commArrPlay_ = nullptr;
  QPushButton* commSongPlay_ = nullptr;
  QPushButton* commLoad_ = nullptr;
  QPushButton* commClose_ = nullptr;
  StepTimer* timerLoadPrg_ = nullptr;
  StepTimer* timerList1_ = nullptr;
  int kind_;
  bool loaded_ = false;
};

// The windows by slot (1-8; element 0 unused): kind 21 and kind 22. A window
// deletes itself when it closes, which empties its entry.
extern QPointer<frmPrgUN> gPrgForms[9];
extern QPointer<frmPrgUN> gPrgNewForms[9];

// The opener behind PrgWinShow: the window of kind (21, 22) of slot
// gPrgSlotIdx.
void PrgUNWinShow(int kind);

// Deletes any window still registered and empties the registries.
void FrmPrgUNReset();
