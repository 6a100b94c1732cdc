// The string table: every text that changes with the language, by id.
// Italian texts stand at ids 2-123, English at the same id + 200. A lookup
// asks for id + gLangBase (0 Italian, 200 English). Texts are Latin-1 bytes.
#pragma once

#include <string>

extern int gLangBase;  // 0 Italian, 200 English (set by InitApp)
extern int gLangSel;   // 0 none chosen, 1 Italian, 2 English

// The text of an absolute id (2-123, 202-323); empty for an id without one.
std::string LoadResString(int id);
// The text of id in the current language: LoadResString(id + gLangBase).
std::string Res(int id);
// True when the table holds a text for the absolute id.
bool ResExists(int id);

// The program's title text, which titles the boxes of the MIDI device
// routines and of some save routines ("Brenvolta - Brenvolta v 2.0 ").
extern const std::string kAppTitle;

void StringsReset();  // gLangBase 0, gLangSel 0
