// The menu commands of the main window: File, Edit, View, Preferences,
// Window and Help.
#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/appstate.h"
#include "app/arrrec.h"
#include "app/clipedit.h"
#include "app/dbarr.h"
#include "app/menuupdate.h"
#include "services/messages.h"
#include "app/openfile.h"
#include "services/paths.h"
#include "app/recent.h"
#include "app/recentfiles.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "app/docsave.h"
#include "files/filecommon.h"
#include "files/gblfile.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "midi/midilink.h"
#include "midi/sysex.h"
#include "platform/files.h"
#include "platform/twips.h"
#include "ui/main/childform.h"
#include "ui/main/frmmain.h"
#include "ui/main/openers.h"

namespace {

// A command is available when the window it opens is part of the program.
struct Command {
  const char* item;
  bool (*available)();
};

bool Always() { return true; }
bool HasArrNew() { return static_cast<bool>(Openers().arrNew); }
bool HasStyNew() { return static_cast<bool>(Openers().styNew); }
bool HasPrg() { return static_cast<bool>(Openers().prg); }
bool HasArrFile() { return static_cast<bool>(Openers().arrFile); }
bool HasStyFile() { return static_cast<bool>(Openers().styFile); }
bool HasGbl() { return static_cast<bool>(Openers().gbl); }
bool HasArrBank() { return static_cast<bool>(Openers().arrBank); }
bool HasStyBank() { return static_cast<bool>(Openers().styBank); }
bool HasPrgBank() { return static_cast<bool>(Openers().prgBank); }
bool HasKitBank() { return static_cast<bool>(Openers().kitBank); }
bool HasKeyboard() { return static_cast<bool>(Openers().keyboard); }

const Command kCommands[] = {
    {"mnuNuovoArr", HasArrNew},   {"mnuNuovoSty", HasStyNew},    {"mnuNuovoPrg", HasPrg},
    {"mnuApriArr", HasArrFile},   {"mnuApriSty", HasStyFile},    {"mnuApriPrg", HasPrg},
    {"mnuApriGbl", HasGbl},       {"mnuArrA", HasArrBank},       {"mnuArrB", HasArrBank},
    {"mnuStyA", HasStyBank},      {"mnuStyB", HasStyBank},       {"mnuWProgA", HasPrgBank},
    {"mnuWProgB", HasPrgBank},    {"mnuWProgC", HasPrgBank},     {"mnuWProgD", HasPrgBank},
    {"mnuWProgE", HasPrgBank},    {"mnuDrum", HasKitBank},       {"mnuPerc", HasKitBank},
    {"mnuTastiera", HasKeyboard}, {"mnuMsgEx", Always},          {"mnuExit", Always},
    {"mnuArrPlay", Always},       {"mnuSongPlay", Always},       {"mnuWCascade", Always},
    {"mnuGuida", Always},         {"mnuInfo", Always},
};

bool AnyFree(const int* used) {
  for (int i = 1; i <= 8; ++i)
    if (used[i] == 0) return true;
  return false;
}

int LowestFree(const int* used) {
  for (int i = 1; i <= 8; ++i)
    if (used[i] == 0) return i;
  return 0;
}

}  // namespace

