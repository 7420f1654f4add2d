#pragma once

#include <chrono>
#include <memory>

#include "card/card_channel.h"
#include "card/exchange_record.h"
#include "card/t1_protocol.h"
#include "card/t1_serial_link.h"
#include "port/card_port.h"
#include "port/clock.h"

namespace quorvel {

// The serial reader: the card's I/O on RX and TX, so every byte sent comes back first, and
// its reset on RTS. Commands go in the protocol the last Reset settled on: T=0 as the line
// has always spoken it (or following every procedure byte, when asked), or T=1 in blocks.
class SerialChannel final : public CardChannel {
 public:
  SerialChannel(CCardPort& port, Clock& clock) : port_(port), clock_(clock) {}

  void Open(const std::string& settings) override;
  void Close() override { port_.Close(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  void ApplySettings(const std::string& settings) override;
  void SetInverse(std::int32_t on) override { port_.SetInverse(on); }
  std::int32_t inverse() const override { return port_.inverse(); }
  void SetOptions(const ChannelOptions& options) override { options_ = options; }

  // Input left from before is dropped; then the reset pulse, and up to 64 bytes within the
  // answer's wait. Settle then chooses the protocol (the Execute settings' proto=, or T=0
  // when the card offers it, else T=1), with PPS where that or the speed asks for it, and
  // for T=1 announces IFSD 254. After a PPS that failed the session resets the card once
  // more and settles again: the card then speaks the protocol the failed negotiation named,
  // with no PPS, and T=1 is set up on the new ATR.
  std::vector<std::uint8_t> ResetCard(const std::string& resetSettings) override;
  std::optional<SpeedNegotiation> Settle(std::span<const std::uint8_t> atr) override;
  void Exchange(const CardCommand& command, std::optional<std::uint16_t> le,
                ExchangeState& state) override;
  ChannelInUse InUse() const override;

  CCardPort& port() { return port_; }

 private:
  // The state after a reset: T=0, the default speed and waiting time, no T=1 session.
  void Forget();
  std::uint32_t ClockHz() const;
  bool StopRequested() const { return options_.stop != nullptr && options_.stop->load(); }
  // After the reset that follows a failed PPS: the protocol that negotiation left, no PPS.
  std::optional<SpeedNegotiation> SettleWithoutPps(std::span<const std::uint8_t> atr);
  // T=1 from the ATR's parameters at the line's rate now, IFSD announced; its blocks and
  // how it went are added to `settled`.
  void StartT1(std::span<const std::uint8_t> atr, SpeedNegotiation& settled);
  void ExchangeT1(const CardCommand& command, std::optional<std::uint16_t> le,
                  ExchangeState& state);

  CCardPort& port_;
  Clock& clock_;
  ChannelOptions options_;
  std::string settings_;  // the Execute settings, whose proto= chooses the protocol
  // The protocol the last Reset settled on, T=0 until one has; none when the card speaks
  // none that fits: then nothing is sent until the next Reset, and `refusal` says why.
  std::optional<CardProtocol> protocol_ = CardProtocol::kT0;
  std::string refusal_;
  // Set when the last Settle asked for a reset without PPS: what the next Settle takes.
  std::optional<SpeedNegotiation> after_reset_again_;
  // The rate the card's speed negotiation set, which settings applied afterwards keep until
  // the next Reset: the card speaks at it whatever the settings string says. 0: none.
  std::uint32_t negotiated_baud_ = 0;
  // T=0's work waiting time comes from TC2's WI and the Fi in use.
  std::uint8_t waiting_integer_ = 10;
  unsigned fi_ = 372;
  std::unique_ptr<T1SerialLink> t1_link_;
  std::unique_ptr<T1Protocol> t1_;
};

}  // namespace quorvel
