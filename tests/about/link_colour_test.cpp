#include "about/link_colour.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(LinkColourTest, ColourRefsKeepRedInTheLowByte) {
  EXPECT_EQ(RedOf(kLinkColour), 0);
  EXPECT_EQ(GreenOf(kLinkColour), 0);
  EXPECT_EQ(BlueOf(kLinkColour), 238);
  EXPECT_EQ(RedOf(kVisitedColour), 85);
  EXPECT_EQ(GreenOf(kVisitedColour), 26);
  EXPECT_EQ(BlueOf(kVisitedColour), 139);
  EXPECT_EQ(MakeColourRef(85, 26, 139), kVisitedColour);
}

TEST(LinkColourTest, HoverWinsOverVisitedWinsOverLink) {
  const LinkColours colours{kLinkColour, kVisitedColour, MakeColourRef(1, 2, 3)};
  EXPECT_EQ(ChooseTextColour(colours, false, false), kLinkColour);
  EXPECT_EQ(ChooseTextColour(colours, false, true), kVisitedColour);
  EXPECT_EQ(ChooseTextColour(colours, true, false), colours.hover);
  EXPECT_EQ(ChooseTextColour(colours, true, true), colours.hover);
}

}  // namespace
}  // namespace quorvel
