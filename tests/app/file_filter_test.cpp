#include <gtest/gtest.h>

#include "app/file_chooser.h"

namespace quorvel {
namespace {

TEST(FileFilterTest, ReadsTheProgramsFilterStrings) {
  const auto log = ParseFileFilter("log files (*.bin) | *.bin|All Files (*.*)|*.*||");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].description, "log files (*.bin)");
  EXPECT_EQ(log[0].patterns, std::vector<std::string>{"*.bin"});
  EXPECT_EQ(log[1].description, "All Files (*.*)");
  EXPECT_EQ(log[1].patterns, std::vector<std::string>{"*.*"});
  EXPECT_EQ(DesktopPatterns(log[1]), std::vector<std::string>{"*"}) << "names without a dot too";
  EXPECT_EQ(DesktopPatterns(log[0]), std::vector<std::string>{"*.bin"});

  const auto scc =
      ParseFileFilter("SmartCard Configuration files (*.scc) | *.scc|All Files (*.*)|*.*||");
  ASSERT_EQ(scc.size(), 2u);
  EXPECT_EQ(scc[0].description, "SmartCard Configuration files (*.scc)");
  EXPECT_EQ(scc[0].patterns, std::vector<std::string>{"*.scc"});
}

TEST(FileFilterTest, AFilterOfOneExtensionGivesItToNamesTypedWithout) {
  const auto filters = ParseFileFilter("Scripts (*.txt)|*.txt|All (*.*)|*.*|Two|*.a;*.b|Any|*||");
  ASSERT_EQ(filters.size(), 4u);
  EXPECT_EQ(FilterExtension(filters[0]), "txt");
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(FilterExtension(filters[i]), "") << i;
}

TEST(FileFilterTest, SeveralPatternsAndEarlyEnd) {
  const auto filters = ParseFileFilter("Cards|*.scc; *.bak||Ignored|*.x|");
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].patterns, (std::vector<std::string>{"*.scc", "*.bak"}));
  EXPECT_TRUE(ParseFileFilter("").empty());
  EXPECT_TRUE(ParseFileFilter("No pattern").empty());
}

}  // namespace
}  // namespace quorvel
