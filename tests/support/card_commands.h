#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "commands/card_command.h"

namespace quorvel::testing {

// A command record as the Edit Command dialog would leave it.
inline CardCommand MakeCommand(const std::vector<std::uint8_t>& header, std::uint8_t direction,
                               const std::vector<std::uint8_t>& data = {},
                               const char* comment = "") {
  CardCommand command = NewCardCommand();
  std::copy(header.begin(), header.end(), command.header);
  command.direction = direction;
  std::copy(data.begin(), data.end(), command.data);
  std::snprintf(command.comment, sizeof command.comment, "%s", comment);
  return command;
}

}  // namespace quorvel::testing
