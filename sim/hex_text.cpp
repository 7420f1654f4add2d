#include "sim/hex_text.h"

namespace quorvel {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

void AppendByte(std::string& out, std::uint8_t byte) {
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

}  // namespace

std::string HexText(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ' ';
    AppendByte(out, bytes[i]);
  }
  return out;
}

std::string CompactHex(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) AppendByte(out, byte);
  return out;
}

std::string FileIdText(std::uint16_t id) {
  std::string out;
  AppendByte(out, static_cast<std::uint8_t>(id >> 8));
  AppendByte(out, static_cast<std::uint8_t>(id));
  return out;
}

}  // namespace quorvel
