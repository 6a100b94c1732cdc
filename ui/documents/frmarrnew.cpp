#include "ui/documents/frmarrnew.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QPushButton>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/listbuild.h"
#include "services/mainview.h"
#include "app/menuupdate.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "services/paths.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/arrfile.h"
#include "app/docsave.h"
#include "files/styfile.h"
#include "files/stygrp.h"
#include "midi/callup.h"
#include "midi/dumps.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/dialogs.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"
#include "ui/main/twipslayout.h"

QPointer<frmArrNew> gArrNewForms[9];

namespace {

constexpr int kIdle = 10;
constexpr int kWaitBank = 11;    // TimerList1: the click waits for the bank
constexpr int kWaitStyles = 12;  // TimerList1: the click waits for the styles
constexpr int kBankStep = 9;     // TimerLoadArr: send the bank
constexpr int kFirstStyle = 20;  // TimerLoadSty: the first style bank
constexpr int kNextStyle = 800;  // TimerLoadSty: each further bank

// Document positions.
constexpr int kTitlePos = 21;
constexpr int kTitleLen = 238;
constexpr int kEntryLen = 21;
constexpr int kPrgImageLen = 30480;

struct SizeSet {  // control rectangles in twips
  TwipsRect list1, label1, combo1, loadArr, loadSty, arrPlay, close;
};
constexpr SizeSet kNormalSet = {{120, 120, 3720, 4050}, {3960, 150, 1000, 255}, {3960, 420, 3600, 315},
                                {3960, 960, 1740, 375}, {5820, 960, 1740, 375}, {3960, 1500, 1740, 375},
                                {5820, 3720, 1740, 375}};
constexpr SizeSet kLargeSet = {{96, 96, 3720, 3840},   {3912, 120, 1000, 240}, {3912, 372, 3648, 312},
                               {3912, 900, 1776, 360}, {5784, 900, 1776, 360}, {3912, 1380, 1776, 360},
                               {5784, 3540, 1776, 360}};

// The label of user style slot 0-15: 11-18, then 21-28.
std::string UserSlotLabel(int slot) {
  return CStr(slot < 8 ? 11 + slot : 13 + slot);
}

}  // namespace

frmArrNew::frmArrNew() {
  setObjectName("frmArrNew");
  auto* body = new QWidget(this);
  list1_ = new QListWidget(body);
  list1_->setObjectName("List1");
  list1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  label1_ = new QLabel("Style", body);
  label1_->setObjectName("Label1");
  combo1_ = new QComboBox(body);
  combo1_->setObjectName("Combo1");
  combo1_->setEditable(true);  // shows a style that is not one of its items
  combo1_->lineEdit()->setReadOnly(true);
  commLoadArr_ = new QPushButton("&Load Arrang", body);
  commLoadArr_->setObjectName("CommLoadArr");
  commLoadSty_ = new QPushButton("Load &Styles", body);
  commLoadSty_->setObjectName("CommLoadSty");
  commArrPlay_ = new QPushButton("&ARR PLAY", body);
  commArrPlay_->setObjectName("CommArrPlay");
  commClose_ = new QPushButton(body);
  commClose_->setObjectName("CommClose");
  setWidget(body);

  timerLoadArr_ = new StepTimer(this, "TimerLoadArr", [this] { CommLoadArr_Click(); });
  timerLoadSty_ = new StepTimer(this, "TimerLoadSty", [this] { CommLoadSty_Click(); });
  timerList1_ = new StepTimer(this, "TimerList1", [this] { List1_Click(); });
  timer0_ = new StepTimer(
      this, "Timer_0", [this] { List1_Click(); }, true);

  FrameControls();
  // The right button is taken on release (below), on the list and on the
  // window's body, never by the toolkit's context menu, so the menu pops up
  // once.
  list1_->setContextMenuPolicy(Qt::PreventContextMenu);
  new ListClicks(
      list1_, [this] { List1_Click(); }, [this] { List1_MouseUp(); },
      [this] {
        if (loaded_) RefreshMenuWhenActive();
      });
  new RightButtonUp(this, [this] { Form_MouseUp(); });
  connect(commLoadArr_, &QPushButton::clicked, this, [this] { CommLoadArr_Click(); });
  connect(commLoadSty_, &QPushButton::clicked, this, [this] { CommLoadSty_Click(); });
}

int frmArrNew::Slot() const {
  return Asc(winTag_, 15);
}

std::string frmArrNew::FileName() const {
  return PathFileName(RTrim(Mid(winTag_, kTitlePos, kTitleLen)));
}

