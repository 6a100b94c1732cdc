#include "ui/documents/frmpcgae.h"

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
#include "services/messages.h"
#include "services/strings.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/listtext.h"

QPointer<frmPcgAE> gPcgAEForms[9];

namespace {

constexpr int kEntriesPos = 30;  // list-entry cell i at 30 + 21 i
constexpr int kEntryLen = 21;

const char* BankMenuItem(int kind) {
  static const char* items[] = {"mnuWProgA", "mnuWProgB", "mnuWProgC", "mnuWProgD", "mnuWProgE"};
  return items[kind - kKindPrgA];
}

}  // namespace

frmPcgAE::frmPcgAE() : BankForm("frmPcgAE", true) {
  list1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  new ListClicks(
      list1_, [this] { List1_Click(); }, nullptr,
      [this] {
        if (loaded_) RefreshMenuWhenActive();
      });
  connect(combo1_, &QComboBox::currentIndexChanged, this, [this](int channel) {
    if (!gFormLoading2) StoreChannel(channel);
  });
}

void frmPcgAE::Form_Load() {
  gFormLoading2 = true;
  RestoreRecord(gNewWinKind);
  LayoutBank(20, 16);  // 64 programs in 4 columns of 16
  commClose_->setText(ToScreen(Res(8)));

  const int channel = gWinPosCur.Extra & 0x0F;
  std::string tag = Nuls(20) + std::string("Prg ") + static_cast<char>('A' + kind_ - kKindPrgA) + Space(1344);
  MidAssign(tag, 1, Chr(kind_));
  MidAssign(tag, 2, Chr(1));
  MidAssign(tag, 16, Chr(channel));
  MidAssign(tag, 17, Chr(gWinPosCur.State));
  combo1_->setCurrentIndex(channel);

  list1_->clear();
  for (int i = 0; i < 64; ++i) {
    const std::string entry = ArrSlotNum(i) + "  " + PadRight(Mid(gPrgNames[kind_], 16 * i + 1, 16), 16);
    ListAddItem(list1_, entry);
    // The string is never lengthened: the last cell keeps 16 characters.
    MidAssign(tag, kEntriesPos + kEntryLen * i, Chr(0) + entry);
  }
  winTag_ = tag;
  SetWindowCaption(WinCaption(winTag_));
  gFormLoading2 = false;
  loaded_ = true;
}

void frmPcgAE::List1_Click() {
  const int index = ListIndex();
  if (index < 0 || index > 63 || index >= list1_->count()) return;  // no current line: nothing at all
  MenuUpdate();
  if (gPrgPickMode) {
    // The program goes to the editor and is heard on the edited part's
    // channel; the monitor keeps what it shows.
    const int picked = PrgPickToEditor(index, winTag_);
    TxPrgSelect(winTag_, index);
    if (picked == 1) gArrModified = true;
    return;
  }
  CallUpProgram(winTag_, index);
  StatusShow(0, "");
}

void frmPcgAE::Form_Unload() {
  if (kind_ < kKindPrgA || kind_ > kKindPrgE) return;
  MidAssign(winTag_, 17, Chr(UnloadRecord(false)));
  SetMainMenuEnabled(BankMenuItem(kind_), true);
  --gPrgWinCount;
  MenuUpdate();
}

void PcgAEWinShow() {
  const int kind = gNewWinKind;
  if (kind < kKindPrgA || kind > kKindPrgE) return;
  ShowFormOf(gPcgAEForms[kind], [] {
    auto* form = new frmPcgAE();
    form->Form_Load();
    return form;
  });
}

void FrmPcgAEReset() {
  DeleteForms(gPcgAEForms);
}
