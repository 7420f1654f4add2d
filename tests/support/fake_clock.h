#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "port/clock.h"

namespace quorvel::testing {

// A clock that never sleeps: each wait is recorded and moves time forward.
class FakeClock final : public Clock {
 public:
  std::chrono::nanoseconds Now() const override { return now_ += drift; }
  void Wait(std::chrono::milliseconds duration) override {
    if (beforeWait) beforeWait(duration);
    waits.push_back(duration);
    now_ += duration;
  }
  // Deadline waits move time on without counting as fixed waits.
  void WaitUntil(std::chrono::nanoseconds deadline) override { now_ = std::max(now_, deadline); }
  void Advance(std::chrono::nanoseconds d) { now_ += d; }

  std::chrono::milliseconds TotalWaited() const {
    std::chrono::milliseconds total{0};
    for (auto w : waits) total += w;
    return total;
  }

  std::vector<std::chrono::milliseconds> waits;
  // How far time moves on each time it is read: a thread that loses the processor between
  // any two steps.
  std::chrono::nanoseconds drift{0};
  // Called as each fixed wait begins: a test's card answers there (a reset pulse's end).
  std::function<void(std::chrono::milliseconds)> beforeWait;

 private:
  mutable std::chrono::nanoseconds now_{0};
};

}  // namespace quorvel::testing
