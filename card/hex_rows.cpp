#include "card/hex_rows.h"

namespace quorvel {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void PutHexByte(char* at, std::uint8_t byte) {
  at[0] = kHexDigits[byte >> 4];
  at[1] = kHexDigits[byte & 0x0F];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte whose two digits start at `at`, or -1.
int ByteAt(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size()) return -1;
  const int high = HexDigit(text[at]);
  const int low = HexDigit(text[at + 1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
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

std::vector<std::uint8_t> ReadHexRow(std::string_view row) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 0;; at += 3) {
    const int byte = ByteAt(row, at);
    if (byte < 0) break;
    bytes.push_back(static_cast<std::uint8_t>(byte));
  }
  return bytes;
}

int ReadStatusRow(std::string_view row, std::uint8_t statusWord[2]) {
  int arrived = 0;
  for (std::size_t at : {std::size_t{0}, std::size_t{3}}) {
    const int byte = ByteAt(row, at);
    if (byte < 0) break;
    statusWord[arrived++] = static_cast<std::uint8_t>(byte);
  }
  return arrived;
}

}  // namespace quorvel
