// The recent-file list of the File menu (gRecentFiles, app/recent.h): adding
// an opened file, keeping a closing window's geometry, and the menu caption
// of an entry. The menu items are mnuRecentFile_0 to mnuRecentFile_7 under
// the separator mnuSep16; without a main window only the list changes.
#pragma once

#include <string>

// Adds a file that has just been opened in a window: path is the full path
// with its extension; the caller's variable loses its last four characters
// (the dot and the extension). readOnly is the read-only state it was opened
// with. A file of the same path and kind keeps its entry, its place and its
// flag; otherwise the file takes the first free entry, or, with all 8 used,
// entry 0 after the others move one place down (entry 7 is dropped). A new
// entry starts at Top 0, Left 0 with the enlarged size of its window. The
// menu shows the used entries. A path of no known kind (or one too long for
// the record) adds nothing, and the path, list and menu stay as they are.
void RecentFileAdd(std::string& path, int readOnly);

// Shows the list in the main window's File menu: up to the first entry that
// is not a file kind, each entry's item gets its caption and is shown and
// enabled, so that a click on it reopens the file; the separator is shown
// above them when there is one.
void RecentMenuShow();

// Stores the geometry (twips) of a closing document window into the entry
// of its file, if the list has one: the file is the path at tag positions
// 21-258 with the recent kind of the window (19 arr, 23 sty, 21 prg, or pgg
// when tag position 19 is not 0). Windows of other kinds have no entry.
void RecentSaveWinPos(const std::string& tag, int top, int left, int height, int width);

// The menu caption of entry i (0-7): "&" and i + 1, two blanks and the path
// with its extension; a text longer than 35 characters is shortened to
// its root, ".../" and the tail. Sets gCurExt. Empty for a free entry or an
// index outside 0-7.
std::string RecentMenuCaption(int i);
