// frmArrU's own commands beside the transfers: + r40DBArr, Show Styles,
// Show Prog and Edit, and the rules that switch them on and off.
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/dbarr.h"
#include "app/editorpick.h"
#include "app/listbuild.h"
#include "app/recentfiles.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/filecommon.h"
#include "files/styfile.h"
#include "files/stygrp.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyun.h"
#include "ui/documents/listclicks.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/openers.h"
#include "ui/main/steptimer.h"

namespace {

constexpr int kIdle = 10;

bool AllUsed(const int (&used)[9]) {
  for (int k = 1; k <= 8; ++k)
    if (used[k] == 0) return false;
  return true;
}

}  // namespace

void frmArrU::Activate(QMdiSubWindow* window) {
  frmMain* main = frmMain::Instance();
  if (!main || !window) return;
  if (window->isMinimized()) window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  main->MdiArea()->setActiveSubWindow(window);
}

// ---- Command rules ---------------------------------------------------------

void frmArrU::SetStyleCommands(bool on) {
  SetCommand(CommLoadSty, "mnuLoadSty", on);
  SetCommand(CommShowSty, "mnuShowSty", on);
}

void frmArrU::SetProgramCommands(bool on) {
  SetCommand(CommLoadPrg, "mnuLoadPrg", on);
  SetCommand(CommShowPrg, "mnuShowPrg", on);
}

void frmArrU::UpdateAddCommand() {
  // With the automatic update ticked, every opened file is added already.
  SetCommand(CommAdd, "mnui40DBArr", !MainMenuChecked("mnuAddi40DBArr"));
}

// ---- + r40DBArr ------------------------------------------------------------

void frmArrU::CommAdd_Click() {
  if (Timer4->interval() == kIdle) {
    StatusShow(8, "r40DBArr");
    Timer4->SetEnabled(true);
    return;
  }
  Timer4->SetEnabled(false);  // a press while pending is the step itself
  Timer4->setInterval(kIdle);
  const std::string path = RTrim(Mid(winTag_, 21, 238));
  gArrFileDir = PathDir(path);
  gArrFileName = PathFileName(path);
  gArrSlotIdx = Slot();
  // The add shows a new or found ID in this window and keeps it in the slot
  // record; a full, damaged or foreign database leaves both as they were.
  DBArrAdd(kKindArrFile);
  StatusShow(0, "");
}

// ---- Show Styles -------------------------------------------------------------

void frmArrU::CommShowSty_Click() {
  const std::string path = RTrim(Mid(winTag_, 21, 238));
  gCurFilePath = path;
  const std::string caption = WinCaption(winTag_);

  // A Cut or a Paste closed the style window of this group to open it again
  // in the slot it left; a slot now taken, or none, opens as usual.
  if (gStyChanged == 1 && (gStySlotIdx < 1 || gStySlotIdx > 8 || gStySlotUsed[gStySlotIdx] != 0)) gStyChanged = 0;

  bool closedStandAlone = false;
  if (gStyChanged != 1) {
    const int open = StyWinFind(path);
    if (open != 0) {
      QMdiSubWindow* window = gStyForms[open];
      if (gStySlots[open].FromArr == 1) {
        Activate(window);
        return;
      }
      // The file is open by itself. Its window closes (and may save) before
      // the group is shown here, read again from the file; with this
      // window's own styles changed, the two cannot both be kept.
      if (Asc(winTag_, 10) == 1) {
        ShowMsg(16, caption, "");
        Activate(window);
        return;
      }
      if (window) window->close();
      if (gStySlotUsed[open] != 0) {
        Activate(gStyForms[open]);
        return;
      }
      closedStandAlone = true;
    }
    gStySlotIdx = StyWinFreeSlot();
    if (gStySlotIdx == 0) return;
  }
  if (Asc(winTag_, 9) == 0) {
    gStyChanged = 0;
    return;
  }

  if (closedStandAlone) {
    // What the closed window saved is what the file holds now.
    const std::string styPath = WithExtension(path, "sty");
    const int r = StyFileRead(styPath);
    if (r == 0) {
      winTag_ = Left(winTag_, kArrWinGrpBase - 1) + gStyData;
      MidAssign(winTag_, 9, Chr(2));
      SetStyleCommands(true);
      if (frmMain* main = frmMain::Instance(); main && main->MdiArea()->activeSubWindow() != this) Activate(this);
      StyListFill(winTag_);
    } else if (r == 1) {
      ShowMsg(4, caption, PathFileName(styPath));
    }
  }

  gStyData = Mid(winTag_, kArrWinGrpBase);
  gStyFileDir = PathDir(path);
  gStyFileName = PathFileName(path);
  gStySlots[gStySlotIdx].FromArr = 1;
  gStySlotUsed[gStySlotIdx] = 1;
  gOpenReadOnly = MainMenuChecked("mnuRdOnly");
  gStyWinIdx = 0;
  if (Openers().styFile) Openers().styFile();
  if (AllUsed(gStySlotUsed)) SetMainMenuEnabled("mnuApriSty", false);
  std::string recent = gStyFileDir + kPathSep + gStyFileName + ".sty";
  RecentFileAdd(recent, gOpenReadOnly ? 1 : 0);
}

// ---- Show Prog ---------------------------------------------------------------

void frmArrU::CommShowPrg_Click() {
  const std::string path = RTrim(Mid(winTag_, 21, 238));
  gCurFilePath = path;
  if (const int open = PrgWinFind(path); open != 0) {
    Activate(gPrgForms[open]);
    return;
  }
  // The window's load reads the read-only state.
  gOpenReadOnly = MainMenuChecked("mnuRdOnly");
  if (PrgWinOpen(path) != 0) return;
  std::string recent = path + "." + gCurExt;
  RecentFileAdd(recent, gOpenReadOnly ? 1 : 0);
}

// ---- Edit --------------------------------------------------------------------

void frmArrU::CommEdit_Click() {
  const int n = SelectedCurrentLine(List1);
  if (n < 0 || Trim(ListItemText(List1, n)).size() <= 2) return;
  const ArrEditorPicks* editor = TheArrEditorPicks();
  if (editor && editor->EditorOpen()) {
    // The one editor takes this arrangement, as a click on its line does
    // while the editor is open.
    AskStoreEditedArr();
    ArrEditBufBuild(winTag_, n);
    EditArrFill();
  } else {
    ArrEditBufBuild(winTag_, n);
  }
  SetCommand(CommEdit, "mnuEditArr", false);
  if (Openers().arrEdit) Openers().arrEdit();
}

void frmArrU::List1_DblClick() {
  const int n = List1->currentRow();
  if (n >= 0 && RTrim(ListItemText(List1, n)).size() > 2) CommEdit_Click();
}
