#include "cli/json_string.h"

#include "cli/control_character.h"

namespace quorvel {

namespace {

void AppendEscape(std::string& out, unsigned value) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[value >> 4];
  out += kHex[value & 0x0F];
}

}  // namespace

std::string JsonString(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (const ControlCharacter control = ControlCharacterAt(utf8, i); control.length > 0) {
          AppendEscape(out, control.code);
          i += control.length - 1;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace quorvel
