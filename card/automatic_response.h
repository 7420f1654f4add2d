#pragma once

#include <optional>

#include "card/command_exchange.h"
#include "card/exchange_record.h"
#include "commands/card_command.h"

namespace quorvel {

// Most commands sent automatically after one command of the list: a card that keeps
// asking for more (61 00 forever) is answered no further.
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

// The class byte of a GET RESPONSE that fetches the answer of a command of class `cla`
// (ISO/IEC 7816-4 5.4.1, ETSI TS 102 221 10.1.1): the logical channel stays, secure
// messaging and command chaining go; a proprietary class (8X to BX, CX to FE) becomes the
// interindustry class of its channel; the GSM class A0 stays A0.
std::uint8_t GetResponseClass(std::uint8_t cla);

// After 61 XX or 9F XX: GET RESPONSE (INS C0, P1 P2 00 00, P3 = XX, data from the card)
// in the command's channel; 61 00 (256 bytes or more) is fetched with P3 = FF, since P3 = 00
// reads no data here, and the rest follows with its own 61 XX. After 6C XX, for a command
// that reads from the card: the same command with P3 = XX, unless it asked for XX already;
// a command that sends data is never sent again, its 6C XX is its answer. After a warning
// 62 XX or 63 XX to a case 4 command that went as case 3 (T=0): GET RESPONSE with P3 = 00,
// which the card answers with 6C and the length (ETSI TS 102 221 7.3.1.1.4, case 4b).
// Nothing for any other answer.
std::optional<AutomaticCommand> NextAutomaticCommand(const CardCommand& sent, int result,
                                                     const ExchangeState& state,
                                                     bool caseFourSentAsThree = false);

}  // namespace quorvel
