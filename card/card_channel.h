#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "card/command_exchange.h"
#include "card/speed_negotiation.h"
#include "commands/card_command.h"
#include "iso7816/protocol.h"

namespace quorvel {

// The session's switches that reach the reader.
struct ChannelOptions {
  bool negotiateSpeed = false;  // ask for the speed TA1 offers (PPS), where the reader lets us
  std::uint32_t clockHz = 0;    // the reader's clock in Hz; 0: the usual one
  // Serial T=0 only: follow every procedure byte (NULL, the complement of INS, SW1 in place)
  // rather than the described subset.
  bool fullT0 = false;
  // Set by the owner to end a command the card drags out (T=1 waiting times, NULL bytes).
  const std::atomic<bool>* stop = nullptr;
};

// The reader and the protocol a Reset left the card in, for its explanation and the JSON.
struct ChannelInUse {
  std::string reader;                    // a PC/SC reader's name; empty on the serial line
  std::optional<CardProtocol> protocol;  // none until a Reset has brought an ATR
  // Said once in the Reset's explanation: what the reader makes of the settings string.
  std::string note;
};

// One way to reach a card: the serial line (T=0 or T=1), a PC/SC reader, a test's fake. The
// session above it runs Reset and Execute the same way on each, so the rows, the counter,
// the log, the explanations and the JSON follow from what the channel reports.
//
// Every failure is told once through the channel's message sink; a reader that goes away
// leaves the channel closed, and nothing more is sent.
class CardChannel {
 public:
  virtual ~CardChannel() = default;

  // Closes, then opens the reader named by the settings string's first four characters.
  virtual void Open(const std::string& settings) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Applies a settings string to the open reader (the serial line's rate, parity, ...).
  virtual void ApplySettings(const std::string& settings) = 0;
  // The inverse convention (serial line only; a PC/SC reader does its own).
  virtual void SetInverse(std::int32_t on) = 0;
  virtual std::int32_t inverse() const = 0;
  // Take effect from the next Reset (speed, clock) or command (full T=0).
  virtual void SetOptions(const ChannelOptions& options) = 0;

  // A cold reset: every byte of the card's answer to reset as it was received. The serial
  // line pulses its reset line with the Reset settings; the session applies the Execute
  // settings again once the answer is shown.
  virtual std::vector<std::uint8_t> ResetCard(const std::string& resetSettings) = 0;
  // After the ATR: the protocol and, where asked and possible, the speed. None when nothing
  // was negotiated and there is nothing to show.
  virtual std::optional<SpeedNegotiation> Settle(std::span<const std::uint8_t> atr) = 0;
  // One command, with the Le a case 4 command keeps after its data. Fills every field of
  // `state`: the received bytes as the rows show them, the status word, where it ended.
  virtual void Exchange(const CardCommand& command, std::optional<std::uint16_t> le,
                        ExchangeState& state) = 0;

  virtual ChannelInUse InUse() const = 0;
};

}  // namespace quorvel
