#include "card/speed_negotiation.h"

#include <chrono>
#include <optional>

#include "iso7816/text_append.h"
#include "iso7816/transmission_rate.h"

namespace quorvel {
namespace {

constexpr unsigned kLongestRequest = 4;   // PPSS, PPS0, PPS1, PCK
constexpr unsigned kLongestResponse = 6;  // PPSS, PPS0, PPS1 to PPS3, PCK
constexpr unsigned kResponseStart = 2;    // PPSS and PPS0 tell the response's length
constexpr std::uint8_t kPpss = 0xFF;

std::string Baud(std::uint32_t rate) {
  return std::to_string(rate) + " baud";
}

std::string Factors(std::uint8_t fiDi) {
  return "Fi=" + std::to_string(ClockRateOf(fiDi).fi) +
         ", Di=" + std::to_string(BaudRateAdjustmentOf(fiDi));
}

std::string CannotRun(std::uint32_t rate) {
  return "The serial port cannot run at " + Baud(rate);
}

std::string ProtocolNumber(unsigned protocol) {
  return "T=" + std::to_string(protocol);
}

// "T=0", "T=0 and T=1", "T=1, T=14 and T=0" (the first named first).
std::string OfferedProtocols(const AtrProtocols& protocols) {
  std::string text = ProtocolNumber(protocols.first);
  unsigned others = 0;
  for (unsigned t = 0; t < 15; ++t) others += t != protocols.first && protocols.Offers(t);
  for (unsigned t = 0, named = 0; t < 15; ++t) {
    if (t == protocols.first || !protocols.Offers(t)) continue;
    text += ++named == others ? " and " : ", ";
    text += ProtocolNumber(t);
  }
  return text;
}

// "proto=t1 asks for T=1" or, without the clause, what Quorvel takes by itself.
std::string Asked(ProtocolChoice choice) {
  switch (choice) {
    case ProtocolChoice::kT0:
      return "proto=t0 asks for T=0";
    case ProtocolChoice::kT1:
      return "proto=t1 asks for T=1";
    case ProtocolChoice::kByCard:
      break;
  }
  return "Quorvel speaks T=0 and T=1";
}

// Why no protocol fits: the card's offer against the choice.
std::string NoProtocolReason(const AtrProtocols& protocols, ProtocolChoice choice) {
  if (protocols.specificMode) {
    return "TA2 fixes the card to " + ProtocolNumber(protocols.specific) + ", and " + Asked(choice);
  }
  return "the card offers " + OfferedProtocols(protocols) + ", and " + Asked(choice);
}

// The protocol in use once the card has been reset again without PPS: its first, when the
// settings allow it.
std::optional<CardProtocol> FirstIfAllowed(const AtrProtocols& protocols, ProtocolChoice choice) {
  AtrProtocols alone = protocols;
  alone.offered = static_cast<std::uint16_t>(1u << protocols.first);
  return ChooseProtocol(alone, choice);
}

// The note's end: the protocol in use, or that the card gets no command.
void EndNote(SpeedNegotiation& result, const std::string& whyNone) {
  if (result.protocol) {
    result.note += "; protocol ";
    result.note += ProtocolName(*result.protocol);
  } else {
    result.note += "; " + whyNone + ": no command is sent";
  }
}

// A clock above f(max) runs the card beyond what it promises to take (ISO/IEC 7816-3,
// table 7); without TA1, f(max) is the default 5 MHz.
void WarnOfFastClock(SpeedNegotiation& result, std::uint32_t clockHz) {
  const unsigned fmaxTenths = ClockRateOf(result.offer.fiDi).fmaxTenths;
  if (fmaxTenths == 0 || std::uint64_t{clockHz} * 10 <= std::uint64_t{fmaxTenths} * 1000000) {
    return;
  }
  result.note += "; warning: the reader's ";
  iso7816_text::AppendClockMegahertz(result.note, clockHz);
  result.note += " clock is above the card's f(max) of ";
  iso7816_text::AppendClockMegahertz(result.note, fmaxTenths * 100000);
}

// The card's speed in the first characters after the ATR, by Fi and Di.
std::uint32_t RateOf(const AtrSpeedOffer& offer, std::uint32_t clockHz) {
  return BaudRate(clockHz, ClockRateOf(offer.fiDi).fi, BaudRateAdjustmentOf(offer.fiDi));
}

// The time allowed before each character of the echo and the response: the initial waiting
// time between leading edges, and the character's own time on the line to receive it whole.
std::chrono::milliseconds CharacterGap(const LineSettings& line, const AtrSpeedOffer& offer,
                                       std::uint32_t clockHz) {
  const std::chrono::nanoseconds character(line.baudRate == 0
                                               ? 0
                                               : std::uint64_t{HalfBitsPerCharacter(line)} *
                                                     1'000'000'000ull / (2ull * line.baudRate));
  return std::chrono::ceil<std::chrono::milliseconds>(
      InitialWaitingTime(offer.waitingInteger, clockHz) + character);
}

const char* NoPpsReason(AtrSpeedMode mode) {
  switch (mode) {
    case AtrSpeedMode::kNoAtr:
      return "No PPS: there is no whole ATR to go by";
    case AtrSpeedMode::kDefault:
      return "No PPS: the ATR offers no speed but the default";
    case AtrSpeedMode::kReservedValues:
      return "No PPS: TA1 names reserved values";
    case AtrSpeedMode::kSpecificImplicit:
      return "No PPS: TA2 sets the specific mode with implicit values";
    case AtrSpeedMode::kNegotiable:
    case AtrSpeedMode::kSpecificTa1:
      break;
  }
  return "No PPS";
}

// The PPS request, its echo and the response; the line stays at its rate.
void ExchangePps(CCardPort& port, const LineSettings& line, std::uint32_t clockHz,
                 SpeedNegotiation& result) {
  result.requestSent = true;
  const unsigned length = PpsRequestLength(result.request);
  const std::string resetAgain = ": reset again at " + Baud(line.baudRate);
  if (port.Write(result.request.data(), length) < length) {
    result.outcome = SpeedOutcome::kFailed;
    result.resetAgain = true;
    result.note = "The PPS request could not be sent whole" + resetAgain;
    return;
  }
  // PPS0 tells how many bytes follow it, so the response is read in two steps. The card may
  // take the waiting time before each character, not just once for them all.
  const std::chrono::milliseconds gap = CharacterGap(line, result.offer, clockHz);
  std::uint8_t bytes[kLongestRequest + kLongestResponse];
  unsigned got = port.ReadEachWithin(bytes, length + kResponseStart, gap);
  if (got == length + kResponseStart && bytes[length] == kPpss) {
    got +=
        port.ReadEachWithin(bytes + got, PpsLength(bytes[length + 1]) - kResponseStart, gap, true);
  }
  result.received.assign(bytes, bytes + got);
  const unsigned echoed = got < length ? got : length;
  result.verdict =
      JudgePpsResponse(result.request, std::span<const std::uint8_t>(bytes + echoed, got - echoed));
  switch (result.verdict) {
    case PpsVerdict::kAccepted:
      result.outcome = SpeedOutcome::kAccepted;
      return;
    case PpsVerdict::kKeptDefault:
      result.outcome = SpeedOutcome::kKeptDefault;
      result.note = "PPS answered without PPS1: the card keeps Fi=372, Di=1; the line stays at " +
                    Baud(line.baudRate);
      return;
    default:
      break;
  }
  result.outcome = SpeedOutcome::kFailed;
  result.resetAgain = true;
  std::string reason = PpsFailureReason(result.verdict);
  reason[0] = 'T';  // the phrase starts with "the"
  result.note = reason + resetAgain;
}

// The specific mode: no PPS; with changeSpeed the line follows TA1's values.
void FollowSpecificMode(CCardPort& port, const LineSettings& line, std::uint32_t clockHz,
                        bool changeSpeed, SpeedNegotiation& result) {
  const std::string stays = "; the line stays at " + Baud(line.baudRate);
  if (result.offer.mode != AtrSpeedMode::kSpecificTa1) {
    if (result.offer.mode == AtrSpeedMode::kSpecificImplicit) {
      result.outcome = SpeedOutcome::kSpecificMode;
    }
    result.note = NoPpsReason(result.offer.mode) + stays;
    return;
  }
  if (!changeSpeed) {
    result.note = "No PPS: TA2 sets the specific mode with " + Factors(result.offer.fiDi) +
                  ", and speed negotiation is off" + stays;
    return;
  }
  // The card speaks at that rate already: a line that cannot follow cannot hear it.
  const std::uint32_t rate = RateOf(result.offer, clockHz);
  if (!port.SetBaudRate(rate)) {
    result.outcome = SpeedOutcome::kRateUnavailable;
    result.resetAgain = true;
    result.note = CannotRun(rate) + ": reset again at " + Baud(line.baudRate);
    return;
  }
  result.outcome = SpeedOutcome::kSpecificMode;
  result.baud = rate;
  result.note = "No PPS: TA2 sets the specific mode with " + Factors(result.offer.fiDi) +
                "; the line runs at " + Baud(rate);
}

// The negotiable mode: a PPS request when the protocol or the speed asks for one.
void SelectByPps(CCardPort& port, const LineSettings& line, std::uint32_t clockHz, bool changeSpeed,
                 SpeedNegotiation& result) {
  const std::string stays = "; the line stays at " + Baud(line.baudRate);
  const auto protocol = static_cast<std::uint8_t>(*result.protocol);
  const bool selectProtocol = protocol != result.offer.protocols.first;
  bool askSpeed = changeSpeed && result.offer.mode == AtrSpeedMode::kNegotiable;
  const std::uint32_t rate = RateOf(result.offer, clockHz);
  std::string before;  // what the note says ahead of the exchange's outcome
  if (askSpeed) {
    // A rate the port cannot run is not asked of the card, which then needs no second reset.
    if (!port.SetBaudRate(rate)) {
      result.outcome = SpeedOutcome::kRateUnavailable;
      askSpeed = false;
      before = CannotRun(rate);
      if (!selectProtocol) {
        result.note = before + ": no PPS" + stays;
        return;
      }
      before += ", so PPS asks for " + ProtocolNumber(protocol) + " alone; ";
    } else if (!port.SetBaudRate(line.baudRate)) {
      result.outcome = SpeedOutcome::kRateUnavailable;
      result.resetAgain = true;
      result.note = "The serial port cannot return to " + Baud(line.baudRate) + ": reset again";
      return;
    }
  }
  if (!askSpeed && !selectProtocol) {
    result.note = !changeSpeed ? "No PPS: speed negotiation is off" + stays
                               : NoPpsReason(result.offer.mode) + stays;
    return;
  }
  result.request =
      askSpeed ? MakePpsRequest(protocol, result.offer.fiDi) : MakePpsRequest(protocol);
  ExchangePps(port, line, clockHz, result);
  if (result.outcome == SpeedOutcome::kAccepted && !askSpeed) {
    result.note = "PPS accepted: " + ProtocolNumber(protocol) + " selected" + stays;
    // The protocol is in use, the speed is not.
    if (!before.empty()) result.outcome = SpeedOutcome::kRateUnavailable;
  }
  if (!before.empty()) {
    if (result.note.starts_with("The ")) result.note[0] = 't';  // a reason's "The card ..."
    result.note.insert(0, before);
  }
  if (result.outcome != SpeedOutcome::kAccepted || !askSpeed) return;
  if (!port.SetBaudRate(rate)) {
    result.outcome = SpeedOutcome::kRateUnavailable;
    result.resetAgain = true;
    result.note = CannotRun(rate) + ": reset again at " + Baud(line.baudRate);
    return;
  }
  result.baud = rate;
  result.note = "PPS accepted: " + Factors(result.offer.fiDi) + "; the line runs at " + Baud(rate);
}

}  // namespace

SpeedNegotiation NegotiateSpeed(CCardPort& port, std::span<const std::uint8_t> atr,
                                std::uint32_t clockHz, ProtocolChoice choice, bool changeSpeed) {
  SpeedNegotiation result;
  result.offer = ReadSpeedOffer(atr);
  const std::optional<LineSettings> line = port.LineInUse();
  if (!line) {
    result.note = "No PPS: the port is closed";
    return result;
  }
  result.baud = line->baudRate;
  const AtrProtocols& offered = result.offer.protocols;
  std::string whyNone;
  if (result.offer.mode == AtrSpeedMode::kNoAtr) {
    // Nothing tells otherwise: the protocol chosen, or T=0.
    result.protocol = choice == ProtocolChoice::kT1 ? CardProtocol::kT1 : CardProtocol::kT0;
    result.note = NoPpsReason(AtrSpeedMode::kNoAtr) + std::string("; the line stays at ") +
                  Baud(line->baudRate);
  } else if (result.protocol = ChooseProtocol(offered, choice); !result.protocol) {
    result.outcome = SpeedOutcome::kNoProtocol;
    result.note = "No PPS: " + NoProtocolReason(offered, choice) + ": no command is sent";
    WarnOfFastClock(result, clockHz);
    return result;
  } else if (offered.checkWrong) {
    // A PPS is not sent after an ATR that may have been read wrong: the card keeps its first
    // protocol, which Quorvel speaks when it is allowed.
    result.note = "No PPS: the ATR's TCK is wrong; the line stays at " + Baud(line->baudRate);
    if (*result.protocol != static_cast<CardProtocol>(offered.first)) {
      result.protocol = FirstIfAllowed(offered, choice);
      whyNone =
          "without PPS the card speaks " + ProtocolNumber(offered.first) + ", and " + Asked(choice);
    }
  } else if (offered.specificMode) {
    FollowSpecificMode(port, *line, clockHz, changeSpeed, result);
  } else {
    SelectByPps(port, *line, clockHz, changeSpeed, result);
    if (result.resetAgain) {
      // Reset again without PPS, the card speaks its first protocol.
      result.protocol = FirstIfAllowed(offered, choice);
      whyNone =
          "without PPS the card speaks " + ProtocolNumber(offered.first) + ", and " + Asked(choice);
    }
  }
  EndNote(result, whyNone);
  WarnOfFastClock(result, clockHz);
  return result;
}

}  // namespace quorvel
