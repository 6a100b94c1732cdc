// frmArrU: construction and layout, the load that builds the document, the
// frame handlers (activation, resize, close prompt, unload), the call-up of
// a clicked arrangement and the window's opener. The transfers are in
// arrtransfer.cpp.
#include "ui/documents/frmarru.h"

#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <algorithm>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/dbarr.h"
#include "app/docaccess.h"
#include "app/editorpick.h"
#include "app/listbuild.h"
#include "services/mainview.h"
#include "app/menuupdate.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "services/paths.h"
#include "app/recentfiles.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "app/docsave.h"
#include "files/filecommon.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "files/stygrp.h"
#include "midi/callup.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/dialogs.h"
#include "platform/twips.h"
#include "ui/documents/listclicks.h"
#include "ui/main/frmmain.h"
#include "ui/main/listtext.h"
#include "ui/main/openers.h"
#include "ui/main/showform.h"
#include "ui/main/steptimer.h"

QPointer<frmArrU> gArrUForms[9];
bool gLoadAllStyStep = false;
int gStyBankIdx = 0;
int gArrUStyBankCnt = 0;
std::string gFindIdFileName;
std::string gSentStyName;
bool gSelArrUserSty = false;
bool gSelArrUserPrg = false;
std::string gArrPrgPath;

namespace {

constexpr int kPathLen = 238;       // the path field at document position 21
constexpr int kArrUPrgPos = 12143;  // the companion program file image
constexpr int kArrUPrgLen = 30480;

// The document of a new window: the header, the path field, the file image,
// the blank list entries and the blank program image. The style data are
// appended after it (position 42,623).
std::string BuildDocument(const std::string& arrImage, const std::string& path) {
  std::string doc = Nuls(20) + Space(250) + arrImage + Space(64 * 21) + Space(kArrUPrgLen);
  MidAssign(doc, 21, PadRight(path, kPathLen));
  return doc;
}

// An arrangement plays a program of the companion program file when one of
// its nine track blocks has bank code 3 (record offset 40 + 8t).
bool PlaysUserProgram(const std::string& rec) {
  for (int t = 0; t < 9; ++t)
    if (Asc(rec, 41 + 8 * t) == 3) return true;
  return false;
}

// The style box text of factory style s: its name and bank label, "name
// (A23)"; empty for a number beyond the 128 factory styles.
std::string FactoryStyleText(int s) {
  if (s < 0 || s > 127) return std::string();
  int slot = s;
  return RTrim(gStyNames[s]) + " (" + ArrSlotName(slot) + ")";
}

// The style box text of user slot s (0-15) of the document's own group:
// "name (U11)" to "name (U18)", "name (U21)" to "name (U28)"; empty for a
// slot beyond the 16.
std::string UserStyleText(int s, const std::string& doc) {
  if (s < 0 || s > 15) return std::string();
  return StySlotName(s, doc) + " (U" + CStr(s < 8 ? 11 + s : 13 + s) + ")";
}

}  // namespace

// ---- Construction and layout ---------------------------------------------

frmArrU::frmArrU() {
  setObjectName("frmArrU");
  BuildControls();
  ConnectControls();
  FrameControls();
}

frmArrU::~frmArrU() = default;

QPushButton* frmArrU::MakeButton(const char* name, const std::string& caption) {
  auto* button = new QPushButton(ToScreen(caption), widget());
  button->setObjectName(name);
  return button;
}

StepTimer* frmArrU::MakeTimer(const char* name, void (frmArrU::*handler)(), bool zeroOnFire) {
  std::function<void()> call;
  if (handler) call = [this, handler] { (this->*handler)(); };
  return new StepTimer(this, name, std::move(call), zeroOnFire);
}

