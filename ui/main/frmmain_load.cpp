// The main window's load and the restore of the windows of the last run.
#include <QGuiApplication>
#include <QLabel>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QScreen>
#include <QTimer>

#include "app/appstate.h"
#include "app/dbarr.h"
#include "app/menuupdate.h"
#include "services/messages.h"
#include "services/paths.h"
#include "app/recent.h"
#include "app/recentfiles.h"
#include "app/sharedinfo.h"
#include "app/slotfind.h"
#include "app/slots.h"
#include "services/strings.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "core/pathsep.h"
#include "files/arrfile.h"
#include "files/clipboard.h"
#include "files/filecommon.h"
#include "files/prgfile.h"
#include "files/styfile.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "platform/twips.h"
#include "ui/main/childform.h"
#include "ui/main/frmmain.h"
#include "ui/main/openers.h"
#include "ui/main/qt_translations.h"

void frmMain::MDIForm_Load() {
  SetMainView(this);
  gArrWinCount = gStyWinCount = gPrgWinCount = gToolWinCount = gGblWinCount = 0;
  picture1_->setVisible(gOptStatusBar);
  LayoutStatusBar();
  SetLabelCaption("LabelNomeAppl", "Brenvolta v 2.0");
  SetLabelCaption("Label1", "");
  SetLabelCaption("LabelMode", "");
  for (int i = 1; i <= 8; ++i) gPrgSlotUsed[i] = 0;
  gClipText.clear();
  gClipKind = 0;

  // A language other than 1 or 2 never passes the start; should one reach
  // this point the texts are looked up in English.
  if (gLangSel != 1 && gLangSel != 2) gLangBase = 200;
  // The language is settled: the toolkit's own texts follow it.
  FollowToolkitLanguage();
  ApplyCaptions();
  RecentMenuShow();

  for (const char* off : {"mnuTaglia", "mnuCopia", "mnuIncolla", "mnuChiudi", "mnuSalva", "mnuSalvaAs", "mnuWindow"})
    SetMenuEnabled(off, false);
  SetMenuEnabled("mnuModifica", true);

  gMonitorOn = false;
  if (gLangSel == 1) {
    SetMenuChecked("mnuItaliano", true);
    SetMenuChecked("mnuInglese", false);
  } else if (gLangSel == 2) {
    SetMenuChecked("mnuItaliano", false);
    SetMenuChecked("mnuInglese", true);
  }
  SetMenuChecked("mnuCaricaArr", gOptLoadArr);
  SetMenuChecked("mnuCaricaSty", gOptLoadSty);
  SetMenuChecked("mnuCaricaStyNuovoArr", gOptLoadStyNewArr);
  SetMenuChecked("mnuCaricaPrg", gOptLoadPrg);
  SetMenuChecked("mnuRdOnly", gOptReadOnly);
  SetMenuChecked("mnuAddi40DBArr", gOptAutoDB);
  SetMenuChecked("mnuMIDIThru", gMidiThru);
  SetMenuChecked("mnuVisBarraStato", gOptStatusBar);
  SetMenuEnabled("mnuGlobalParam", gGblCurValid == 1 && static_cast<bool>(Openers().gbl));
  picture1_->setVisible(MenuChecked("mnuVisBarraStato"));

  dbArrCheck_ = DBArrCheck();
  SetMenuEnabled("mnuWEditDBArr", dbArrCheck_ == 0 && static_cast<bool>(Openers().editDBArr));
  SetMenuEnabled("mnuAggArr", dbArrCheck_ == 0);
  SetMenuEnabled("mnuWFindID", dbArrCheck_ == 0 && static_cast<bool>(Openers().findId));

  StyFileRead(gStyTemplatePath);

  switch (gInstrMode) {
    case 0: TxModeArrPlay(); break;
    case 1: TxModeSongPlay(); break;
    case 2: TxModeGlobal(); break;
    default: break;
  }

  SetLabelCaption("LabelSty", SharedInfoRead());
  SetLabelCaption("LabelArr", gSentArrName);
  SetLabelCaption("LabelPrg", gSentPrgName);
  if (!LabelCaption("LabelSty").empty()) SetLabelCaption("LabelSty", LabelCaption("LabelSty") + ".sty");
  if (!LabelCaption("LabelArr").empty()) SetLabelCaption("LabelArr", LabelCaption("LabelArr") + ".arr");
  // Only a program name gets the extension: an empty label stays empty.
  if (!LabelCaption("LabelPrg").empty()) SetLabelCaption("LabelPrg", LabelCaption("LabelPrg") + ".prg");

  restoreArmed_ = 0;
  restoreRun_ = 0;
  for (int kind = 2; kind <= 10; ++kind) {
    gWinPosCur = gWinPosTab[kind];
    if (gWinPosCur.State > 0) {
      timerAuto_[kind]->start();
      ++restoreArmed_;
    }
  }
  // The find-by-ID window reopens too, when the database is usable.
  gWinPosCur = gWinPosTab[kKindFindId];
  if (gWinPosCur.State > 0 && dbArrCheck_ == 0) {
    timerAuto_[11]->start();
    ++restoreArmed_;
  }
  if (restoreArmed_ == 0) timerArrU_[1]->start();

  RestoreProgramWindows();

  const WinPosRec& rec = gWinPosTab[kKindMain];
  int state = rec.State;
  QRect place(TwipsToPixels(rec.Left), TwipsToPixels(rec.Top), TwipsToPixels(rec.Width), TwipsToPixels(rec.Height));
  if (state == 0) {
    // A record without a size, or one that lies wholly off every screen,
    // opens maximised rather than out of sight; one that reaches past the
    // screens (recorded on a larger screen, or at a smaller scale) is moved
    // onto them, and made smaller only where it is larger.
    const QScreen* onScreen = nullptr;
    for (QScreen* screen : QGuiApplication::screens())
      if (!onScreen && screen->geometry().intersects(place)) onScreen = screen;
    if (rec.Height <= 0 || rec.Width <= 0 || !onScreen)
      state = 2;
    else
      place = FitInside(place, onScreen->availableVirtualGeometry());
  }
  if (state == 0) {
    setWindowState(Qt::WindowNoState);
    move(place.topLeft());  // a window's position is its frame's
    RestoreOuterSize(place.size());
  } else if (state == 1) {
    setWindowState(Qt::WindowMinimized);
  } else if (state == 2) {
    setWindowState(Qt::WindowMaximized);
  }
  MenuUpdate();
}

