#include "port/clock.h"

#include <thread>

namespace quorvel {

std::chrono::nanoseconds SystemClock::Now() const {
  return std::chrono::steady_clock::now().time_since_epoch();
}

void SystemClock::Wait(std::chrono::milliseconds duration) {
  // sleep_for may wake early on a signal; keep sleeping until the time is up.
  const auto end = std::chrono::steady_clock::now() + duration;
  for (auto now = std::chrono::steady_clock::now(); now < end;
       now = std::chrono::steady_clock::now()) {
    std::this_thread::sleep_for(end - now);
  }
}

}  // namespace quorvel
