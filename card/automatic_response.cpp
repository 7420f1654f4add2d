#include "card/automatic_response.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kMoreData = 0x61;          // ISO/IEC 7816-4: XX bytes still available
constexpr std::uint8_t kGsmResponseReady = 0x9F;  // GSM 11.11: XX bytes of response data
constexpr std::uint8_t kWrongLength = 0x6C;       // ISO/IEC 7816-4: wrong Le, XX is exact
constexpr std::uint8_t kGetResponse = 0xC0;
// P3 = 00 takes no data in this program's exchange: 256 bytes are fetched as 255 and a rest.
constexpr std::uint8_t kLongestFetch = 0xFF;

}  // namespace

std::optional<std::uint16_t> AnsweringStatusWord(int result, const ExchangeState& state) {
  if (result == 1) {
    if (state.statusArrived != 2) return std::nullopt;
    return static_cast<std::uint16_t>(state.statusWord[0] << 8 | state.statusWord[1]);
  }
  if (state.stop == ExchangeStop::kWrongProcedureByte &&
      state.received.size() == kDataPosition + 1) {
    return static_cast<std::uint16_t>(state.received[kProcedureBytePosition] << 8 |
                                      state.received[kDataPosition]);
  }
  return std::nullopt;
}

std::optional<AutomaticCommand> NextAutomaticCommand(const CardCommand& sent, int result,
                                                     const ExchangeState& state) {
  const std::optional<std::uint16_t> answer = AnsweringStatusWord(result, state);
  if (!answer) return std::nullopt;
  const auto sw1 = static_cast<std::uint8_t>(*answer >> 8);
  const auto sw2 = static_cast<std::uint8_t>(*answer & 0xFF);
  AutomaticCommand next;
  next.statusWord[0] = sw1;
  next.statusWord[1] = sw2;
  if (sw1 == kMoreData || sw1 == kGsmResponseReady) {
    next.kind = AutomaticCause::Kind::kGetResponse;
    next.command = NewCardCommand();
    const std::uint8_t header[5] = {sent.cla(), kGetResponse, 0x00, 0x00,
                                    sw2 == 0 ? kLongestFetch : sw2};
    std::copy(std::begin(header), std::end(header), next.command.header);
    next.command.direction = kFromCard;
    return next;
  }
  if (sw1 == kWrongLength) {
    next.kind = AutomaticCause::Kind::kResend;
    next.command = sent;
    next.command.header[4] = sw2;
    return next;
  }
  return std::nullopt;
}

}  // namespace quorvel
