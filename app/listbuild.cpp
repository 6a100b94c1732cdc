#include "app/listbuild.h"

#include "services/childview.h"
#include "services/mainview.h"
#include "app/nametables.h"
#include "core/bytes.h"
#include "files/stygrp.h"

namespace {

constexpr int kArrRecords = 64;
constexpr int kArrRecLen = 164;
constexpr int kArrRecBase = 303;  // record 0 in an arrangement window's WinTag
constexpr int kFactoryStyles = 128;

// Byte `offset` of arrangement record i of the tag.
int RecByte(const std::string& tag, int i, int offset) {
  return Asc(tag, kArrRecBase + kArrRecLen * i + offset);
}

// The factory style name of a style number, right-trimmed; empty for a
// number outside the table.
std::string FactoryStyleName(int number) {
  if (number < 0 || number >= kFactoryStyles) return std::string();
  return CutAtNul(RTrim(gStyNames[number]));
}

int FindItem(const ChildView& box, const std::string& text) {
  const int count = box.Combo1ListCount();
  for (int j = 0; j < count; ++j) {
    if (box.Combo1List(j) == text) return j;
  }
  return -1;
}

}  // namespace

void StyListFill(const std::string& tag) {
  ChildView* win = MainActiveChild();
  if (!win) return;
  win->Combo1Clear();

  // The file's own styles, up to the first empty slot. Item k is slot k.
  int ownCount = 0;
  int label = 11;
  while (ownCount < kStySlotCount && ArrStySlotLen(ownCount, tag) != 0) {
    const std::string name = CutAtNul(RTrim(Mid(tag, ArrStySlotPos(ownCount, tag), 16)));
    win->Combo1AddItem(name + " (U" + CStr(label) + ")");
    ++ownCount;
    if (++label == 19) label = 21;
  }

  // The factory styles in use, each once.
  for (int i = 0; i < kArrRecords; ++i) {
    if (RecByte(tag, i, 0) == 0 || RecByte(tag, i, 18) != 0) continue;
    const int number = RecByte(tag, i, 17);
    if (number >= kFactoryStyles) continue;
    const std::string name = FactoryStyleName(number);
    if (FindItem(*win, name) < 0) win->Combo1AddItem(name);
  }

  // The selection follows the one selected arrangement.
  int selected = -1, count = 0;
  for (int i = 0; i < kArrRecords && count < 2; ++i) {
    if (win->ListSelected(i)) {
      selected = i;
      ++count;
    }
  }
  if (count != 1 || RecByte(tag, selected, 0) == 0) {
    win->Combo1SetText("");
    return;
  }
  const int number = RecByte(tag, selected, 17);
  if (RecByte(tag, selected, 18) == 1) {
    // An own style: the item built above for its slot, when listed.
    if (number < ownCount) win->Combo1SetListIndex(number);
    return;
  }
  const int item = FindItem(*win, FactoryStyleName(number));
  if (item >= 0) win->Combo1SetListIndex(item);
}

std::string NoteName(int key) {
  static const char* const kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  if (key < 0 || key > 127) return std::string();
  return std::string(kNames[key % 12]) + CStr(key / 12 - 1);
}

std::string SplitPointName(int note) {
  static const char kLetters[] = "CCDDEFFGGAAB";
  const int k = (note - 36) % 12;
  std::string text = std::string(1, kLetters[k]) + CStr((note - 36) / 12 + 2);
  if (k == 1 || k == 3 || k == 6 || k == 8 || k == 10) text += "#";
  return text;
}

std::string ArrSlotName(int& slot) {
  std::string letter = "A";
  if (slot >= 64) {
    letter = "B";
    slot -= 64;
  }
  return letter + CStr(10 * (slot / 8) + slot % 8 + 11);
}

std::string ArrSlotNum(int index) { return CStr(index / 8 + 1) + CStr(index % 8 + 1); }
