#include "files/stygrp.h"

#include "core/bytes.h"
#include "files/styfile.h"

namespace {

// The helpers below take the string that holds the group and the group's
// base, the 1-based position of its first header byte in that string.

bool ValidSlot(int slot) {
  return slot >= 0 && slot < kStySlotCount;
}

int LenAt(const std::string& s, int base, int slot) {
  if (!ValidSlot(slot)) return 0;
  return GetU16LE(s, base + 24 + 4 * slot);
}

// Where the slot's data begin: the header, then the slots before it; slots
// of length 0 take no room.
int DataPosAt(const std::string& s, int base, int slot) {
  int pos = base + kStyHeaderLen;
  for (int k = 0; k < slot; ++k) pos += LenAt(s, base, k);
  return pos;
}

int PosAt(const std::string& s, int base, int slot) {
  if (!ValidSlot(slot)) return 0;
  for (int k = 0; k < slot; ++k) {
    if (LenAt(s, base, k) == 0) return 0;
  }
  return DataPosAt(s, base, slot);
}

std::string NameAt(const std::string& s, int base, int slot) {
  if (LenAt(s, base, slot) == 0) return std::string();
  return RTrim(Mid(s, DataPosAt(s, base, slot), 16));
}

int BankSizeAt(const std::string& s, int base, int slot) {
  if (!ValidSlot(slot)) return 0;
  const int first = slot / 4 * 4;
  int sum = 0;
  for (int k = first; k < first + 4; ++k) sum += LenAt(s, base, k);
  return sum;
}

int SumOfLengths(const std::string& s, int base, int slots) {
  int sum = 0;
  for (int k = 0; k < slots; ++k) sum += LenAt(s, base, k);
  return sum;
}

}  // namespace

int StyGrpBase(const std::string& tag) {
  const int kind = Asc(tag, 1);
  return (kind == 23 || kind == 24) ? kStyWinGrpBase : kArrWinGrpBase;
}

int StyGrpSlotLen(int slot, const std::string& group) {
  return LenAt(group, 1, slot);
}
int ArrStySlotLen(int slot, const std::string& tag) {
  return LenAt(tag, kArrWinGrpBase, slot);
}

int StyGrpSlotPos(int slot, const std::string& group) {
  return PosAt(group, 1, slot);
}
int ArrStySlotPos(int slot, const std::string& tag) {
  return PosAt(tag, kArrWinGrpBase, slot);
}

std::string StyGrpSlotName(int slot, const std::string& group) {
  return NameAt(group, 1, slot);
}
std::string StySlotName(int slot, const std::string& tag) {
  return NameAt(tag, StyGrpBase(tag), slot);
}

int StyBankCount(const std::string& tag) {
  for (int k = kStySlotCount - 1; k >= 0; --k) {
    if (StySlotName(k, tag) != kStyEmptyName) return k / 4 + 1;
  }
  return 0;
}

int StyGrpBankSize(int slot, const std::string& group) {
  return BankSizeAt(group, 1, slot);
}

int StyBankSizeInTag(int slot, const std::string& tag) {
  return kStyHeaderLen + BankSizeAt(tag, StyGrpBase(tag), slot);
}

int StyGrpTotalLen(const std::string& tag) {
  return kStyHeaderLen + SumOfLengths(tag, StyGrpBase(tag), kStySlotCount);
}

int StyGrpUsedPart(std::string& tag) {
  const int banks = StyBankCount(tag);
  if (banks == 0) return 1;
  if (banks == 4) return 0;
  const int base = StyGrpBase(tag);
  const int keep = base - 1 + kStyHeaderLen + SumOfLengths(tag, base, 4 * banks);
  for (int k = 4 * banks; k < kStySlotCount; ++k) PutU16LE(tag, base + 24 + 4 * k, 0);
  if (static_cast<size_t>(keep) < tag.size()) tag.resize(static_cast<size_t>(keep));
  return 0;
}

int ArrHasStyles(const std::string& tag) {
  for (int k = 0; k < kStySlotCount; ++k) {
    if (ArrStySlotLen(k, tag) == 0) return 0;
    if (NameAt(tag, kArrWinGrpBase, k) != kStyEmptyName) return 1;
  }
  return 0;
}

int StyGrpHasStyle(const std::string& group) {
  for (int k = 0; k < kStySlotCount; ++k) {
    if (LenAt(group, 1, k) != 0 && NameAt(group, 1, k) != kStyEmptyName) return 1;
  }
  return 0;
}

int StyIdxMap(int v) {
  if (!ValidSlot(v)) return 0;
  return v + v / 4;
}

int StyGrpPutSlot(int& slotOut, int& srcSlot, std::string& srcGroup, int& mode, std::string& dstGroup) {
  const bool fromTemplate = slotOut != 0;
  const bool byName = !fromTemplate && mode >= 100;

  // The source: refused, with nothing changed, when it is absent, too long
  // or not all there.
  const int s = fromTemplate ? 0 : srcSlot;
  if (!ValidSlot(s)) return 2;
  if (!byName && !ValidSlot(mode)) return 2;
  if (static_cast<int>(dstGroup.size()) < kStyHeaderLen) return 2;
  const std::string& source = fromTemplate ? gStyTemplate : srcGroup;
  const int srcLen = LenAt(source, 1, s);
  if (srcLen == 0 || srcLen >= kStySlotLenLimit) return 2;
  const int srcPos = DataPosAt(source, 1, s);
  if (srcPos - 1 + srcLen > static_cast<int>(source.size())) return 2;
  // A copy: the source may be the target group itself.
  const std::string data = Mid(source, srcPos, srcLen);
  const std::string name = NameAt(source, 1, s);

  int target = mode;
  if (byName) {
    for (int k = 0; k < kStySlotCount; ++k) {
      if (NameAt(dstGroup, 1, k) == name) {
        slotOut = k;
        return 1;
      }
    }
    mode = 0;
    target = -1;
    for (int k = 0; k < kStySlotCount && target < 0; ++k) {
      const std::string held = NameAt(dstGroup, 1, k);
      if (LenAt(dstGroup, 1, k) == 0 || held == kStyEmptyName || held.empty()) target = k;
    }
    if (target < 0) return 2;
  }

  // The target's old data run from oldPos to oldEnd; the rest of the string
  // after them moves by the change in length.
  const int oldLen = LenAt(dstGroup, 1, target);
  const int oldPos = DataPosAt(dstGroup, 1, target);
  const int oldEnd = oldPos + oldLen - 1;
  const int size = static_cast<int>(dstGroup.size());
  if (oldEnd > size) return 2;
  const int tail = size - oldEnd;
  const int delta = srcLen - oldLen;

  if (delta > 0) {
    if (StyGrpBankSize(target, dstGroup) + delta >= kStyBankLimit) return 3;
    dstGroup.append(static_cast<size_t>(delta), '\0');
    if (tail > 0) MidAssign(dstGroup, oldEnd + 1 + delta, Mid(dstGroup, oldEnd + 1, tail));
  } else if (delta < 0) {
    if (tail > 0) MidAssign(dstGroup, oldEnd + 1 + delta, Mid(dstGroup, oldEnd + 1, tail));
    dstGroup = Left(dstGroup, size + delta);
  }
  MidAssign(dstGroup, oldPos, data);
  PutU16LE(dstGroup, 25 + 4 * target, srcLen);
  slotOut = target;
  if (fromTemplate) {
    srcGroup = gStyTemplate;
    srcSlot = 0;
  }
  return 0;
}
