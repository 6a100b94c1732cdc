#include "ui/editors/register.h"

#include "ui/editors/frmtastiera.h"
#include "ui/main/openers.h"

void RegisterEditorWindows() {
  Openers().keyboard = TasWinShow;
}

void ResetEditorWindows() {
  FrmTastieraReset();
}
