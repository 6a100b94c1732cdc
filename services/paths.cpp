#include "services/paths.h"

#include <dirent.h>

#include "core/bytes.h"
#include "core/pathsep.h"
#include "platform/files.h"

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

std::string WithExtension(const std::string& pathNoExt, const std::string& extension) {
  const std::string ext = Left(extension, 1) == "." ? extension : "." + extension;
  const std::string lower = pathNoExt + LCase(ext);
  if (FileExists(lower)) return lower;

  // The folder part with its separator, the folder to list, and the name.
  const int sep = InStrRev(pathNoExt, kPathSep);
  const std::string prefix = Left(pathNoExt, sep);
  const std::string folder = sep == 0 ? "." : (sep == 1 ? kPathSep : Left(pathNoExt, sep - 1));
  const std::string name = Mid(pathNoExt, sep + 1);
  const int nameLen = static_cast<int>(name.size());

  // Of several spellings the first in byte order, so that the choice is stable.
  std::string found;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string entryName = entry->d_name;
      if (entryName.size() != name.size() + ext.size() || Left(entryName, nameLen) != name) continue;
      if (LCase(Mid(entryName, nameLen + 1)) != LCase(ext)) continue;
      if (found.empty() || entryName < found) found = entryName;
    }
    ::closedir(dir);
  }
  return found.empty() ? lower : prefix + found;
}

void PathsReset() { gCurExt = "   "; }
