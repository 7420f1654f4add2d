#include "about/fit_to_text.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// A 100 by 20 window at (10, 30).
constexpr WindowRect kWindow{10, 30, 110, 50};

TEST(FitToTextTest, LeftAlignedKeepsTopLeftAndTakesTheTextSize) {
  EXPECT_EQ(FitToText(kWindow, 37, 13, 0), (WindowRect{10, 30, 47, 43}));
  // Taller and wider text grows the window from the same corner.
  EXPECT_EQ(FitToText(kWindow, 140, 25, 0), (WindowRect{10, 30, 150, 55}));
}

TEST(FitToTextTest, RightAlignedKeepsTheRightEdge) {
  EXPECT_EQ(FitToText(kWindow, 37, 13, SS_RIGHT), (WindowRect{73, 30, 110, 43}));
}

TEST(FitToTextTest, CentredKeepsTheCentreAndLeavesOddDifferencesToTruncation) {
  // Even difference: exactly the text width.
  EXPECT_EQ(FitToText(kWindow, 40, 13, SS_CENTER), (WindowRect{40, 30, 80, 43}));
  // 100 - 37 = 63: both edges move by 31, one unit wider than the text.
  EXPECT_EQ(FitToText(kWindow, 37, 13, SS_CENTER), (WindowRect{41, 30, 79, 43}));
  // 100 - 105 = -5: both edges move out by 2, one unit narrower than the text.
  EXPECT_EQ(FitToText(kWindow, 105, 13, SS_CENTER), (WindowRect{8, 30, 112, 43}));
}

TEST(FitToTextTest, CentreWinsOverRight) {
  EXPECT_EQ(FitToText(kWindow, 40, 13, SS_CENTER | SS_RIGHT), (WindowRect{40, 30, 80, 43}));
}

TEST(FitToTextTest, CentreImageCentresVertically) {
  // 20 - 13 = 7: top and bottom move in by 3.
  EXPECT_EQ(FitToText(kWindow, 37, 13, SS_CENTERIMAGE), (WindowRect{10, 33, 47, 47}));
  // 20 - 25 = -5: they move out by 2.
  EXPECT_EQ(FitToText(kWindow, 37, 25, SS_CENTERIMAGE), (WindowRect{10, 28, 47, 52}));
  EXPECT_EQ(FitToText(kWindow, 37, 13, SS_CENTERIMAGE | SS_RIGHT), (WindowRect{73, 33, 110, 47}));
}

}  // namespace
}  // namespace quorvel
