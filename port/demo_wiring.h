#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <span>

#include "port/clock.h"
#include "port/serial_device.h"

namespace quorvel {

// The reader's side of a built-in card, as the real wiring has it: the line settings it is
// given, every byte written coming back as an echo, the card held in reset while RTS is
// raised and started when it drops, and the bytes on the line becoming readable one character
// time apart by the clock's time (so a clock that only counts waits runs a whole session at
// once). The card itself is the derived class's.
class DemoWiring : public SerialDevice {
 public:
  explicit DemoWiring(Clock& clock) : clock_(clock) {}

  bool SetQueueSizes(std::size_t inputBytes, std::size_t outputBytes) final;
  bool GetReadTimeouts(ReadTimeouts& timeouts) final;
  bool SetReadTimeouts(const ReadTimeouts& timeouts) final;
  bool GetLineSettings(LineSettings& settings) final;
  bool SetLineSettings(const LineSettings& settings) final;
  bool SetRts(bool raised) final;
  std::size_t Read(std::uint8_t* buffer, std::size_t count) final;
  void WaitForInput(std::chrono::nanoseconds timeout) final;
  // Echoes each byte at the line's character time; the card hears it as it is echoed.
  std::size_t Write(const std::uint8_t* bytes, std::size_t count) final;

 protected:
  // RTS raised: the card is held in reset and says nothing.
  virtual void HoldInReset() = 0;
  // RTS dropped after it was raised: the card starts and sends its ATR.
  virtual void StartAfterReset() = 0;
  // A byte the reader wrote, as the card hears it: lineFreeAt() is when it has crossed.
  virtual void CardReceives(std::uint8_t byte) = 0;

  // One character at the line's settings, start, data, parity and stop bits.
  std::chrono::nanoseconds LineCharacterTime() const;
  // Puts bytes on the line after whatever is on it now, from `start` at the earliest, one
  // characterTime apart; unreadable ones take their time but never arrive (garbled).
  void PutOnLine(std::span<const std::uint8_t> bytes, std::chrono::nanoseconds start,
                 std::chrono::nanoseconds characterTime, bool readable);
  // Nothing the card sends crosses the line before `at` (it takes a while to answer a reset).
  void QuietUntil(std::chrono::nanoseconds at) { line_free_at_ = std::max(line_free_at_, at); }
  // When the last byte put on the line has crossed it.
  std::chrono::nanoseconds lineFreeAt() const { return line_free_at_; }
  const LineSettings& line() const { return line_; }

  Clock& clock_;

 private:
  struct TimedByte {
    std::chrono::nanoseconds readyAt;
    std::uint8_t value;
  };

  LineSettings line_;
  ReadTimeouts timeouts_;
  bool rts_raised_ = false;
  std::deque<TimedByte> line_bytes_;  // echo and card bytes in the order they cross the line
  std::chrono::nanoseconds line_free_at_{0};
};

}  // namespace quorvel
