#include "port/reader_clock.h"

#include <strings.h>

#include <charconv>

#include "iso7816/transmission_rate.h"

namespace quorvel {

ReaderClockSetting ParseReaderClock(std::string_view text, std::string_view source) {
  std::string_view digits = text;
  while (!digits.empty() && (digits.front() == ' ' || digits.front() == '\t'))
    digits.remove_prefix(1);
  while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\t'))
    digits.remove_suffix(1);
  std::uint32_t hz = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), hz);
  if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size() &&
      hz >= kSlowestReaderClockHz && hz <= kFastestReaderClockHz) {
    return {hz, {}};
  }
  return {std::nullopt, std::string(source) +
                            " needs the reader's clock in Hz, a whole number from 1000000 to "
                            "20000000 such as 3579545, not \"" +
                            std::string(text) + "\""};
}

ReaderClockSetting ReaderClockOfSection(const std::map<std::string, std::string>& section) {
  for (const auto& [key, value] : section) {
    // Keys compare without regard to case, as the profile's do.
    if (strcasecmp(key.c_str(), "clock") == 0) return ParseReaderClock(value, "clock= in [reader]");
  }
  return {kDefaultReaderClockHz, {}};
}

std::uint32_t ReaderClockOfProfile(const std::map<std::string, std::string>& readerSection,
                                   MessageSink& messages, MessageAudience audience) {
  const ReaderClockSetting clock = ReaderClockOfSection(readerSection);
  if (clock.hz) return *clock.hz;
  messages.ShowMessage(audience == MessageAudience::kWindow
                           ? clock.error + "\n\nThe usual 3.5712 MHz is used."
                           : clock.error +
                                 "; the usual 3.5712 MHz is used (--clock names another).");
  return kDefaultReaderClockHz;
}

}  // namespace quorvel
