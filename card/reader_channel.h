#pragma once

#include <memory>

#include "card/card_channel.h"
#include "card/pcsc_channel.h"
#include "card/serial_channel.h"
#include "port/card_port.h"
#include "port/clock.h"
#include "port/message_sink.h"
#include "port/serial_device.h"

namespace quorvel {

// How the reader waits and whom its messages address.
struct ReaderSetup {
  PortTiming timing = PortTiming::kFixed;
  MessageAudience audience = MessageAudience::kWindow;
};

// Whichever reader the settings string names, as one channel: the serial line (and the demo
// cards behind it) or a PC/SC reader. The window and the command line reach every card
// through it; opening one reader closes the other.
class ReaderChannel final : public CardChannel {
 public:
  ReaderChannel(DeviceFactory& devices, Clock& clock, MessageSink& messages,
                const ReaderSetup& setup = {});

  void Open(const std::string& settings) override;
  void Close() override { current().Close(); }
  bool IsOpen() const override { return current().IsOpen(); }
  void ApplySettings(const std::string& settings) override { current().ApplySettings(settings); }
  void SetInverse(std::int32_t on) override;
  std::int32_t inverse() const override { return inverse_; }
  void SetOptions(const ChannelOptions& options) override;
  std::vector<std::uint8_t> ResetCard(const std::string& resetSettings) override {
    return current().ResetCard(resetSettings);
  }
  std::optional<SpeedNegotiation> Settle(std::span<const std::uint8_t> atr) override {
    return current().Settle(atr);
  }
  void Exchange(const CardCommand& command, std::optional<std::uint16_t> le,
                ExchangeState& state) override {
    current().Exchange(command, le, state);
  }
  ChannelInUse InUse() const override { return current().InUse(); }

 private:
  CardChannel& current() { return *current_; }
  const CardChannel& current() const { return *current_; }

  DeviceFactory& devices_;
  CCardPort port_;
  SerialChannel serial_;
  PcscChannel pcsc_;
  CardChannel* current_ = &serial_;
  std::int32_t inverse_ = 0;
};

}  // namespace quorvel
