#include "ui/main/openers.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/appstate.h"
#include "services/mainview.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "files/prgfile.h"
#include "ui/main/childform.h"
#include "ui/main/frmmain.h"

WindowOpeners& Openers() {
  static WindowOpeners openers;
  return openers;
}

void PrgWinShow(int kind) {
  if (!Openers().prg) return;
  ++gPrgWinCount;
  Openers().prg(kind);
}

int PrgWinOpen(const std::string& path) {
  if (!Openers().prg) return 1;
  gPrgSlotIdx = PrgWinFreeSlot();
  if (gPrgSlotIdx == 0) return 1;
  const int r = PrgFileLoad(path);
  if (r != 0 && r != 4) return 1;
  gNewWinKind = 21;
  PrgWinShow(21);
  gPrgSlotUsed[gPrgSlotIdx] = 1;
  if (PrgWinFreeSlot() == 0) {
    if (MainView* view = TheMainView()) view->SetMenuEnabled("mnuApriPrg", false);
  }
  return 0;
}

void PrgFileOpenFromDir() {
  gCurFilePath = gArrFileDir + kPathSep + gArrFileName;
  if (gOptOpenPrgFile && PrgFileIsOpen(gCurFilePath) == 0) PrgWinOpen(gCurFilePath);
}

ChildForm* OpenBankWindow(int kind) {
  frmMain* main = frmMain::Instance();
  if (!main) return nullptr;
  for (QMdiSubWindow* w : main->MdiArea()->subWindowList()) {
    auto* child = dynamic_cast<ChildForm*>(w);
    if (child && !child->Unloading() && child->Kind() == kind) return child;
  }
  return nullptr;
}

void ArrBankWinShow() {
  if (!Openers().arrBank) return;
  const int kind = gNewArrABKind;
  // A selection by ID that opens the window: its load selects the entry
  // (which only clears the request), and the call-up follows here, once.
  const bool callUp = gArrSelectPending && !OpenBankWindow(kind);
  if (MainView* view = TheMainView()) {
    view->SetMenuEnabled("mnuWindow", true);
    view->SetMenuEnabled("mnuChiudi", true);
  }
  Openers().arrBank();
  if (!callUp) return;
  // The bank window lives in the document windows' library, which this one
  // does not see: its click is reached through the object system.
  if (ChildForm* bank = OpenBankWindow(kind))
    QMetaObject::invokeMethod(bank, "List1_Click", Qt::DirectConnection);
}
