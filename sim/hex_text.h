#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvel {

// "3F 00 A5": two upper-case digits a byte, a blank between bytes.
std::string HexText(std::span<const std::uint8_t> bytes);
// "A0000000871002": the same without blanks, as AIDs and identifiers are written.
std::string CompactHex(std::span<const std::uint8_t> bytes);
// "6F07": a file identifier.
std::string FileIdText(std::uint16_t id);

}  // namespace quorvel
