#include "ui/documents/register.h"

#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarrnew.h"
#include "ui/documents/frmarru.h"
#include "ui/main/openers.h"

void RegisterDocumentWindows() {
  RegisterArrFileWindow();
  Openers().arrNew = ArrNewWinShow;
  Openers().arrBank = ArrABWinShow;
}
