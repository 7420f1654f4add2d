#include "iso7816/t1_parameters.h"

namespace quorvel {
namespace {

constexpr unsigned kHighestBwi = 9;

}  // namespace

T1Parameters ReadT1Parameters(std::span<const std::uint8_t> atr) {
  T1Parameters parameters;
  if (atr.size() < 2) return parameters;
  unsigned presence = atr[1] >> 4;
  std::size_t at = 2;
  int number = 1;
  int protocol = -1;  // T named by the TDi before the bytes at hand
  bool seen[3] = {false, false, false};
  for (;;) {
    for (int letter = 0; letter < 3; ++letter) {
      if ((presence & (1u << letter)) == 0) continue;
      if (at >= atr.size()) return parameters;
      const std::uint8_t value = atr[at++];
      if (number == 1 && letter == 2) parameters.extraGuardTime = value;
      if (number < 3 || protocol != 1 || seen[letter]) continue;
      seen[letter] = true;
      if (letter == 0 && value != 0x00 && value != 0xFF) parameters.ifsc = value;
      if (letter == 1 && (value >> 4) <= kHighestBwi) {
        parameters.bwi = value >> 4;
        parameters.cwi = value & 0x0F;
      }
      if (letter == 2) parameters.edc = (value & 0x01) != 0 ? T1Edc::kCrc : T1Edc::kLrc;
    }
    if ((presence & 0x08) == 0 || at >= atr.size()) return parameters;
    const std::uint8_t td = atr[at++];
    protocol = td & 0x0F;
    if (protocol == 1) parameters.offersT1 = true;
    presence = td >> 4;
    ++number;
  }
}

}  // namespace quorvel
