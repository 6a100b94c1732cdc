#include "ui/documents/register.h"

#include "app/dbarr.h"
#include "ui/documents/frmarrab.h"
#include "ui/documents/frmarrnew.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/frmdrum.h"
#include "ui/documents/frmpcgae.h"
#include "ui/documents/frmprgun.h"
#include "ui/documents/frmstyab.h"
#include "ui/documents/frmstyun.h"
#include "ui/main/openers.h"

namespace {

// What the arrangement database reaches of the windows: the ID box of an
// open arrangement-file window. The database editor comes with its own
// window later; until then there is no list to refresh.
class DocumentDBArrWindows : public DBArrWindows {
 public:
  void EditorShowList(const std::vector<std::string>&, const std::string&) override {}
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
}
