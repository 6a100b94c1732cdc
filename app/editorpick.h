// The picks of the arrangement editor. While one of its program fields is
// highlighted (gPrgPickMode), a click in a program-bank, kit or program-file
// window hands that program to the editor; while its style field is
// highlighted (gStyPickMode, app/arrrec.h), a click in a style-bank or
// style-file window hands it that style. The windows call the two routines
// below; the editor installs the interface through which they reach it.
// Without an editor, or with the editor closed, nothing is picked.
#pragma once

#include <string>

class ArrEditorPicks {
 public:
  virtual ~ArrEditorPicks() = default;
  // True while the editor window is open.
  virtual bool EditorOpen() const = 0;
  // Shows text in the editor's field box Text1(field), 0-19.
  virtual void SetFieldText(int field, const std::string& text) = 0;
  // The style of line listIndex of a style window (its WinTag tag) into the
  // edit record: 1 when the record took it, 0 when nothing changed.
  virtual int EditArrStySet(int listIndex, const std::string& tag) = 0;
  // Shows the edit record (gArrEditBuf) anew in every control of the editor.
  virtual void EditArrFill() = 0;
};

// Installed by the editor's module (not owned); nullptr when there is none.
void SetArrEditorPicks(ArrEditorPicks* picks);
ArrEditorPicks* TheArrEditorPicks();

// The program of line index of a program-bank (kinds 4-8), kit (9, 10) or
// program-file (21, 22) window, tag that window's WinTag, into the track of
// the editor's lowest highlighted field, when that field is a program field
// (2, 4, ... 18) of the open editor: the program number at gArrEditBuf
// character 40 + 8t, the bank code at 41 + 8t and the 16-character name at
// 181 + 16t, the name in the field's box and its place ("A  11", "Dr  26",
// "U  18") in the next one. A reference record of a program file (first
// byte 1) picks the internal program or kit it names, read with its bytes
// And 7Fh; one that names no known program or kit picks nothing. Sends
// nothing. 1 when it wrote, 0 when it changed nothing.
int PrgPickToEditor(int index, const std::string& tag);

// The style pick, handed to the open editor: 1 when the edit record took
// the style, 0 when not (no editor included).
int EditArrStySet(int listIndex, const std::string& tag);

// The open editor shows the edit record anew (after an arrangement-file
// window rebuilt it); without an open editor nothing happens.
void EditArrFill();

// The place of a program as the editor's bank field shows it: the prefix
// ("A " to "E ", "Dr ", "U "), Str(place \ 8 + 1) and LTrim(Str(place Mod 8
// + 1)), "A  11" for place 0. A pick and a refill show the same text.
std::string ProgramPlaceText(const std::string& prefix, int place);

// The program of track t (0-8) of the edit record as the editor shows it:
// its name (16 characters as stored) and, for a name that is not blank, its
// place (ProgramPlaceText). By the bank code at character 41 + 8t: 0 and 1
// the internal banks A-D, 2 bank E, read at the program number (character
// 40 + 8t) less 64 from 64 on; 3 the file's own program, its name at 181 +
// 16t; 4 a kit of the kit table (0-15). A program beyond its table, or
// another code, has no name and no place.
struct TrackProgramText {
  std::string name;
  std::string place;
};
TrackProgramText TrackProgramShown(int t);

void EditorPickReset();  // no editor installed
