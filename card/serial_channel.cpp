#include "card/serial_channel.h"

#include "port/settings_string.h"

namespace quorvel {

void SerialChannel::Open(const std::string& settings) {
  port_.Close();
  port_.Open(settings.c_str());
  settings_ = settings;
  negotiated_baud_ = 0;
  protocol_ = CardProtocol::kT0;
  refusal_.clear();
}

void SerialChannel::ApplySettings(const std::string& settings) {
  settings_ = settings;
  port_.ApplySettings(settings.c_str());
  if (negotiated_baud_ != 0) port_.SetBaudRate(negotiated_baud_);
}

std::vector<std::uint8_t> SerialChannel::ResetCard(const std::string& resetSettings) {
  // Whatever is still on the line (the rest of a garbled PPS response, a late answer) is not
  // the card's answer to this reset.
  port_.DiscardInput();
  negotiated_baud_ = 0;
  protocol_ = CardProtocol::kT0;
  refusal_.clear();
  // With fixed waits: the pulse, the whole wait for the answer, then one read. With
  // deadlines the bytes are taken as they come, until 64 are in or the wait is over: a
  // card may send more than its ATR announces, and the fixed read takes that too.
  port_.PulseResetLine(resetSettings.c_str());
  std::vector<std::uint8_t> atr(kMaxAtrBytes);
  atr.resize(port_.ReadWithin(atr.data(), kMaxAtrBytes, CCardPort::kAnswerWait));
  return atr;
}

std::optional<SpeedNegotiation> SerialChannel::Settle(std::span<const std::uint8_t> atr) {
  // The protocol is settled whether or not the speed is: one other than the card's first
  // takes a PPS of its own.
  const ProtocolChoice choice = ReadProtocolChoice(settings_).value_or(ProtocolChoice::kByCard);
  SpeedNegotiation settled =
      NegotiateSpeed(port_, atr, options_.clockHz != 0 ? options_.clockHz : kDefaultReaderClockHz,
                     choice, options_.negotiateSpeed);
  protocol_ = settled.protocol;
  if (!protocol_) refusal_ = "Nothing was sent, as the last Reset said: " + settled.note + ".";
  if (settled.outcome == SpeedOutcome::kAccepted || settled.outcome == SpeedOutcome::kSpecificMode)
    negotiated_baud_ = settled.baud;
  return settled;
}

void SerialChannel::Exchange(const CardCommand& command, std::optional<std::uint16_t>,
                             ExchangeState& state) {
  // A case 4 command goes as case 3 here: its answer waits behind 61 XX for GET RESPONSE.
  state.framing = ExchangeFraming::kT0Echo;
  state.pieces.clear();
  state.blocks.clear();
  state.failure.clear();
  state.response.clear();
  if (protocol_ != CardProtocol::kT0) {
    // No protocol to speak, or one this line does not speak yet: nothing goes out.
    state.received.clear();
    state.statusArrived = 0;
    state.stop = ExchangeStop::kTransmitFailed;
    state.failure =
        protocol_ ? "The card speaks T=1, which the serial line does not speak." : refusal_;
    return;
  }
  ExchangeCommand(port_, command, state);
  if (state.stop == ExchangeStop::kComplete && command.direction != kToCard &&
      state.received.size() > kDataPosition) {
    state.response.assign(state.received.begin() + kDataPosition, state.received.end());
  }
}

ChannelInUse SerialChannel::InUse() const {
  ChannelInUse use;
  use.protocol = protocol_;
  return use;
}

}  // namespace quorvel
