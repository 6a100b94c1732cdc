// Shared state of the start-up and the settings: flags of the run, the
// program folder and its fixed files, the options, the keyboard settings,
// the kept global block, the dialog folders and the enlarged window sizes.
#pragma once

#include <string>

// Booleans follow the design: True is -1, False 0.
constexpr int kTrue = -1;
constexpr int kFalse = 0;

extern bool gStarting;        // from the first step of Main until frmMain is shown
extern bool gStartCancelled;  // the language choice was cancelled: the program ends
extern bool gClosing;         // the program is closing

extern std::string gAppDir;   // the program folder (the current directory)
extern std::string gArrAPath, gArrBPath, gPrgBankPath, gStyTemplatePath;
extern std::string gGuideItPath, gGuideEnPath;

// Options (settings record 1).
extern bool gOptReadOnly;       // 17
extern int gSetReserved18;      // 18, written back as read
extern int gSetReserved19;      // 19, written back as read
extern bool gOptLoadStyNewArr;  // 20
extern bool gOptLoadSty;        // 21
extern bool gOptOpenPrgFile;    // 22
extern bool gOptLoadPrg;        // 23
extern bool gOptAutoDB;         // 26
extern bool gOptStatusBar;      // 27
extern bool gOptLoadArr;        // 28
extern bool gMidiThru;          // 46

// The on-screen keyboard's 16 settings, elements 1-16 (element 0 unused).
extern int gTasSettings[17];

// The global block kept from the last run (448 bytes) and whether it holds one.
extern std::string gGblCur;
extern int gGblCurValid;

extern std::string gLastDir;      // last folder of the file dialogs
extern std::string gLastDlgPath;  // last path handed to the file dialogs
extern int gDlgFilterIndex;       // filter of the file dialogs (1 = arrangements)
extern int gDBArrLastRec;         // upper bound of the database's ID scan

// Screen and enlarged window sizes (twips).
extern int gTwipsPerPixel;
extern int gArrABBigHeight, gArrABBigWidth;
extern int gArrUBigHeight, gArrUBigWidth;
extern int gArrNewBigHeight, gArrNewBigWidth;
extern int gStyABBigHeight, gStyABBigWidth;
extern int gStyUNBigHeight, gStyUNBigWidth;
extern int gPcgAEBigHeight, gPcgAEBigWidth;
extern int gPrgUNBigHeight, gPrgUNBigWidth;
extern int gDrumBigHeight, gDrumBigWidth;

// Sets the eight enlarged-size pairs for a screen of tpp twips per pixel
// (12 means large fonts).
void SetEnlargedSizes(int tpp);

// The keyboard settings of a first start.
void TasSettingsDefaults();

void AppStateReset();
