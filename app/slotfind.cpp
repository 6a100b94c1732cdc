#include "app/slotfind.h"

#include "app/arrrec.h"
#include "app/slots.h"
#include "services/childview.h"
#include "core/bytes.h"

namespace {

constexpr int kSlots = 8;

int LowestFree(const int (&used)[9]) {
  for (int k = 1; k <= kSlots; ++k) {
    if (used[k] == 0) return k;
  }
  return 0;
}

// The lowest used slot whose record path, right-trimmed, is the path.
template <typename Rec>
int FindByPath(const int (&used)[9], const Rec* records, const std::string& path) {
  const std::string wanted = RTrim(path);
  for (int k = 1; k <= kSlots; ++k) {
    if (used[k] != 0 && RTrim(records[k].Path) == wanted) return k;
  }
  return 0;
}

}  // namespace

int ArrWinFreeSlot() { return LowestFree(gArrSlotUsed); }
int StyWinFreeSlot() { return LowestFree(gStySlotUsed); }
int PrgWinFreeSlot() { return LowestFree(gPrgSlotUsed); }

void GblWinFreeSlot() {
  gGblSlotIdx = 0;
  for (int k = 1; k <= kSlots; ++k) {
    if (gGblSlots[k].InUse == 0) {
      gGblSlotIdx = k;
      return;
    }
  }
}

int GblWinFind(const std::string& path) {
  const int n = static_cast<int>(path.size());
  const std::string wanted = RTrim(n >= 4 && Mid(path, n - 3, 1) == "." ? Left(path, n - 4) : path);
  for (int k = 1; k <= kSlots; ++k) {
    if (gGblSlots[k].InUse != 0 && RTrim(gGblSlots[k].Path) == wanted) return 1;
  }
  return 0;
}

int ArrWinFind(const std::string& path) { return FindByPath(gArrSlotUsed, gArrSlots, path); }
int StyWinFind(const std::string& path) { return FindByPath(gStySlotUsed, gStySlots, path); }
int PrgWinFind(const std::string& path) { return FindByPath(gPrgSlotUsed, gPrgSlots, path); }

int ArrFileIsOpen(const std::string& path) { return ArrWinFind(path) != 0 ? 1 : 0; }
int StyFileIsOpen(const std::string& path) { return StyWinFind(path) != 0 ? 1 : 0; }
int PrgFileIsOpen(const std::string& path) { return PrgWinFind(path) != 0 ? 1 : 0; }

int StyGroupIsOpen(const std::string& path) {
  if (StyFileIsOpen(path) == 1) return 1;
  const int slot = ArrWinFind(path);
  const ChildView* arrWindow = slot != 0 ? ArrFileWindowOfSlot(slot) : nullptr;
  return arrWindow && Asc(arrWindow->Tag(), 9) != 0 ? 1 : 0;
}
