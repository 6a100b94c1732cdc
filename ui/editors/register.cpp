#include "ui/editors/register.h"

#include "ui/editors/frmeditarr.h"
#include "ui/editors/frmgbl.h"
#include "ui/editors/frmtastiera.h"
#include "ui/main/openers.h"

void RegisterEditorWindows() {
  Openers().gbl = GblWinShow;
  Openers().keyboard = TasWinShow;
  Openers().arrEdit = EditArrWinShow;
  RegisterArrEditor();
}

void ResetEditorWindows() {
  FrmGblReset();
  FrmTastieraReset();
  FrmEditArrReset();
}