void frmArrU::BuildControls() {
  auto* body = new QWidget(this);
  setWidget(body);

  List1 = new QListWidget(body);
  List1->setObjectName("List1");
  List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  List1->viewport()->installEventFilter(this);
  List1->installEventFilter(this);

  const char* labels[3] = {"ID", "Style", "Program"};
  for (int i = 0; i < 3; ++i) {
    Label1[i] = new QLabel(labels[i], body);
    Label1[i]->setObjectName("Label1_" + QString::number(i));
  }
  Text1 = new QLineEdit(body);
  Text1->setObjectName("Text1");
  Text1->setReadOnly(true);
  Text2 = new QLineEdit(body);
  Text2->setObjectName("Text2");
  Text2->setReadOnly(true);
  Combo1 = new QComboBox(body);
  Combo1->setObjectName("Combo1");
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  Combo1->lineEdit()->setReadOnly(true);

  CommLoadArr = MakeButton("CommLoadArr", "&Load Arrang");
  CommLoadSty = MakeButton("CommLoadSty", "Load &Styles");
  CommLoadPrg = MakeButton("CommLoadPrg", "Load &Prog");
  CommLoadAll = MakeButton("CommLoadAll", "Load All");
  CommShowSty = MakeButton("CommShowSty", "Show Styles");
  CommShowPrg = MakeButton("CommShowPrg", "Show Prog");
  CommEdit = MakeButton("CommEdit", "&Edit");
  CommAdd = MakeButton("CommAdd", "+ r40DBArr");
  CommArrPlay = MakeButton("CommArrPlay", "&ARR PLAY");
  CommSongPlay = MakeButton("CommSongPlay", "SO&NG PLAY");
  CommClose = MakeButton("CommClose", "&Close");

  TimerLoadArr = MakeTimer("TimerLoadArr", &frmArrU::CommLoadArr_Click);
  TimerLoadSty = MakeTimer("TimerLoadSty", &frmArrU::CommLoadSty_Click);
  TimerTxSty[0] = MakeTimer("TimerTxSty_0", &frmArrU::CommLoadSty_Click);
  TimerTxSty[1] = MakeTimer("TimerTxSty_1", &frmArrU::CommLoadSty_Click);
  TimerLoadPrg = MakeTimer("TimerLoadPrg", &frmArrU::CommLoadPrg_Click);
  TimerLoadAll = MakeTimer("TimerLoadAll", &frmArrU::CommLoadAll_Click);
  TimerList1 = MakeTimer("TimerList1", &frmArrU::List1_Click);
  TimerFindID = MakeTimer("TimerFindID", &frmArrU::TimerFindID_Timer);
  TimerEditArr = MakeTimer("TimerEditArr", &frmArrU::CommEdit_Click);
  TimerShowSty = MakeTimer("TimerShowSty", &frmArrU::CommShowSty_Click);
  TimerShowPrg = MakeTimer("TimerShowPrg", &frmArrU::CommShowPrg_Click);
  Timer4 = MakeTimer("Timer_4", &frmArrU::CommAdd_Click, true);
}

void frmArrU::LayoutControls() {
  // Two size sets: large fonts (12 twips per pixel) leave a shorter list.
  const bool large = gTwipsPerPixel == 12;
  auto place = [](QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
  };
  place(List1, 60, 60, 4500, large ? 3900 : 4140);
  const int x = 4680, box = 5640;
  place(Label1[0], x, 120, 900, 285);
  place(Text1, box, 60, 1500, 345);
  place(Label1[1], x, 540, 900, 285);
  place(Combo1, box, 480, 3180, 345);
  place(Label1[2], x, 960, 900, 285);
  place(Text2, box, 900, 1500, 345);
  QPushButton* grid[4][3] = {{CommLoadArr, CommLoadSty, CommLoadPrg},
                             {CommLoadAll, CommShowSty, CommShowPrg},
                             {CommEdit, CommAdd, nullptr},
                             {CommArrPlay, CommSongPlay, CommClose}};
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 3; ++col)
      if (grid[row][col]) place(grid[row][col], x + 1410 * col, 1500 + 480 * row, 1380, 405);
  CommClose->setText(ToScreen(Res(8)));
  List1->setFont(QFont("Arial", 10, QFont::Normal));
}

