// Calling an arrangement or a program up on the instrument: bank select MSB
// (controller 0, always 0), bank select LSB (controller 32) and program
// change; and all notes off. Each leaves the bytes it sent in the data of
// gOutMsg for the caller's monitor echo.
#pragma once

#include <string>

// The arrangement editor's program-pick mode: while True, a program picked
// in a bank, kit or program window goes out on the channel of the editor's
// selected part. gEditArrFieldSel holds the editor's selected-field flags
// (1 = selected), indexes 0-18.
extern bool gPrgPickMode;
extern int gEditArrFieldSel[19];

// The lowest field selected in the arrangement editor, or -1 for none.
int EditArrLowestField();

// The program number that calls up drum kit 0-15 (the kit windows' lines,
// labels 11-18 and 21-28), on bank select LSB 4. Not in ascending order.
inline constexpr int kKitPrograms[16] = {0, 1, 8, 16, 24, 25, 26, 32, 40, 48, 64, 65, 66, 56, 72, 73};

// Working state of TxPrgSelect, kept between calls.
extern int gSelWinKind;
extern unsigned gSelLsbWord;
extern unsigned gSelPrgWord;

// Arrangement number (0-63) of a window of kind code (2, 3 internal banks
// A and B; 19, 20 arrangement files) on the arrangement channel. For code 3
// number is raised by 64 in the caller's variable. A number outside the
// list sends nothing (gOutMsg data empty).
void TxBankPrg(int& number, int code);
// The program or kit of line index of a program-bank, kit or program-file
// window, on that window's channel.
void TxPrgSelect(const std::string& tag, int index);
// Bn 7B 00.
void TxAllNotesOff(int channel);

void CallupReset();
