#pragma once

#include <cstddef>
#include <string_view>

namespace quorvel {

// A control character in UTF-8 text: C0, DEL, or C1 (U+0080 to U+009F, two bytes).
struct ControlCharacter {
  unsigned code = 0;
  std::size_t length = 0;  // bytes it takes; 0 where none starts
};

// The control character that starts at text[at], if one does. Text printed for people
// shows these escaped, in whatever form its format has.
inline ControlCharacter ControlCharacterAt(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x20 || byte == 0x7F) return {byte, 1};
  const auto next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0u;
  if (byte == 0xC2 && next >= 0x80 && next < 0xA0) return {next, 2};
  return {};
}

}  // namespace quorvel
