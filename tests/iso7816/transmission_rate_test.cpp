#include "iso7816/transmission_rate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorvel {
namespace {

// ISO/IEC 7816-3, table 7: Fi and f(max) in MHz by the high nibble of TA1 (or PPS1);
// 7, 8, E and F are reserved.
struct FiRow {
  unsigned nibble;
  unsigned fi;
  double fmax;
};
constexpr FiRow kFiTable[] = {{0x0, 372, 4},   {0x1, 372, 5},   {0x2, 558, 6},   {0x3, 744, 8},
                              {0x4, 1116, 12}, {0x5, 1488, 16}, {0x6, 1860, 20}, {0x9, 512, 5},
                              {0xA, 768, 7.5}, {0xB, 1024, 10}, {0xC, 1536, 15}, {0xD, 2048, 20}};
// Table 8: Di by the low nibble; 0 and A to F are reserved.
constexpr std::pair<unsigned, unsigned> kDiTable[] = {
    {0x1, 1}, {0x2, 2}, {0x3, 4}, {0x4, 8}, {0x5, 16}, {0x6, 32}, {0x7, 64}, {0x8, 12}, {0x9, 20}};
// The usual readers' crystals.
constexpr std::uint32_t kClocks[] = {3'571'200, 3'579'545, 6'000'000};

TEST(TransmissionRateTest, EveryFiDiPairOfTheTablesAtThreeClocks) {
  for (const FiRow& f : kFiTable) {
    const auto fiNibble = static_cast<std::uint8_t>(f.nibble << 4);
    EXPECT_EQ(ClockRateOf(fiNibble).fi, f.fi) << f.nibble;
    EXPECT_EQ(ClockRateOf(fiNibble).fmaxTenths, static_cast<unsigned>(f.fmax * 10)) << f.nibble;
    for (auto [diNibble, di] : kDiTable) {
      const auto fiDi = static_cast<std::uint8_t>(fiNibble | diNibble);
      EXPECT_EQ(BaudRateAdjustmentOf(fiDi), di);
      for (std::uint32_t clock : kClocks) {
        // baud = f x Di / Fi, to the nearest whole baud.
        const auto expected = static_cast<std::uint32_t>(std::llround(double(clock) * di / f.fi));
        EXPECT_EQ(BaudRateOf(clock, fiDi), expected) << std::hex << int(fiDi) << " " << clock;
      }
    }
  }
}

TEST(TransmissionRateTest, GivesTheWorkedRates) {
  const struct {
    std::uint32_t clock;
    std::uint8_t fiDi;
    std::uint32_t baud;
  } worked[] = {{3'571'200, 0x11, 9600},   {3'579'545, 0x11, 9622},   {6'000'000, 0x11, 16129},
                {3'571'200, 0x96, 223200}, {3'571'200, 0x95, 111600}, {3'571'200, 0x18, 115200},
                {3'571'200, 0x13, 38400},  {20'000'000, 0xD7, 625000}};
  for (const auto& w : worked) {
    EXPECT_EQ(BaudRateOf(w.clock, w.fiDi), w.baud) << std::hex << int(w.fiDi);
  }
}

TEST(TransmissionRateTest, ReservedValuesGiveNoRate) {
  for (std::uint8_t fiDi : {0x71, 0x81, 0xE1, 0xF1, 0x10, 0x1A, 0x1F, 0x70}) {
    EXPECT_EQ(BaudRateOf(3'571'200, fiDi), std::nullopt) << std::hex << int(fiDi);
  }
}

}  // namespace
}  // namespace quorvel
