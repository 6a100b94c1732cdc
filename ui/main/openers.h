// The windows that the main window opens but that live in their own
// modules register here how they are created and shown. A command or a
// restore step whose window is not part of the program does nothing, and
// its menu item stays disabled.
#pragma once

#include <functional>
#include <string>

class ChildForm;

struct WindowOpeners {
  // Creates (on first use) and shows the window of the slot or kind that the
  // opener's globals name, as File > Open and the restore set them:
  std::function<void()> arrFile;        // frmArrU of gArrSlotIdx
  std::function<void()> arrNew;         // frmArrNew of gArrNewSlotIdx
  std::function<void()> styFile;        // frmStyUN of gStySlotIdx (gStyWinIdx 0)
  std::function<void()> styNew;         // frmStyUN of gStyWinIdx (gStySlotIdx 0)
  std::function<void(int kind)> prg;    // frmPrgUN of gPrgSlotIdx, kind 21 or 22
  std::function<void()> gbl;            // frmGbl of gGblSlotIdx
  std::function<void()> arrBank;        // frmArrAB of gNewArrABKind
  std::function<void()> styBank;        // frmStyAB of gNewStyABKind
  std::function<void()> prgBank;        // frmPcgAE of gNewWinKind (4-8)
  std::function<void()> kitBank;        // frmDrum of gNewWinKind (9, 10)
  std::function<void()> findId;         // frmFindID
  std::function<void()> editDBArr;      // frmEditDBArr
  std::function<void()> keyboard;       // frmTastiera
  std::function<void()> arrEdit;        // frmEditArr on gArrEditBuf (an open one is activated)
  // Unloads the find-by-ID and database windows (the exit's query step).
  std::function<void()> closeDatabaseWindows;
};

WindowOpeners& Openers();

// Openers of the program-file and bank windows, over the registry above.
// PrgWinShow counts the window in and shows the program window of
// gPrgSlotIdx; PrgWinOpen opens a program file (path without extension) in
// a new program window: 0 opened, 1 not (a reader has said why);
// PrgFileOpenFromDir opens the program file of the arrangement file being
// opened when that option is on; ArrBankWinShow shows the bank window of
// gNewArrABKind.
void PrgWinShow(int kind);
int PrgWinOpen(const std::string& path);
void PrgFileOpenFromDir();
void ArrBankWinShow();

// The bank window of kind 2 or 3 when it is open (in the main window and
// not closing), else nullptr; the state byte of its record does not count.
ChildForm* OpenBankWindow(int kind);
