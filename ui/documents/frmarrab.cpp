#include "ui/documents/frmarrab.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/listbuild.h"
#include "services/mainview.h"
#include "app/menuupdate.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "midi/callup.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"
#include "ui/main/twipslayout.h"

QPointer<frmArrAB> gArrABForms[4];

namespace {

constexpr int kIdle = 10;
constexpr int kTitleLen = 250;
constexpr int kEntriesLen = 1344;

struct SizeSet {  // control rectangles in twips
  TwipsRect list1, label1, text1, combo1, arrPlay, songPlay, close;
};
constexpr SizeSet kNormalSet = {{120, 120, 3720, 4050}, {3960, 150, 500, 255},   {4500, 120, 1500, 315},
                                {3960, 600, 3600, 315}, {3960, 1140, 1740, 375}, {5820, 1140, 1740, 375},
                                {5820, 3720, 1740, 375}};
constexpr SizeSet kLargeSet = {{96, 96, 3720, 3840},   {3912, 120, 480, 240},   {4440, 96, 1536, 312},
                               {3912, 552, 3648, 312}, {3912, 1056, 1776, 360}, {5784, 1056, 1776, 360},
                               {5784, 3540, 1776, 360}};

const char* BankMenuItem(int kind) {
  return kind == kKindArrA ? "mnuArrA" : "mnuArrB";
}

// The factory name of style s; a number beyond the 128 factory styles has
// none.
std::string FactoryStyleName(int s) {
  return s >= 0 && s <= 127 ? gStyNames[s] : std::string();
}

}  // namespace

frmArrAB::frmArrAB() {
  setObjectName("frmArrAB");
  auto* body = new QWidget(this);
  list1_ = new QListWidget(body);
  list1_->setObjectName("List1");
  list1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  label1_ = new QLabel("ID", body);
  label1_->setObjectName("Label1");
  text1_ = new QLineEdit(body);
  text1_->setObjectName("Text1");
  text1_->setReadOnly(true);
  combo1_ = new QComboBox(body);
  combo1_->setObjectName("Combo1");
  combo1_->setEditable(true);  // shows the clicked arrangement's style as its text
  combo1_->lineEdit()->setReadOnly(true);
  commArrPlay_ = new QPushButton("&ARR PLAY", body);
  commArrPlay_->setObjectName("CommArrPlay");
  commSongPlay_ = new QPushButton("SO&NG PLAY", body);
  commSongPlay_->setObjectName("CommSongPlay");
  commClose_ = new QPushButton(body);
  commClose_->setObjectName("CommClose");
  setWidget(body);

  timer0_ = new StepTimer(
      this, "Timer_0", [this] { List1_Click(); }, true);

  FrameControls();
  // The right button is taken on release (below), on the list and on the
  // window's body, never by the toolkit's context menu, so the Copy rule
  // runs before the menu pops up.
  list1_->setContextMenuPolicy(Qt::PreventContextMenu);
  new ListClicks(
      list1_, [this] { List1_Click(); }, [this] { List1_MouseUp(); },
      [this] {
        if (loaded_) RefreshMenuWhenActive();
      });
  new RightButtonUp(this, [this] { Form_MouseUp(); });
}

void frmArrAB::LayoutControls() {
  const SizeSet& set = gTwipsPerPixel == 12 ? kLargeSet : kNormalSet;
  PlaceTwips(list1_, set.list1);
  PlaceTwips(label1_, set.label1);
  PlaceTwips(text1_, set.text1);
  PlaceTwips(combo1_, set.combo1);
  PlaceTwips(commArrPlay_, set.arrPlay);
  PlaceTwips(commSongPlay_, set.songPlay);
  PlaceTwips(commClose_, set.close);
}

