#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace quorvel::testing {

// "3B 02 14 50" as bytes.
inline std::vector<std::uint8_t> HexBytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  std::istringstream in(hex);
  std::string byte;
  while (in >> byte) bytes.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
  return bytes;
}

}  // namespace quorvel::testing
