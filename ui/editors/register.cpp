#include "ui/editors/register.h"

#include "ui/editors/frmgbl.h"
#include "ui/main/openers.h"

void RegisterEditorWindows() { Openers().gbl = GblWinShow; }

void ResetEditorWindows() { FrmGblReset(); }