void frmMain::ConnectCommands() {
  for (auto& [name, action] : items_) {
    if (action->menu() || action->isSeparator()) continue;
    action->setEnabled(false);
  }
  for (const Command& c : kCommands) SetMenuEnabled(c.item, c.available());
  for (const char* toggle : {"mnuCaricaArr", "mnuCaricaSty", "mnuCaricaStyNuovoArr", "mnuCaricaPrg", "mnuRdOnly",
                             "mnuVisBarraStato", "mnuAddi40DBArr", "mnuMIDIThru", "mnuItaliano", "mnuInglese"})
    SetMenuEnabled(toggle, true);

  auto on = [this](const char* item, auto handler) {
    connect(items_[item], &QAction::triggered, this, handler);
  };
  on("mnuNuovoArr", [this] { mnuNuovoArr_Click(); });
  on("mnuNuovoSty", [this] { mnuNuovoSty_Click(); });
  on("mnuNuovoPrg", [this] { mnuNuovoPrg_Click(); });
  on("mnuApriArr", [this] { mnuApriArr_Click(); });
  on("mnuApriSty", [this] { mnuApriSty_Click(); });
  on("mnuApriPrg", [this] { mnuApriPrg_Click(); });
  on("mnuApriGbl", [this] { mnuApriGbl_Click(); });
  for (int i = 0; i < 8; ++i) on(("mnuRecentFile_" + CStr(i)).c_str(), [this, i] { mnuRecentFile_Click(i); });
  on("mnuChiudi", [this] { mnuChiudi_Click(); });
  on("mnuSalva", [this] { mnuSalva_Click(); });
  on("mnuSalvaAs", [this] { mnuSalvaAs_Click(); });
  on("mnuExit", [this] { mnuExit_Click(); });

  on("mnuIngrandisci", [this] { mnuIngrandisci_Click(); });
  on("mnuCopia", [this] { mnuCopia_Click(); });
  on("mnuTaglia", [this] { mnuTaglia_Click(); });
  on("mnuIncolla", [this] { mnuIncolla_Click(); });
  on("mnuLoadAll", [this] { Relay("TimerLoadAll"); });
  on("mnuLoadArr", [this] { Relay("TimerLoadArr"); });
  on("mnuLoadSty", [this] { mnuLoadSty_Click(); });
  on("mnuShowSty", [this] { Relay("TimerShowSty"); });
  on("mnuLoadPrg", [this] { Relay("TimerLoadPrg"); });
  on("mnuShowPrg", [this] { Relay("TimerShowPrg"); });
  on("mnuEditArr", [this] { Relay("TimerEditArr"); });
  on("mnui40DBArr", [this] { mnui40DBArr_Click(); });
  on("mnuArrPlay", [this] { mnuArrPlay_Click(); });
  on("mnuSongPlay", [this] { mnuSongPlay_Click(); });
  on("mnuCancella", [this] { Relay("TimerCancella"); });
  on("mnuDBArrApri", [this] { Relay("TimerApri"); });
  on("mnuAddAll", [this] { Relay("TimerAddAll"); });
  on("mnuWFindID", [this] { mnuWFindID_Click(); });
  on("mnuAggArr", [this] { mnuAggArr_Click(); });

  on("mnuArrA", [this] { mnuArrA_Click(); });
  on("mnuArrB", [this] { mnuArrB_Click(); });
  on("mnuStyA", [this] { mnuStyA_Click(); });
  on("mnuStyB", [this] { mnuStyB_Click(); });
  on("mnuWProgA", [this] { mnuWProg_Click(4); });
  on("mnuWProgB", [this] { mnuWProg_Click(5); });
  on("mnuWProgC", [this] { mnuWProg_Click(6); });
  on("mnuWProgD", [this] { mnuWProg_Click(7); });
  on("mnuWProgE", [this] { mnuWProg_Click(8); });
  on("mnuDrum", [this] { mnuDrum_Click(); });
  on("mnuPerc", [this] { mnuPerc_Click(); });
  on("mnuGlobalParam", [this] { mnuGlobalParam_Click(); });
  on("mnuMsgEx", [this] { mnuMsgEx_Click(); });
  on("mnuWEditDBArr", [this] { mnuWEditDBArr_Click(); });
  on("mnuTastiera", [this] { mnuTastiera_Click(); });

  for (const char* toggle : {"mnuCaricaArr", "mnuCaricaSty", "mnuCaricaStyNuovoArr", "mnuCaricaPrg", "mnuRdOnly",
                             "mnuVisBarraStato", "mnuAddi40DBArr"}) {
    const std::string item = toggle;
    on(toggle, [this, item] { Toggle_Click(item); });
  }
  on("mnuMIDIThru", [this] { mnuMIDIThru_Click(); });
  on("mnuItaliano", [this] { mnuLanguage_Click(1); });
  on("mnuInglese", [this] { mnuLanguage_Click(2); });
  on("mnuWCascade", [this] { mnuWCascade_Click(); });
  on("mnuGuida", [this] { mnuGuida_Click(); });
  on("mnuInfo", [this] { mnuInfo_Click(); });
}

// ---- File ----------------------------------------------------------------

void frmMain::FullTableCheck(const char* item, const int* used) {
  if (!AnyFree(used)) SetMenuEnabled(item, false);
}

