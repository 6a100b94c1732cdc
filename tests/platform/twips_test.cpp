#include "platform/twips.h"

#include <utility>

#include <gtest/gtest.h>

namespace {

TEST(Twips, ConversionsRoundHalfAwayFromZero) {
  SetTwipsPerPixel(12);
  EXPECT_EQ(TwipsPerPixel(), 12);
  const std::pair<int, int> table[] = {{0, 0}, {5, 0}, {6, 1}, {-5, 0}, {-6, -1}, {18, 2}, {-18, -2}, {4600, 383}};
  for (const auto& [twips, pixels] : table) EXPECT_EQ(TwipsToPixels(twips), pixels) << twips;
  EXPECT_EQ(PixelsToTwips(-3), -36);

  SetTwipsPerPixel(15);
  EXPECT_EQ(TwipsToPixels(4810), 321);
  EXPECT_EQ(TwipsToPixels(7), 0);
  EXPECT_EQ(TwipsToPixels(8), 1);
  EXPECT_EQ(PixelsToTwips(TwipsToPixels(7780)), 7785);

  // Back to the screen: the offscreen screen of the tests has a logical DPI.
  SetTwipsPerPixel(0);
  EXPECT_GT(TwipsPerPixel(), 0);
  SetTwipsPerPixel(0);
}

}  // namespace
