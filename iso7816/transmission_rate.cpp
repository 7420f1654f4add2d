#include "iso7816/transmission_rate.h"

namespace quorvel {
namespace {

constexpr ClockRateConversion kClockRates[16] = {
    {372, 40}, {372, 50}, {558, 60}, {744, 80},   {1116, 120}, {1488, 160}, {1860, 200}, {0, 0},
    {0, 0},    {512, 50}, {768, 75}, {1024, 100}, {1536, 150}, {2048, 200}, {0, 0},      {0, 0}};
constexpr unsigned kBaudDivisors[16] = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

}  // namespace

ClockRateConversion ClockRateOf(std::uint8_t fiDi) {
  return kClockRates[fiDi >> 4];
}

unsigned BaudRateAdjustmentOf(std::uint8_t fiDi) {
  return kBaudDivisors[fiDi & 0x0F];
}

std::uint32_t BaudRate(std::uint32_t clockHz, unsigned fi, unsigned di) {
  return static_cast<std::uint32_t>((static_cast<unsigned long long>(clockHz) * di + fi / 2) / fi);
}

std::optional<std::uint32_t> BaudRateOf(std::uint32_t clockHz, std::uint8_t fiDi) {
  const unsigned fi = ClockRateOf(fiDi).fi;
  const unsigned di = BaudRateAdjustmentOf(fiDi);
  if (fi == 0 || di == 0) return std::nullopt;
  return BaudRate(clockHz, fi, di);
}

}  // namespace quorvel
