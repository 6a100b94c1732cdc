// The arrangement record (164 bytes) inside a document string, and the
// arrangement editor's edit record ArrEditBuf (567 characters): built from
// an arrangement-file window, stored back into it; records cleared and
// pasted in place.
#pragma once

#include <functional>
#include <string>

#include "files/arrfile.h"

class ChildView;

// kArrRecLen (164) is the record length of files/arrfile.h.
constexpr int kArrEditBufLen = 567;
// Document character of record i (0-63): 303 + 164 i.
constexpr int ArrRecPos(int index) { return 303 + kArrRecLen * index; }

extern std::string gArrEditBuf;  // 567 characters, blank until the first build
extern bool gArrModified;        // the edit record differs from what was built or stored
extern bool gArrNameChanged;     // the name was typed since the last store
extern bool gArrEditLinked;      // the editor is open on an arrangement-file window's record
extern bool gArrSavedBack;       // the editor's save prompt was cancelled while its owner closed it
// The arrangement editor's style field is highlighted: a click in a style
// bank or style-file window hands that style to the editor.
extern bool gStyPickMode;
extern std::string gListItem;    // the list line being rebuilt by a clear or a paste
extern std::string gPasteName;   // the list line of the record being pasted

// The arrangement-file window of a slot (1-8), installed by that window's
// module; nullptr when the slot has none.
void SetArrFileWindowLookup(std::function<ChildView*(int slot)> lookup);
ChildView* ArrFileWindowOfSlot(int slot);

// True when the editor is open on an arrangement of the arrangement-file
// window of slot (edit record characters 325 and 327).
bool ArrEditLinkedTo(int slot);

// The arrangement editor's caption: "Edit Arrangement  ", the owner's file
// name (edit record characters 330-353, trailing blanks removed), ".arr / "
// and name up to its first NUL. Without a name: the record's name, offsets
// 0-9 with their blanks.
std::string EditorCaption(const std::string& name);
std::string EditorCaption();

// Fills gArrEditBuf from record index (0-63) of an arrangement-file
// window's document; an index outside 0-63 does nothing.
void ArrEditBufBuild(const std::string& tag, int index);
// Writes gArrEditBuf back into the arrangement-file window named by its
// characters 325-327. 0 stored; 1 when the file is read-only or
// Preferences > Read only file is ticked ("Read only file", titled title),
// or no open arrangement-file window is named there
// (gArrModified is then kept).
int ArrEditBufStore(const std::string& title = std::string());
// Record index of tag becomes 164 NULs; the active window's list line is
// cut to its two-character label.
void ArrRecClear(int index, std::string& tag);
// Record source of gClipText is pasted as record target of tag; the active
// window's list line target becomes its label and gPasteName's name part.
void ArrRecCopy(int source, int target, std::string& tag);

void ArrRecReset();