void frmArrNew::LayoutControls() {
  const SizeSet& set = gTwipsPerPixel == 12 ? kLargeSet : kNormalSet;
  PlaceTwips(list1_, set.list1);
  PlaceTwips(label1_, set.label1);
  PlaceTwips(combo1_, set.combo1);
  PlaceTwips(commLoadArr_, set.loadArr);
  PlaceTwips(commLoadSty_, set.loadSty);
  PlaceTwips(commArrPlay_, set.arrPlay);
  PlaceTwips(commClose_, set.close);
}

void frmArrNew::Form_Load() {
  gFormLoading = true;
  const int slot = gArrNewSlotIdx;
  JoinMainWindow();
  ArrNewSlotRec rec = gArrNewSlots[slot];
  rec.State = 1;
  gArrNewSlots[slot] = rec;

  list1_->setFont(QFont("Arial", 10, QFont::Normal));
  LayoutControls();
  commClose_->setText(ToScreen(Res(8)));
  SetSizeTwips(gArrNewBigHeight, gArrNewBigWidth);

  const std::string title = "Untitled (" + CStr(slot) + ")";
  std::string tag = Nuls(20);
  MidAssign(tag, 1, Chr(kKindArrNew));
  MidAssign(tag, 3, Chr(2));
  MidAssign(tag, 9, Chr(Left(gStyTemplate, 4) == "KORG" ? 1 : 0));
  MidAssign(tag, 15, Chr(slot));
  MidAssign(tag, 18, Chr(1));
  tag += PadRight(title, kTitleLen) + Space(12);
  tag += PadRight(gArrFileBuf, kArrFileLen, '\0');
  std::string entries;
  list1_->clear();
  for (int i = 0; i < kArrRecCount; ++i) {
    const std::string label = ArrSlotNum(i);
    entries += PadRight(Chr(0) + label, kEntryLen);
    ListAddItem(list1_, label);
  }
  tag += entries + Space(kPrgImageLen) + gStyTemplate;
  winTag_ = tag;
  rec.Title = PadRight(title, kTitleLen);
  gArrNewSlots[slot] = rec;

  SetWindowCaption(Res(80) + " - " + Res(81) + ".arr (" + CStr(slot) + ")");

  // Paste and Cut enable the transfers once the bank holds arrangements.
  commLoadSty_->setEnabled(false);
  commLoadArr_->setEnabled(false);
  gFormLoading = false;
  loaded_ = true;
}

void frmArrNew::Form_Activate() {
  MenuUpdate();
}

void frmArrNew::Form_Resize() {
  if (gFormLoading || !loaded_) return;
  const int slot = Slot();
  if (slot < 1 || slot > 8) return;
  ArrNewSlotRec rec = gArrNewSlots[slot];
  // Only the state is kept; cut back, the resize that follows records it.
  if (!FrameResize(gArrNewBigHeight, gArrNewBigWidth, nullptr, nullptr, &rec.State)) return;
  gArrNewSlots[slot] = rec;
  MenuUpdate();
}

void frmArrNew::Form_QueryUnload(bool& cancel) {
  bool filled = false;
  for (int i = 0; i < kArrRecCount && !filled; ++i) filled = ListText(i).size() >= 3;
  if (!filled) return;               // nothing pasted: nothing to lose
  if (Asc(winTag_, 4) == 0) return;  // not modified
  cancel = SaveBeforeClose(winTag_, caption_, this) != 0;
}

void frmArrNew::Form_Unload() {
  // A step still pending goes with the window.
  const bool pending = timerLoadArr_->interval() != kIdle || timerLoadSty_->interval() != kIdle;
  StopSteps();
  if (pending) StatusShow(0, "");
  const int slot = Slot();
  if (slot >= 1 && slot <= 8) {
    // An untitled window is never reopened: its slot is freed whatever the
    // program is doing.
    ArrNewSlotRec rec = gArrNewSlots[slot];
    rec.State = 0;
    gArrNewSlots[slot] = rec;
    gArrNewSlotUsed[slot] = 0;
  }
  SetMainMenuEnabled("mnuNuovoArr", true);
  --gArrWinCount;
  MenuUpdate();
}

void frmArrNew::List1_MouseUp() {
  PopupEditMenu();
}

void frmArrNew::Form_MouseUp() {
  PopupEditMenu();
}