void frmMain::OpenCommonMessages(int result) {
  if (result != 2 && result != 3) return;
  gOpCaption = Res(111) + PathFileName(gOpenDlgPath);
  ShowMsg(result == 2 ? 16 : 27, gOpCaption, "");
}

void frmMain::mnuApriArr_Click() {
  if (!Openers().arrFile) return;
  gArrSlotIdx = ArrWinFreeSlot();
  if (gArrSlotIdx == 0) return;
  // The files the open reads (its own and those its windows show) come from
  // one save (ReadDocumentTogether in the open).
  DocumentReadScope together;
  const int result = OpenFile(19);
  if (result != 0) {
    OpenCommonMessages(result);
    return;
  }
  gArrSlotUsed[gArrSlotIdx] = 1;
  gArrOpenedByMenu = true;
  Openers().arrFile();
  PrgFileOpenFromDir();
  FullTableCheck("mnuApriArr", gArrSlotUsed);
  if (gOptAutoDB && !gArrSelectPending) DBArrAutoAdd();
  std::string path = gArrFileDir + kPathSep + gArrFileName + ".arr";
  RecentFileAdd(path, gOpenReadOnly ? 1 : 0);
}

void frmMain::mnuApriSty_Click() {
  if (!Openers().styFile) return;
  gStySlotIdx = StyWinFreeSlot();
  if (gStySlotIdx == 0) return;
  const int result = OpenFile(23);
  if (result != 0) {
    OpenCommonMessages(result);
    return;
  }
  gStySlotUsed[gStySlotIdx] = 1;
  SetMenuEnabled("mnuWindow", true);
  gStySlots[gStySlotIdx].FromArr = 0;
  gStyWinIdx = 0;
  Openers().styFile();
  FullTableCheck("mnuApriSty", gStySlotUsed);
  std::string path = gStyFileDir + kPathSep + gStyFileName + ".sty";
  RecentFileAdd(path, gOpenReadOnly ? 1 : 0);
}

void frmMain::mnuApriPrg_Click() {
  if (!Openers().prg) return;
  gPrgSlotIdx = PrgWinFreeSlot();
  if (gPrgSlotIdx == 0) return;
  const int result = OpenFile(21);
  if (result != 0) {
    OpenCommonMessages(result);
    return;
  }
  gPrgSlotUsed[gPrgSlotIdx] = 1;
  gNewWinKind = 21;
  PrgWinShow(21);
  gCurExt = LCase(gCurExt);
  std::string path = gPrgFileDir + kPathSep + gPrgFileName + "." + gCurExt;
  RecentFileAdd(path, gOpenReadOnly ? 1 : 0);
  FullTableCheck("mnuApriPrg", gPrgSlotUsed);
}

void frmMain::mnuApriGbl_Click() {
  if (!Openers().gbl) return;
  GblWinFreeSlot();
  if (gGblSlotIdx == 0) return;
  const int result = OpenFile(25);
  if (result != 0) {
    OpenCommonMessages(result);
    return;
  }
  Openers().gbl();
  std::string path = gGblFileDir + kPathSep + gGblFileName + ".gbl";
  RecentFileAdd(path, gOpenReadOnly ? 1 : 0);
  GblWinFreeSlot();
  if (gGblSlotIdx == 0) SetMenuEnabled("mnuApriGbl", false);
}

void frmMain::mnuNuovoArr_Click() {
  if (!Openers().arrNew) return;
  if (ArrFileRead(gArrAPath) > 0) {
    ShowMsg(5, kAppTitle, gArrAPath);
    return;
  }
  MidAssign(gArrFileBuf, 33, Nuls(64 * 164));
  gArrNewSlotIdx = LowestFree(gArrNewSlotUsed);
  if (gArrNewSlotIdx != 0) {
    SetMenuEnabled("mnuWindow", true);
    gArrNewSlotUsed[gArrNewSlotIdx] = 1;
    ++gArrWinCount;
    Openers().arrNew();
  }
  FullTableCheck("mnuNuovoArr", gArrNewSlotUsed);
}

