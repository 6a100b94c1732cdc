#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace {

int gTwipsPerPixel = 0;  // 0: not read yet

// round(1440 / logical DPI) of the primary screen; 0 when there is none.
int ReadScreen() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 0;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || screen->logicalDotsPerInch() <= 0) return 0;
  return static_cast<int>(std::lround(1440.0 / screen->logicalDotsPerInch()));
}

// a / b for b > 0, rounded half away from zero.
int DivRound(int a, int b) {
  const long long twice = 2LL * a;
  return static_cast<int>(a >= 0 ? (twice + b) / (2LL * b) : -((-twice + b) / (2LL * b)));
}

}  // namespace

int TwipsPerPixel() {
  // Read once; without a screen the common value stands in, and the screen is
  // asked again next time, so a call before the application exists does not
  // fix the value for the rest of the run.
  if (gTwipsPerPixel == 0) gTwipsPerPixel = ReadScreen();
  return gTwipsPerPixel > 0 ? gTwipsPerPixel : 15;
}

void SetTwipsPerPixel(int tpp) {
  gTwipsPerPixel = tpp > 0 ? tpp : 0;
}

int TwipsToPixels(int twips) {
  return DivRound(twips, TwipsPerPixel());
}

int PixelsToTwips(int pixels) {
  return pixels * TwipsPerPixel();
}
