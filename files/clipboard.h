// The program's own clipboard (not the system's): a copy of the source
// window's WinTag with its selected lines marked, and that window's kind.
#pragma once

#include <string>

extern std::string gClipText;
extern int gClipKind;

void ClipboardReset();
