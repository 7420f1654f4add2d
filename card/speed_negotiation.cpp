#include "card/speed_negotiation.h"

#include <chrono>
#include <optional>

#include "iso7816/transmission_rate.h"

namespace quorvel {
namespace {

constexpr unsigned kEchoBytes = 4;
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

// The card's speed in the first T=0 characters after the ATR, by Fi and Di.
std::uint32_t RateOf(const AtrSpeedOffer& offer, std::uint32_t clockHz) {
  return BaudRate(clockHz, ClockRateOf(offer.fiDi).fi, BaudRateAdjustmentOf(offer.fiDi));
}

// Long enough for the request's echo and the longest response to cross the line at its
// rate, and for the card to take the initial waiting time before it answers.
std::chrono::milliseconds ExchangeWindow(const LineSettings& line, const AtrSpeedOffer& offer,
                                         std::uint32_t clockHz) {
  const std::uint64_t halfBits =
      std::uint64_t{kEchoBytes + kLongestResponse} * HalfBitsPerCharacter(line);
  const std::chrono::nanoseconds characters(
      line.baudRate == 0 ? 0 : halfBits * 1'000'000'000ull / (2ull * line.baudRate));
  return std::chrono::ceil<std::chrono::milliseconds>(
      InitialWaitingTime(offer.waitingInteger, clockHz) + characters);
}

const char* NoPpsReason(AtrSpeedMode mode) {
  switch (mode) {
    case AtrSpeedMode::kNoAtr:
      return "No PPS: there is no whole ATR to go by";
    case AtrSpeedMode::kDefault:
      return "No PPS: the ATR offers no speed but the default";
    case AtrSpeedMode::kReservedValues:
      return "No PPS: TA1 names reserved values";
    case AtrSpeedMode::kNoT0:
      return "No PPS: the card does not offer T=0";
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
  result.request = MakePpsRequest(0, result.offer.fiDi);
  result.requestSent = true;
  const std::string resetAgain = ": reset again at " + Baud(line.baudRate);
  if (port.Write(result.request.data(), kEchoBytes) < kEchoBytes) {
    result.outcome = SpeedOutcome::kFailed;
    result.resetAgain = true;
    result.note = "The PPS request could not be sent whole" + resetAgain;
    return;
  }
  // PPS0 tells how many bytes follow it, so the response is read in two steps, both within
  // one window: with deadlines each ends once its bytes are in.
  std::uint8_t bytes[kEchoBytes + kLongestResponse];
  unsigned got = port.ReadWithin(bytes, kEchoBytes + kResponseStart,
                                 ExchangeWindow(line, result.offer, clockHz));
  if (got == kEchoBytes + kResponseStart && bytes[kEchoBytes] == kPpss) {
    got += port.ReadRestOfWindow(bytes + got, PpsLength(bytes[kEchoBytes + 1]) - kResponseStart);
  }
  result.received.assign(bytes, bytes + got);
  const unsigned echoed = got < kEchoBytes ? got : kEchoBytes;
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

}  // namespace

SpeedNegotiation NegotiateSpeed(CCardPort& port, std::span<const std::uint8_t> atr,
                                std::uint32_t clockHz) {
  SpeedNegotiation result;
  result.offer = ReadSpeedOffer(atr);
  const std::optional<LineSettings> line = port.LineInUse();
  if (!line) {
    result.note = "No PPS: the port is closed";
    return result;
  }
  result.baud = line->baudRate;
  const std::string stays = "; the line stays at " + Baud(line->baudRate);
  const AtrSpeedMode mode = result.offer.mode;
  if (mode != AtrSpeedMode::kNegotiable && mode != AtrSpeedMode::kSpecificTa1) {
    if (mode == AtrSpeedMode::kSpecificImplicit) result.outcome = SpeedOutcome::kSpecificMode;
    result.note = NoPpsReason(mode) + stays;
    return result;
  }
  const std::uint32_t rate = RateOf(result.offer, clockHz);
  if (mode == AtrSpeedMode::kSpecificTa1) {
    // The card speaks at that rate already: a line that cannot follow cannot hear it.
    if (!port.SetBaudRate(rate)) {
      result.outcome = SpeedOutcome::kRateUnavailable;
      result.resetAgain = true;
      result.note = CannotRun(rate) + ": reset again at " + Baud(line->baudRate);
      return result;
    }
    result.outcome = SpeedOutcome::kSpecificMode;
    result.baud = rate;
    result.note = "No PPS: TA2 sets the specific mode with " + Factors(result.offer.fiDi) +
                  "; the line runs at " + Baud(rate);
    return result;
  }
  // A rate the port cannot run is not asked of the card, which then needs no second reset.
  if (!port.SetBaudRate(rate)) {
    result.outcome = SpeedOutcome::kRateUnavailable;
    result.note = CannotRun(rate) + ": no PPS" + stays;
    return result;
  }
  if (!port.SetBaudRate(line->baudRate)) {
    result.outcome = SpeedOutcome::kRateUnavailable;
    result.resetAgain = true;
    result.note = "The serial port cannot return to " + Baud(line->baudRate) + ": reset again";
    return result;
  }
  ExchangePps(port, *line, clockHz, result);
  if (result.outcome != SpeedOutcome::kAccepted) return result;
  if (!port.SetBaudRate(rate)) {
    result.outcome = SpeedOutcome::kRateUnavailable;
    result.resetAgain = true;
    result.note = CannotRun(rate) + ": reset again at " + Baud(line->baudRate);
    return result;
  }
  result.baud = rate;
  result.note = "PPS accepted: " + Factors(result.offer.fiDi) + "; the line runs at " + Baud(rate);
  return result;
}

}  // namespace quorvel
