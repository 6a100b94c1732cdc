// frmArrU: the transfers to the instrument. Each is a two-phase step on its
// own timer, whose interval is the step's state (10 idle): the bank, the
// styles one bank of four at a time, the programs (from an open program
// window or from the file), Load All, and the find-by-ID chain that sends
// what the instrument lacks before it calls the selected arrangement up.
// A step that waits on another holds its waiting code (11 bank, 12 styles)
// and is re-armed by the other's end; every end, failed or not, re-arms
// what waits on it. A file is recorded in the info file as held by the
// instrument only when every dump of it was handed to the output without
// error (SentWithoutError; a style transfer over its timers counts the
// failures of its banks, gTxFailCount).
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/arrrec.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "services/paths.h"
#include "app/sharedinfo.h"
#include "app/slots.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "files/filecommon.h"
#include "files/prgfile.h"
#include "files/stygrp.h"
#include "midi/callup.h"
#include "midi/dumps.h"
#include "midi/midilink.h"
#include "midi/monitor.h"
#include "midi/sysex.h"
#include "ui/documents/frmarru.h"
#include "ui/documents/listclicks.h"
#include "ui/main/frmmain.h"
#include "ui/main/steptimer.h"

namespace {

// The document of the program-file window of a slot, or nullptr when that
// window is not open.
const std::string* ProgramWindowTag(int slot) {
  frmMain* main = frmMain::Instance();
  if (!main) return nullptr;
  for (QMdiSubWindow* w : main->MdiArea()->subWindowList()) {
    auto* child = dynamic_cast<ChildForm*>(w);
    if (child && !child->Unloading() && child->Kind() == 21 && Asc(child->Tag(), 15) == slot)
      return &child->Tag();
  }
  return nullptr;
}

}  // namespace

// ---- The bank --------------------------------------------------------------

void frmArrU::CommLoadArr_Click() {
  AskStoreEditedArr();
  if (TimerLoadArr->interval() == 10) {
    StatusShow(3, "");
    TimerLoadArr->setInterval(9);
    TimerLoadArr->SetEnabled(true);
    return;
  }
  TxModeSongPlay();
  TxModeArrPlay();
  MidiMonLog("");
  if (SentWithoutError([&] { TxArrBank(winTag_); })) SharedInfoPutArr(winTag_);
  StatusShow(0, "");
  TimerLoadArr->setInterval(10);
  ResumeFindChain(800);
  if (TimerList1->interval() == 11) TimerList1->SetEnabled(true);
}

// ---- The styles ------------------------------------------------------------

void frmArrU::CommLoadSty_Click() {
  if (TimerTxSty[0]->interval() == 10) {
    gArrUStyBankCnt = StyBankCount(winTag_);
    if (gArrUStyBankCnt == 0) {
      // Nothing to send: the step ends at once, and what waits goes on.
      EndStyleStep(false);
      return;
    }
    gStyBankIdx = 0;
    styFails_ = gTxFailCount;
    TimerTxSty[1]->setInterval(1000);
    StatusShow(2, "");
    TimerTxSty[0]->setInterval(20);
    TimerTxSty[0]->SetEnabled(true);
    return;
  }
  if (gStyBankIdx < gArrUStyBankCnt && TxSty(gStyBankIdx, winTag_) == 0) {
    ++gStyBankIdx;
    TimerTxSty[1]->SetEnabled(true);
    return;
  }
  // All banks sent, or one failed.
  EndStyleStep(true);
}

void frmArrU::EndStyleStep(bool sent) {
  StatusShow(0, "");
  TimerTxSty[0]->setInterval(10);
  TimerTxSty[0]->SetEnabled(false);
  TimerTxSty[1]->SetEnabled(false);
  if (sent) {
    // Held when a bank went out and every bank sent was handed over
    // without error. The banks past the group's used part hold no styles
    // and cannot be built; the step ends at the first of them.
    if (gStyBankIdx > 0 && gTxFailCount == styFails_) SharedInfoPutSty(winTag_);
    // The selected arrangement picks the new styles up.
    const int n = SelectedCurrentLine(List1);
    if (n >= 0) {
      int number = n;
      TxBankPrg(number, kKindArrFile);
    }
  }
  // Load All of this window waits at 800 for its style step.
  if (gLoadAllStyStep && TimerLoadAll->interval() == 800) {
    TimerLoadAll->setInterval(800);
    TimerLoadAll->SetEnabled(true);
  }
  if (TimerList1->interval() == 12) TimerList1->SetEnabled(true);
  ResumeFindChain(820);
}

// ---- The programs ----------------------------------------------------------