void frmMain::mnuNuovoSty_Click() {
  if (!Openers().styNew) return;
  gStyWinIdx = LowestFree(gStyWinOpen);
  if (gStyWinIdx != 0) {
    gCurFilePath = gStyTemplatePath;
    const int r = StyFileRead(gCurFilePath);
    const std::string title = kAppTitle;
    if (r == 1) {
      ShowMsg(4, title, PathFileName(gCurFilePath));
      return;
    }
    if (r == 2) {
      ShowMsg(5, title, PathFileName(gCurFilePath));
      return;
    }
    SetMenuEnabled("mnuWindow", true);
    gStyWinOpen[gStyWinIdx] = 1;
    ++gStyWinCount;
    gStySlotIdx = 0;
    Openers().styNew();
  }
  FullTableCheck("mnuNuovoSty", gStyWinOpen);
}

void frmMain::mnuNuovoPrg_Click() {
  if (!Openers().prg) return;
  gPrgSlotIdx = LowestFree(gPrgWinOpen);
  if (gPrgSlotIdx != 0) {
    const int r = OpenFile(22);
    if (r == 1 || r == 2) return;
    if (r == 3) {
      ShowMsg(27, gOpCaption, "");
      return;
    }
    gPrgWinOpen[gPrgSlotIdx] = 1;
    gNewWinKind = 22;
    PrgWinShow(22);
  }
  FullTableCheck("mnuNuovoPrg", gPrgWinOpen);
}

void frmMain::mnuRecentFile_Click(int index) {
  if (index < 0 || index > 7) return;
  gRecentFileCur = gRecentFiles[index];
  const int kind = gRecentFileCur.Kind;
  static const char* exts[] = {"", "arr", "sty", "prg", "pgg", "gbl"};
  if (kind < 1 || kind > 5) return;
  gCurFilePath = RTrim(gRecentFileCur.Path);
  const std::string path = gCurFilePath;
  gCurExt = exts[kind];
  gOpCaption = Res(111) + PathFileName(path) + "." + gCurExt;
  gLastDir = PathDir(path);
  // An entry that never had its window closed has no size: it opens at the
  // top left with the enlarged size of its window.
  int top = gRecentFileCur.Top, left = gRecentFileCur.Left;
  int height = gRecentFileCur.Height, width = gRecentFileCur.Width;
  auto sized = [&](int bigHeight, int bigWidth) {
    if (height <= 0 || width <= 0) {
      top = left = 0;
      height = bigHeight;
      width = bigWidth;
    }
  };
  const std::string file = WithExtension(path, gCurExt);

  if (kind == 1) {
    if (!Openers().arrFile) return;
    if (ArrFileIsOpen(path) == 1) {
      ShowMsg(16, gOpCaption, "");
      return;
    }
    DocumentReadScope together;
    ArrDocumentReadTogether(file);
    const int r = ArrFileRead(file);
    if (r == 3) ShowMsg(27, gOpCaption, "");
    if (r != 0) return;
    gArrFileDir = gLastDir;
    gArrFileName = PathFileName(path);
    gArrSlotIdx = ArrWinFreeSlot();
    if (gArrSlotIdx == 0) return;
    gArrSlotUsed[gArrSlotIdx] = 1;
    gArrOpenedByMenu = true;
    gOpenReadOnly = gRecentFileCur.Flag != 0;
    sized(gArrUBigHeight, gArrUBigWidth);
    ArrSlotRec& rec = gArrSlots[gArrSlotIdx];
    rec.DbId = 0;
    rec.Open = 1;
    rec.Path = PadRight(path, 238);
    rec.Top = ClampTwips16(top);
    rec.Left = ClampTwips16(left);
    rec.Height = ClampTwips16(height);
    rec.Width = ClampTwips16(width);
    Openers().arrFile();
    FullTableCheck("mnuApriArr", gArrSlotUsed);
  } else if (kind == 2) {
    if (!Openers().styFile) return;
    if (StyGroupIsOpen(path) == 1) {
      ShowMsg(16, gOpCaption, "");
      return;
    }
    const int r = StyFileRead(file);
    if (r == 2) ShowMsg(27, gOpCaption, "");
    if (r == 1 && StyFileReadRefused()) ShowMsg(4, gOpCaption, "");
    if (r != 0) return;
    gStyFileDir = gLastDir;
    gStyFileName = PathFileName(path);
    gStySlotIdx = StyWinFreeSlot();
    if (gStySlotIdx == 0) return;
    gStySlotUsed[gStySlotIdx] = 1;
    SetMenuEnabled("mnuWindow", true);
    gStyWinIdx = 0;
    gOpenReadOnly = gRecentFileCur.Flag != 0;
    sized(gStyUNBigHeight, gStyUNBigWidth);
    StySlotRec& rec = gStySlots[gStySlotIdx];
    rec.FromArr = 0;
    rec.InUse = 1;
    rec.Path = PadRight(path, 238);
    rec.Top = ClampTwips16(top);
    rec.Left = ClampTwips16(left);
    rec.Height = ClampTwips16(height);
    rec.Width = ClampTwips16(width);
    Openers().styFile();
    FullTableCheck("mnuApriSty", gStySlotUsed);
  } else if (kind == 3 || kind == 4) {
    if (!Openers().prg) return;
    if (PrgFileIsOpen(path) == 1) {
      ShowMsg(16, gOpCaption, "");
      return;
    }
    const int r = PrgFileLoad(file);
    if (r == 3) ShowMsg(27, gOpCaption, "");
    if (r != 0 && r != 4) return;
    gPrgSlotIdx = PrgWinFreeSlot();
    if (gPrgSlotIdx == 0) return;
    gPrgSlotUsed[gPrgSlotIdx] = 1;
    gNewWinKind = 21;
    gPrgFileDir = PathDir(path);
    gPrgFileName = PathFileName(path);
    gOpenReadOnly = gRecentFileCur.Flag != 0;
    sized(gPrgUNBigHeight, gPrgUNBigWidth);
    PrgSlotRec& rec = gPrgSlots[gPrgSlotIdx];
    rec.Open = 1;
    rec.Top = ClampTwips16(top);
    rec.Left = ClampTwips16(left);
    rec.Height = ClampTwips16(height);
    rec.Width = ClampTwips16(width);
    PrgWinShow(21);
    FullTableCheck("mnuApriPrg", gPrgSlotUsed);
  } else {
    if (!Openers().gbl) return;
    GblWinFreeSlot();
    if (gGblSlotIdx == 0) return;
    if (GblWinFind(path) == 1) {
      ShowMsg(16, gOpCaption, "");
      return;
    }
    const int r = GblFileRead(file);
    if (r == 3) ShowMsg(27, gOpCaption, "");
    if (r != 0) return;
    gGblFileDir = gLastDir;
    gGblFileName = PathFileName(path);
    gOpenReadOnly = gRecentFileCur.Flag != 0;
    Openers().gbl();
    GblWinFreeSlot();
    if (gGblSlotIdx == 0) SetMenuEnabled("mnuApriGbl", false);
  }
}

