// frmDrum, the window of the instrument's 16 drum kits: the Drum window
// (kind 9) and the Percussion window (kind 10) list the same kits and call
// up the same programs, each on its own MIDI channel (kept in the data byte
// of its position record). While the arrangement editor waits for a
// program, a click hands the kit to the editor and sends nothing. The right
// button pops the Edit menu up when it is released.
#pragma once

#include <QPointer>

#include "ui/documents/bankform.h"

class frmDrum : public BankForm {
  Q_OBJECT
 public:
  frmDrum();

  // Builds the window of kind gNewWinKind (9 or 10) and adds it to the main
  // window. View > Drum / Percussion counts the window before it is shown.
  void Form_Load();
  // The call-up or the pick of the current kit.
  void List1_Click();

 protected:
  void Form_Unload() override;
};

// The windows by kind (9 and 10; the other elements unused).
extern QPointer<frmDrum> gDrumForms[11];

// The opener of View > Drum / Percussion: the window of gNewWinKind.
void DrumWinShow();

// Deletes any window still registered and empties the registry.
void FrmDrumReset();
