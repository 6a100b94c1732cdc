// The instrument dumps built from a window's document string (WinTag):
// the arrangement bank (function 64h), the program set (4Ch) and one bank of
// four styles (65h). Each leaves the whole message in the data of gOutMsg
// for the caller's monitor echo.
#pragma once

#include <string>

// 64 arrangements from character 303 of tag: 12,002 bytes on the wire.
void TxArrBank(const std::string& tag);
// 64 programs from character 319 and the 2,104-byte block from 23,367:
// 14,992 bytes. In a .pgg document (character 19 Chr(1), or an image that
// begins "KPGG") the first 20 bytes of each reference record go out as
// zeros; the document itself is not changed.
void TxPrgFile(const std::string& tag);

// Builds the dump of style bank 0-3 of the style group in tag into gOutMsg:
// 0 built, 1 when the bank is not complete or cannot be sent (a style
// missing or too long, data past the end of tag); gOutMsg then keeps what it
// held.
int StyMsgBuild(const std::string& tag, int bank);
// Builds and sends it, showing "Loading Style" in the status line: 0 sent,
// 1 nothing shown or sent.
int TxSty(int bank, const std::string& tag);