void frmArrAB::Form_Load() {
  gFormLoading = true;
  kind_ = gNewArrABKind;
  JoinMainWindow();
  list1_->setFont(QFont("Arial", 10, QFont::Normal));

  gWinPosCur = gWinPosTab[kind_];
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height, gWinPosCur.Width);
  gWinPosCur.State = 1;
  gWinPosTab[kind_] = gWinPosCur;
  LayoutControls();
  commClose_->setText(ToScreen(Res(8)));

  // The lines "11  name" and each factory style the bank uses, once, in
  // the order of first use. The bytes are shown as stored.
  const std::string image = PadRight(gArrFileBuf, kArrFileLen, '\0');
  list1_->clear();
  combo1_->clear();
  for (int i = 0; i < kArrRecCount; ++i) {
    const int p = kArrRecStart + kArrRecLen * i + 1;
    ListAddItem(list1_, ArrSlotNum(i) + "  " + Mid(image, p, 16));
    const std::string name = FactoryStyleName(Asc(image, p + 17));
    if (name.empty()) continue;
    bool listed = false;
    for (int k = 0; k < combo1_->count() && !listed; ++k)
      listed = RTrim(ComboItemText(combo1_, k)) == RTrim(name);
    if (!listed) ComboAddItem(combo1_, name);
  }
  ComboSetText(combo1_, "");

  const std::string title = kind_ == kKindArrA ? "Arr A" : "Arr B";
  SetMainMenuEnabled(BankMenuItem(kind_), false);

  std::string tag = Nuls(20);
  MidAssign(tag, 1, Chr(kind_));
  MidAssign(tag, 2, Chr(1));
  MidAssign(tag, 3, Chr(2));
  MidAssign(tag, 17, Chr(gWinPosCur.State));
  tag += PadRight(title, kTitleLen) + image + Space(kEntriesLen);
  winTag_ = tag;
  SetWindowCaption(WinCaption(winTag_));
  ++gArrWinCount;

  text1_->setText(ToScreen(Str(kind_ - 1)));  // the bank's ID in the database

  // A selection by ID: the click this raises only clears the request.
  if (gArrSelectPending) ListClicks::SelectLine(list1_, gArrSelectIdx);
  gFormLoading = false;
  loaded_ = true;
}

void frmArrAB::Form_Activate() {
  MenuUpdate();
}

void frmArrAB::Form_Resize() {
  if (gFormLoading || !loaded_) return;
  gWinPosCur = gWinPosTab[kind_];
  // Cut back: the resize that follows records the size.
  if (!FrameResize(gArrABBigHeight, gArrABBigWidth, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State))
    return;
  gWinPosTab[kind_] = gWinPosCur;
  MenuUpdate();
}

void frmArrAB::Form_Unload() {
  timer0_->SetEnabled(false);  // a pending call-up goes with the window
  gWinPosCur = gWinPosTab[kind_];
  FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, &gWinPosCur.State);
  gWinPosTab[kind_] = gWinPosCur;
  SetMainMenuEnabled(BankMenuItem(kind_), true);
  --gArrWinCount;
  MenuUpdate();
}

void frmArrAB::CopyFollowsSelection() {
  SetMainMenuEnabled("mnuCopia", !list1_->selectedItems().isEmpty());
}

void frmArrAB::List1_MouseUp() {
  CopyFollowsSelection();
  PopupEditMenu();
}

void frmArrAB::Form_MouseUp() {
  PopupEditMenu();
}

void frmArrAB::List1_Click() {
  if (gArrSelectPending) {
    // Opened or served by a selection by ID: select the entry; the caller
    // then calls the arrangement up with a click of its own.
    gArrSelectPending = false;
    ListClicks::SelectLine(list1_, gArrSelectIdx);
    return;
  }
  // Copy is offered from the click on, for whatever lines it left selected.
  CopyFollowsSelection();
  // A click that left its line unselected (Ctrl+click) sends nothing; its
  // second phase only puts the timer back.
  const int index = SelectedCurrentLine(list1_);
  if (index >= 0 && gInstrMode != 0) TxModeArrPlay();
  const std::string line = index >= 0 ? RTrim(ListText(index)) : std::string();
  const bool filled = line.size() > 2;

  if (timer0_->interval() == kIdle) {
    if (filled) {
      if (MainView* view = TheMainView()) view->SetLabelCaption("LabelArr", Mid(line, 5));
    }
    timer0_->SetEnabled(true);
    return;
  }

  timer0_->SetEnabled(false);
  timer0_->setInterval(kIdle);
  gNewArrABKind = kind_;
  if (!filled) return;  // no selected entry, or an empty one: nothing is sent

  text1_->setText(ToScreen(Str(kind_ - 1) + " " + Left(line, 2)));
  ComboSetText(combo1_, FactoryStyleName(Asc(winTag_, ArrRecPos(index) + 17)));
  // The bank is read-only: never Cut or Paste. Copy stays offered for the
  // selected lines, as the right button's menu offers it.
  SetMainMenuEnabled("mnuTaglia", false);
  SetMainMenuEnabled("mnuIncolla", false);
  CopyFollowsSelection();
  MidiMonLog("");
  int number = index;
  TxBankPrg(number, kind_);
  MidiMonLog(gOutMsg.data);
}

void ArrABWinShow() {
  const int kind = gNewArrABKind;
  if (kind != kKindArrA && kind != kKindArrB) return;
  ShowFormOf(gArrABForms[kind], [] {
    auto* form = new frmArrAB();
    form->Form_Load();
    return form;
  });
}

void FrmArrABReset() {
  DeleteForms(gArrABForms);
}
