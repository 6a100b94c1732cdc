// frmStyAB, the window of one of the instrument's two factory style banks:
// Style A (kind 17) or Style B (kind 18), the 64 styles of the bank by the
// factory style names. It sends nothing: a click hands the style to the
// arrangement editor while the editor waits for a style pick. One window
// per bank; its View menu item is disabled while it is open.
#pragma once

#include <QPointer>

#include "ui/documents/bankform.h"

class frmStyAB : public BankForm {
  Q_OBJECT
 public:
  frmStyAB();

  // Builds the window of kind gNewStyABKind and adds it to the main window.
  void Form_Load();
  // The style pick of the current line.
  void List1_Click();

 protected:
  void Form_Unload() override;
};

// The windows by bank: 0 Style A, 1 Style B. A window deletes itself when it
// closes, which empties its entry.
extern QPointer<frmStyAB> gStyABForms[2];

// The opener of View > Style A / B: the window of gNewStyABKind.
void StyABWinShow();

// Deletes any window still registered and empties the registry.
void FrmStyABReset();
