#include "app/json_string.h"

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
    const auto byte = static_cast<unsigned char>(c);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0u;
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
        if (byte < 0x20 || byte == 0x7F) {
          AppendEscape(out, byte);
        } else if (byte == 0xC2 && next >= 0x80 && next < 0xA0) {
          AppendEscape(out, next);  // the C1 controls, U+0080 to U+009F
          ++i;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace quorvel
