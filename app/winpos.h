// Window kinds and their position records.
#pragma once

#include <cstdint>

// WinKind numbers (the first character of a window's WinTag and the index of
// its position record).
enum WinKindNo : int {
  kKindMain = 1,
  kKindArrA = 2,
  kKindArrB = 3,
  kKindPrgA = 4,  // 4-8 program banks A-E
  kKindPrgE = 8,
  kKindDrum = 9,
  kKindPerc = 10,
  kKindFindId = 11,
  kKindEditDBArr = 12,
  kKindEditArr = 13,
  kKindGblParam = 14,
  kKindKeyboard = 15,
  kKindMonitor = 16,
  kKindStyA = 17,
  kKindStyB = 18,
  kKindArrFile = 19,
  kKindArrNew = 20,
  kKindPrgFile = 21,
  kKindPrgNew = 22,
  kKindStyFile = 23,
  kKindStyNew = 24,
  kKindGblFile = 25,
  kKindGuide = 27,
  kKindAbout = 28,
};

// One window's position record: Top, Left, Height, Width in twips, the
// state (0 closed, 1 open, 2 open and minimised; for the main window 0
// normal, 1 minimised, 2 maximised) and one byte the window keeps for itself.
struct WinPosRec {
  int16_t Top = 0;
  int16_t Left = 0;
  int16_t Height = 0;
  int16_t Width = 0;
  uint8_t State = 0;
  uint8_t Extra = 0;
};

// Record k for window kind k (1-28); element 0 is unused.
extern WinPosRec gWinPosTab[29];
// The scratch record through which a window reads and writes its entry.
extern WinPosRec gWinPosCur;

// Clamps a twips value to the signed 16-bit range of the records.
int16_t ClampTwips16(long value);

void WinPosReset();
