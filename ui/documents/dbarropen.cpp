#include "ui/documents/dbarropen.h"

#include "app/slotfind.h"
#include "app/winpos.h"
#include "app/slots.h"
#include "files/arrfile.h"
#include "files/filecommon.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "ui/main/frmmain.h"
#include "ui/main/openers.h"

bool OpenArrFileWindow(const std::string& path) {
  if (!Openers().arrFile) return false;
  gArrFileDir = PathDir(path);
  gArrFileName = PathFileName(path);
  DocumentReadScope together;
  const std::string file = WithExtension(path, "arr");
  ArrDocumentReadTogether(file);
  const int r = ArrFileRead(file);
  if (r == 3) ShowMsg(27, gOpCaption, "");
  if (r != 0) return false;
  gArrSlotIdx = ArrWinFreeSlot();
  if (gArrSlotIdx == 0) return false;
  gArrSlotUsed[gArrSlotIdx] = 1;
  gOpenReadOnly = MainMenuChecked("mnuRdOnly");
  gArrOpenedByMenu = false;
  Openers().arrFile();
  if (ArrWinFreeSlot() == 0) SetMainMenuEnabled("mnuApriArr", false);
  return true;
}

void OpenBankByView(int kind) {
  frmMain* main = frmMain::Instance();
  if (!main) return;
  if (kind == kKindArrA) {
    main->mnuArrA_Click();
  } else if (kind == kKindArrB) {
    main->mnuArrB_Click();
  }
}
