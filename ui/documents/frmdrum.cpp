#include "ui/documents/frmdrum.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

#include "app/arrrec.h"
#include "app/editorpick.h"
#include "app/listbuild.h"
#include "app/menuupdate.h"
#include "app/nametables.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/callup.h"
#include "services/mainview.h"
#include "services/strings.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/listtext.h"

QPointer<frmDrum> gDrumForms[11];

namespace {

const char* KitMenuItem(int kind) { return kind == kKindDrum ? "mnuDrum" : "mnuPerc"; }

}  // namespace

frmDrum::frmDrum() : BankForm("frmDrum", true) {
  list1_->setSelectionMode(QAbstractItemView::SingleSelection);
  // The right button acts on release, on the list and on the window's
  // body, never through the toolkit's context menu, so the menu pops up
  // once.
  list1_->setContextMenuPolicy(Qt::PreventContextMenu);
  new ListClicks(list1_, [this] { List1_Click(); }, [this] { PopupEditMenu(); });
  new RightButtonUp(this, [this] { PopupEditMenu(); });
  // No loading guard: the load's own setting of the box stores the channel
  // it already holds.
  connect(combo1_, &QComboBox::currentIndexChanged, this, [this](int channel) { StoreChannel(channel); });
}

void frmDrum::Form_Load() {
  gFormLoading2 = true;
  RestoreRecord(gNewWinKind);
  LayoutBank(0, 4);  // 16 kits in 4 columns of 4
  commClose_->setText(ToScreen(Res(8)));

  const int channel = gWinPosCur.Extra & 0x0F;
  std::string tag = Nuls(20) + PadRight(kind_ == kKindDrum ? "Drum" : "Percussion", 24) +
                    PadRight(gDrumKitNames, 256);
  MidAssign(tag, 1, Chr(kind_));
  MidAssign(tag, 2, Chr(1));
  MidAssign(tag, 16, Chr(channel));
  winTag_ = tag;
  SetWindowCaption(WinCaption(winTag_));
  combo1_->setCurrentIndex(channel);

  list1_->clear();
  for (int i = 0; i < 16; ++i) ListAddItem(list1_, ArrSlotNum(i) + "  " + Mid(winTag_, 45 + 16 * i, 16));
  gFormLoading2 = false;
  loaded_ = true;
}

void frmDrum::List1_Click() {
  const int index = ListIndex();
  if (index < 0 || index > 15 || index >= list1_->count()) return;  // no current kit: nothing at all
  if (gPrgPickMode) {
    // The kit goes to the editor only: nothing is sent.
    if (PrgPickToEditor(index, winTag_) == 1) gArrModified = true;
    return;
  }
  CallUpProgram(winTag_, index);
}

void frmDrum::Form_Unload() {
  UnloadRecord(false);
  SetMainMenuEnabled(KitMenuItem(kind_), true);
  --gPrgWinCount;
  MenuUpdate();
}

void DrumWinShow() {
  const int kind = gNewWinKind;
  if (kind != kKindDrum && kind != kKindPerc) return;
  ShowFormOf(gDrumForms[kind], [] {
    auto* form = new frmDrum();
    form->Form_Load();
    return form;
  });
}

void FrmDrumReset() {
  DeleteForms(gDrumForms);
}
