#include "card/automatic_response.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kMoreData = 0x61;          // ISO/IEC 7816-4: XX bytes still available
constexpr std::uint8_t kGsmResponseReady = 0x9F;  // GSM 11.11: XX bytes of response data
constexpr std::uint8_t kWrongLength = 0x6C;       // ISO/IEC 7816-4: wrong Le, XX is exact
constexpr std::uint8_t kWarningUnchanged = 0x62;  // ISO/IEC 7816-4: warnings, the answer
constexpr std::uint8_t kWarningChanged = 0x63;    // waits behind them in case 4
constexpr std::uint8_t kGetResponse = 0xC0;
// P3 = 00 takes no data in this program's exchange: 256 bytes are fetched as 255 and a rest.
constexpr std::uint8_t kLongestFetch = 0xFF;
constexpr std::uint8_t kGsmClass = 0xA0;

CardCommand GetResponse(std::uint8_t cla, std::uint8_t p3) {
  CardCommand command = NewCardCommand();
  const std::uint8_t header[5] = {GetResponseClass(cla), kGetResponse, 0x00, 0x00, p3};
  std::copy(std::begin(header), std::end(header), command.header);
  command.direction = kFromCard;
  return command;
}

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

std::uint8_t GetResponseClass(std::uint8_t cla) {
  if ((cla & 0xF0) == kGsmClass || cla == 0xFF) return cla;
  if (cla <= 0x1F || (cla >= 0x80 && cla <= 0xBF)) {
    // First interindustry coding (and 8X to BX, coded alike): b2 b1 name the channel.
    return cla & 0x03;
  }
  if (cla >= 0x40) {
    // Further interindustry coding (and CX to FE): b4 to b1 name channels 4 to 19.
    return static_cast<std::uint8_t>(0x40 | (cla & 0x0F));
  }
  return cla;  // 20 to 3F: reserved for future use, left as it is
}

std::optional<AutomaticCommand> NextAutomaticCommand(const CardCommand& sent, int result,
                                                     const ExchangeState& state,
                                                     bool caseFourSentAsThree) {
  const std::optional<std::uint16_t> answer = AnsweringStatusWord(result, state);
  if (!answer) return std::nullopt;
  const auto sw1 = static_cast<std::uint8_t>(*answer >> 8);
  const auto sw2 = static_cast<std::uint8_t>(*answer & 0xFF);
  AutomaticCommand next;
  next.statusWord[0] = sw1;
  next.statusWord[1] = sw2;
  if (sw1 == kMoreData || sw1 == kGsmResponseReady) {
    next.kind = AutomaticCause::Kind::kGetResponse;
    next.command = GetResponse(sent.cla(), sw2 == 0 ? kLongestFetch : sw2);
    return next;
  }
  if (sw1 == kWrongLength) {
    if (sent.direction == kToCard || sent.p3() == sw2) return std::nullopt;
    next.kind = AutomaticCause::Kind::kResend;
    next.command = sent;
    next.command.header[4] = sw2;
    return next;
  }
  if (caseFourSentAsThree && (sw1 == kWarningUnchanged || sw1 == kWarningChanged)) {
    next.kind = AutomaticCause::Kind::kGetResponse;
    next.command = GetResponse(sent.cla(), 0x00);
    return next;
  }
  return std::nullopt;
}

}  // namespace quorvel
