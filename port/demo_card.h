#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "port/clock.h"
#include "port/demo_card_commands.h"
#include "port/serial_device.h"

namespace quorvel {

// A virtual reader with a card in it, behind the port name DEMO. Like the real wiring,
// every byte written comes back as an echo; an RTS pulse (raise, then drop) resets the
// card, which answers with its ATR and then speaks T=0. Bytes become readable one
// character time apart at the applied line settings, by the clock's time, so with a
// clock that only counts waits a whole session runs at once.
class DemoCard final : public SerialDevice {
 public:
  explicit DemoCard(Clock& clock);

  bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) override;
  bool GetReadTimeouts(ReadTimeouts& timeouts) override;
  bool SetReadTimeouts(const ReadTimeouts& timeouts) override;
  bool GetLineSettings(LineSettings& settings) override;
  bool SetLineSettings(const LineSettings& settings) override;
  bool SetRts(bool raised) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
  void WaitForInput(std::chrono::nanoseconds timeout) override;
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) override;

 private:
  enum class Phase { Silent, Header, Data };
  struct TimedByte {
    std::chrono::nanoseconds readyAt;
    std::uint8_t value;
  };

  std::chrono::nanoseconds CharacterTime() const;
  // Puts bytes on the line after whatever is on it now.
  void Transmit(const std::uint8_t* bytes, std::size_t count);
  void Reset();
  void CardReceives(std::uint8_t byte);
  void HeaderComplete();

  Clock& clock_;
  LineSettings line_;
  ReadTimeouts timeouts_;
  bool rtsRaised_ = false;
  std::deque<TimedByte> line_bytes_;  // echo and card bytes in the order they cross the line
  std::chrono::nanoseconds lineFreeAt_{0};

  Phase phase_ = Phase::Silent;  // no answer until the first reset
  std::uint8_t header_[5] = {};
  std::size_t headerCount_ = 0;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> answer_;
  DemoCardCommands commands_;
};

}  // namespace quorvel
