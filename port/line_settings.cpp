#include "port/line_settings.h"

namespace quorvel {

bool IsValidFrame(const LineSettings& settings) {
  if (settings.baudRate == 0 || settings.dataBits < 5 || settings.dataBits > 8) return false;
  if (settings.stopBits == StopBits::OnePointFive) return settings.dataBits == 5;
  if (settings.stopBits == StopBits::Two) return settings.dataBits != 5;
  return true;
}

unsigned HalfBitsPerCharacter(const LineSettings& settings) {
  unsigned halfBits = 2 * (1u + settings.dataBits);
  if (settings.parity != Parity::None) halfBits += 2;
  switch (settings.stopBits) {
    case StopBits::One:
      return halfBits + 2;
    case StopBits::OnePointFive:
      return halfBits + 3;
    case StopBits::Two:
      return halfBits + 4;
  }
  return halfBits + 2;
}

bool RatesAgree(std::uint32_t rate, std::uint32_t wanted) {
  const std::uint64_t apart = rate > wanted ? rate - wanted : wanted - rate;
  return apart * 50 <= wanted;
}

}  // namespace quorvel
