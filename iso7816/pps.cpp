#include "iso7816/pps.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "iso7816/text_append.h"
#include "iso7816/transmission_rate.h"

namespace quorvel {
namespace {

using iso7816_text::AppendClockMegahertz;
using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;
using iso7816_text::AppendHexBytes;

constexpr std::uint8_t kPpss = 0xFF;
constexpr unsigned kDefaultWaitingInteger = 10;
constexpr unsigned kDefaultClockRate = 372;  // Fd
// PPS0: bits 4 to 1 name T, bits 5 to 7 announce PPS1 to PPS3, bit 8 is reserved.
constexpr std::uint8_t kProtocolBits = 0x0F;
constexpr std::uint8_t kPps1Present = 0x10;
constexpr std::uint8_t kReservedBit = 0x80;
// TA2 bit 5: the specific mode uses implicit values rather than TA1's.
constexpr std::uint8_t kImplicitValues = 0x10;

// "Fi=512, Di=32" for TA1 or PPS1, "reserved" for a value the tables leave open.
void AppendFactors(std::string& text, std::uint8_t fiDi) {
  const unsigned fi = ClockRateOf(fiDi).fi;
  const unsigned di = BaudRateAdjustmentOf(fiDi);
  text += "Fi=";
  if (fi == 0) {
    text += "reserved";
  } else {
    AppendDecimal(text, fi);
  }
  text += ", Di=";
  if (di == 0) {
    text += "reserved";
  } else {
    AppendDecimal(text, di);
  }
}

std::string& Start(std::vector<AtrItem>& items, std::size_t offset, std::size_t length) {
  AtrItem& item = items.emplace_back();
  item.offset = offset;
  item.length = length;
  return item.text;
}

std::string& StartByte(std::vector<AtrItem>& items, std::size_t offset, const char* name,
                       std::uint8_t value) {
  std::string& text = Start(items, offset, 1);
  text += name;
  text += ' ';
  AppendHex(text, value);
  text += ": ";
  return text;
}

// The names of the bytes of a PPS message with this PPS0, in order.
std::vector<const char*> PpsByteNames(std::uint8_t pps0) {
  std::vector<const char*> names = {"PPSS", "PPS0"};
  static constexpr const char* kParameters[3] = {"PPS1", "PPS2", "PPS3"};
  for (int bit = 0; bit < 3; ++bit) {
    if ((pps0 & (kPps1Present << bit)) != 0) names.push_back(kParameters[bit]);
  }
  names.push_back("PCK");
  return names;
}

// "T=0 with Fi=512, Di=32", or "T=1 alone" for a request without PPS1.
void AppendAskedFor(std::string& text, const PpsRequest& request) {
  text += "T=";
  AppendDecimal(text, request[1] & kProtocolBits);
  if ((request[1] & kPps1Present) == 0) {
    text += " alone, Fi=372, Di=1 kept";
    return;
  }
  text += " with ";
  AppendFactors(text, request[2]);
}

void ExplainEcho(std::vector<AtrItem>& items, const PpsRequest& request,
                 std::span<const std::uint8_t> echo) {
  const unsigned length = PpsRequestLength(request);
  std::string& text = Start(items, 0, echo.size());
  text += "Echo ";
  AppendHexBytes(text, echo.data(), echo.size());
  text += ": ";
  if (echo.size() < length) {
    AppendDecimal(text, echo.size());
    text += " of the ";
    AppendDecimal(text, length);
    text += " bytes of the PPS request ";
    AppendHexBytes(text, request.data(), length);
  } else if (!std::equal(echo.begin(), echo.end(), request.begin())) {
    text += "not the PPS request ";
    AppendHexBytes(text, request.data(), length);
    text += " that was sent";
  } else {
    text += "the PPS request, asking for ";
    AppendAskedFor(text, request);
  }
}

void ExplainPps0(std::string& text, std::uint8_t pps0, const PpsRequest& request) {
  text += "T=";
  AppendDecimal(text, pps0 & kProtocolBits);
  if ((pps0 & kProtocolBits) != (request[1] & kProtocolBits)) {
    text += " (the request asked for T=";
    AppendDecimal(text, request[1] & kProtocolBits);
    text += ')';
  }
  const std::vector<const char*> names = PpsByteNames(pps0);
  const std::size_t parameters = names.size() - 3;
  if (parameters == 0) {
    text += "; no PPS1: the card keeps Fi=372, Di=1";
  } else {
    text += "; ";
    for (std::size_t i = 0; i < parameters; ++i) {
      if (i > 0) text += i + 1 == parameters ? " and " : ", ";
      text += names[2 + i];
    }
    text += parameters == 1 ? " follows" : " follow";
  }
  if ((pps0 & kReservedBit) != 0) text += "; bit 8 is reserved but set";
}

void ExplainPps1(std::string& text, std::uint8_t pps1, const PpsRequest& request,
                 std::uint32_t clockHz) {
  AppendFactors(text, pps1);
  if (const auto baud = BaudRateOf(clockHz, pps1)) {
    text += ": ";
    AppendDecimal(text, *baud);
    text += " baud at ";
    AppendClockMegahertz(text, clockHz);
  } else {
    text += ": reserved values, no speed can be derived";
  }
  if ((request[1] & kPps1Present) == 0) {
    text += "; the request left PPS1 out";
  } else if (pps1 != request[2]) {
    text += "; the request asked for ";
    AppendHex(text, request[2]);
  }
}

void ExplainCheck(std::string& text, std::span<const std::uint8_t> message) {
  std::uint8_t sum = 0;
  for (std::uint8_t byte : message) sum ^= byte;
  if (sum == 0) {
    text += "correct: the XOR of PPSS through PCK is 00";
    return;
  }
  text += "wrong: the XOR of PPSS through PCK is ";
  AppendHex(text, sum);
  text += ", not 00; the right PCK is ";
  AppendHex(text, static_cast<std::uint8_t>(message.back() ^ sum));
}

// The response's bytes by name, then what is missing of it.
// `at` is the response's offset among the bytes received.
void ExplainResponse(std::vector<AtrItem>& items, const PpsRequest& request,
                     std::span<const std::uint8_t> response, std::size_t at,
                     std::uint32_t clockHz) {
  if (response.empty()) {
    Start(items, at, 0) = "No PPS response: the card sent nothing after the echo";
    return;
  }
  if (response[0] != kPpss) {
    StartByte(items, at, "PPSS", response[0]) += "not a PPS response, which starts with FF";
    if (response.size() > 1) {
      Start(items, at + 1, response.size() - 1) =
          "The other bytes are not decoded: without PPSS there is no PPS response";
    }
    return;
  }
  StartByte(items, at, "PPSS", kPpss) += "the card's PPS response";
  if (response.size() == 1) {
    Start(items, at + 1, 0) =
        "The PPS response ends after PPSS: PPS0 and the bytes it announces are missing";
    return;
  }
  const std::uint8_t pps0 = response[1];
  const std::vector<const char*> names = PpsByteNames(pps0);
  const std::size_t received = std::min(response.size(), names.size());
  ExplainPps0(StartByte(items, at + 1, "PPS0", pps0), pps0, request);
  for (std::size_t i = 2; i < received; ++i) {
    std::string& text = StartByte(items, at + i, names[i], response[i]);
    if (i + 1 == names.size()) {
      ExplainCheck(text, response.first(names.size()));
    } else if (i == 2 && (pps0 & kPps1Present) != 0) {
      ExplainPps1(text, response[i], request, clockHz);
    } else {
      text += "not asked for by the request";
    }
  }
  if (received == names.size()) return;
  std::string& text = Start(items, at + received, 0);
  text += "The PPS response ends after ";
  text += names[received - 1];
  text += ": ";
  for (std::size_t i = received; i < names.size(); ++i) {
    if (i > received) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  text += received + 1 == names.size() ? " is missing" : " are missing";
}

}  // namespace

AtrSpeedOffer ReadSpeedOffer(std::span<const std::uint8_t> atr) {
  AtrSpeedOffer offer;
  const std::optional<AtrProtocols> protocols = ReadAtrProtocols(atr);
  if (!protocols) return offer;
  // A whole ATR: every interface byte its T0 and TDi announce is in.
  offer.protocols = *protocols;
  offer.firstProtocol = protocols->first;
  std::size_t at = 2;
  unsigned presence = atr[1] >> 4;
  for (int number = 1;; ++number) {
    for (int letter = 0; letter < 3; ++letter) {  // TA, TB, TC
      if ((presence & (1u << letter)) == 0) continue;
      const std::uint8_t value = atr[at++];
      if (number == 1 && letter == 0) offer.fiDi = value;
      if (number == 2 && letter == 0) {
        offer.ta2 = value;
        offer.hasTa2 = true;
      }
      if (number == 2 && letter == 2 && value != 0) offer.waitingInteger = value;
    }
    if ((presence & 0x08) == 0) break;
    presence = atr[at++] >> 4;
  }
  const unsigned fi = ClockRateOf(offer.fiDi).fi;
  const unsigned di = BaudRateAdjustmentOf(offer.fiDi);
  if (offer.hasTa2 && (offer.ta2 & kImplicitValues) != 0) {
    offer.mode = AtrSpeedMode::kSpecificImplicit;
  } else if (fi == 0 || di == 0) {
    offer.mode = AtrSpeedMode::kReservedValues;
  } else if (fi == kDefaultClockRate && di == 1) {
    offer.mode = AtrSpeedMode::kDefault;
  } else if (offer.hasTa2) {
    offer.mode = AtrSpeedMode::kSpecificTa1;
  } else {
    offer.mode = AtrSpeedMode::kNegotiable;
  }
  return offer;
}

std::chrono::microseconds InitialWaitingTime(std::uint8_t waitingInteger, std::uint32_t clockHz) {
  const unsigned wi = waitingInteger == 0 ? kDefaultWaitingInteger : waitingInteger;
  const unsigned long long cycles = 960ull * wi * kDefaultClockRate * 1'000'000;
  return std::chrono::microseconds((cycles + clockHz - 1) / clockHz);
}

PpsRequest MakePpsRequest(std::uint8_t protocol, std::uint8_t fiDi) {
  const auto pps0 = static_cast<std::uint8_t>(kPps1Present | (protocol & kProtocolBits));
  return {kPpss, pps0, fiDi, static_cast<std::uint8_t>(kPpss ^ pps0 ^ fiDi)};
}

PpsRequest MakePpsRequest(std::uint8_t protocol) {
  const auto pps0 = static_cast<std::uint8_t>(protocol & kProtocolBits);
  return {kPpss, pps0, static_cast<std::uint8_t>(kPpss ^ pps0), 0x00};
}

unsigned PpsRequestLength(const PpsRequest& request) {
  return PpsLength(request[1]);
}

unsigned PpsLength(std::uint8_t pps0) {
  return 3u + static_cast<unsigned>(std::popcount((pps0 >> 4) & 0x07u));
}

PpsVerdict JudgePpsResponse(const PpsRequest& request, std::span<const std::uint8_t> response) {
  if (response.empty()) return PpsVerdict::kNoAnswer;
  if (response[0] != kPpss) return PpsVerdict::kRefused;
  if (response.size() < 2 || response.size() < PpsLength(response[1])) {
    return PpsVerdict::kCutShort;
  }
  const std::uint8_t pps0 = response[1];
  const std::span<const std::uint8_t> message = response.first(PpsLength(pps0));
  std::uint8_t sum = 0;
  for (std::uint8_t byte : message) sum ^= byte;
  if (sum != 0) return PpsVerdict::kWrongCheck;
  if ((pps0 & kProtocolBits) != (request[1] & kProtocolBits)) return PpsVerdict::kRefused;
  if (std::equal(message.begin(), message.end(), request.begin(),
                 request.begin() + PpsRequestLength(request))) {
    return PpsVerdict::kAccepted;
  }
  // Bits 5 to 8 all 0: no parameter bytes, so the default Fd and Dd stay.
  if ((pps0 & 0xF0) == 0) return PpsVerdict::kKeptDefault;
  return PpsVerdict::kRefused;
}

const char* PpsFailureReason(PpsVerdict verdict) {
  switch (verdict) {
    case PpsVerdict::kNoAnswer:
      return "the card did not answer the PPS request";
    case PpsVerdict::kCutShort:
      return "the card's PPS response was cut short";
    case PpsVerdict::kWrongCheck:
      return "the PCK of the card's PPS response is wrong";
    case PpsVerdict::kRefused:
      return "the card refused the PPS request";
    case PpsVerdict::kAccepted:
    case PpsVerdict::kKeptDefault:
      break;
  }
  return "";
}

std::vector<AtrItem> ExplainPps(const PpsRequest& request, std::span<const std::uint8_t> received,
                                std::uint32_t clockHz) {
  std::vector<AtrItem> items;
  items.reserve(8);
  if (received.empty()) {
    Start(items, 0, 0) = "No PPS bytes: neither the request's echo nor a response came";
    return items;
  }
  const std::size_t echoed = std::min<std::size_t>(received.size(), PpsRequestLength(request));
  ExplainEcho(items, request, received.first(echoed));
  const std::span<const std::uint8_t> response = received.subspan(echoed);
  ExplainResponse(items, request, response, echoed, clockHz);
  std::string& text = Start(items, received.size(), 0);
  const PpsVerdict verdict = JudgePpsResponse(request, response);
  if (verdict == PpsVerdict::kAccepted) {
    text += "The response equals the request: the card now speaks ";
    AppendAskedFor(text, request);
  } else if (verdict == PpsVerdict::kKeptDefault) {
    text += "The response leaves PPS1 out: the card keeps Fi=372, Di=1";
  } else {
    text += "The PPS exchange failed: ";
    text += PpsFailureReason(verdict);
    text += "; the card must be reset";
  }
  return items;
}

}  // namespace quorvel
