#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "port/message_sink.h"

namespace quorvel {

// The clock a reader may feed a card, in Hz: ISO/IEC 7816-3 starts cards at 1 MHz or more,
// and its highest f(max) is 20 MHz.
inline constexpr std::uint32_t kSlowestReaderClockHz = 1'000'000;
inline constexpr std::uint32_t kFastestReaderClockHz = 20'000'000;

// A reader clock as read from the user, or why it cannot be used.
struct ReaderClockSetting {
  std::optional<std::uint32_t> hz;  // none when the text is no usable clock
  std::string error;                // then: what is wrong, naming where it was given
};

// Reads a clock in Hz, a whole number within the bounds above, blanks around it allowed.
// `source` names where it was given in the error ("--clock", "clock= in [reader]").
ReaderClockSetting ParseReaderClock(std::string_view text, std::string_view source);

// The clock that the profile's [reader] section names with clock= (the key in any case);
// the usual 3.5712 MHz when the section has none.
ReaderClockSetting ReaderClockOfSection(const std::map<std::string, std::string>& section);

// The reader's clock for the window and the command line alike: the profile's [reader]
// section's; a value there that is no clock is told once, worded for the audience, and the
// usual 3.5712 MHz used.
std::uint32_t ReaderClockOfProfile(const std::map<std::string, std::string>& readerSection,
                                   MessageSink& messages, MessageAudience audience);

}  // namespace quorvel
