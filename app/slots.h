// Slot records and tables of the document windows: at most 8 windows per
// document kind. Each table has a used-slot table (1 used, 0 free) and the
// records that remember each window's file and geometry.
#pragma once

#include <cstdint>
#include <string>

// Arrangement-file windows (kind 19).
struct ArrSlotRec {
  std::string Path = std::string(238, ' ');  // folder, separator and name without extension
  uint8_t Open = 0;                          // 0 closed, 1 open, 2 open and minimised
  int16_t Top = 0, Left = 0, Height = 0, Width = 0;
  uint8_t Carried = 0;                       // settings position 247, carried through
  int16_t DbId = 0;                          // database ID, 0 when none (not stored)
  uint8_t ReadOnly = 0;                      // opened read-only by the user's choice (not stored)
};

// New-arrangement windows (kind 20).
struct ArrNewSlotRec {
  std::string Title = std::string(238, ' ');
  uint8_t State = 0;  // 0 free or closed, 1 open, 2 open and minimised
};

// Program-file windows (kinds 21, 22). Records 1-16 are stored; only 1-8 are used.
struct PrgSlotRec {
  std::string Path = std::string(238, ' ');
  uint8_t Channel = 0;   // the window's MIDI channel index 0-15
  uint8_t Open = 0;
  int16_t Top = 0, Left = 0, Height = 0, Width = 0;
  uint8_t ReadOnly = 0;
  uint8_t Pgg = 0;       // the file is of the .pgg kind
};

// Style-file windows (kinds 23, 24); not stored in the settings file.
struct StySlotRec {
  std::string Path = std::string(238, ' ');
  uint8_t InUse = 0;
  int16_t Top = 0, Left = 0, Height = 0, Width = 0;
  int16_t FromArr = 0;   // 1 when it shows the style group of an arrangement window
  uint8_t ReadOnly = 0;  // opened read-only by the user's choice
};

// Global windows: slot 0 the instrument's global parameters, 1-8 .gbl files.
struct GblSlotRec {
  std::string Path = std::string(238, ' ');
  uint8_t InUse = 0;
  uint8_t ReadOnly = 0;
};

// Tables indexed 1-8 (element 0 unused), programs 1-16, globals 0-8.
extern ArrSlotRec gArrSlots[9];
extern ArrSlotRec gArrSlotCur;
extern int gArrSlotUsed[9];
extern ArrNewSlotRec gArrNewSlots[9];
extern int gArrNewSlotUsed[9];
extern PrgSlotRec gPrgSlots[17];
extern PrgSlotRec gPrgSlotCur;
extern int gPrgSlotUsed[9];
extern int gPrgWinOpen[9];   // new-program windows: 0 free, 1 normal, 2 minimised
extern StySlotRec gStySlots[9];
extern StySlotRec gStySlotCur;
extern int gStySlotUsed[9];
extern int gStyWinOpen[9];   // new-style windows: 0 free, 1 normal, 2 minimised
extern GblSlotRec gGblSlots[9];
extern GblSlotRec gGblSlotCur;

// The slot of the window being opened, read by its load handler.
extern int gArrSlotIdx, gArrNewSlotIdx, gStySlotIdx, gStyWinIdx, gPrgSlotIdx, gGblSlotIdx;
extern int gNewWinKind;     // the kind to open where one window class serves two
extern int gNewArrABKind;   // arrangement bank to open: 2 or 3
extern int gNewStyABKind;   // style bank to open: 17 or 18
extern bool gOpenReadOnly;  // read-only state chosen in the Open dialog
// True when an arrangement window is opened from File > Open Arr or the
// recent-file list (the window's deferred program load reads it).
extern bool gArrOpenedByMenu;
// A selection by ID is pending: the next arrangement or bank window to open
// selects gArrSelectIdx and calls it up.
extern bool gArrSelectPending;
extern int gArrSelectIdx;
// 1 when the routine that changed a style group reopens its style-file
// window: the window's load then keeps the path and geometry of the slot
// record gStySlotIdx instead of starting afresh, and clears the flag.
extern int gStyChanged;

// Open-window counters, +1 in a window's load, -1 in its unload.
extern int gArrWinCount, gStyWinCount, gPrgWinCount, gToolWinCount, gGblWinCount;

void SlotsReset();