void frmArrNew::List1_Click() {
  // A click that left its line unselected (Ctrl+click) calls nothing up;
  // the menu follows what it left selected.
  MenuUpdate();
  const int index = SelectedCurrentLine(list1_);
  if (index < 0) return;
  if (RTrim(ListText(index)).size() <= 2) {
    // An empty entry is never sent.
    ComboSetText(combo1_, "");
    StatusShow(0, "");
    return;
  }

  bool callUpOnly = false;
  switch (timerList1_->interval()) {
    case kIdle:
      if (MainMenuChecked("mnuCaricaArr")) {
        SharedInfoRead();
        if (gSentArrName != FileName()) {
          timerList1_->setInterval(kWaitBank);
          CommLoadArr_Click();
          return;  // the bank step calls the click again when it ends
        }
      }
      break;
    case kWaitBank:
      timerList1_->setInterval(kIdle);
      break;
    case kWaitStyles:
      timerList1_->setInterval(kIdle);
      callUpOnly = true;
      break;
    default:
      break;
  }

  if (!callUpOnly) {
    if (gInstrMode != 0) TxModeArrPlay();
    const int p = ArrRecPos(index);
    const int style = Asc(winTag_, p + 17);
    if (Asc(winTag_, p + 18) == 1) {
      // A style of the document's own group: slot 0-15.
      ComboSetText(combo1_,
                   style <= 15 ? StySlotName(style, winTag_) + " (U" + UserSlotLabel(style) + ")" : "");
      if (MainMenuChecked("mnuCaricaSty")) {
        const std::string sentSty = SharedInfoRead();
        // Only styles read from a file go out: the empty template's
        // "- empty -" styles must never replace the instrument's own.
        if (Asc(winTag_, 9) == 2 && sentSty != FileName()) {
          timerList1_->setInterval(kWaitStyles);
          CommLoadSty_Click();
          return;  // the style transfer calls the click again when it ends
        }
      }
    } else {
      int s = style;
      ComboSetText(combo1_, style <= 127 ? RTrim(gStyNames[style]) + " (" + ArrSlotName(s) + ")" : "");
    }
  }

  MidiMonLog("");
  int number = index;
  TxBankPrg(number, kKindArrNew);
  MidiMonLog(gOutMsg.data);
  StatusShow(0, "");
}

void frmArrNew::CommLoadArr_Click() {
  if (timerLoadArr_->interval() == kIdle) {
    StatusShow(3, "");
    timerLoadArr_->setInterval(kBankStep);
    timerLoadArr_->SetEnabled(true);
    return;
  }
  timerLoadArr_->SetEnabled(false);  // a press while pending is the step itself
  MidiMonLog("");
  // Recorded as held only when the dump was handed over without error.
  if (SentWithoutError([&] { TxArrBank(winTag_); })) SharedInfoPutArr(winTag_);
  StatusShow(0, "");
  timerLoadArr_->setInterval(kIdle);
  if (timerList1_->interval() == kWaitBank) timerList1_->SetEnabled(true);
}

void frmArrNew::CommLoadSty_Click() {
  if (timerLoadSty_->interval() == kIdle) {
    // Without styles read from a file, or with no bank in use, there is
    // nothing to send: the steps that wait go on at once.
    styBankCnt_ = Asc(winTag_, 9) == 2 ? StyBankCount(winTag_) : 0;
    if (styBankCnt_ == 0) {
      if (timerList1_->interval() == kWaitStyles) timerList1_->SetEnabled(true);
      return;
    }
    styBankIdx_ = 0;
    styFails_ = gTxFailCount;
    StatusShow(2, "");
    timerLoadSty_->setInterval(kFirstStyle);
    timerLoadSty_->SetEnabled(true);
    return;
  }
  timerLoadSty_->SetEnabled(false);
  if (styBankIdx_ + 1 <= styBankCnt_ && TxSty(styBankIdx_, winTag_) == 0) {
    ++styBankIdx_;
    timerLoadSty_->setInterval(kNextStyle);
    timerLoadSty_->SetEnabled(true);
    return;
  }
  StyleTransferEnd();  // all banks sent, or a bank could not be sent
}

void frmArrNew::StyleTransferEnd() {
  StatusShow(0, "");
  timerLoadSty_->setInterval(kIdle);
  timerLoadSty_->SetEnabled(false);
  // Held when a bank went out and every bank sent was handed over without
  // error.
  if (styBankIdx_ > 0 && gTxFailCount == styFails_) SharedInfoPutSty(winTag_);
  if (timerList1_->interval() == kWaitStyles) {
    // The click that started the transfer sends the call-up.
    timerList1_->SetEnabled(true);
    return;
  }
  // The selected arrangement picks up the new styles.
  int number = ListIndex();
  if (number >= 0) TxBankPrg(number, kKindArrNew);
}

void frmArrNew::SetWindowCaption(const std::string& text) {
  caption_ = text;
  ChildForm::SetWindowCaption(text);
}

void ArrNewWinShow() {
  const int slot = gArrNewSlotIdx;
  if (slot < 1 || slot > 8) return;
  ShowFormOf(gArrNewForms[slot], [] {
    auto* form = new frmArrNew();
    form->Form_Load();
    return form;
  });
}

void FrmArrNewReset() {
  DeleteForms(gArrNewForms);
}
