// Twips: positions and sizes are kept in twips, as designed, and turned into
// pixels here only, with one rounding rule.
#pragma once

// Twips per pixel = round(1440 / logical DPI) of the primary screen, read
// once (15 at 96 DPI, 12 at 120 DPI). 15 without a screen.
int TwipsPerPixel();
// Overrides the value (tests); 0 returns to reading the screen.
void SetTwipsPerPixel(int tpp);

// Conversions with round-half-away-from-zero.
int TwipsToPixels(int twips);
int PixelsToTwips(int pixels);
