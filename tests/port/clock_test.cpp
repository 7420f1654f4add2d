#include "port/clock.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(SystemClockTest, WaitsAtLeastTheWholeDuration) {
  SystemClock clock;
  const auto start = clock.Now();
  clock.Wait(std::chrono::milliseconds(20));
  EXPECT_GE(clock.Now() - start, std::chrono::milliseconds(20));
}

}  // namespace
}  // namespace quorvel
