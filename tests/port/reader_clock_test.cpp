#include "port/reader_clock.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// ISO/IEC 7816-3: cards start at 1 MHz or more; the highest f(max) of table 7 is 20 MHz.
TEST(ReaderClockTest, TakesWholeHertzWithinTheStandardsRange) {
  const std::pair<const char*, std::uint32_t> good[] = {{"3571200", 3'571'200},
                                                        {" 3579545\t", 3'579'545},
                                                        {"6000000", 6'000'000},
                                                        {"1000000", 1'000'000},
                                                        {"20000000", 20'000'000}};
  for (auto [text, hz] : good) {
    const ReaderClockSetting clock = ParseReaderClock(text, "--clock");
    EXPECT_EQ(clock.hz, hz) << text;
    EXPECT_EQ(clock.error, "") << text;
  }
  for (const char* text : {"", " ", "abc", "3.5712", "3571200Hz", "999999", "20000001", "-3571200",
                           "+3571200", "99999999999", "0x367E00"}) {
    const ReaderClockSetting clock = ParseReaderClock(text, "--clock");
    EXPECT_EQ(clock.hz, std::nullopt) << text;
    EXPECT_EQ(clock.error,
              std::string("--clock needs the reader's clock in Hz, a whole number from 1000000 "
                          "to 20000000 such as 3579545, not \"") +
                  text + "\"");
  }
}

TEST(ReaderClockTest, TheProfileSectionNamesItOrLeavesTheUsualClock) {
  EXPECT_EQ(ReaderClockOfSection({}).hz, 3'571'200u);
  EXPECT_EQ(ReaderClockOfSection({{"other", "1"}}).hz, 3'571'200u);
  EXPECT_EQ(ReaderClockOfSection({{"Clock", "3579545"}}).hz, 3'579'545u);
  const ReaderClockSetting bad = ReaderClockOfSection({{"clock", "fast"}});
  EXPECT_EQ(bad.hz, std::nullopt);
  EXPECT_EQ(bad.error.rfind("clock= in [reader] needs the reader's clock in Hz", 0), 0u);
}

}  // namespace
}  // namespace quorvel
