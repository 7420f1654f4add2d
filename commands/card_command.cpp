#include "commands/card_command.h"

#include <cstdio>
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
  char header[20];
  std::snprintf(header, sizeof header, " (%02hX %02hX %02hX %02hX %02hX)",
                static_cast<unsigned short>(command.header[0]),
                static_cast<unsigned short>(command.header[1]),
                static_cast<unsigned short>(command.header[2]),
                static_cast<unsigned short>(command.header[3]),
                static_cast<unsigned short>(command.header[4]));
  std::string text(command.comment, length);
  text += header;
  return text;
}

}  // namespace quorvel
