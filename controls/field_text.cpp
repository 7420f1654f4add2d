#include "controls/field_text.h"

#include <array>
#include <cstdint>
#include <optional>

namespace quorvel {
namespace {

// Windows-1252 at 0x80 to 0x9F; the rest of its upper half is Latin-1.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the well-formed UTF-8 character at the start of `bytes`, or 0.
std::size_t CharacterLength(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;   // bounds of the second byte, which rule out overlong
  unsigned char high = 0xBF;  // forms, surrogates and values past U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

char32_t DecodeCharacter(std::string_view bytes, std::size_t length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (length == 1) return byte(0);
  char32_t value = byte(0) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (byte(i) & 0x3F);
  return value;
}

void AppendUtf8(std::string& text, char32_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::optional<char> Windows1252Byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < kWindows1252High.size(); ++i) {
    if (kWindows1252High[i] == c) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

// The Windows-1252 bytes of UTF-8 text, when it has them all.
std::optional<std::string> ToWindows1252(std::string_view text) {
  std::string bytes;
  while (!text.empty()) {
    const std::size_t length = CharacterLength(text);
    if (length == 0) return std::nullopt;
    const std::optional<char> byte = Windows1252Byte(DecodeCharacter(text, length));
    if (!byte) return std::nullopt;
    bytes += *byte;
    text.remove_prefix(length);
  }
  return bytes;
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t length = CharacterLength(bytes);
    if (length == 0) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

std::string ShownText(std::string_view bytes) {
  if (IsUtf8(bytes)) return std::string(bytes);
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char b : bytes) {
    const auto byte = static_cast<unsigned char>(b);
    AppendUtf8(text, byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte);
  }
  return text;
}

std::string EditedBytes(std::string_view text, std::string_view shownFrom) {
  if (text == ShownText(shownFrom)) return std::string(shownFrom);
  if (!IsUtf8(shownFrom)) {
    // Bytes that happen to be UTF-8 as well would be shown otherwise next time.
    if (auto bytes = ToWindows1252(text); bytes && ShownText(*bytes) == text) return *bytes;
  }
  return std::string(text);
}

std::size_t FirstCharacterLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const std::size_t length = CharacterLength(bytes);
  return length == 0 ? 1 : length;
}

std::size_t FittingLength(std::string_view bytes, std::size_t limit) {
  if (bytes.size() <= limit) return bytes.size();
  if (!IsUtf8(bytes)) return limit;
  while (limit > 0 && (static_cast<unsigned char>(bytes[limit]) & 0xC0) == 0x80) --limit;
  return limit;
}

}  // namespace quorvel
