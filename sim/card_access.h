#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "commands/card_command.h"

namespace quorvel {

// What a card answered to one command.
struct SimAnswer {
  bool completed = false;  // SW1 SW2 arrived; false when the card stopped answering
  std::vector<std::uint8_t> data;
  std::uint8_t sw1 = 0;
  std::uint8_t sw2 = 0;

  std::uint16_t sw() const { return static_cast<std::uint16_t>(sw1 << 8 | sw2); }
};

// The explorer's way to the card, whatever carries the commands (serial T=0, T=1, PC/SC).
// Each command sent through it is one exchange, shown, counted and logged like any other.
class CardAccess {
 public:
  virtual ~CardAccess() = default;

  // Sends `command` as it stands: header, and for direction 1 the first P3 data bytes. `le`
  // (1 to 256) is the Le a case 4 command has after its data where the protocol carries one
  // (T=1, PC/SC), so the answer comes at once; T=0 has none, and the card answers 61 XX
  // (9F XX on a SIM), after which the walker sends GET RESPONSE itself.
  virtual SimAnswer Send(const CardCommand& command, std::optional<std::uint16_t> le) = 0;

  // Whether the user asked the walk to stop. Asked before each command.
  virtual bool StopRequested() const = 0;
};

}  // namespace quorvel
