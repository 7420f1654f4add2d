#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "port/card_port.h"
#include "port/clock.h"

namespace quorvel {

// Added to every deadline the card's protocols set: USB serial adapters hand the bytes they
// receive on in bursts up to 16 ms apart, so a byte can be seen that much after it came.
inline constexpr std::chrono::milliseconds kSerialAdapterMargin{20};

// Reads the card's bytes against deadlines on the port's clock, each byte within a gap of
// the one before, as the protocols' character waiting times ask. Long waits go in slices,
// so that a Stop asked for meanwhile ends them soon.
class PacedReader {
 public:
  // How often a wait looks at the Stop flag.
  static constexpr std::chrono::milliseconds kStopPoll{50};

  PacedReader(CCardPort& port, Clock& clock, std::function<bool()> stopRequested = {});

  // Up to count bytes: the first by `first`, each next one within `gap` of the moment the
  // one before was seen. Ends early when the port closes or Stop is asked for. Takes
  // nothing beyond count.
  unsigned Read(std::uint8_t* buffer, unsigned count, std::chrono::nanoseconds first,
                std::chrono::nanoseconds gap);
  // What is waiting now, up to count, at once.
  unsigned ReadWaiting(std::uint8_t* buffer, unsigned count);

  bool stopped() const { return stopped_; }
  // When the last byte read was seen.
  std::chrono::nanoseconds lastArrival() const { return lastArrival_; }

 private:
  CCardPort& port_;
  Clock& clock_;
  std::function<bool()> stopRequested_;
  bool stopped_ = false;
  std::chrono::nanoseconds lastArrival_{0};
};

}  // namespace quorvel
