#include "app/winpos.h"

WinPosRec gWinPosTab[29];
WinPosRec gWinPosCur;

int16_t ClampTwips16(long value) {
  if (value < -32768) return -32768;
  if (value > 32767) return 32767;
  return static_cast<int16_t>(value);
}

void WinPosReset() {
  for (WinPosRec& r : gWinPosTab) r = WinPosRec();
  gWinPosCur = WinPosRec();
}
