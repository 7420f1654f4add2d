#include "pcsc/reader_lookup.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

const std::vector<PcscReader> kReaders = {{"Gemalto PC Twin Reader 00 00", true},
                                          {"Virtual PCD 00 00", true},
                                          {"Virtual PCD 00 01", false},
                                          {"Virtual", false}};

TEST(PcscReaderLookupTest, FindsAReaderByPlaceExactNameOrUniquePrefix) {
  const struct {
    PcscReaderRef ref;
    std::size_t index;
  } cases[] = {
      {{0, {}}, 0},
      {{3, {}}, 3},
      {{std::nullopt, "Virtual PCD 00 01"}, 2},
      {{std::nullopt, "Gemalto"}, 0},
      {{std::nullopt, "gemalto pc"}, 0},         // case aside
      {{std::nullopt, "Virtual PCD 00 00"}, 1},  // the whole name, though "Virtual" fits more
      {{std::nullopt, "Virtual"}, 3},            // an exact name wins over the prefixes it is
  };
  for (const auto& c : cases) {
    const PcscReaderChoice choice = FindPcscReader(kReaders, c.ref);
    EXPECT_FALSE(choice.error) << c.ref.name << ": " << choice.error.message;
    EXPECT_EQ(choice.index, c.index) << c.ref.name;
    EXPECT_EQ(choice.name, kReaders[c.index].name);
  }
}

TEST(PcscReaderLookupTest, NoMatchAndTwoMatchesListTheReaders) {
  const PcscReaderChoice beyond = FindPcscReader(kReaders, {4, {}});
  EXPECT_EQ(beyond.error.fault, PcscFault::kNoReader);
  EXPECT_EQ(beyond.error.message,
            "PCS4 names no PC/SC reader. The PC/SC readers are:\n"
            "  PCS0  Gemalto PC Twin Reader 00 00  card present\n"
            "  PCS1  Virtual PCD 00 00  card present\n"
            "  PCS2  Virtual PCD 00 01  no card\n"
            "  PCS3  Virtual  no card");
  const PcscReaderChoice none = FindPcscReader(kReaders, {std::nullopt, "ACS"});
  EXPECT_EQ(none.error.fault, PcscFault::kNoReader);
  EXPECT_EQ(none.error.message.rfind("No PC/SC reader is called \"ACS\" or starts so. The PC/SC "
                                     "readers are:\n  PCS0  Gemalto",
                                     0),
            0u);
  const PcscReaderChoice two = FindPcscReader(kReaders, {std::nullopt, "Virtual PCD"});
  EXPECT_EQ(two.error.fault, PcscFault::kNoReader);
  EXPECT_EQ(two.error.message,
            "\"Virtual PCD\" fits more than one PC/SC reader; give more of the name:\n"
            "  PCS1  Virtual PCD 00 00  card present\n"
            "  PCS2  Virtual PCD 00 01  no card");
  EXPECT_EQ(FindPcscReader(std::vector<PcscReader>{}, {0, {}}).error.message,
            "PCS0 names no PC/SC reader: no PC/SC reader is connected");
}

TEST(PcscReaderLookupTest, ReadersPastTheTenthHaveNoPortName) {
  EXPECT_EQ(PcscPortName(9), "PCS9");
  EXPECT_EQ(PcscPortName(10), "");
  EXPECT_EQ(PcscReaderLine(10, {"Far Reader", true}), "pcsc:Far Reader  card present");
}

}  // namespace
}  // namespace quorvel
