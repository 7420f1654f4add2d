#pragma once

#include <chrono>
#include <functional>

#include "support/child_process.h"

namespace quorvel::testing {

// Runs step in a child process that is killed once the bound is over. True when the step
// finished in time and returned true: a hang fails the test instead of stalling the run.
inline bool FinishesWithin(std::chrono::seconds bound, const std::function<bool()>& step) {
  return InChild([&] { return step() ? 0 : 1; }, static_cast<unsigned>(bound.count())) == 0;
}

}  // namespace quorvel::testing
