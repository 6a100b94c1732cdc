#include "ui/main/openers.h"

#include "app/appstate.h"
#include "app/mainview.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "files/prgfile.h"

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

void ArrBankWinShow() {
  if (!Openers().arrBank) return;
  if (MainView* view = TheMainView()) {
    view->SetMenuEnabled("mnuWindow", true);
    view->SetMenuEnabled("mnuChiudi", true);
  }
  Openers().arrBank();
}
