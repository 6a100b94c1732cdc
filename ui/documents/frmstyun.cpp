#include "ui/documents/frmstyun.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/docaccess.h"
#include "app/docsave.h"
#include "app/editorpick.h"
#include "app/listbuild.h"
#include "app/menuupdate.h"
#include "app/recentfiles.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/styfile.h"
#include "files/stygrp.h"
#include "midi/callup.h"
#include "midi/dumps.h"
#include "midi/midilink.h"
#include "platform/dialogs.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "ui/documents/bankform.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/twipslayout.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"

QPointer<frmStyUN> gStyForms[9];
QPointer<frmStyUN> gStyNewForms[9];

namespace {

constexpr int kIdle = 10;
constexpr int kFirstBank = 20;  // TimerTxSty_0: the first bank of all
constexpr int kNextBank = 800;  // TimerTxSty_1: each further bank, and the end
constexpr int kOneBank = 11;    // TimerLoadStyGrp_b: the bank

constexpr int kPathLen = 238;
constexpr int kLines = 19;  // 16 slots and a blank line after each of the first three banks

bool Separator(int line) { return line == 4 || line == 9 || line == 14; }

}  // namespace

frmStyUN::frmStyUN(int kind) : kind_(kind) {
  setObjectName("frmStyUN");
  auto* body = new QWidget(this);
  list1_ = MakeList1(body);
  list1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  picture1_ = new QWidget(body);
  picture1_->setObjectName("Picture1");
  auto sizeBox = [](QWidget* parent, const QString& name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignRight);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
  };
  for (int s = 0; s < 16; ++s) text1_[s] = sizeBox(picture1_, "Text1_" + QString::number(s));
  for (int b = 0; b < 4; ++b) {
    picture2_[b] = new QWidget(body);
    picture2_[b]->setObjectName("Picture2_" + QString::number(b));
    text2_[b] = sizeBox(picture2_[b], "Text2_" + QString::number(b));
    commLoadStyGrp_[b] = MakeButton(body, "CommLoadStyGrp_" + QString::number(b), "Load Styles");
  }
  text3_ = sizeBox(body, "Text3");
  label3_ = new QLabel("Bytes", body);
  label3_->setObjectName("Label3");
  commLoadSty_ = MakeButton(body, "CommLoadSty", "Load &Styles");
  commClose_ = MakeButton(body, "CommClose", QString());
  setWidget(body);

  for (int i = 0; i < 2; ++i)
    timerTxSty_[i] = new StepTimer(this, "TimerTxSty_" + QString::number(i), [this] { CommLoadSty_Click(); });
  for (int b = 0; b < 4; ++b) {
    timerLoadStyGrp_[b] = new StepTimer(this, "TimerLoadStyGrp_" + QString::number(b), [this, b] { CommLoadStyGrp_Click(b); });
    connect(commLoadStyGrp_[b], &QPushButton::clicked, this, [this, b] { CommLoadStyGrp_Click(b); });
  }

  FrameControls();
  // The list's right button acts on release (below), never through the
  // toolkit's context menu, so the menu pops up once.
  list1_->setContextMenuPolicy(Qt::PreventContextMenu);
  new ListClicks(
      list1_, [this] { List1_Click(); }, [this] { PopupEditMenu(); }, [this] { SelectionChanged(); });
  connect(commLoadSty_, &QPushButton::clicked, this, [this] { CommLoadSty_Click(); });
}

void frmStyUN::LayoutControls() {
  // The 19 lines show at once; each slot's size box stands beside its line,
  // each bank's total and its Load Styles beside the bank, and the group's
  // size with the two buttons under the list.
  const int pitch = ListRowPitch();
  const int listHeight = ListHeightOf(kLines);
  const int firstRow = 30;  // the list's first line, inside its frame
  PlaceTwips(list1_, {0, 0, 2160, listHeight});
  ColumnList(list1_, 1);
  PlaceTwips(picture1_, {2180, firstRow, 640, kLines * pitch});
  for (int s = 0; s < 16; ++s) PlaceTwips(text1_[s], {0, StyIdxMap(s) * pitch, 640, pitch});
  for (int b = 0; b < 4; ++b) {
    const int top = firstRow + 5 * b * pitch;
    PlaceTwips(picture2_[b], {2860, top, 1180, pitch});
    PlaceTwips(text2_[b], {0, 0, 700, pitch});
    PlaceTwips(commLoadStyGrp_[b], {2860, top + pitch + 15, 1180, 2 * pitch - 30});
  }
  const int row = listHeight + 60;
  PlaceTwips(text3_, {0, row + 15, 700, 300});
  PlaceTwips(label3_, {760, row + 45, 560, 240});
  PlaceTwips(commLoadSty_, {1380, row, 1280, 330});
  PlaceTwips(commClose_, {2760, row, 1280, 330});
}

// ---- Load ------------------------------------------------------------------

