#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

// What came back of a block sent: the echo the reader's wiring makes of it.
struct T1Echo {
  // Bytes that were waiting before the block went out (the card sent more than its last
  // block): taken off the line first, so that the echo is read alone.
  std::vector<std::uint8_t> cleared;
  bool written = true;              // the port took the whole block
  bool stopped = false;             // the user asked to stop while the echo came
  std::vector<std::uint8_t> bytes;  // the echo as it came, never more than was sent
};

// How a reception ended.
enum class T1ReceptionEnd : std::uint8_t {
  kBlock,          // as many bytes as the prologue's LEN announces
  kNothing,        // no byte within the block waiting time
  kCutShort,       // the character waiting time passed before the block was whole
  kInvalidLength,  // LEN = FF: reading stopped, and the line was left to go quiet
  kStopped,        // the user asked to stop
  kPortClosed,     // nothing can cross the line any more
};

struct T1Reception {
  T1ReceptionEnd end = T1ReceptionEnd::kNothing;
  std::vector<std::uint8_t> bytes;  // every byte received, in order
  // The block waiting time the card was given (WTX included), without the margin.
  std::chrono::nanoseconds waited{0};
};

// Where T=1 blocks cross to the card and back: the serial line with its echo, or a test's
// scripted card. It times every wait; the protocol decides what to send.
class T1BlockLink {
 public:
  virtual ~T1BlockLink() = default;
  // Sends one whole block and takes its echo.
  virtual T1Echo Send(std::span<const std::uint8_t> block) = 0;
  // The card's next block: the first byte within the block waiting time times
  // `waitingTimeFactor` (the card's S(WTX) multiplier, 1 otherwise) from the end of the
  // block sent, each next one within the character waiting time.
  virtual T1Reception Receive(unsigned waitingTimeFactor) = 0;
};

}  // namespace quorvel
