#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

// The code that ends every T=1 block (ISO/IEC 7816-3 clause 11), as TC of the first T=1
// interface bytes names it: the longitudinal redundancy check, one byte, unless bit 1 asks
// for the 16-bit CRC of ISO/IEC 13239.
enum class T1Edc : std::uint8_t { kLrc, kCrc };

// 1 for the LRC, 2 for the CRC.
unsigned EdcLength(T1Edc edc);
// "LRC" or "CRC".
const char* EdcName(T1Edc edc);

// The XOR of every byte.
std::uint8_t Lrc(std::span<const std::uint8_t> bytes);
// The frame check sequence of ISO/IEC 13239: x^16 + x^12 + x^5 + 1 over the bits in the
// order they cross the line (least significant first), register preset to FFFF, the
// remainder complemented.
std::uint16_t Crc13239(std::span<const std::uint8_t> bytes);

// The code of bytes as it crosses the line: the LRC, or the CRC's low byte then its high byte.
std::vector<std::uint8_t> EdcOf(T1Edc edc, std::span<const std::uint8_t> bytes);

}  // namespace quorvel