void frmStyUN::Form_Load() {
  gFormLoading = true;
  JoinMainWindow();
  int slot = 0;
  std::string path;
  if (kind_ == kKindStyNew) {
    slot = gStyWinIdx;
    FrameRestore(0, 0, gStyUNBigHeight, gStyUNBigWidth);
    gStyWinOpen[slot] = 1;
    path = "Untitled (" + CStr(slot) + ")";
    gStyFileName = path;
  } else {
    slot = gStySlotIdx;
    gStySlotCur = gStySlots[slot];
    // The record keeps its path and geometry only when it is the record of
    // this file (the recent list's open); a record left marked open by an
    // earlier run of the slot is handled as a closed one.
    const std::string opened = gStyFileDir + kPathSep + gStyFileName;
    const std::string recorded = RTrim(gStySlotCur.Path);
    if (gStySlotCur.InUse != 0 && recorded == opened) {
      gStyFileDir = PathDir(recorded);
      gStyFileName = RTrim(PathFileName(recorded));
    } else {
      gStySlotCur.InUse = 1;
      if (gStyChanged == 0) {
        gStySlotCur.Path = PadRight(Left(opened, kPathLen), kPathLen);
        gStySlotCur.Top = 0;
        gStySlotCur.Left = 0;
        gStySlotCur.Height = ClampTwips16(gStyUNBigHeight);
        gStySlotCur.Width = ClampTwips16(gStyUNBigWidth);
      } else {
        gStyChanged = 0;  // a reopening keeps the window's place
      }
    }
    FrameRestore(gStySlotCur.Top, gStySlotCur.Left, gStySlotCur.Height, gStySlotCur.Width);
    gStySlotCur.ReadOnly = gOpenReadOnly ? 1 : 0;  // the user's choice, kept for Save As
    gStySlots[slot] = gStySlotCur;
    path = gStySlotCur.Path;
  }

  // The form's font, as its list's: its boxes, labels and buttons take it
  // (the title bar keeps the frame's font, as every child window's does).
  widget()->setFont(QFont("Arial", 10, QFont::Normal));
  LayoutControls();
  commClose_->setText(ToScreen(Res(8)));

  std::string tag = Nuls(20) + Space(250) + Nuls(399) + gStyData;
  MidAssign(tag, 1, Chr(kind_));
  if (kind_ == kKindStyNew) {
    MidAssign(tag, 18, Chr(1));
  } else {
    MidAssign(tag, 2, Chr(gOpenReadOnly ? 1 : 0));
    MidAssign(tag, 17, Chr(gStySlotCur.InUse));
  }
  MidAssign(tag, 21, PadRight(path, kPathLen));
  // A file the user may not write opens read-only, as the Open dialog's
  // box opens it.
  if (kind_ == kKindStyFile && DocFileWriteRefused(tag)) MidAssign(tag, 2, Chr(1));
  MidAssign(tag, 10, Chr(0));
  MidAssign(tag, 15, Chr(slot));

  // The slots, a blank line after each of the first three banks; each
  // slot's length, each bank's total.
  list1_->clear();
  int bankTotal = 0;
  for (int s = 0; s < 16; ++s) {
    if (s > 0 && s % 4 == 0) {
      ListAddItem(list1_, " ");
      bankTotal = 0;
    }
    const int len = StyGrpSlotLen(s, gStyData);
    ListAddItem(list1_, ArrSlotNum(s) + "  " + StyGrpSlotName(s, gStyData));
    text1_[s]->setText(QString::number(len) + " ");
    bankTotal += len;
    if (s % 4 == 3) {
      text2_[s / 4]->setText(QString::number(bankTotal) + " ");
      commLoadStyGrp_[s / 4]->setEnabled(bankTotal >= 1);
    }
  }

  winTag_ = tag;
  SetWindowCaption(WinCaption(winTag_));
  text3_->setText(QString::number(gStyData.size()));
  // A new style was counted by File > New Sty.
  if (kind_ == kKindStyFile) ++gStyWinCount;
  gFormLoading = false;
  loaded_ = true;
}

// ---- Transfers -------------------------------------------------------------

void frmStyUN::CommLoadSty_Click() {
  if (timerTxSty_[0]->interval() == kIdle) {
    styBankCnt_ = StyBankCount(winTag_);
    if (styBankCnt_ == 0) return;  // no bank in use: nothing to send
    styBankIdx_ = 0;
    styFails_ = gTxFailCount;
    timerTxSty_[1]->setInterval(kNextBank);
    StatusShow(2, "");
    timerTxSty_[0]->setInterval(kFirstBank);
    timerTxSty_[0]->SetEnabled(true);
    return;
  }
  // A press while the send runs is its next step, at once.
  timerTxSty_[0]->SetEnabled(false);
  timerTxSty_[1]->SetEnabled(false);
  if (styBankIdx_ + 1 <= styBankCnt_ && TxSty(styBankIdx_, winTag_) == 0) {
    ++styBankIdx_;
    timerTxSty_[1]->SetEnabled(true);
    return;
  }
  StyleTransferEnd();  // all banks sent, or a bank could not be sent
}

