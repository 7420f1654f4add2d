#include "cli/printable_text.h"

#include <cstdio>

#include "cli/control_character.h"
#include "controls/field_text.h"

namespace quorvel {
namespace {

void AppendEscaped(std::string& out, unsigned value) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02X", value);
  out += escaped;
}

}  // namespace

std::string Printable(std::string_view bytes) {
  const std::string text = ShownText(bytes);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (const ControlCharacter control = ControlCharacterAt(text, i); control.length > 0) {
      AppendEscaped(out, control.code);
      i += control.length - 1;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace quorvel
