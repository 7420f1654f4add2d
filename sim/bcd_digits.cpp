#include "sim/bcd_digits.h"

#include "sim/hex_text.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kFiller = 0x0F;

char DigitOf(std::uint8_t nibble, DigitSet set) {
  if (nibble <= 9) return static_cast<char>('0' + nibble);
  if (set == DigitSet::kDecimal) return '\0';
  static constexpr char kExtended[] = {'*', '#', 'p', '?', 'e'};  // A to E
  return kExtended[nibble - 0x0A];
}

}  // namespace

SwappedDigits ReadSwappedDigits(std::span<const std::uint8_t> bytes, DigitSet set) {
  SwappedDigits result;
  bool ended = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    for (const std::uint8_t nibble :
         {static_cast<std::uint8_t>(bytes[i] & 0x0F), static_cast<std::uint8_t>(bytes[i] >> 4)}) {
      if (ended) {
        if (nibble != kFiller) {
          result.notes.push_back("digits after the F filler ignored (byte " +
                                 std::to_string(i + 1) + ": " + HexText(bytes.subspan(i, 1)) + ")");
          return result;
        }
        continue;
      }
      if (nibble == kFiller) {
        ended = true;
        continue;
      }
      const char digit = DigitOf(nibble, set);
      if (digit == '\0') {
        result.digits += '?';
        result.notes.push_back("nibble " + std::string(1, "0123456789ABCDEF"[nibble]) +
                               " of byte " + std::to_string(i + 1) + " is no digit");
      } else {
        result.digits += digit;
      }
    }
  }
  return result;
}

}  // namespace quorvel