void frmMain::mnuChiudi_Click() {
  if (ChildForm* child = ActiveForm()) child->close();
}

void frmMain::mnuSalva_Click() {
  ChildForm* child = ActiveForm();
  if (!child) return;
  // An untitled document, and the global parameters (which have no file of
  // their own), go through Save As.
  if (Asc(child->WinTag(), 18) == 1 || child->Kind() == kKindGblParam) {
    FileSaveAs(child->WinTag(), child);
  } else if (MenuChecked("mnuRdOnly") && child->Kind() >= kKindArrFile && child->Kind() <= kKindGblFile) {
    // The read-only preference keeps every open file as it is, as a
    // read-only window does; the close prompt's Yes still saves.
    ShowMsg(17, WinCaption(child->WinTag()), "");
  } else {
    FileSave(child->WinTag(), child);
  }
  MenuUpdate();
}

void frmMain::mnuSalvaAs_Click() {
  ChildForm* child = ActiveForm();
  if (!child) return;
  FileSaveAs(child->WinTag(), child);
  MenuUpdate();
}

void frmMain::mnuExit_Click() { close(); }

// ---- Edit ----------------------------------------------------------------

void frmMain::mnuIngrandisci_Click() {
  ChildForm* child = ActiveForm();
  if (!child) return;
  const WindowSize size = EnlargedSizeOfKind(child->Kind());
  if (size.height == 0) return;
  // A minimised or maximised window first returns to the normal state.
  if (child->WindowStateNo() != 0) child->showNormal();
  child->SetSizeTwips(size.height, size.width);
}

