#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

// Small appenders for the decoders' texts: they build every explanation in one
// string without formatted output, so decoding stays within its time budget.
namespace quorvel::iso7816_text {

// One hex digit for the low four bits of `value`.
inline void AppendHexDigit(std::string& text, unsigned value) {
  text += "0123456789ABCDEF"[value & 0x0F];
}

inline void AppendHex(std::string& text, std::uint8_t byte) {
  AppendHexDigit(text, byte >> 4);
  AppendHexDigit(text, byte);
}

// "3B 9F 95" for `count` bytes.
inline void AppendHexBytes(std::string& text, const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    AppendHex(text, bytes[i]);
  }
}

inline void AppendDecimal(std::string& text, unsigned long long value) {
  char digits[24];
  text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// "3.5712 MHz", "6 MHz": a clock in Hz, as many decimals as it needs.
inline void AppendClockMegahertz(std::string& text, std::uint32_t hz) {
  AppendDecimal(text, hz / 1000000);
  unsigned fraction = hz % 1000000;
  if (fraction != 0) {
    text += '.';
    for (unsigned place = 100000; fraction != 0; place /= 10) {
      text += static_cast<char>('0' + fraction / place);
      fraction %= place;
    }
  }
  text += " MHz";
}

// "1 retry" / "3 retries".
inline void AppendCount(std::string& text, unsigned long long count, const char* one,
                        const char* many) {
  AppendDecimal(text, count);
  text += ' ';
  text += count == 1 ? one : many;
}

}  // namespace quorvel::iso7816_text
