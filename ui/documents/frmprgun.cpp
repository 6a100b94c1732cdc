#include "ui/documents/frmprgun.h"

#include <QComboBox>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
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
#include "files/filecommon.h"
#include "files/prgfile.h"
#include "midi/callup.h"
#include "midi/dumps.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/dialogs.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "services/strings.h"
#include "ui/documents/bankform.h"
#include "ui/documents/listclicks.h"
#include "ui/main/showform.h"
#include "ui/main/frmmain.h"
#include "ui/main/twipslayout.h"
#include "ui/main/listtext.h"
#include "ui/main/steptimer.h"

QPointer<frmPrgUN> gPrgForms[9];
QPointer<frmPrgUN> gPrgNewForms[9];

namespace {

constexpr int kIdle = 10;
constexpr int kFileStep = 9;  // TimerLoadPrg: send the file; TimerList1: the click waits for it

// Document positions.
constexpr int kModifiedPos = 7;
constexpr int kPggPos = 19;
constexpr int kPathPos = 21;
constexpr int kPathLen = 238;
constexpr int kImagePos = 271;
constexpr int kChannelPos = 286;  // byte 15 of the image
constexpr int kRecPos = 319;      // program record i at 319 + 172 i
constexpr int kEntriesLen = 64 * 21;

}  // namespace

frmPrgUN::frmPrgUN(int kind) : kind_(kind) {
  setObjectName("frmPrgUN");
  auto* body = new QWidget(this);
  list1_ = MakeList1(body);
  list1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  MakeChannelBox(body, &combo1_, &label1_);
  commArrPlay_ = MakeButton(body, "CommArrPlay", "&ARR PLAY");
  commSongPlay_ = MakeButton(body, "CommSongPlay", "SO&NG PLAY");
  commLoad_ = MakeButton(body, "CommLoad", "&Load Prog");
  commClose_ = MakeButton(body, "CommClose", QString());
  setWidget(body);
  timerLoadPrg_ = new StepTimer(this, "TimerLoadPrg", [this] { CommLoad_Click(); });
  timerList1_ = new StepTimer(this, "TimerList1", [this] { List1_Click(); });

  FrameControls();
  new ListClicks(
      list1_, [this] { List1_Click(); }, nullptr,
      [this] {
        if (loaded_) RefreshMenuWhenActive();
      });
  list1_->installEventFilter(this);
  connect(commLoad_, &QPushButton::clicked, this, [this] { CommLoad_Click(); });
  connect(combo1_, &QComboBox::currentIndexChanged, this, [this](int channel) { Combo1_Click(channel); });
}

void frmPrgUN::LayoutControls() {
  // The 64 programs in 4 columns of 16, the channel box and the buttons in
  // a row below, inside the window's width.
  const int listHeight = ListHeightOf(16);
  const int row = 20 + listHeight + 80;
  PlaceTwips(list1_, {0, 20, 7600, listHeight});
  ColumnList(list1_, 4);
  PlaceTwips(combo1_, {200, row, 732, 330});
  PlaceTwips(label1_, {982, row + 50, 1450, 240});
  PlaceTwips(commArrPlay_, {2482, row, 1150, 330});
  PlaceTwips(commSongPlay_, {3732, row, 1150, 330});
  PlaceTwips(commLoad_, {4982, row, 1150, 330});
  PlaceTwips(commClose_, {6232, row, 1150, 330});
}

