#include "card/hex_rows.h"

namespace quorvel {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void PutHexByte(char* at, std::uint8_t byte) {
  at[0] = kHexDigits[byte >> 4];
  at[1] = kHexDigits[byte & 0x0F];
}

}  // namespace

std::string HexRow(const std::uint8_t* bytes, std::size_t count) {
  std::string row(3 * count, ' ');
  for (std::size_t i = 0; i < count; ++i) PutHexByte(&row[3 * i], bytes[i]);
  return row;
}

std::string StatusRowText(const std::uint8_t statusWord[2], int arrived) {
  std::string row = "-- --";
  if (arrived >= 1) PutHexByte(&row[0], statusWord[0]);
  if (arrived >= 2) PutHexByte(&row[3], statusWord[1]);
  return row;
}

}  // namespace quorvel