void frmArrU::ConnectControls() {
  // A click, a keyboard move or code selects a line: the selection changes.
  // A click on the line already selected changes nothing: it calls up again.
  // Making a line current without selecting it (the list taking the focus)
  // is no click.
  connect(List1, &QListWidget::itemSelectionChanged, this, [this] {
    selectionChanged_ = true;
    List1_Click();
  });
  connect(List1, &QListWidget::itemClicked, this, [this] {
    if (!selectionChanged_) List1_Click();
  });
  connect(CommLoadArr, &QPushButton::clicked, this, [this] { CommLoadArr_Click(); });
  connect(CommLoadSty, &QPushButton::clicked, this, [this] { CommLoadSty_Click(); });
  connect(CommLoadPrg, &QPushButton::clicked, this, [this] { CommLoadPrg_Click(); });
  connect(CommLoadAll, &QPushButton::clicked, this, [this] { CommLoadAll_Click(); });
  connect(CommShowSty, &QPushButton::clicked, this, [this] { CommShowSty_Click(); });
  connect(CommShowPrg, &QPushButton::clicked, this, [this] { CommShowPrg_Click(); });
  connect(CommEdit, &QPushButton::clicked, this, [this] { CommEdit_Click(); });
  connect(CommAdd, &QPushButton::clicked, this, [this] { CommAdd_Click(); });
  connect(List1, &QListWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });
}

bool frmArrU::eventFilter(QObject* watched, QEvent* event) {
  if (!List1) return ChildForm::eventFilter(watched, event);  // still being built
  if (watched == List1->viewport() && event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    // The right button only pops the Edit menu up; it selects nothing.
    if (mouse->button() == Qt::RightButton) return true;
    selectionChanged_ = false;
  }
  if (watched == List1 && event->type() == QEvent::KeyPress)
    List1_KeyDown(static_cast<QKeyEvent*>(event)->key());
  return ChildForm::eventFilter(watched, event);
}

void frmArrU::List1_KeyDown(int key) {
  // The key is the Edit menu's Cut, which refuses a read-only file with
  // "Read only file".
  if (key != Qt::Key_Delete) return;
  if (frmMain* main = frmMain::Instance()) main->mnuTaglia_Click();
}

void frmArrU::UpdateEditCommand() {
  // Edit opens the editor on the current line: only on an arrangement that
  // is selected, and not while an arrangement is linked to the editor.
  const int n = SelectedCurrentLine(List1);
  const bool on = n >= 0 && Trim(ListItemText(List1, n)).size() > 2 && !gArrEditLinked;
  SetCommand(CommEdit, "mnuEditArr", on);
}

void frmArrU::SetCommand(QPushButton* button, const char* menuItem, bool on) {
  button->setEnabled(on);
  SetMainMenuEnabled(menuItem, on);
}

void frmArrU::ShowText(QLineEdit* box, const std::string& bytes) {
  box->setText(ToScreen(CutAtNul(bytes)));
}

std::string frmArrU::FileName() const {
  return PathFileName(RTrim(Mid(winTag_, 21, 238)));
}

int frmArrU::Slot() const {
  return Asc(winTag_, 15);
}

void frmArrU::SelectLine(int index) {
  if (index < 0 || index >= List1->count()) return;
  selectionChanged_ = false;
  List1->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  if (!selectionChanged_) List1_Click();  // already the selection: no signal came
}

// ---- Load ----------------------------------------------------------------

