#include "explore/session_card_access.h"

#include "card/command_exchange.h"
#include "commands/script_expectation.h"

namespace quorvel {

SessionCardAccess::SessionCardAccess(CardSession& session, const std::atomic<bool>& stop)
    : session_(session), stop_(stop), automatic_before_(session.automaticResponses()) {
  session_.SetAutomaticResponses(false);
}

SessionCardAccess::~SessionCardAccess() {
  session_.SetAutomaticResponses(automatic_before_);
}

SimAnswer SessionCardAccess::Send(const CardCommand& command, std::optional<std::uint16_t> le) {
  session_.Execute(command, Expectation{}, le);
  ++exchanges_;
  return SimAnswerOf(session_.lastExchange());
}

SimAnswer SimAnswerOf(const ExchangeState& exchange) {
  SimAnswer answer;
  if (exchange.stop == ExchangeStop::kComplete) {
    // Status bytes that never came are the card falling silent, not an answer.
    if (exchange.statusArrived < 2) return answer;
    answer.completed = true;
    answer.sw1 = exchange.statusWord[0];
    answer.sw2 = exchange.statusWord[1];
    answer.data = exchange.response;
    return answer;
  }
  // A refusal such as 6E 00 or 94 04 where the procedure byte belongs: the echo, SW1, SW2.
  if (exchange.stop == ExchangeStop::kWrongProcedureByte &&
      exchange.received.size() >= kDataPosition + 1) {
    answer.completed = true;
    answer.sw1 = exchange.received[kProcedureBytePosition];
    answer.sw2 = exchange.received[kDataPosition];
  }
  return answer;
}

}  // namespace quorvel