void frmPrgUN::Form_Load() {
  gFormLoading2 = true;
  const int slot = gPrgSlotIdx;
  JoinMainWindow();

  if (kind_ == kKindPrgFile) {
    gPrgSlotCur = gPrgSlots[slot];
    if (gPrgSlotCur.Open == 0) {
      gPrgSlotCur.Top = 0;
      gPrgSlotCur.Left = 0;
      gPrgSlotCur.Height = ClampTwips16(gPrgUNBigHeight);
      gPrgSlotCur.Width = ClampTwips16(gPrgUNBigWidth);
      gPrgSlotCur.Open = 1;
    }
    gPrgSlotCur.ReadOnly = gOpenReadOnly ? 1 : 0;
    FrameRestore(gPrgSlotCur.Top, gPrgSlotCur.Left, gPrgSlotCur.Height, gPrgSlotCur.Width);
    gPrgSlots[slot] = gPrgSlotCur;
  } else {
    FrameRestore(0, 0, gPrgUNBigHeight, gPrgUNBigWidth);
    gPrgWinOpen[slot] = 1;
  }
  LayoutControls();
  commClose_->setText(ToScreen(Res(8)));

  std::string tag = Nuls(20) + Space(250) + PadRight(Left(gPrgFileBuf, kPrgFileLen), kPrgFileLen, '\0') + Nuls(kEntriesLen);
  MidAssign(tag, 15, Chr(slot));
  list1_->clear();
  if (kind_ == kKindPrgNew) {
    MidAssign(tag, 2, Chr(0));
    MidAssign(tag, kChannelPos, Chr(0));
    MidAssign(tag, 18, Chr(1));
    MidAssign(tag, kPathPos, Res(81));
    commLoad_->setEnabled(false);
    for (int i = 0; i < 64; ++i) ListAddItem(list1_, ArrSlotNum(i) + "  ");
  } else {
    const std::string path = Left(gPrgFileDir + kPathSep + gPrgFileName, kPathLen);
    MidAssign(tag, kPathPos, path);
    MidAssign(tag, kPggPos, Chr(0));
    for (int i = 0; i < 64; ++i) {
      const int p = kRecPos + kPrgRecLen * i;
      const bool reference = Asc(tag, p) == 1;
      if (reference) MidAssign(tag, kPggPos, Chr(1));
      ListAddItem(list1_, ArrSlotNum(i) + (reference ? " *" : "  ") + Mid(tag, p + 3, 16));
    }
    // The signature follows the records, as a paste makes it: a file whose
    // references make it a .pgg is saved as one and must open again.
    MidAssign(tag, kImagePos, Asc(tag, kPggPos) == 1 ? "KPGG" : "KORG");
    gPrgSlotCur = gPrgSlots[slot];
    gPrgSlotCur.Path = PadRight(path, kPathLen);
    gPrgSlotCur.Channel = static_cast<uint8_t>(Asc(tag, kChannelPos) & 0x0F);
    gPrgSlotCur.Pgg = static_cast<uint8_t>(Asc(tag, kPggPos));
    // The record keeps what the user chose; a file the user may not write
    // opens read-only all the same, as the Open dialog's box opens it.
    MidAssign(tag, 1, Chr(kind_));
    MidAssign(tag, 2, Chr(gPrgSlotCur.ReadOnly != 0 || DocFileWriteRefused(tag) ? 1 : 0));
    MidAssign(tag, 18, Chr(0));
    gPrgSlots[slot] = gPrgSlotCur;
  }
  MidAssign(tag, 1, Chr(kind_));
  MidAssign(tag, kModifiedPos, Chr(0));
  winTag_ = tag;
  SetWindowCaption(WinCaption(winTag_));
  // The box shows the channel the byte gives; the byte stays as read until
  // a channel is picked.
  combo1_->setCurrentIndex(Asc(winTag_, kChannelPos) & 0x0F);
  gFormLoading2 = false;
  loaded_ = true;
}

void frmPrgUN::Combo1_Click(int channel) {
  if (gFormLoading2 || channel < 0 || channel > 15) return;
  MidAssign(winTag_, kChannelPos, Chr(channel));
  MidAssign(winTag_, kModifiedPos, Chr(1));
  SetWindowCaption(WinCaption(winTag_));
  const int slot = Slot();
  if (kind_ == kKindPrgFile && slot >= 1 && slot <= 8) gPrgSlots[slot].Channel = static_cast<uint8_t>(channel);
}

// ---- Transfers -------------------------------------------------------------

void frmPrgUN::CommLoad_Click() {
  if (timerLoadPrg_->interval() == kIdle) {
    timerLoadPrg_->setInterval(kFileStep);
    StatusShow(4, "");
    timerLoadPrg_->SetEnabled(true);
    return;
  }
  timerLoadPrg_->SetEnabled(false);  // a press while pending is the step itself
  timerLoadPrg_->setInterval(kIdle);
  const int mode = gInstrMode;
  // The instrument takes a program dump in arrangement play, reached
  // through song play.
  if (mode == 1) TxModeArrPlay();
  TxModeSongPlay();
  TxModeArrPlay();
  MidiMonLog("");
  // Recorded as held only when the dump was handed over without error.
  const bool sent = SentWithoutError([&] { TxPrgFile(winTag_); });
  gCurExt = Asc(winTag_, kPggPos) == 0 ? "prg" : "pgg";
  if (sent) SharedInfoPutPrg(winTag_, gCurExt);
  if (mode == 1) TxModeSongPlay();
  StatusShow(0, "");
  if (timerList1_->interval() == kFileStep) timerList1_->SetEnabled(true);
}