void frmStyUN::StyleTransferEnd() {
  StatusShow(0, "");
  timerTxSty_[0]->setInterval(kIdle);
  timerTxSty_[0]->SetEnabled(false);
  // Only a group of which a bank went out is what the instrument holds,
  // and only when every bank sent was handed over without error.
  if (styBankIdx_ == 0) return;
  if (gTxFailCount == styFails_) SharedInfoPutSty(winTag_);
  int number = 0;
  TxBankPrg(number, kKindArrFile);
}

void frmStyUN::CommLoadStyGrp_Click(int b) {
  StepTimer* timer = timerLoadStyGrp_[b];
  if (timer->interval() == kIdle) {
    StatusShow(2, "");
    timer->setInterval(kOneBank);
    timer->SetEnabled(true);
    return;
  }
  timer->SetEnabled(false);  // a press while pending is the step itself
  timer->setInterval(kIdle);
  TxSty(b, winTag_);  // an incomplete bank is not sent, silently
  StatusShow(0, "");
}

// ---- List ------------------------------------------------------------------

void frmStyUN::List1_Click() {
  const int index = ListIndex();
  if (index < 0 || index >= list1_->count()) return;  // no current line: nothing at all
  LineMenu(index);
  // The editor tells whether it took the style; only then has it changed.
  // A new style is never picked.
  if (kind_ == kKindStyFile && !Separator(index) && gStyPickMode && EditArrStySet(index, winTag_) == 1)
    gArrModified = true;
}

void frmStyUN::LineMenu(int index) {
  MenuUpdate();
  if (Separator(index)) {
    SetMainMenuEnabled("mnuLoadSty", false);
  } else if (kind_ == kKindStyNew) {
    // Load Style follows the line's slot.
    SetMainMenuEnabled("mnuLoadSty", RTrim(ListText(index)).size() != 2);
  }
}

void frmStyUN::SelectionChanged() {
  if (!loaded_ || !IsActiveForm()) return;
  const int index = ListIndex();
  if (index >= 0 && index < list1_->count())
    LineMenu(index);
  else
    MenuUpdate();
}

// ---- Frame -----------------------------------------------------------------

void frmStyUN::Form_Activate() { MenuUpdate(); }

void frmStyUN::Form_Resize() {
  if (gFormLoading || !loaded_) return;
  const int slot = Slot();
  if (slot < 1 || slot > 8) return;
  StySlotRec* record = kind_ == kKindStyFile ? &gStySlots[slot] : nullptr;
  if (ResizeSlot(record, &StySlotRec::InUse, &gStyWinOpen[slot])) MenuUpdate();
}

void frmStyUN::Form_QueryUnload(bool& cancel) {
  // Unchanged styles close without a question; a save that does not happen
  // keeps the window open and changed.
  if (Asc(winTag_, 10) != 0) cancel = SaveBeforeClose(winTag_, WinCaption(winTag_), this) != 0;
}

void frmStyUN::Form_Unload() {
  // A step still pending goes with the window, and so does its status.
  bool pending = timerTxSty_[0]->interval() != kIdle;
  for (StepTimer* t : timerLoadStyGrp_) pending = pending || t->interval() != kIdle;
  StopSteps();
  if (pending) StatusShow(0, "");

  const int slot = Slot();
  const bool file = kind_ == kKindStyFile;
  Geometry kept{};
  if (slot >= 1 && slot <= 8)
    kept = UnloadSlot(file ? &gStySlots[slot] : nullptr, &StySlotRec::InUse,
                      file ? &gStySlotUsed[slot] : &gStyWinOpen[slot], file ? "mnuApriSty" : "mnuNuovoSty");
  --gStyWinCount;
  // A style file closing with the program keeps its record as it is.
  if (gClosing && file) return;
  RecentSaveWinPos(winTag_, kept.top, kept.left, kept.height, kept.width);
  MenuUpdate();
}

// ---- Openers ---------------------------------------------------------------

namespace {

void ShowStyWindow(int kind, int slot) {
  if (slot < 1 || slot > 8) return;
  ShowFormOf(kind == kKindStyFile ? gStyForms[slot] : gStyNewForms[slot], [kind] {
    auto* form = new frmStyUN(kind);
    form->Form_Load();
    return form;
  });
}

}  // namespace

void StyFileWinShow() { ShowStyWindow(kKindStyFile, gStySlotIdx); }
void StyNewWinShow() { ShowStyWindow(kKindStyNew, gStyWinIdx); }

void FrmStyUNReset() {
  DeleteForms(gStyForms);
  DeleteForms(gStyNewForms);
}
