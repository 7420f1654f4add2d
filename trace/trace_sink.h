#pragma once

#include <chrono>
#include <cstdint>
#include <span>

namespace quorvel {

// Where GSMTAP packets go as a session runs: a capture file, a UDP socket.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  // One GSMTAP packet; `at` is when its bytes had crossed the line. A failure is kept
  // for writeError(), never thrown: the card dialogue goes on.
  virtual void Write(std::chrono::system_clock::time_point at,
                     std::span<const std::uint8_t> gsmtap) = 0;
  // The errno of the first packet that did not go through; 0 while every one has.
  virtual int writeError() const = 0;
};

}  // namespace quorvel