void frmMain::mnuCopia_Click() {
  // Copy takes the selected lines: with none it would only empty the
  // clipboard.
  ChildForm* child = ActiveForm();
  if (!child || !AnyLineSelected(*child)) return;
  CopyLines();
}

void frmMain::mnuTaglia_Click() {
  ChildForm* child = ActiveForm();
  if (!child) return;
  if (RefusedReadOnly(*child)) return;
  // Only a document's selected lines are cut: a stale item or the Delete
  // key with nothing selected leaves the clipboard as it is.
  const int kind = child->Kind();
  if (kind != kKindEditDBArr && (kind < kKindArrFile || kind > kKindStyNew || !AnyLineSelected(*child))) return;
  // The editor holding a selected arrangement of this window closes first,
  // through its own prompt; a Cancel there cuts nothing.
  if (kind == kKindArrFile && ArrEditLinkedTo(Asc(child->WinTag(), 15)) &&
      child->ListSelected(Asc(gArrEditBuf, 326)) && !CloseArrEditor())
    return;
  CopyLines();
  gCutKind = kind;
  switch (kind) {
    case kKindEditDBArr:
      Relay("TimerCancella");
      break;
    case kKindArrFile: case kKindArrNew:
      CutArr();
      break;
    case kKindPrgFile: case kKindPrgNew:
      CutPrg();
      break;
    default:
      CutSty();
      break;
  }
}

void frmMain::mnuIncolla_Click() {
  ChildForm* child = ActiveForm();
  if (!child || RefusedReadOnly(*child)) return;
  gCutKind = child->Kind();
  switch (gCutKind) {
    case kKindArrFile: case kKindArrNew:
      PasteArr();
      break;
    case kKindPrgFile: case kKindPrgNew:
      PastePrg();
      break;
    case kKindStyFile: case kKindStyNew:
      PasteSty();
      break;
    default:
      break;
  }
}

void frmMain::Relay(const std::string& timerName) {
  if (ChildForm* child = ActiveForm()) child->StartTimer(timerName);
}

void frmMain::mnuLoadSty_Click() {
  ChildForm* child = ActiveForm();
  if (!child) return;
  const int kind = child->Kind();
  if (kind == kKindStyFile || kind == kKindStyNew) {
    const int group = child->ListIndex() < 0 ? 0 : child->ListIndex() / 5;
    child->StartTimer("TimerLoadStyGrp_" + CStr(group));
  } else {
    child->StartTimer("TimerLoadSty");
  }
}

void frmMain::mnui40DBArr_Click() {
  ChildForm* child = ActiveForm();
  if (!child || child->Kind() != kKindArrFile) return;
  // The window's own add-to-database command runs once, after this handler.
  QPointer<ChildForm> target = child;
  QTimer::singleShot(0, this, [target] {
    if (!target) return;
    if (auto* add = target->findChild<QAbstractButton*>("CommAdd"); add && add->isEnabled()) add->click();
  });
}

void frmMain::mnuArrPlay_Click() { TxModeArrPlay(); }
void frmMain::mnuSongPlay_Click() { TxModeSongPlay(); }

void frmMain::mnuWFindID_Click() {
  if (!Openers().findId) return;
  SetMenuEnabled("mnuWindow", true);
  Openers().findId();
}

void frmMain::mnuAggArr_Click() {
  if (timer0_->interval() >= 1) {
    StatusShow(8, "r40DBArr");
    timer0_->start();
    return;
  }
  timer0_->setInterval(10);
  DBArrUpdate();
  StatusShow(0, "");
}

void frmMain::Timer_Timer() {
  timer0_->stop();
  timer0_->setInterval(0);
  mnuAggArr_Click();
}

// ---- View ----------------------------------------------------------------

void frmMain::mnuArrA_Click() {
  if (!Openers().arrBank) return;
  gNewArrABKind = 2;
  if (ArrFileRead(gArrAPath) > 0) {
    ShowMsg(14, "", "");
    return;
  }
  ArrBankWinShow();
}

void frmMain::mnuArrB_Click() {
  if (!Openers().arrBank) return;
  gNewArrABKind = 3;
  if (ArrFileRead(gArrBPath) > 0) {
    ShowMsg(15, "", "");
    return;
  }
  ArrBankWinShow();
}