void frmArrU::Form_Load() {
  loading_ = true;
  const int slot = gArrSlotIdx;

  // The record keeps the path and geometry only when it is the record of
  // this file (a window restored at start-up); otherwise the window opens
  // at the top left with its enlarged size.
  gArrSlotCur = gArrSlots[slot];
  const std::string opened = gArrFileDir + kPathSep + gArrFileName;
  const std::string recorded = RTrim(gArrSlotCur.Path);
  if (gArrSlotCur.Open != 0 && recorded == opened) {
    gArrFileDir = PathDir(recorded);
    gArrFileName = PathFileName(recorded);
  } else {
    gArrSlotCur.Path = PadRight(opened, kPathLen);
    gArrSlotCur.Open = 1;
    gArrSlotCur.Top = 0;
    gArrSlotCur.Left = 0;
    gArrSlotCur.Height = ClampTwips16(std::max(gArrUBigHeight, 0));
    gArrSlotCur.Width = ClampTwips16(std::max(gArrUBigWidth, 0));
  }
  FrameRestore(gArrSlotCur.Top, gArrSlotCur.Left, gArrSlotCur.Height, gArrSlotCur.Width);
  gArrSlotCur.ReadOnly = gOpenReadOnly ? 1 : 0;  // the user's choice, kept for Save As
  gArrSlots[slot] = gArrSlotCur;

  LayoutControls();
  UpdateAddCommand();
  ShowText(Text2, "");

  std::string doc = BuildDocument(PadRight(gArrFileBuf, kArrFileLen, '\0'), gArrSlotCur.Path);
  MidAssign(doc, 1, Chr(kKindArrFile));
  // A file the user may not write opens read-only, as the Open dialog's
  // box opens it.
  MidAssign(doc, 2, Chr(gOpenReadOnly || DocFileWriteRefused(doc) ? 1 : 0));
  MidAssign(doc, 3, Chr(2));
  MidAssign(doc, 15, Chr(slot));
  MidAssign(doc, 17, Chr(gArrSlotCur.Open));

  const std::string path = RTrim(gArrSlotCur.Path);
  gDBArrId = DBArrFindID(path);
  ShowText(Text1, Str(gDBArrId));
  gArrSlots[slot].DbId = static_cast<int16_t>(gDBArrId);

  gSelArrUserSty = false;
  gSelArrUserPrg = false;
  SetCommand(CommLoadArr, "mnuLoadArr", false);

  List1->clear();
  Combo1->clear();
  for (int i = 0; i < kArrRecCount; ++i) {
    const std::string rec = Mid(gArrFileBuf, 33 + kArrRecLen * i, kArrRecLen);
    std::string marker = "  ";
    if (Asc(rec, 1) != 0) {
      SetCommand(CommLoadArr, "mnuLoadArr", true);
      if (i == gArrSelectIdx && PlaysUserProgram(rec)) gSelArrUserPrg = true;
      if (Asc(rec, 19) == 1) {
        marker = " +";
        if (i == gArrSelectIdx) gSelArrUserSty = true;
      } else {
        const std::string item = CutAtNul(FactoryStyleText(Asc(rec, 18)));
        bool listed = item.empty();
        for (int k = 0; k < Combo1->count() && !listed; ++k) listed = ComboItemText(Combo1, k) == item;
        if (!listed) ComboAddItem(Combo1, item);
      }
    }
    ListAddItem(List1, ArrSlotNum(i) + marker + Mid(rec, 1, 16));
  }

  const std::string caption = WinCaption(doc);
  SetWindowCaption(caption);

  // The companion style file. One that cannot be used is never written
  // over or deleted by a save (position 9 stays 0) until styles are pasted.
  gCurFilePath = WithExtension(gArrFileDir + kPathSep + gArrFileName, "sty");
  switch (StyFileRead(gCurFilePath)) {
    case 0:
      doc += gStyData;
      MidAssign(doc, 9, Chr(2));
      break;
    case 1:
      ShowMsg(4, caption, PathFileName(gCurFilePath));
      doc += gStyTemplate;
      MidAssign(doc, 9, Chr(0));
      break;
    case 2:
      doc += gStyTemplate;
      MidAssign(doc, 9, Chr(1));
      break;
    default:
      break;
  }
  if (Asc(doc, 9) != 2) {
    SetStyleCommands(false);
  } else {
    for (int s = 0; s < kStySlotCount && ArrStySlotLen(s, doc) != 0; ++s)
      ComboAddItem(Combo1, UserStyleText(s, doc));
    SetStyleCommands(true);
  }
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(QString());

  // The companion program file: the .prg, else the .pgg.
  MidAssign(doc, 6, Chr(0));
  MidAssign(doc, 19, Chr(0));
  auto takeProgramFile = [&](const char* ext, int pgg) {
    gArrPrgPath = WithExtension(path, ext);
    const int r = PrgFileRead(gArrPrgPath);
    if (r == 0) {
      MidAssign(doc, kArrUPrgPos, gPrgFileBuf);
      MidAssign(doc, 6, Chr(1));
      MidAssign(doc, 19, Chr(pgg));
      SetProgramCommands(true);
    }
    return r;
  };
  const int prg = takeProgramFile("prg", 0);
  if (prg >= 1 && prg <= 3) {
    const int pgg = takeProgramFile("pgg", 1);
    if (pgg >= 1 && pgg <= 3) SetProgramCommands(false);
  }

  ++gArrWinCount;
  winTag_ = doc;
  gLoadAllStyStep = false;

  if (gArrSelectPending) {
    SelectLine(gArrSelectIdx);
    findChain_ = true;
    TimerFindID->setInterval(10);
    TimerFindID->SetEnabled(true);
  }

  SetCommand(CommEdit, "mnuEditArr", false);
  if (!CommLoadArr->isEnabled() && !CommLoadSty->isEnabled() && !CommLoadPrg->isEnabled())
    SetCommand(CommLoadAll, "mnuLoadAll", false);
  loading_ = false;
  loaded_ = true;
}

