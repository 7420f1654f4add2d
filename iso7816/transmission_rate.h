#pragma once

#include <cstdint>
#include <optional>

namespace quorvel {

// The clock most serial card readers feed the card, in Hz: at Fi = 372, Di = 1 it gives
// exactly 9600 baud.
inline constexpr std::uint32_t kDefaultReaderClockHz = 3571200;

// Fi and f(max) that the high nibble of TA1 (or of PPS1) names (ISO/IEC 7816-3, table 7).
struct ClockRateConversion {
  unsigned fi = 0;          // 0 when the value is reserved
  unsigned fmaxTenths = 0;  // f(max) in tenths of a MHz
};
ClockRateConversion ClockRateOf(std::uint8_t fiDi);

// Di that the low nibble of TA1 (or of PPS1) names (ISO/IEC 7816-3, table 8); 0 when reserved.
unsigned BaudRateAdjustmentOf(std::uint8_t fiDi);

// The line's rate for a card clocked at clockHz with the factors Fi and Di: clock x Di / Fi,
// rounded to the nearest baud. nullopt when Fi or Di is reserved.
std::optional<std::uint32_t> BaudRateOf(std::uint32_t clockHz, std::uint8_t fiDi);
std::uint32_t BaudRate(std::uint32_t clockHz, unsigned fi, unsigned di);

}  // namespace quorvel
