#include "app/docaccess.h"

#include "app/wincaption.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "platform/writeaccess.h"
#include "services/paths.h"

bool DocFileWriteRefused(const std::string& tag) {
  const std::string path = WinTagPath(tag);
  if (path.empty()) return false;
  switch (Asc(tag, 1)) {
    case kKindArrFile:
      return WriteRefused(WithExtension(path, "arr")) || WriteRefused(WithExtension(path, "sty"));
    case kKindPrgFile:
      return WriteRefused(WithExtension(path, Asc(tag, 19) == 1 ? "pgg" : "prg"));
    case kKindStyFile:
      return WriteRefused(WithExtension(path, "sty"));
    case kKindGblFile:
      return WriteRefused(WithExtension(path, "gbl"));
    default:
      return false;
  }
}
