// frmStyUN, the window of a style group: a style file (.sty) opened from
// disk or shown for an arrangement file (kind 23, one per style slot), or a
// new, untitled group made from the empty-style template r40Sty (kind 24,
// one per new-style index). It lists the 16 style slots in 4 banks of 4
// (a blank line between the banks), the size of each slot, bank and of the
// whole group, sends all banks in use or one bank to the instrument, hands a
// style of a file to the arrangement editor while the editor waits for a
// style pick, and asks to save a changed group when it closes.
//
// Steps (StepTimer, interval 10 idle): TimerTxSty_0 / TimerTxSty_1 carry
// the send of all banks (20 ms to the first bank, 800 ms between banks and
// to the end), TimerLoadStyGrp_0 to _3 the send of one bank (11). Each
// window keeps its own bank counters, so two windows sending at once do not
// disturb each other.
#pragma once

#include <QPointer>
#include <string>

#include "ui/documents/slotform.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class StepTimer;

class frmStyUN : public SlotForm {
  Q_OBJECT
 public:
  // kind 23 (a style file, slot gStySlotIdx) or 24 (a new style, index
  // gStyWinIdx).
  explicit frmStyUN(int kind);

  // Builds the window from the group in gStyData (for kind 23 also the
  // path gStyFileDir / gStyFileName, the slot record and gOpenReadOnly) and
  // adds it to the main window.
  void Form_Load();

  // The list click: the style pick (kind 23) and the Edit menu's Load Style.
  void List1_Click();
  // "Load &Styles": every bank in use, then the call-up of arrangement 11
  // of the files.
  void CommLoadSty_Click();
  // "Load Styles" of bank b (0-3).
  void CommLoadStyGrp_Click(int b);

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;

 private:
  void LayoutControls();
  // The Edit menu of the current line (index): the refresh, and Load Style
  // off on a blank line between banks, and in a new style on an empty slot.
  void LineMenu(int index);
  // The selection of List1 changed: the menu follows it, while this window
  // is the active one.
  void SelectionChanged();
  // The end of the send of all banks.
  void StyleTransferEnd();

  QListWidget* list1_ = nullptr;
  QWidget* picture1_ = nullptr;
  QLineEdit* text1_[16] = {};
  QWidget* picture2_[4] = {};
  QLineEdit* text2_[4] = {};
  QPushButton* commLoadStyGrp_[4] = {};
  QLineEdit* text3_ = nullptr;
  QLabel* label3_ = nullptr;
  QPushButton* commLoadSty_ = nullptr;
  QPushButton* commClose_ = nullptr;
  StepTimer* timerTxSty_[2] = {};
  StepTimer* timerLoadStyGrp_[4] = {};
  int kind_;
  // The running send of all banks: banks in use and the next bank.
  int styBankCnt_ = 0;
  int styBankIdx_ = 0;
  unsigned styFails_ = 0;  // gTxFailCount when the transfer began
  bool loaded_ = false;
};

// The windows by slot (kind 23) and by index (kind 24), 1-8 (element 0
// unused). A window deletes itself when it closes, which empties its entry.
extern QPointer<frmStyUN> gStyForms[9];
extern QPointer<frmStyUN> gStyNewForms[9];

// The openers of File > Open Sty (and the recent list) and File > New Sty:
// the style-file window of gStySlotIdx, the new-style window of gStyWinIdx.
void StyFileWinShow();
void StyNewWinShow();

// Deletes any window still registered and empties the registries.
void FrmStyUNReset();
