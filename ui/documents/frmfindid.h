// frmFindID, find by ID (kind 11, one window): the user types an
// arrangement ID of three to five digits, the set, the bank digit 1-8 and
// the number digit 1-8 ("111" is the first arrangement of bank A, "312" the
// second of the database file with ID 3), and OK calls that arrangement up:
// sets 1 and 2 in bank window A or B, the others in the file the database
// names, opened in an arrangement-file window that sends what the
// instrument lacks first. OK only shows the status and arms the 10 ms
// Timer; the search runs on its tick.
#pragma once

#include <QPointer>

#include "ui/main/childform.h"

class QLabel;
class QLineEdit;
class QPushButton;
class StepTimer;

// The set of the ID last searched (1 and 2 the banks, 3-999 the database).
extern int gFindIdSet;

class frmFindID : public ChildForm {
  Q_OBJECT
 public:
  frmFindID();

  void Form_Load();

  // OK, and Enter in the ID box.
  void CommOK_Click();
  void Timer_Timer();
  // The search of the ID in Text1.
  void FindArrByID();
  // Focus on the ID box, its text selected.
  void FindIDShow();

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_QueryUnload(bool& cancel) override;
  void Form_Unload() override;

 private:
  // Selects gArrSelectIdx in the bank window of kind (2 or 3) and calls it
  // up; a closed window is opened by the View command.
  void SelectInBank(int kind);

  QLineEdit* Text1 = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* CommOK = nullptr;
  StepTimer* Timer = nullptr;
};

// The find-by-ID window while it is open, or null.
extern QPointer<frmFindID> gFindIdForm;

// The opener of Edit > Find Arrangement (ID) and of the start-up restore:
// loads the window when it is not open, then shows and activates it.
void FindIdWinShow();

// True for a valid ID: three to five ASCII digits, the last two 1-8.
bool ArrIdValid(const std::string& id);

// gFindIdSet 0; deletes a window that outlived its main window.
void FrmFindIDReset();