// ---- Frame ---------------------------------------------------------------

void frmArrU::Form_Activate() {
  MenuUpdate();
  UpdateAddCommand();
  UpdateEditCommand();
}

void frmArrU::Form_Resize() {
  if (loading_ || !loaded_) return;
  const int slot = Slot();
  if (slot < 1 || slot > 8) return;
  gArrSlotCur = gArrSlots[slot];
  if (!FrameResize(gArrUBigHeight, gArrUBigWidth, &gArrSlotCur.Height, &gArrSlotCur.Width, &gArrSlotCur.Open))
    return;  // cut back: the resize that follows records the size
  gArrSlotCur.Height = std::max<int16_t>(gArrSlotCur.Height, 0);
  gArrSlotCur.Width = std::max<int16_t>(gArrSlotCur.Width, 0);
  gArrSlots[slot] = gArrSlotCur;
  MenuUpdate();
}

void frmArrU::Form_QueryUnload(bool& cancel) {
  // The arrangement editor on one of this file's arrangements closes first;
  // its own prompt may store the record back or keep both windows open.
  if (ArrEditLinkedTo(Slot())) {
    frmMain* main = frmMain::Instance();
    if (main && !main->CloseArrEditor()) {
      cancel = true;
      return;
    }
    gArrEditLinked = false;
  }
  if (Asc(winTag_, 4) == 0) return;
  switch (AskSave(1, WinCaption(winTag_))) {
    case kMsgYes:
      // A save that fails keeps the window open and modified.
      if (ArrFileSaveClose(winTag_, this) != 0) cancel = true;
      break;
    case kMsgNo:
      break;
    default:
      cancel = true;
      break;
  }
}

void frmArrU::Form_Unload() {
  const int slot = Slot();
  // Steps still pending go with the window; what waits on them is released.
  if (findChain_) {
    findChain_ = false;
    gArrSelectPending = false;
  }
  if (TimerLoadAll->interval() != 10) gLoadAllStyStep = false;
  bool pending = false;
  for (StepTimer* t : {TimerLoadArr, TimerTxSty[0], TimerLoadPrg, TimerLoadAll, TimerList1, TimerFindID})
    pending = pending || t->Enabled() || t->interval() != 10;
  if (pending) StatusShow(0, "");
  StopSteps();
  if (slot >= 1 && slot <= 8) {
    gArrSlotUsed[slot] = 0;
    if (gArrUForms[slot] == this) gArrUForms[slot] = nullptr;
    gArrSlotCur = gArrSlots[slot];
    FrameUnloadDocument(&gArrSlotCur.Top, &gArrSlotCur.Left, &gArrSlotCur.Open);
    gArrSlots[slot] = gArrSlotCur;
    RecentSaveWinPos(winTag_, gArrSlotCur.Top, gArrSlotCur.Left, gArrSlotCur.Height, gArrSlotCur.Width);
  }
  SetMainMenuEnabled("mnuApriArr", true);
  --gArrWinCount;
  MenuUpdate();
}

// ---- Call-up -------------------------------------------------------------

