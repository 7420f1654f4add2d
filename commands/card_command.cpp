#include "commands/card_command.h"

#include <cstring>

namespace quorvel {

CardCommand NewCardCommand() {
  CardCommand command;
  std::memset(&command, 0, sizeof command);
  command.reserved88[0] = 0x90;
  return command;
}

std::string CommandEntryText(const CardCommand& command) {
  // A comment loaded from a file may lack its zero: never read past 63 characters.
  const std::size_t length = strnlen(command.comment, sizeof command.comment - 1);
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  // " (%02hX %02hX %02hX %02hX %02hX)", built without the formatted output's cost:
  // Load fills the list with thousands of these.
  std::string text(length + 17, ' ');
  std::memcpy(text.data(), command.comment, length);
  char* header = text.data() + length + 1;
  *header++ = '(';
  for (int i = 0; i < 5; ++i, header += 3) {
    header[0] = kHexDigits[command.header[i] >> 4];
    header[1] = kHexDigits[command.header[i] & 0x0F];
  }
  header[-1] = ')';
  return text;
}

}  // namespace quorvel
