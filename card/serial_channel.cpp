#include "card/serial_channel.h"

#include "card/full_t0_exchange.h"
#include "iso7816/command_apdu.h"
#include "iso7816/t1_parameters.h"
#include "iso7816/transmission_rate.h"
#include "iso7816/waiting_times.h"
#include "port/settings_string.h"

namespace quorvel {
namespace {

void Refused(ExchangeState& state, const std::string& why) {
  state.received.clear();
  state.statusArrived = 0;
  state.stop = ExchangeStop::kTransmitFailed;
  state.failure = why;
}

}  // namespace

void SerialChannel::Forget() {
  negotiated_baud_ = 0;
  protocol_ = CardProtocol::kT0;
  refusal_.clear();
  waiting_integer_ = 10;
  fi_ = 372;
  t1_.reset();
  t1_link_.reset();
}

std::uint32_t SerialChannel::ClockHz() const {
  return options_.clockHz != 0 ? options_.clockHz : kDefaultReaderClockHz;
}

void SerialChannel::Open(const std::string& settings) {
  port_.Close();
  port_.Open(settings.c_str());
  settings_ = settings;
  Forget();
  after_reset_again_.reset();
}

void SerialChannel::ApplySettings(const std::string& settings) {
  settings_ = settings;
  port_.ApplySettings(settings.c_str());
  if (negotiated_baud_ != 0) port_.SetBaudRate(negotiated_baud_);
  // T=1's times count in etu of the line's rate, which a new settings string may change.
  if (const std::optional<LineSettings> line = port_.LineInUse(); line && t1_link_) {
    t1_link_->SetLineRate(line->baudRate);
  }
}

std::vector<std::uint8_t> SerialChannel::ResetCard(const std::string& resetSettings) {
  // Whatever is still on the line (the rest of a garbled PPS response, a late answer) is not
  // the card's answer to this reset.
  port_.DiscardInput();
  Forget();
  // With fixed waits: the pulse, the whole wait for the answer, then one read. With
  // deadlines the bytes are taken as they come, until 64 are in or the wait is over: a
  // card may send more than its ATR announces, and the fixed read takes that too.
  port_.PulseResetLine(resetSettings.c_str());
  std::vector<std::uint8_t> atr(kMaxAtrBytes);
  atr.resize(port_.ReadWithin(atr.data(), kMaxAtrBytes, CCardPort::kAnswerWait));
  return atr;
}

std::optional<SpeedNegotiation> SerialChannel::Settle(std::span<const std::uint8_t> atr) {
  if (after_reset_again_) return SettleWithoutPps(atr);
  // The protocol is settled whether or not the speed is: one other than the card's first
  // takes a PPS of its own.
  const ProtocolChoice choice = ReadProtocolChoice(settings_).value_or(ProtocolChoice::kByCard);
  SpeedNegotiation settled = NegotiateSpeed(port_, atr, ClockHz(), choice, options_.negotiateSpeed);
  if (settled.resetAgain) after_reset_again_ = settled;
  protocol_ = settled.protocol;
  if (!protocol_) refusal_ = "Nothing was sent, as the last Reset said: " + settled.note + ".";
  const bool rateChanged =
      settled.outcome == SpeedOutcome::kAccepted || settled.outcome == SpeedOutcome::kSpecificMode;
  if (rateChanged) negotiated_baud_ = settled.baud;
  waiting_integer_ = settled.offer.waitingInteger;
  fi_ = rateChanged ? ClockRateOf(settled.offer.fiDi).fi : 372;
  if (protocol_ == CardProtocol::kT1 && !settled.resetAgain && !atr.empty()) {
    StartT1(atr, settled);
  }
  return settled;
}

std::optional<SpeedNegotiation> SerialChannel::SettleWithoutPps(std::span<const std::uint8_t> atr) {
  // The failed negotiation said which protocol the card speaks without PPS, and whether it
  // is one Quorvel may use; the ResetCard before this forgot it.
  SpeedNegotiation settled;
  settled.offer = after_reset_again_->offer;
  settled.protocol = after_reset_again_->protocol;
  after_reset_again_.reset();
  const std::optional<LineSettings> line = port_.LineInUse();
  settled.baud = line ? line->baudRate : 0;
  protocol_ = settled.protocol;
  waiting_integer_ = settled.offer.waitingInteger;
  if (!protocol_) {
    refusal_ =
        "Nothing was sent, as the last Reset said: the card speaks no protocol that the "
        "settings allow without PPS.";
    settled.note = "Reset again without PPS: no command is sent";
    return settled;
  }
  settled.note = std::string("Reset again without PPS: protocol ") + ProtocolName(*protocol_);
  if (protocol_ == CardProtocol::kT1 && !atr.empty()) StartT1(atr, settled);
  return settled;
}

void SerialChannel::StartT1(std::span<const std::uint8_t> atr, SpeedNegotiation& settled) {
  const T1Parameters parameters = ReadT1Parameters(atr);
  const std::optional<LineSettings> line = port_.LineInUse();
  t1_link_ = std::make_unique<T1SerialLink>(port_, clock_, parameters, ClockHz(),
                                            line ? line->baudRate : 9600,
                                            [this] { return StopRequested(); });
  t1_ = std::make_unique<T1Protocol>(parameters);
  ExchangeState setup;
  const bool announced = t1_->AnnounceIfsd(*t1_link_, setup);
  settled.setupReceived = std::move(setup.received);
  settled.setupPieces = std::move(setup.pieces);
  settled.setupBlocks = std::move(setup.blocks);
  settled.note += announced ? "; IFSD 254 announced" : "; " + setup.failure;
}

void SerialChannel::Exchange(const CardCommand& command, std::optional<std::uint16_t> le,
                             ExchangeState& state) {
  state.pieces.clear();
  state.blocks.clear();
  state.failure.clear();
  state.response.clear();
  state.clearedBeforeHeader = 0;
  if (!protocol_) {
    state.framing = ExchangeFraming::kT0Echo;
    return Refused(state, refusal_);
  }
  if (protocol_ == CardProtocol::kT1) return ExchangeT1(command, le, state);
  // A case 4 command goes as case 3 in T=0: its answer waits behind 61 XX for GET RESPONSE.
  state.framing = options_.fullT0 ? ExchangeFraming::kT0Procedures : ExchangeFraming::kT0Echo;
  if (options_.fullT0) {
    ExchangeCommandFullT0(port_, clock_, command,
                          T0WorkWaitingTime(waiting_integer_, fi_, ClockHz()), state,
                          [this] { return StopRequested(); });
  } else {
    ExchangeCommand(port_, command, state);
    if (state.stop == ExchangeStop::kComplete && command.direction != kToCard &&
        state.received.size() > kDataPosition) {
      state.response.assign(state.received.begin() + kDataPosition, state.received.end());
    }
  }
}

void SerialChannel::ExchangeT1(const CardCommand& command, std::optional<std::uint16_t> le,
                               ExchangeState& state) {
  state.framing = ExchangeFraming::kT1Blocks;
  state.received.clear();
  if (!t1_ || t1_->needsReset()) {
    return Refused(state, t1_ ? "Nothing was sent, as an earlier command left the card "
                                "needing a Reset. " +
                                    t1_->resetReason()
                              : "Nothing was sent: no ATR came, so T=1 was not set up. Click "
                                "Reset.");
  }
  const bool toCard = command.direction == kToCard;
  const CommandApdu apdu =
      BuildCommandApdu(command.header, toCard,
                       std::span<const std::uint8_t>(command.data, toCard ? command.p3() : 0), le);
  T1Answer answer = t1_->Transmit(*t1_link_, apdu.bytes, state);
  if (answer.complete) state.response = std::move(answer.data);
}

ChannelInUse SerialChannel::InUse() const {
  ChannelInUse use;
  use.protocol = protocol_;
  return use;
}

}  // namespace quorvel