void frmArrU::List1_Click() {
  if (loading_) return;
  // A click that left its line unselected (Ctrl+click) calls nothing up,
  // and leaves Edit nothing to open.
  const int n = SelectedCurrentLine(List1);
  if (n < 0) {
    UpdateEditCommand();
    MenuUpdate();
    return;
  }
  MenuUpdate();
  const std::string line = ListItemText(List1, n);

  if (Trim(line).size() == 2) {
    // An empty slot: nothing to call up, and no wait of an earlier click
    // is left behind.
    SetCommand(CommEdit, "mnuEditArr", false);
    Combo1->setEditText(QString());
    ShowText(Text1, "");
    ShowText(Text2, "");
    StatusShow(0, "");
    if (!TimerList1->Enabled()) TimerList1->setInterval(10);
    return;
  }

  const int p = ArrRecPos(n);
  bool stylesSent = false;
  switch (TimerList1->interval()) {
    case 10:
      if (MainMenuChecked("mnuCaricaArr")) {
        gSentArrName.clear();
        gSentPrgName.clear();
        SharedInfoRead();
        if (FileName() != gSentArrName) {
          TimerList1->setInterval(11);
          CommLoadArr_Click();
          return;
        }
      }
      break;
    case 11:
      TimerList1->setInterval(10);
      break;
    case 12:
      TimerList1->setInterval(10);
      stylesSent = true;
      break;
    default:
      break;
  }

  if (!stylesSent) {
    if (gArrEditLinked) {
      AskStoreEditedArr();
      ArrEditBufBuild(winTag_, n);
      EditArrFill();
    }
    UpdateEditCommand();
    if (gInstrMode != 0) TxModeArrPlay();

    gDBArrId = gArrSlots[Slot()].DbId;
    ShowText(Text1, gDBArrId > 0 ? Str(gDBArrId) + " " + Left(line, 2) : std::string());
    ShowText(Text2, PlaysUserProgram(Mid(winTag_, p, kArrRecLen)) ? "User" : Res(98));

    if (Asc(winTag_, p + 18) == 1) {
      ComboSetText(Combo1, UserStyleText(Asc(winTag_, p + 17), winTag_));
      // Styles are sent only when the file's own style data were read.
      if (MainMenuChecked("mnuCaricaSty") && Asc(winTag_, 9) == 2 && FileName() != SharedInfoRead()) {
        TimerList1->setInterval(12);
        CommLoadSty_Click();
        return;
      }
    } else {
      ComboSetText(Combo1, FactoryStyleText(Asc(winTag_, p + 17)));
    }
  }

  MidiMonLog("");
  int number = n;
  TxBankPrg(number, kKindArrFile);
  MidiMonLog(gOutMsg.data);
  StatusShow(0, "");
}

void frmArrU::AskStoreEditedArr() {
  if (!gArrEditLinked || !gArrModified) return;
  const std::string title = EditorCaption();
  if (AskSaveDir(2, title) == kMsgYes) ArrEditBufStore(title);
}

// ---- Opener --------------------------------------------------------------

void RegisterArrFileWindow() {
  Openers().arrFile = [] {
    const int slot = gArrSlotIdx;
    if (slot < 1 || slot > 8) return;
    ShowFormOf(gArrUForms[slot], [] {
      auto* form = new frmArrU();
      form->JoinMainWindow();
      form->Form_Load();
      return form;
    });
  };
  SetArrFileWindowLookup([](int slot) -> ChildView* {
    if (slot < 1 || slot > 8) return nullptr;
    frmArrU* form = gArrUForms[slot];
    return form && !form->Unloading() ? form : nullptr;
  });
}

void FrmArrUReset() {
  for (auto& form : gArrUForms) form = nullptr;
  gLoadAllStyStep = false;
  gStyBankIdx = 0;
  gArrUStyBankCnt = 0;
  gFindIdFileName.clear();
  gSentStyName.clear();
  gSelArrUserSty = false;
  gSelArrUserPrg = false;
  gArrPrgPath.clear();
}

void frmArrU::ShowDbId(int id) { ShowText(Text1, Str(id)); }
