#include "app/window_size.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(WindowSize, ReadsWhatItWritesAndRefusesAnythingElse) {
  const auto size = ParseWindowSize("800x500");
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 800);
  EXPECT_EQ(size->height, 500);
  EXPECT_EQ(WindowSizeText(*size), "800x500");
  for (const char* text : {"", "x", "800x", "x500", "0x500", "800x0", "-800x500", "800 x 500",
                           "800X500", "123456x500", "800x500x2", "80.5x500"}) {
    EXPECT_FALSE(ParseWindowSize(text)) << text;
  }
}

}  // namespace
}  // namespace quorvel
