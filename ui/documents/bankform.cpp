#include "ui/documents/bankform.h"

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/appstate.h"
#include "app/menuupdate.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "midi/callup.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "ui/main/frmmain.h"
#include "ui/main/twipslayout.h"
#include "ui/main/listtext.h"

void FillChannelBox(QComboBox* combo) {
  combo->clear();
  for (int channel = 1; channel <= 16; ++channel) ComboAddItem(combo, Right("  " + CStr(channel), 3));
}

int ListRowPitch() { return gTwipsPerPixel == 12 ? 228 : 241; }

int ListHeightOf(int rows) { return rows * ListRowPitch() + 90; }

void ColumnList(QListWidget* list, int columns) {
  list->setFlow(QListView::TopToBottom);
  list->setWrapping(true);
  list->setUniformItemSizes(true);
  // The list is sized for its lines at this pitch: every column shows
  // whole, and a scroll bar would only take the room of the last line.
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The names are padded with blanks to their stored length: a line wider
  // than its column for its blanks alone is clipped, not cut short with an
  // ellipsis.
  list->setTextElideMode(Qt::ElideNone);
  const int width = (list->width() - 2 * list->frameWidth()) / columns;
  list->setGridSize(QSize(width, TwipsToPixels(ListRowPitch())));
}

QListWidget* MakeList1(QWidget* body) {
  auto* list = new QListWidget(body);
  list->setObjectName("List1");
  list->setFont(QFont("Arial", 10, QFont::Normal));
  return list;
}

QPushButton* MakeButton(QWidget* body, const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, body);
  button->setObjectName(name);
  return button;
}

void MakeChannelBox(QWidget* body, QComboBox** combo, QLabel** label) {
  *combo = new QComboBox(body);
  (*combo)->setObjectName("Combo1");
  FillChannelBox(*combo);
  *label = new QLabel("MIDI Channel", body);
  (*label)->setObjectName("Label1");
}

void CallUpProgram(const std::string& tag, int index) {
  MidiMonLog("");
  TxPrgSelect(tag, index);
  MidiMonLog(gOutMsg.data);
}

BankForm::BankForm(const char* name, bool channelBox) {
  setObjectName(name);
  auto* body = new QWidget(this);
  list1_ = MakeList1(body);
  if (channelBox) MakeChannelBox(body, &combo1_, &label1_);
  commArrPlay_ = MakeButton(body, "CommArrPlay", "&ARR PLAY");
  commSongPlay_ = MakeButton(body, "CommSongPlay", "SO&NG PLAY");
  commClose_ = MakeButton(body, "CommClose", QString());
  setWidget(body);
  FrameControls();
}

void BankForm::RestoreRecord(int kind) {
  kind_ = kind;
  JoinMainWindow();
  gWinPosCur = gWinPosTab[kind_];
  FrameRestore(gWinPosCur.Top, gWinPosCur.Left, gWinPosCur.Height, gWinPosCur.Width);
  gWinPosCur.State = 1;
  gWinPosTab[kind_] = gWinPosCur;
}

uint8_t BankForm::UnloadRecord(bool withSize) {
  gWinPosCur = gWinPosTab[kind_];
  FrameUnload(&gWinPosCur.Top, &gWinPosCur.Left, &gWinPosCur.State);
  if (withSize) {
    gWinPosCur.Height = ClampTwips16(HeightTwips());
    gWinPosCur.Width = ClampTwips16(WidthTwips());
  }
  gWinPosTab[kind_] = gWinPosCur;
  return gWinPosCur.State;
}

void BankForm::LayoutBank(int top, int rows) {
  const int listHeight = ListHeightOf(rows);
  const int row = top + listHeight + 80;
  PlaceTwips(list1_, {0, top, 7600, listHeight});
  ColumnList(list1_, 4);
  if (!combo1_) {
    // The three buttons 2600 twips apart.
    PlaceTwips(commArrPlay_, {60, row, 1150, 345});
    PlaceTwips(commSongPlay_, {2660, row, 1150, 345});
    PlaceTwips(commClose_, {5260, row, 1150, 345});
    return;
  }
  // The channel box and its label, then the buttons 1750 twips apart, so
  // that Close stays inside the window's width.
  PlaceTwips(combo1_, {400, row, 732, 330});
  PlaceTwips(label1_, {1182, row + 50, 1450, 240});
  PlaceTwips(commArrPlay_, {2717, row, 1150, 330});
  PlaceTwips(commSongPlay_, {4467, row, 1150, 330});
  PlaceTwips(commClose_, {6217, row, 1200, 336});
}

void BankForm::StoreChannel(int channel) {
  if (channel < 0 || channel > 15) return;
  MidAssign(winTag_, 16, Chr(channel));
  gWinPosTab[kind_].Extra = static_cast<uint8_t>(channel);
  SetWindowCaption(WinCaption(winTag_));
}

void BankForm::Form_Activate() { MenuUpdate(); }

void BankForm::Form_Resize() {
  if (gFormLoading2 || !loaded_) return;
  const WindowSize big = EnlargedSizeOfKind(kind_);
  gWinPosCur = gWinPosTab[kind_];
  // Cut back: the resize that follows records the size.
  if (!FrameResize(big.height, big.width, &gWinPosCur.Height, &gWinPosCur.Width, &gWinPosCur.State)) return;
  gWinPosTab[kind_] = gWinPosCur;
  MenuUpdate();
}
