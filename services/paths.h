// Path utilities. Paths are "/" separated (kPathSep); where the program's
// layouts keep a path without its extension, these helpers work on that.
#pragma once

#include <string>

// The extension of the current file, lower case, 3 characters (3 blanks when
// the path has none of 3 characters). Set by FileTypeOfPath and
// RecentMenuCaption.
extern std::string gCurExt;

// The path up to, not including, its last separator; empty when it holds
// none.
std::string PathDir(const std::string& path);
// The part after the last separator, right-trimmed; the whole path
// right-trimmed when it holds none.
std::string PathFileName(const std::string& path);
// The recent-file kind of the path's extension: 1 arr, 2 sty, 3 prg, 4 pgg,
// 5 gbl, 0 any other. Sets gCurExt.
int FileTypeOfPath(const std::string& path);

// pathNoExt, a point and the extension ext ("arr" or ".arr", any case
// given): when a file of that name exists with the extension in some other
// case ("x.ARR"), that file's spelling, so that a save or a delete reaches
// the file the user has rather than making a second one beside it;
// otherwise the extension in lower case. The name before the extension is
// matched exactly.
std::string WithExtension(const std::string& pathNoExt, const std::string& ext);

void PathsReset();
