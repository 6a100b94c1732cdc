// The window of one of the instrument's internal arrangement banks, A (kind
// 2) or B (kind 3), read from r40ArrA or r40ArrB in the program folder. It
// lists the 64 arrangements, the factory styles they use and the ID of the
// clicked arrangement, and calls the clicked arrangement up in two phases on
// Timer(0) (10 idle; its firing sets 0). One window per bank.
#pragma once

#include <QPointer>
#include <string>

#include "ui/main/childform.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class StepTimer;

class frmArrAB : public ChildForm {
  Q_OBJECT
 public:
  frmArrAB();

  // Builds the window of kind gNewArrABKind from the bank image in
  // gArrFileBuf and adds it to the main window.
  void Form_Load();

  // The call-up of the selected arrangement. Public to the opener, which
  // runs it once after a load that a selection by ID asked for.
  Q_INVOKABLE void List1_Click();
  // Right button released over the list: Copy is offered only with a
  // selected entry, then the main window's Edit menu pops up.
  void List1_MouseUp();
  // Right button released over the window's body: the Edit menu pops up.
  void Form_MouseUp();

  // ChildView

 protected:
  void Form_Activate() override;
  void Form_Resize() override;
  void Form_Unload() override;

 private:
  void LayoutControls();
  // Edit > Copy is offered while a line of the list is selected.
  void CopyFollowsSelection();

  QListWidget* list1_ = nullptr;
  QLabel* label1_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QPushButton* commArrPlay_ = nullptr;
  QPushButton* commSongPlay_ = nullptr;
  QPushButton* commClose_ = nullptr;
  StepTimer* timer0_ = nullptr;
  int kind_ = 0;  // 2 bank A, 3 bank B
  bool loaded_ = false;
};

// The bank windows by kind (2 and 3; the other elements unused). A window
// deletes itself when it closes, which empties its entry.
extern QPointer<frmArrAB> gArrABForms[4];

// The opener of View > Arrangement A / B: the window of kind gNewArrABKind,
// created and loaded from gArrFileBuf when it is not open; an open one is
// only shown and activated.
void ArrABWinShow();

// Deletes any bank window still registered (one that outlived its main
// window) and empties the registry.
void FrmArrABReset();
