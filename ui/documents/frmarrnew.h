// The window of a new, untitled arrangement bank (kind 20): 64 empty
// arrangements on the header of the internal bank A, with the empty-style
// template as its style group. The user fills it by pasting arrangements,
// sends it to the instrument, calls its arrangements up and saves it with
// Save As. Up to eight are open at once, one per new-arrangement slot.
//
// Its steps run on one-shot timers whose Interval is their state (10 idle):
// TimerLoadArr (9: send the bank), TimerLoadSty (20 for the first style
// bank, 800 between banks) and TimerList1 (11: the click waits for the bank,
// 12: the click waits for the styles).
#pragma once

#include <QPointer>
#include <string>

#include "ui/main/childform.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class StepTimer;

class frmArrNew : public ChildForm {
  Q_OBJECT
 public:
  frmArrNew();

  // Builds the window of slot gArrNewSlotIdx from the bank image in
  // gArrFileBuf (File > New Arr has zeroed its records) and adds it to the
  // main window. The opener has marked the slot and counted the window.
  void Form_Load();

  // Calls the selected arrangement up, sending the bank and its styles
  // first when the instrument does not hold them.
  void List1_Click();
  // The bank dump, as a two-phase step.
  void CommLoadArr_Click();
  // The style banks in use of the document's group, one bank per step.
  void CommLoadSty_Click();
  // Right button released over the list, or over the window's body: the
  // main window's Edit menu.
  void List1_MouseUp();
  void Form_MouseUp();

  int Slot() const;

  // ChildView
  void SetWindowCaption(const std::string& text) override;

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;

 private:
  void LayoutControls();
  // The document's file name: the title or path at 21-258, without folder.
  std::string FileName() const;
  // The end of a style transfer: the status cleared, the step idle, the
  // click that waits for it released.
  void StyleTransferEnd();

  QListWidget* list1_ = nullptr;
  QLabel* label1_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QPushButton* commLoadArr_ = nullptr;
  QPushButton* commLoadSty_ = nullptr;
  QPushButton* commArrPlay_ = nullptr;
  QPushButton* commClose_ = nullptr;
  StepTimer* timerLoadArr_ = nullptr;
  StepTimer* timerLoadSty_ = nullptr;
  StepTimer* timerList1_ = nullptr;
  StepTimer* timer0_ = nullptr;  // Timer(0): nothing in the program starts it
  // The running style transfer: banks in use and the next bank to send.
  int styBankCnt_ = 0;
  int styBankIdx_ = 0;
  unsigned styFails_ = 0;  // gTxFailCount when the transfer began
  std::string caption_;  // the caption's bytes: the title of the save prompt
  bool loaded_ = false;
};

// The windows by new-arrangement slot (1-8; element 0 unused). A window
// deletes itself when it closes, which empties its entry.
extern QPointer<frmArrNew> gArrNewForms[9];

// File > New Arr's opener: creates the window of slot gArrNewSlotIdx, loads
// and shows it.
void ArrNewWinShow();

// Deletes any window still registered (one that outlived its main window)
// and empties the registry.
void FrmArrNewReset();
