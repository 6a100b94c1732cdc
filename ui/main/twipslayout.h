// Controls of the child windows placed by rectangles in twips.
#pragma once

#include <QWidget>

#include "platform/twips.h"

struct TwipsRect {
  int left, top, width, height;
};

inline void PlaceTwips(QWidget* w, const TwipsRect& r) {
  w->setGeometry(TwipsToPixels(r.left), TwipsToPixels(r.top), TwipsToPixels(r.width),
                 TwipsToPixels(r.height));
}
