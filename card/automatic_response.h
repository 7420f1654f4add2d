#pragma once

#include <optional>

#include "card/command_exchange.h"
#include "card/exchange_record.h"
#include "commands/card_command.h"

namespace quorvel {

// Most commands sent automatically after one command of the list: a card that keeps
// asking for more (61 00 forever, 6C XX with the same XX again) is answered no further.
inline constexpr int kMaxAutomaticCommands = 32;

// A command the card's last answer asks for (ISO/IEC 7816-3, T=0 cases 2 and 4).
struct AutomaticCommand {
  AutomaticCause::Kind kind = AutomaticCause::Kind::kGetResponse;
  std::uint8_t statusWord[2] = {0, 0};  // the answer that asks for it
  CardCommand command;
};

// The status word that ended an exchange: in the status phase, or in place of the
// procedure byte, where a card may answer at once. None when neither came whole.
std::optional<std::uint16_t> AnsweringStatusWord(int result, const ExchangeState& state);

// After 61 XX or 9F XX: GET RESPONSE with the command's CLA, INS C0, P1 P2 00 00, P3 = XX,
// data from the card; 61 00 (256 bytes or more) is fetched with P3 = FF, since P3 = 00 reads
// no data here, and the rest follows with its own 61 XX. After 6C XX: the same command with
// P3 = XX. Nothing for any other answer.
std::optional<AutomaticCommand> NextAutomaticCommand(const CardCommand& sent, int result,
                                                     const ExchangeState& state);

}  // namespace quorvel