void frmPrgUN::List1_Click() {
  const int index = ListIndex();
  if (index < 0 || index > 63 || index >= list1_->count()) {
    // No current line: nothing is called up, and no wait is left behind.
    if (!timerList1_->Enabled()) timerList1_->setInterval(kIdle);
    return;
  }
  switch (timerList1_->interval()) {
    case kIdle:
      MenuUpdate();
      if (RTrim(ListText(index)).size() <= 2) return;  // an empty place
      if (MainMenuChecked("mnuCaricaPrg")) {
        // A missing or empty info file names nothing as held.
        gSentArrName.clear();
        gSentPrgName.clear();
        SharedInfoRead();
        if (gSentPrgName != PathFileName(RTrim(Mid(winTag_, kPathPos, kPathLen)))) {
          timerList1_->setInterval(kFileStep);
          CommLoad_Click();
          return;  // the file step runs the click again when it ends
        }
      }
      break;
    case kFileStep:
      timerList1_->setInterval(kIdle);
      break;
    default:
      break;
  }
  if (gPrgPickMode && PrgPickToEditor(index, winTag_) == 1) gArrModified = true;
  CallUpProgram(winTag_, index);
}

bool frmPrgUN::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list1_ && event->type() == QEvent::KeyPress)
    List1_KeyDown(static_cast<QKeyEvent*>(event)->key());
  return ChildForm::eventFilter(watched, event);
}

void frmPrgUN::List1_KeyDown(int key) {
  // The key is the Edit menu's Cut, which refuses a read-only file with
  // "Read only file".
  if (key != Qt::Key_Delete) return;
  if (frmMain* main = frmMain::Instance()) main->mnuTaglia_Click();
}

// ---- Frame -----------------------------------------------------------------

void frmPrgUN::Form_Activate() { MenuUpdate(); }

void frmPrgUN::Form_Resize() {
  if (gFormLoading2 || !loaded_) return;
  const int slot = Slot();
  if (slot < 1 || slot > 8) return;
  PrgSlotRec* record = kind_ == kKindPrgFile ? &gPrgSlots[slot] : nullptr;
  if (ResizeSlot(record, &PrgSlotRec::Open, &gPrgWinOpen[slot])) MenuUpdate();
}

void frmPrgUN::Form_QueryUnload(bool& cancel) {
  const int slot = Slot();
  const std::string path = RTrim(Mid(winTag_, kPathPos, kPathLen));
  gCurExt = Asc(winTag_, kPggPos) == 0 ? "prg" : "pgg";
  gOpCaption = "File Program - " + PathFileName(path) + "." + gCurExt + " (" + CStr(slot) + ")";
  // A save that does not happen keeps the window open and modified.
  if (Asc(winTag_, kModifiedPos) != 0) cancel = SaveBeforeClose(winTag_, gOpCaption, this) != 0;
}

void frmPrgUN::Form_Unload() {
  // A step still pending goes with the window, and so does its status.
  const bool pending = timerLoadPrg_->interval() != kIdle || timerList1_->interval() != kIdle;
  StopSteps();
  if (pending) StatusShow(0, "");
  const int slot = Slot();
  if (slot >= 1 && slot <= 8) {
    const bool file = kind_ == kKindPrgFile;
    const Geometry kept = UnloadSlot(file ? &gPrgSlots[slot] : nullptr, &PrgSlotRec::Open,
                                     file ? &gPrgSlotUsed[slot] : &gPrgWinOpen[slot], file ? "mnuApriPrg" : "mnuNuovoPrg");
    if (file) gPrgSlots[slot].Pgg = Mid(winTag_, kImagePos, 4) == "KORG" ? 0 : 1;
    RecentSaveWinPos(winTag_, kept.top, kept.left, kept.height, kept.width);
  }
  --gPrgWinCount;
  MenuUpdate();
}

// ---- Opener ----------------------------------------------------------------

void PrgUNWinShow(int kind) {
  const int slot = gPrgSlotIdx;
  if ((kind != kKindPrgFile && kind != kKindPrgNew) || slot < 1 || slot > 8) return;
  ShowFormOf(kind == kKindPrgFile ? gPrgForms[slot] : gPrgNewForms[slot], [kind] {
    auto* form = new frmPrgUN(kind);
    form->Form_Load();
    return form;
  });
}

void FrmPrgUNReset() {
  DeleteForms(gPrgForms);
  DeleteForms(gPrgNewForms);
}
