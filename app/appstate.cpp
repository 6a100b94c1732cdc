#include "app/appstate.h"

bool gStarting = false;
bool gStartCancelled = false;
bool gClosing = false;

std::string gAppDir;
std::string gArrAPath, gArrBPath, gPrgBankPath, gStyTemplatePath;
std::string gGuideItPath, gGuideEnPath;

bool gOptReadOnly = false;
int gSetReserved18 = 0;
int gSetReserved19 = 0;
bool gOptLoadStyNewArr = false;
bool gOptLoadSty = false;
bool gOptOpenPrgFile = false;
bool gOptLoadPrg = false;
bool gOptAutoDB = false;
bool gOptStatusBar = false;
bool gOptLoadArr = false;
bool gMidiThru = false;

int gTasSettings[17] = {};

std::string gGblCur(448, '\0');
int gGblCurValid = 0;

std::string gLastDir;
std::string gLastDlgPath;
int gDlgFilterIndex = 1;
int gDBArrLastRec = 999;

int gTwipsPerPixel = 15;
int gArrABBigHeight, gArrABBigWidth;
int gArrUBigHeight, gArrUBigWidth;
int gArrNewBigHeight, gArrNewBigWidth;
int gStyABBigHeight, gStyABBigWidth;
int gStyUNBigHeight, gStyUNBigWidth;
int gPcgAEBigHeight, gPcgAEBigWidth;
int gPrgUNBigHeight, gPrgUNBigWidth;
int gDrumBigHeight, gDrumBigWidth;

void SetEnlargedSizes(int tpp) {
  const bool large = tpp == 12;
  const int h = large ? 4600 : 4810;
  gArrABBigHeight = h;
  gArrABBigWidth = 7780;
  gArrUBigHeight = h;
  gArrUBigWidth = 9040;
  gArrNewBigHeight = h;
  gArrNewBigWidth = 7780;
  gStyABBigHeight = h;
  gStyABBigWidth = 7780;
  gStyUNBigHeight = large ? 5280 : 5560;
  gStyUNBigWidth = 4200;
  gPcgAEBigHeight = h;
  gPcgAEBigWidth = 7780;
  gPrgUNBigHeight = h;
  gPrgUNBigWidth = 7780;
  gDrumBigHeight = large ? 1840 : 1920;
  gDrumBigWidth = 7780;
}

void TasSettingsDefaults() {
  static const int defaults[17] = {0, 0, 1, 0, 2, 100, 64, 64, 64, 0, 0, 64, 0, 0, 0, 0, 60};
  for (int i = 0; i < 17; ++i) gTasSettings[i] = defaults[i];
}

void AppStateReset() {
  gStarting = false;
  gStartCancelled = false;
  gClosing = false;
  gAppDir.clear();
  gArrAPath.clear();
  gArrBPath.clear();
  gPrgBankPath.clear();
  gStyTemplatePath.clear();
  gGuideItPath.clear();
  gGuideEnPath.clear();
  gOptReadOnly = gOptLoadStyNewArr = gOptLoadSty = gOptOpenPrgFile = gOptLoadPrg = false;
  gOptAutoDB = gOptStatusBar = gOptLoadArr = gMidiThru = false;
  gSetReserved18 = gSetReserved19 = 0;
  for (int& v : gTasSettings) v = 0;
  gGblCur.assign(448, '\0');
  gGblCurValid = 0;
  gLastDir.clear();
  gLastDlgPath.clear();
  gDlgFilterIndex = 1;
  gDBArrLastRec = 999;
  gTwipsPerPixel = 15;
  SetEnlargedSizes(15);
}
