#include "port/clock.h"

#include <thread>

namespace quorvel {

std::chrono::nanoseconds SystemClock::Now() const {
  return std::chrono::steady_clock::now().time_since_epoch();
}

void SystemClock::Wait(std::chrono::milliseconds duration) {
  WaitUntil(Now() + duration);
}

void SystemClock::WaitUntil(std::chrono::nanoseconds deadline) {
  // A sleep may wake early on a signal; keep sleeping until the time is up.
  const std::chrono::steady_clock::time_point end(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline));
  while (std::chrono::steady_clock::now() < end) std::this_thread::sleep_until(end);
}

}  // namespace quorvel
