// Small layout helpers of the arrangement windows: controls placed by
// rectangles in twips, and the cap of a window at its enlarged size, which
// is compared in pixels (a size in twips turned into pixels and back may
// come out a few twips larger, and would be cut back for ever).
#pragma once

#include <QWidget>
#include <algorithm>

#include "platform/twips.h"
#include "ui/main/childform.h"

struct TwipsRect {
  int left, top, width, height;
};

inline void PlaceTwips(QWidget* w, const TwipsRect& r) {
  w->setGeometry(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                 TwipsToPixels(r.height));
}

// Cuts a window in the normal state back to maxHeight x maxWidth twips.
// True when it had to: the resize that follows records the new size.
inline bool CapAtEnlargedSize(ChildForm* form, int maxHeight, int maxWidth) {
  if (form->WindowStateNo() != 0) return false;
  const int w = form->width(), h = form->height();
  const int capW = std::min(w, TwipsToPixels(maxWidth));
  const int capH = std::min(h, TwipsToPixels(maxHeight));
  if (capW == w && capH == h) return false;
  form->resize(capW, capH);
  return true;
}
