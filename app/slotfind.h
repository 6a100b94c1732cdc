// Finding a free slot and an open window by its file, in the slot tables of
// the document windows (app/slots.h). A slot is in use when its entry in
// gArrSlotUsed, gStySlotUsed or gPrgSlotUsed is not 0 (global windows: the
// record's in-use byte); the record's open or state byte does not count.
// The new-document windows (kinds 22 and 24) keep their own tables
// (gPrgWinOpen, gStyWinOpen) and are not seen here.
#pragma once

#include <string>

// The lowest free slot 1-8 of the arrangement-file, style-file or
// program-file windows, 0 when all 8 are used.
int ArrWinFreeSlot();
int StyWinFreeSlot();
int PrgWinFreeSlot();

// Sets gGblSlotIdx to the lowest of the global-file slots 1-8 whose in-use
// byte is 0, or to 0 when all are used. Slot 0 (the instrument's global
// parameters) is never given out.
void GblWinFreeSlot();

// 1 when an open global-file window (slots 1-8) holds the path, else 0. A
// path whose fourth character from the end is "." is compared without its
// last four characters (the extension); the caller's path is not changed.
int GblWinFind(const std::string& path);

// The lowest slot 1-8 in use whose record holds this path (without
// extension; trailing blanks do not count), 0 when none does.
int ArrWinFind(const std::string& path);
int StyWinFind(const std::string& path);
int PrgWinFind(const std::string& path);

// 1 when one of slots 1-8 is in use and its record holds this path (without
// extension; trailing blanks do not count), else 0. No message.
int ArrFileIsOpen(const std::string& path);
int StyFileIsOpen(const std::string& path);
int PrgFileIsOpen(const std::string& path);

// 1 when the style file of this path (without extension) is open: a
// style-file window shows it, or the arrangement-file window of the same
// path holds it as its own style group (its WinTag position 9 is not 0),
// so that one group never lives in two windows; else 0. No message.
int StyGroupIsOpen(const std::string& path);
