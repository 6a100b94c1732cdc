#include "ui/documents/frmstyab.h"

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
#include "services/mainview.h"
#include "services/strings.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/listtext.h"

QPointer<frmStyAB> gStyABForms[2];

namespace {

constexpr int kTitleLen = 250;

const char* BankMenuItem(int kind) { return kind == kKindStyA ? "mnuStyA" : "mnuStyB"; }

}  // namespace

frmStyAB::frmStyAB() : BankForm("frmStyAB", false) {
  new ListClicks(list1_, [this] { List1_Click(); }, nullptr);
}

void frmStyAB::Form_Load() {
  gFormLoading2 = true;
  RestoreRecord(gNewStyABKind);
  LayoutBank(20, 16);  // 64 lines in 4 columns of 16
  commClose_->setText(ToScreen(Res(8)));

  const std::string title = kind_ == kKindStyA ? "Style A" : "Style B";
  SetMainMenuEnabled(BankMenuItem(kind_), false);
  const int first = kind_ == kKindStyA ? 0 : 64;
  list1_->clear();
  // The names as stored, trailing blanks included.
  for (int i = 0; i < 64; ++i) ListAddItem(list1_, ArrSlotNum(i) + "  " + PadRight(gStyNames[first + i], 16));

  std::string tag = Nuls(20) + Space(kTitleLen);
  MidAssign(tag, 21, title);
  MidAssign(tag, 1, Chr(kind_));
  MidAssign(tag, 2, Chr(1));
  MidAssign(tag, 17, Chr(1));
  winTag_ = tag;
  SetWindowCaption(WinCaption(winTag_));
  gFormLoading2 = false;
  loaded_ = true;
  ++gStyWinCount;
}

void frmStyAB::List1_Click() {
  const int index = ListIndex();
  if (index < 0 || index >= list1_->count()) return;  // no current line: nothing to pick
  // The editor tells whether it took the style; only then has it changed.
  if (gStyPickMode && EditArrStySet(index, winTag_) == 1) gArrModified = true;
}

void frmStyAB::Form_Unload() {
  UnloadRecord(true);
  SetMainMenuEnabled(BankMenuItem(kind_), true);
  --gStyWinCount;
  MenuUpdate();
}

void StyABWinShow() {
  const int kind = gNewStyABKind;
  if (kind != kKindStyA && kind != kKindStyB) return;
  ShowFormOf(gStyABForms[kind - kKindStyA], [] {
    auto* form = new frmStyAB();
    form->Form_Load();
    return form;
  });
}

void FrmStyABReset() {
  DeleteForms(gStyABForms);
}
