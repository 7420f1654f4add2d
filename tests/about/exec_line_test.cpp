#include "about/exec_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvel {
namespace {

using ::testing::ElementsAre;
using ::testing::Optional;

TEST(SplitExecLineTest, BlanksSeparateWords) {
  EXPECT_THAT(SplitExecLine("  firefox-esr \t --new-window  "),
              Optional(ElementsAre("firefox-esr", "--new-window")));
  EXPECT_THAT(SplitExecLine("   "), Optional(ElementsAre()));
}

TEST(SplitExecLineTest, QuotesKeepBlanksAndMayStartMidWord) {
  EXPECT_THAT(SplitExecLine("\"/opt/My Browser/run\" --profile=\"a b\""),
              Optional(ElementsAre("/opt/My Browser/run", "--profile=a b")));
  EXPECT_THAT(SplitExecLine("prog \"\""), Optional(ElementsAre("prog", "")));
}

TEST(SplitExecLineTest, BackslashEscapesOnlyReservedCharactersInQuotes) {
  EXPECT_THAT(SplitExecLine(R"(sh "a\"b\\c\$d\`e" "x\yz")"),
              Optional(ElementsAre("sh", "a\"b\\c$d`e", "x\\yz")));
}

TEST(SplitExecLineTest, PercentSignsAndFieldCodes) {
  EXPECT_THAT(SplitExecLine("prog 100%% %i --x %c%k 50%"),
              Optional(ElementsAre("prog", "100%", "--x", "50%")));
}

TEST(SplitExecLineTest, OpenQuotationIsRefused) {
  EXPECT_EQ(SplitExecLine("prog \"never closed"), std::nullopt);
}

}  // namespace
}  // namespace quorvel
