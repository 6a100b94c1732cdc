#include "app/paths.h"

#include "core/bytes.h"
#include "core/pathsep.h"

std::string gCurExt = "   ";

std::string PathDir(const std::string& path) {
  const int p = InStrRev(path, kPathSep);
  if (p == 0) return std::string();
  return Left(path, p - 1);
}

std::string PathFileName(const std::string& path) {
  const int p = InStrRev(path, kPathSep);
  if (p == 0) return RTrim(path);
  return RTrim(Mid(path, p + 1));
}

int FileTypeOfPath(const std::string& path) {
  const int n = static_cast<int>(path.size());
  // Count the characters after the last "." by scanning from the end.
  int count = 0;
  bool dot = false;
  for (int i = n; i >= 1; --i) {
    if (path[static_cast<size_t>(i - 1)] == '.') {
      dot = true;
      break;
    }
    ++count;
  }
  if (count == 3 && (dot || n == 3)) {
    gCurExt = LCase(Right(path, 3));
    if (gCurExt == "arr") return 1;
    if (gCurExt == "sty") return 2;
    if (gCurExt == "prg") return 3;
    if (gCurExt == "pgg") return 4;
    if (gCurExt == "gbl") return 5;
    return 0;
  }
  gCurExt = "   ";
  return 0;
}

void PathsReset() { gCurExt = "   "; }
