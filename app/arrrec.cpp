#include "app/arrrec.h"

#include "app/appstate.h"
#include "services/childview.h"
#include "services/mainview.h"
#include "services/messages.h"
#include "app/nametables.h"
#include "services/paths.h"
#include "core/bytes.h"
#include "files/clipboard.h"
#include "files/stygrp.h"

std::string gArrEditBuf(kArrEditBufLen, ' ');
bool gArrModified = false;
bool gArrNameChanged = false;
bool gArrEditLinked = false;
bool gArrSavedBack = false;
bool gStyPickMode = false;
std::string gListItem;
std::string gPasteName;

static std::function<ChildView*(int)> sArrFileWindowLookup;

void SetArrFileWindowLookup(std::function<ChildView*(int slot)> lookup) {
  sArrFileWindowLookup = std::move(lookup);
}

ChildView* ArrFileWindowOfSlot(int slot) {
  return sArrFileWindowLookup ? sArrFileWindowLookup(slot) : nullptr;
}

namespace {

std::string Record(const std::string& doc, int index) {
  return PadRight(Mid(doc, ArrRecPos(index), kArrRecLen), kArrRecLen, '\0');
}

}  // namespace

bool ArrEditLinkedTo(int slot) {
  return gArrEditLinked && Asc(gArrEditBuf, 325) == 19 && Asc(gArrEditBuf, 327) == slot;
}

std::string EditorCaption(const std::string& name) {
  // Bytes after a NUL are no text.
  return "Edit Arrangement  " + RTrim(Mid(gArrEditBuf, 330, 24)) + ".arr / " + CutAtNul(name);
}

std::string EditorCaption() { return EditorCaption(Mid(gArrEditBuf, 1, 10)); }

void ArrEditBufBuild(const std::string& tag, int index) {
  if (index < 0 || index > 63) return;
  gArrEditBuf = Space(kArrEditBufLen);
  const std::string rec = Record(tag, index);
  MidAssign(gArrEditBuf, 1, rec);
  MidAssign(gArrEditBuf, 325, Chr(Asc(tag, 1)) + Chr(index) + Chr(Asc(tag, 15)));
  MidAssign(gArrEditBuf, 330, PathFileName(RTrim(Mid(tag, 21, 238))));

  const int style = Asc(rec, 18);
  const int source = Asc(rec, 19);
  std::string styleName;
  if (source == 1) {
    // Slot numbers beyond the 16 of a group have no name.
    if (style > 15) {
      styleName.clear();
    } else if (Asc(tag, 9) == 2) {
      styleName = StySlotName(style, tag);
    } else {
      styleName = "UserStyle" + CStr(style);
    }
  } else if (source == 0 && style <= 127) {
    styleName = RTrim(gStyNames[style]);
  }
  MidAssign(gArrEditBuf, 165, PadRight(styleName, 16));

  for (int t = 0; t < 9; ++t) {
    const int program = Asc(rec, 40 + 8 * t);
    const int bank = Asc(rec, 41 + 8 * t);
    std::string name;
    if (bank == 3) {
      if (Asc(tag, 6) == 1 && program <= 63) {
        const std::string prgName = Mid(tag, 12191 + 172 * program, 16);
        if (Asc(prgName, 1) > 1) {
          name = RTrim(prgName);
          if (name.empty()) name = "UserPrg" + CStr(program);
        }
      } else {
        name = "UserPrg" + CStr(program);
      }
    }
    MidAssign(gArrEditBuf, 181 + 16 * t, PadRight(name, 16));
  }
}

int ArrEditBufStore(const std::string& title) {
  const int kind = Asc(gArrEditBuf, 325);
  const int index = Asc(gArrEditBuf, 326);
  const int slot = Asc(gArrEditBuf, 327);
  ChildView* owner = kind == 19 ? ArrFileWindowOfSlot(slot) : nullptr;
  std::string* doc = owner ? owner->MutableTag() : nullptr;
  if (!doc || index > 63) return 1;  // no window holds the record: nothing stored
  // A window opened read-only refuses the record, and so does every
  // document window while Preferences > Read only file is ticked.
  if (Asc(*doc, 2) == 1 || gOptReadOnly) {
    ShowMsg(17, title, "");
    return 1;
  }
  MidAssign(*doc, ArrRecPos(index), Left(gArrEditBuf, kArrRecLen));
  MidAssign(*doc, 4, Chr(1));
  gArrModified = false;
  if (gArrNameChanged) {
    gArrNameChanged = false;
    owner->SetListText(index, Left(owner->ListText(index), 4) + Left(gArrEditBuf, 16));
  }
  return 0;
}

void ArrRecClear(int index, std::string& tag) {
  if (index < 0 || index > 63) return;
  MidAssign(tag, ArrRecPos(index), Nuls(kArrRecLen));
  MidAssign(tag, 3, Chr(2));
  if (ChildView* active = MainActiveChild()) {
    gListItem = Left(active->ListText(index), 2);
    active->SetListText(index, gListItem);
  }
}

void ArrRecCopy(int source, int target, std::string& tag) {
  if (source < 0 || source > 63 || target < 0 || target > 63) return;
  MidAssign(tag, ArrRecPos(target), Record(gClipText, source));
  MidAssign(tag, 3, Chr(2));
  if (ChildView* active = MainActiveChild()) {
    gListItem = Left(active->ListText(target), 2) + Mid(RTrim(gPasteName), 3);
    active->SetListText(target, gListItem);
  }
}

void ArrRecReset() {
  gArrEditBuf = Space(kArrEditBufLen);
  gArrModified = gArrNameChanged = gArrEditLinked = gArrSavedBack = false;
  gStyPickMode = false;
  gListItem.clear();
  gPasteName.clear();
  sArrFileWindowLookup = nullptr;
}
