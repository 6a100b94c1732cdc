#include "app/slots.h"

ArrSlotRec gArrSlots[9];
ArrSlotRec gArrSlotCur;
int gArrSlotUsed[9] = {};
ArrNewSlotRec gArrNewSlots[9];
int gArrNewSlotUsed[9] = {};
PrgSlotRec gPrgSlots[17];
PrgSlotRec gPrgSlotCur;
int gPrgSlotUsed[9] = {};
int gPrgWinOpen[9] = {};
StySlotRec gStySlots[9];
StySlotRec gStySlotCur;
int gStySlotUsed[9] = {};
int gStyWinOpen[9] = {};
GblSlotRec gGblSlots[9];
GblSlotRec gGblSlotCur;

int gArrSlotIdx = 0, gArrNewSlotIdx = 0, gStySlotIdx = 0, gStyWinIdx = 0, gPrgSlotIdx = 0, gGblSlotIdx = 0;
int gNewWinKind = 0;
int gNewArrABKind = 0;
int gNewStyABKind = 0;
bool gOpenReadOnly = false;
bool gArrOpenedByMenu = false;
bool gArrSelectPending = false;
int gArrSelectIdx = 0;
int gStyChanged = 0;

int gArrWinCount = 0, gStyWinCount = 0, gPrgWinCount = 0, gToolWinCount = 0, gGblWinCount = 0;

void SlotsReset() {
  for (auto& r : gArrSlots) r = ArrSlotRec();
  gArrSlotCur = ArrSlotRec();
  for (auto& r : gArrNewSlots) r = ArrNewSlotRec();
  for (auto& r : gPrgSlots) r = PrgSlotRec();
  gPrgSlotCur = PrgSlotRec();
  for (auto& r : gStySlots) r = StySlotRec();
  gStySlotCur = StySlotRec();
  for (auto& r : gGblSlots) r = GblSlotRec();
  gGblSlotCur = GblSlotRec();
  for (int i = 0; i < 9; ++i) {
    gArrSlotUsed[i] = gArrNewSlotUsed[i] = gPrgSlotUsed[i] = gPrgWinOpen[i] = 0;
    gStySlotUsed[i] = gStyWinOpen[i] = 0;
  }
  gArrSlotIdx = gArrNewSlotIdx = gStySlotIdx = gStyWinIdx = gPrgSlotIdx = gGblSlotIdx = 0;
  gNewWinKind = gNewArrABKind = gNewStyABKind = 0;
  gOpenReadOnly = false;
  gArrOpenedByMenu = false;
  gArrSelectPending = false;
  gArrSelectIdx = 0;
  gStyChanged = 0;
  gArrWinCount = gStyWinCount = gPrgWinCount = gToolWinCount = gGblWinCount = 0;
}
