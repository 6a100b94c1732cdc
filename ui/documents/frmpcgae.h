// frmPcgAE, the window of one of the instrument's five program banks, A to
// E (kinds 4-8), 64 programs each by the program names. A click calls the
// program up on the window's own MIDI channel (kept in the data byte of its
// position record, so each bank remembers its own), or, while the
// arrangement editor waits for a program, hands it to the editor and calls
// it up on the edited part's channel. One window per bank; its View menu
// item is disabled while it is open.
#pragma once

#include <QPointer>

#include "ui/documents/bankform.h"

class frmPcgAE : public BankForm {
  Q_OBJECT
 public:
  frmPcgAE();

  // Builds the window of kind gNewWinKind (4-8) and adds it to the main
  // window. View > Program A-E counts the window before it is shown.
  void Form_Load();
  // The call-up or the pick of the current line.
  void List1_Click();

 protected:
  void Form_Unload() override;
};

// The windows by kind (4-8; the other elements unused).
extern QPointer<frmPcgAE> gPcgAEForms[9];

// The opener of View > Program A-E: the window of gNewWinKind.
void PcgAEWinShow();

// Deletes any window still registered and empties the registry.
void FrmPcgAEReset();
