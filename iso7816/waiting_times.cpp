#include "iso7816/waiting_times.h"

namespace quorvel {
namespace {

using std::chrono::nanoseconds;

constexpr std::uint64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr unsigned kDefaultFi = 372;  // Fd: BWT counts its clock cycles at it, whatever Fi is
constexpr unsigned kBlockGuardEtu = 22;
constexpr std::uint8_t kShortestGuard = 255;  // N = 255: 11 etu between characters in T=1

// Rounded up, so that a wait is never shorter than the card may take.
nanoseconds ClockCycles(std::uint64_t cycles, std::uint32_t clockHz) {
  return nanoseconds((cycles * kNanosecondsPerSecond + clockHz - 1) / clockHz);
}

}  // namespace

T1Times T1TimesAt(const T1Parameters& parameters, std::uint32_t clockHz, std::uint32_t baud) {
  T1Times times;
  if (baud == 0 || clockHz == 0) return times;
  const auto etus = [baud](std::uint64_t count) {
    return nanoseconds((count * kNanosecondsPerSecond + baud - 1) / baud);
  };
  times.etu = etus(1);
  const unsigned n = parameters.extraGuardTime;
  times.characterGuard = n == kShortestGuard ? etus(11) : etus(12 + n);
  times.blockGuard = etus(kBlockGuardEtu);
  times.blockWaiting =
      etus(11) + ClockCycles((std::uint64_t{1} << parameters.bwi) * 960 * kDefaultFi, clockHz);
  times.characterWaiting = etus(11 + (std::uint64_t{1} << parameters.cwi));
  return times;
}

nanoseconds T0WorkWaitingTime(std::uint8_t waitingInteger, unsigned fi, std::uint32_t clockHz) {
  if (clockHz == 0) return nanoseconds(0);
  return ClockCycles(std::uint64_t{960} * waitingInteger * fi, clockHz);
}

}  // namespace quorvel
