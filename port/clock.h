#pragma once

#include <chrono>

namespace quorvel {

// Source of time for every fixed wait on the serial line. The program waits by
// blocking for whole periods; tests inject a clock that only counts them.
class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time since an arbitrary origin.
  virtual std::chrono::nanoseconds Now() const = 0;
  // Blocks for the whole duration, never less.
  virtual void Wait(std::chrono::milliseconds duration) = 0;
  // Blocks until Now() has reached the deadline; returns at once when it has.
  virtual void WaitUntil(std::chrono::nanoseconds deadline) = 0;
};

// The real clock: std::chrono::steady_clock, sleeping until the full time has passed.
class SystemClock final : public Clock {
 public:
  std::chrono::nanoseconds Now() const override;
  void Wait(std::chrono::milliseconds duration) override;
  void WaitUntil(std::chrono::nanoseconds deadline) override;
};

}  // namespace quorvel
