#include "about/about_command.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(IsAboutCommandTest, LowFourBitsAreIgnored) {
  for (unsigned id = 0x10; id <= 0x1F; ++id) EXPECT_TRUE(IsAboutCommand(id)) << id;
}

TEST(IsAboutCommandTest, OtherCommandsAreNotAbout) {
  for (unsigned id : {0x00u, 0x0Fu, 0x20u, 0x110u, 0xF000u, 0xF010u, 0xF060u, 0xF120u, 0xFFF0u})
    EXPECT_FALSE(IsAboutCommand(id)) << id;
}

}  // namespace
}  // namespace quorvel
