#include "about/fallback_command.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

std::string Line(std::string_view registered, std::string_view target) {
  return CommandBeforeTarget(registered) + std::string(target);
}

TEST(CommandBeforeTargetTest, QuotedPlaceholderIsCutWithItsOpeningQuote) {
  EXPECT_EQ(Line("browser -url \"%1\" -extra", "http://x/"), "browser -url  http://x/");
}

TEST(CommandBeforeTargetTest, CommandEndingInBlankAndQuotedPlaceholderGetsTwoBlanks) {
  EXPECT_EQ(Line("\"C:\\Browser\\b.exe\" -nohome \"%1\"", "http://x/"),
            "\"C:\\Browser\\b.exe\" -nohome  http://x/");
}

TEST(CommandBeforeTargetTest, BarePlaceholderIsCutWhenNoneIsQuoted) {
  EXPECT_EQ(Line("browser %1 -extra", "t"), "browser  t");
}

TEST(CommandBeforeTargetTest, AnyQuotedPlaceholderComesBeforeAnEarlierBareOne) {
  EXPECT_EQ(Line("browser %1 \"%1\"", "t"), "browser %1  t");
}

TEST(CommandBeforeTargetTest, CommandWithoutPlaceholderStaysWhole) {
  EXPECT_EQ(Line("browser -new", "t"), "browser -new t");
  EXPECT_EQ(Line("", "t"), " t");
}

TEST(CommandBeforeTargetTest, DesktopFieldCodesStandForThePlaceholder) {
  EXPECT_EQ(Line("firefox-esr %u", "t"), "firefox-esr  t");
  EXPECT_EQ(Line("chromium \"%U\" --flag", "t"), "chromium  t");
  EXPECT_EQ(Line("viewer %f", "t"), "viewer  t");
  EXPECT_EQ(Line("viewer --x %F", "t"), "viewer --x  t");
  // The earliest of the quoted codes decides.
  EXPECT_EQ(Line("b \"%F\" \"%u\"", "t"), "b  t");
}

}  // namespace
}  // namespace quorvel