void frmMain::RestoreOuterSize(const QSize& outer) {
  // The window is not made on the screen here: made before it is shown, it
  // would take its position as the inside's, not the frame's.
  pendingOuter_ = outer;
  resize(outer);
}

void frmMain::FitOuterSize() {
  if (!pendingOuter_.isValid()) return;
  if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
    pendingOuter_ = QSize();  // the user chose another state meanwhile
    return;
  }
  const QSize frame = frameGeometry().size() - size();
  if (frame.isNull()) return;  // not known yet
  const QSize inner = pendingOuter_ - frame;
  pendingOuter_ = QSize();  // before the resize, whose event comes back here
  resize(inner);
}

// The frame is known once the window is on the screen: at once on some
// platforms, with a window manager when it has put its frame around it.
void frmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FitOuterSize();
}

void frmMain::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  FitOuterSize();
}

void frmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitOuterSize();
}

void frmMain::RestoreProgramWindows() {
  if (!Openers().prg) return;
  for (int i = 1; i <= 8; ++i) {
    gPrgSlotCur = gPrgSlots[i];
    if (gPrgSlotCur.Open == 0) continue;
    gPrgSlotIdx = PrgWinFreeSlot();
    if (gPrgSlotIdx == 0) break;
    if (i > gPrgSlotIdx) {
      // The record moves down to the slot the window takes.
      gPrgSlots[gPrgSlotIdx] = gPrgSlots[i];
      gPrgSlotCur.Open = 0;
      gPrgSlots[i] = gPrgSlotCur;
      gPrgSlotCur = gPrgSlots[gPrgSlotIdx];
    }
    gCurFilePath = WithExtension(RTrim(gPrgSlotCur.Path), gPrgSlotCur.Pgg == 0 ? "prg" : "pgg");
    if (PrgFileRead(gCurFilePath) == 0) {
      gPrgSlotUsed[gPrgSlotIdx] = 1;
      gNewWinKind = 21;
      gPrgFileDir = PathDir(gCurFilePath);
      gPrgFileName = PathFileName(Left(gCurFilePath, static_cast<int>(gCurFilePath.size()) - 4));
      gOpenReadOnly = gPrgSlotCur.ReadOnly != 0;
      PrgWinShow(21);
    } else {
      gPrgSlotCur.Open = 0;
      gPrgSlots[gPrgSlotIdx] = gPrgSlotCur;
      gPrgFileDir.clear();
      gPrgFileName.clear();
    }
  }
}

void frmMain::TimerAuto_Timer(int index) {
  timerAuto_[index]->stop();
  switch (index) {
    case 2: mnuArrA_Click(); break;
    case 3: mnuArrB_Click(); break;
    case 4: case 5: case 6: case 7: case 8: mnuWProg_Click(index); break;
    case 9: mnuDrum_Click(); break;
    case 10: mnuPerc_Click(); break;
    case 11:
      if (Openers().findId) Openers().findId();
      break;
    default:
      return;
  }
  ++restoreRun_;
  // The arrangement-file windows reopen once the last bank window has.
  if (restoreArmed_ == restoreRun_) timerArrU_[1]->start();
}

void frmMain::TimerArrU_Timer(int index) {
  timerArrU_[index]->stop();
  if (!Openers().arrFile) return;
  for (int i = 1; i <= 8; ++i) {
    gArrSlotCur = gArrSlots[i];
    // A slot whose window is already open (a file the user opened before
    // this tick) is no window of the last run: reopening it would open the
    // same file again in the next free slot, and that one again.
    if (gArrSlotCur.Open == 0 || gArrSlotUsed[i] == 1) continue;
    gArrSlotIdx = ArrWinFreeSlot();
    if (gArrSlotIdx == 0) break;
    if (i > gArrSlotIdx) {
      gArrSlots[gArrSlotIdx] = gArrSlots[i];
      gArrSlotCur.Open = 0;
      gArrSlots[i] = gArrSlotCur;
      gArrSlotCur = gArrSlots[gArrSlotIdx];
    }
    gArrSlotUsed[gArrSlotIdx] = 1;
    const std::string path = RTrim(gArrSlotCur.Path);
    gArrFileDir = PathDir(path);
    gArrFileName = PathFileName(path);
    DocumentReadScope together;
    const std::string file = WithExtension(path, "arr");
    ArrDocumentReadTogether(file);
    if (ArrFileRead(file) == 0) {
      gArrOpenedByMenu = false;
      gOpenReadOnly = false;
      Openers().arrFile();
      PrgFileOpenFromDir();
    } else {
      gArrSlotUsed[gArrSlotIdx] = 0;
      gArrSlotCur.Open = 0;
      gArrSlots[gArrSlotIdx] = gArrSlotCur;
    }
  }
}
