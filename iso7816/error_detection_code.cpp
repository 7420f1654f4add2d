#include "iso7816/error_detection_code.h"

namespace quorvel {
namespace {

// x^16 + x^12 + x^5 + 1 with its bits reversed: the register shifts towards bit 0, as the
// line sends each byte least significant bit first.
constexpr std::uint16_t kReversedPolynomial = 0x8408;

}  // namespace

unsigned EdcLength(T1Edc edc) {
  return edc == T1Edc::kCrc ? 2 : 1;
}

const char* EdcName(T1Edc edc) {
  return edc == T1Edc::kCrc ? "CRC" : "LRC";
}

std::uint8_t Lrc(std::span<const std::uint8_t> bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t byte : bytes) sum ^= byte;
  return sum;
}

std::uint16_t Crc13239(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ kReversedPolynomial)
                           : static_cast<std::uint16_t>(crc >> 1);
    }
  }
  return static_cast<std::uint16_t>(~crc);
}

std::vector<std::uint8_t> EdcOf(T1Edc edc, std::span<const std::uint8_t> bytes) {
  if (edc == T1Edc::kLrc) return {Lrc(bytes)};
  const std::uint16_t crc = Crc13239(bytes);
  return {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)};
}

}  // namespace quorvel