void frmArrU::CommLoadPrg_Click() {
  if (TimerLoadPrg->interval() == 10) {
    gCurFilePath = RTrim(Mid(winTag_, 21, 238));
    int found = 0;
    for (int i = 1; i <= 8 && found == 0; ++i)
      if (gPrgSlotUsed[i] != 0 && RTrim(gPrgSlots[i].Path) == gCurFilePath) found = i;
    if (found != 0) {
      gPrgSlotIdx = found;
      gCurExt = gPrgSlots[found].Pgg != 0 ? "pgg" : "prg";
      TimerLoadPrg->setInterval(9);
    } else {
      const int r = PrgFileLoad(gCurFilePath);
      if (r != 0 && r != 4) {
        // The loader has said why; a waiting find chain calls up without
        // the programs.
        ResumeFindChain(40);
        return;
      }
      TimerLoadPrg->setInterval(7);
    }
  }

  switch (TimerLoadPrg->interval()) {
    case 7:
    case 9:
      StatusShow(4, "");
      TimerLoadPrg->setInterval(TimerLoadPrg->interval() == 7 ? 6 : 8);
      TimerLoadPrg->SetEnabled(true);
      return;
    case 6: {
      // A document-shaped string for the dump: the image at 271, and for a
      // .pgg the flag that sends its reference records as zeros.
      std::string doc = Space(270) + gPrgFileBuf;
      if (gCurExt == "pgg") MidAssign(doc, 19, Chr(1));
      if (SentWithoutError([&] { TxPrgFile(doc); }))
        SharedInfoPutPrg(PadRight(Space(20) + gCurFilePath, 270), gCurExt);
      break;
    }
    case 8:
      if (const std::string* doc = ProgramWindowTag(gPrgSlotIdx)) {
        if (SentWithoutError([&] { TxPrgFile(*doc); })) SharedInfoPutPrg(*doc, gCurExt);
      }
      break;
    default:
      return;
  }
  TimerLoadPrg->setInterval(10);
  StatusShow(0, "");
  ResumeFindChain(40);
}

// ---- Load All --------------------------------------------------------------

void frmArrU::CommLoadAll_Click() {
  MidiMonLog("");
  switch (TimerLoadAll->interval()) {
    case 10:
      StatusShow(3, "");
      TimerLoadAll->setInterval(11);
      TimerLoadAll->SetEnabled(true);
      break;
    case 11:
      if (SentWithoutError([&] { TxArrBank(winTag_); })) SharedInfoPutArr(winTag_);
      StatusShow(0, "");
      TimerLoadAll->setInterval(820);
      TimerLoadAll->SetEnabled(true);
      break;
    case 820:
      StatusShow(2, "");
      TimerLoadAll->setInterval(12);
      TimerLoadAll->SetEnabled(true);
      break;
    case 12:
      // The style step's end starts the timer again with 800.
      TimerLoadAll->setInterval(800);
      if (Asc(winTag_, 9) != 2) {
        // No style group of the file's own (the empty template stands in):
        // its "- empty -" styles must never overwrite the instrument's.
        StatusShow(0, "");
        TimerLoadAll->SetEnabled(true);
        break;
      }
      gLoadAllStyStep = true;
      CommLoadSty_Click();
      break;
    case 800:
      gLoadAllStyStep = false;
      TimerLoadAll->setInterval(10);
      CommLoadPrg_Click();
      break;
    default:
      break;
  }
}

// ---- Find by ID ------------------------------------------------------------

void frmArrU::ResumeFindChain(int code) {
  if (!gArrSelectPending || !findChain_) return;
  TimerFindID->setInterval(code);
  TimerFindID->SetEnabled(true);
}

void frmArrU::TimerFindID_Timer() {
  TimerFindID->SetEnabled(false);
  gArrSelectPending = true;
  findChain_ = true;
  switch (TimerFindID->interval()) {
    case 10:
      gFindIdFileName = FileName();
      // A missing or empty info file names nothing as held.
      gSentArrName.clear();
      gSentPrgName.clear();
      gSentStyName = SharedInfoRead();
      if (MainMenuChecked("mnuCaricaArr") && gSentArrName != gFindIdFileName) {
        CommLoadArr_Click();
        return;
      }
      TimerFindID->setInterval(20);
      TimerFindID->SetEnabled(true);
      break;
    case 20:
    case 800:
      if (MainMenuChecked("mnuCaricaSty") && gSelArrUserSty && Asc(winTag_, 9) == 2 &&
          gSentStyName != gFindIdFileName) {
        CommLoadSty_Click();
        return;
      }
      TimerFindID->setInterval(30);
      TimerFindID->SetEnabled(true);
      break;
    case 30:
    case 820:
      if (MainMenuChecked("mnuCaricaPrg") && gSelArrUserPrg && gSentPrgName != gFindIdFileName) {
        CommLoadPrg_Click();
        return;
      }
      TimerFindID->setInterval(40);
      TimerFindID->SetEnabled(true);
      break;
    case 40:
      List1_Click();
      gArrSelectPending = false;
      findChain_ = false;
      TimerFindID->setInterval(10);
      break;
    default:
      break;
  }
}