void frmMain::mnuStyA_Click() {
  if (!Openers().styBank) return;
  gNewStyABKind = 17;
  Openers().styBank();
}

void frmMain::mnuStyB_Click() {
  if (!Openers().styBank) return;
  gNewStyABKind = 18;
  Openers().styBank();
}

void frmMain::mnuWProg_Click(int kind) {
  if (!Openers().prgBank) return;
  static const char* items[] = {"mnuWProgA", "mnuWProgB", "mnuWProgC", "mnuWProgD", "mnuWProgE"};
  gNewWinKind = kind;
  SetMenuEnabled(items[kind - 4], false);
  SetMenuEnabled("mnuWindow", true);
  SetMenuEnabled("mnuChiudi", true);
  ++gPrgWinCount;
  Openers().prgBank();
}

void frmMain::mnuDrum_Click() {
  if (!Openers().kitBank) return;
  gNewWinKind = 9;
  SetMenuEnabled("mnuDrum", false);
  ++gPrgWinCount;
  Openers().kitBank();
}

void frmMain::mnuPerc_Click() {
  if (!Openers().kitBank) return;
  gNewWinKind = 10;
  SetMenuEnabled("mnuPerc", false);
  ++gPrgWinCount;
  Openers().kitBank();
}

void frmMain::mnuGlobalParam_Click() {
  if (!Openers().gbl) return;
  SetMenuEnabled("mnuGlobalParam", false);
  gGblSlotIdx = 0;
  Openers().gbl();
}

void frmMain::mnuMsgEx_Click() {
  SetMenuEnabled("mnuWindow", true);
  if (!msgEx_) {
    msgEx_ = new frmMsgEx();
    msgEx_->Form_Load(this);
  }
  msgEx_->show();
  mdi_->setActiveSubWindow(msgEx_);
  SetMenuEnabled("mnuMsgEx", false);
  gMonitorOn = true;
}

void frmMain::mnuWEditDBArr_Click() {
  if (Openers().editDBArr) Openers().editDBArr();
}

void frmMain::mnuTastiera_Click() {
  if (Openers().keyboard) Openers().keyboard();
}

// ---- Preferences ---------------------------------------------------------

void frmMain::Toggle_Click(const std::string& item) {
  // The action has already toggled its own mark.
  const bool now = MenuChecked(item);
  if (item == "mnuCaricaSty") gOptLoadSty = now;
  if (item == "mnuCaricaStyNuovoArr") gOptLoadStyNewArr = now;
  if (item == "mnuCaricaPrg") gOptLoadPrg = now;
  if (item == "mnuRdOnly") {
    // Save, Cut and Paste of the documents already open follow at once.
    gOptReadOnly = now;
    MenuUpdate();
  }
  if (item == "mnuCaricaArr") gOptLoadArr = now;
  if (item == "mnuVisBarraStato") {
    gOptStatusBar = now;
    picture1_->setVisible(now);
  }
  if (item == "mnuAddi40DBArr") {
    gOptAutoDB = now;
    for (QMdiSubWindow* w : mdi_->subWindowList()) {
      auto* child = dynamic_cast<ChildForm*>(w);
      if (!child || child->Kind() != kKindArrFile) continue;
      const int slot = Asc(child->WinTag(), 15);
      if (slot < 1 || slot > 8 || gArrSlots[slot].Open == 0) continue;
      if (auto* add = child->findChild<QAbstractButton*>("CommAdd")) add->setEnabled(!now);
    }
  }
}

void frmMain::mnuMIDIThru_Click() {
  // The action has already toggled its mark: on now means it was off.
  if (MenuChecked("mnuMIDIThru")) {
    MidiThruOn();
    MidiInStart();
  } else {
    MidiThruOff();
    MidiInStop();
  }
  gMidiThru = MenuChecked("mnuMIDIThru");
}

void frmMain::mnuLanguage_Click(int language) {
  if (gLangSel == language) {
    // Choosing the language in use changes nothing (the mark stays).
    SetMenuChecked(language == 1 ? "mnuItaliano" : "mnuInglese", true);
    return;
  }
  gLangSel = language;
  SetMenuChecked("mnuItaliano", language == 1);
  SetMenuChecked("mnuInglese", language == 2);
  ShowMsg(24, Res(84), "");
}

