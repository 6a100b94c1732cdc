#include "ui/documents/register.h"

#include "app/dbarr.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarrnew.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmdrum.h"
#include "ui/documents/frmeditdbarr.h"
#include "ui/documents/frmfindid.h"
#include "ui/documents/frmpcgae.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyab.h"
#include "ui/documents/frmstyun.h"
#include "ui/main/openers.h"

namespace {

// What the arrangement database reaches of the windows: the database
// editor's list and count, and the ID box of an open arrangement-file
// window.
class DocumentDBArrWindows : public DBArrWindows {
 public:
  void EditorShowList(const std::vector<std::string>& lines, const std::string& count) override {
    if (gEditDBArrForm && !gEditDBArrForm->Unloading()) gEditDBArrForm->ShowList(lines, count);
  }
  void ArrWindowShowId(int slot, int id) override {
    if (slot >= 1 && slot <= 8 && gArrUForms[slot]) gArrUForms[slot]->ShowDbId(id);
  }
};

}  // namespace

void RegisterDocumentWindows() {
  static DocumentDBArrWindows dbArrWindows;
  SetDBArrWindows(&dbArrWindows);
  RegisterArrFileWindow();
  Openers().arrNew = ArrNewWinShow;
  Openers().arrBank = ArrABWinShow;
  Openers().styFile = StyFileWinShow;
  Openers().styNew = StyNewWinShow;
  Openers().prg = PrgUNWinShow;
  Openers().styBank = StyABWinShow;
  Openers().prgBank = PcgAEWinShow;
  Openers().kitBank = DrumWinShow;
  Openers().findId = FindIdWinShow;
  Openers().editDBArr = EditDBArrWinShow;
  Openers().closeDatabaseWindows = [] {
    if (gFindIdForm) gFindIdForm->close();
    if (gEditDBArrForm) gEditDBArrForm->close();
  };
}

void ResetDocumentWindows() {
  FrmArrUReset();
  FrmArrNewReset();
  FrmArrABReset();
  FrmStyUNReset();
  FrmStyABReset();
  FrmPrgUNReset();
  FrmPcgAEReset();
  FrmDrumReset();
  FrmEditDBArrReset();
  FrmFindIDReset();
}
