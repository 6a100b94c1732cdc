#include "app/docaccess.h"

#include "app/slots.h"
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

bool DocReadOnlyChosen(const std::string& tag) {
  const int slot = Asc(tag, 15);
  const bool inTable = slot >= 1 && slot <= 8;
  switch (Asc(tag, 1)) {
    case kKindArrFile:
      return inTable && gArrSlots[slot].ReadOnly != 0;
    case kKindPrgFile:
      return inTable && gPrgSlots[slot].ReadOnly != 0;
    case kKindStyFile:
      return inTable && gStySlots[slot].ReadOnly != 0;
    case kKindGblFile:
      return inTable && gGblSlots[slot].ReadOnly != 0;
    default:
      return Asc(tag, 2) == 1;
  }
}

void DocReadOnlyFollowFile(std::string& tag) {
  MidAssign(tag, 2, Chr(DocReadOnlyChosen(tag) || DocFileWriteRefused(tag) ? 1 : 0));
}
