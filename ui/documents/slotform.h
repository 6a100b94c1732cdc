// The frame shared by the document windows of two kinds each: a file kind
// that keeps its place in a slot record (Top, Left, Height, Width and a
// state byte: the style-file and program-file windows) and a new, untitled
// kind that keeps only an open-window entry (0 closed, 1 normal, 2
// minimised). The slot is the window's WinTag character 15.
#pragma once

#include <cstdint>

#include "app/menuupdate.h"
#include "app/winpos.h"
#include "core/bytes.h"
#include "services/mainview.h"
#include "ui/main/childform.h"

class SlotForm : public ChildForm {
 public:
  // The slot (file kind) or index (new kind), 1-8.
  int Slot() const { return Asc(winTag_, 15); }

 protected:
  struct Geometry {
    int16_t top, left, height, width;
  };

  // Resize, within the enlarged size of the window's kind: the record takes
  // Height, Width and the state (a file window: record given), or the open
  // entry only the state. False when nothing was stored: the window was cut
  // back, and the resize that follows stores.
  template <class Rec>
  bool ResizeSlot(Rec* record, uint8_t Rec::*state, int* openEntry) {
    const WindowSize big = EnlargedSizeOfKind(Kind());
    if (record) {
      Rec cur = *record;
      if (!FrameResize(big.height, big.width, &cur.Height, &cur.Width, &(cur.*state))) return false;
      *record = cur;
      return true;
    }
    uint8_t open = static_cast<uint8_t>(*openEntry);
    if (!FrameResize(big.height, big.width, nullptr, nullptr, &open)) return false;
    *openEntry = open;
    return true;
  }

  // Unload: the slot is freed (slotEntry, the used-slot or open-window
  // entry, becomes 0) and menuItem enabled again; a file window's record
  // takes Top, Left and its state (kept while the program closes). Returns
  // the geometry for the window's recent-file entry: the record's, or the
  // window's own.
  template <class Rec>
  Geometry UnloadSlot(Rec* record, uint8_t Rec::*state, int* slotEntry, const char* menuItem) {
    *slotEntry = 0;
    SetMainMenuEnabled(menuItem, true);
    if (!record) {
      return {ClampTwips16(TopTwips()), ClampTwips16(LeftTwips()), ClampTwips16(HeightTwips()),
              ClampTwips16(WidthTwips())};
    }
    Rec cur = *record;
    FrameUnloadDocument(&cur.Top, &cur.Left, &(cur.*state));
    *record = cur;
    return {cur.Top, cur.Left, cur.Height, cur.Width};
  }
};