// ---- Window --------------------------------------------------------------

void frmMain::mnuWCascade_Click() {
  int left = 0, top = 0;
  ChildForm* last = nullptr;
  // Moves one open window in the normal state; the recorded groups get the
  // advanced place as their record's Top and Left.
  auto place = [&](ChildForm* child, int16_t* recTop, int16_t* recLeft) {
    if (!child || child->WindowStateNo() != 0 || !child->isVisible()) return;
    child->move(TwipsToPixels(left), TwipsToPixels(top));
    child->setFocus();
    mdi_->setActiveSubWindow(child);
    last = child;
    left += 300;
    top += 330;
    if (recTop) *recTop = ClampTwips16(top);
    if (recLeft) *recLeft = ClampTwips16(left);
  };
  const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
  auto find = [&](int kind, int slot) -> ChildForm* {
    for (QMdiSubWindow* w : windows) {
      auto* child = dynamic_cast<ChildForm*>(w);
      if (!child || child->Unloading() || child->Kind() != kind) continue;
      if (slot < 0 || Asc(child->WinTag(), 15) == slot) return child;
    }
    return nullptr;
  };
  for (int i = 1; i <= 8; ++i)
    if (gArrSlots[i].Open == 1) place(find(kKindArrFile, i), &gArrSlots[i].Top, &gArrSlots[i].Left);
  for (int i = 1; i <= 8; ++i)
    if (gArrNewSlots[i].State == 1) place(find(kKindArrNew, i), nullptr, nullptr);
  for (int i = 1; i <= 8; ++i)
    if (gStySlots[i].InUse == 1) place(find(kKindStyFile, i), &gStySlots[i].Top, &gStySlots[i].Left);
  for (int i = 1; i <= 8; ++i)
    if (gStyWinOpen[i] == 1) place(find(kKindStyNew, i), nullptr, nullptr);
  for (int i = 1; i <= 8; ++i)
    if (gPrgSlots[i].Open == 1) place(find(kKindPrgFile, i), &gPrgSlots[i].Top, &gPrgSlots[i].Left);
  for (int i = 1; i <= 8; ++i)
    if (gPrgWinOpen[i] == 1) place(find(kKindPrgNew, i), nullptr, nullptr);
  for (int i = 0; i <= 8; ++i)
    if (gGblSlots[i].InUse == 1) place(find(i == 0 ? kKindGblParam : kKindGblFile, i == 0 ? -1 : i), nullptr, nullptr);
  for (int kind = 2; kind <= 28; ++kind) {
    if (kind == 14 || (kind >= 19 && kind <= 26)) continue;
    if (gWinPosTab[kind].State == 1) place(find(kind, -1), &gWinPosTab[kind].Top, &gWinPosTab[kind].Left);
  }
  if (last) mdi_->setActiveSubWindow(last);
}

// ---- Help ----------------------------------------------------------------

void frmMain::mnuGuida_Click() {
  std::string path, tag;
  if (gLangSel == 1) {
    path = gGuideItPath;
    tag = "GuidaUtente.txt";
  } else if (gLangSel == 2) {
    path = gGuideEnPath;
    tag = "UserGuide.txt";
  }
  gOpCaption = Res(111) + PathFileName(path);
  std::string data;
  const size_t skip = tag.size() + 2;
  const bool ok = !path.empty() && ReadWholeFile(path, data) == 0 && data.size() >= tag.size() &&
                  data.compare(0, tag.size(), tag) == 0 &&
                  (data.size() <= skip || data.size() - skip <= static_cast<size_t>(kGuideTextLen));
  if (!ok) {
    ShowMsg(27, gOpCaption, "");
    return;
  }
  gGuideText.assign(kGuideTextLen, ' ');
  if (data.size() > skip) gGuideText.replace(0, data.size() - skip, data, skip, data.size() - skip);
  if (!guida_) {
    guida_ = new frmGuida();
    guida_->Form_Load(this);
  } else {
    guida_->ShowText();
  }
  guida_->show();
  mdi_->setActiveSubWindow(guida_);
}

void frmMain::mnuInfo_Click() {
  if (!about_) {
    about_ = new frmAbout();
    about_->Form_Load(this);
  }
  about_->show();
  mdi_->setActiveSubWindow(about_);
}
