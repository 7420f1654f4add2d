#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "card/card_session.h"
#include "sim/card_access.h"

namespace quorvel {

// The explorer's way to the card through the card session: each command is one Execute,
// shown, counted, logged and traced like any command of a list, on whatever reader the
// session drives. The walker sends its own GET RESPONSE, so the session's automatic answers
// are off while the access lives and back as they were once it is gone.
class SessionCardAccess final : public CardAccess {
 public:
  // `stop`, once set, asks the walk to end before its next command.
  SessionCardAccess(CardSession& session, const std::atomic<bool>& stop);
  ~SessionCardAccess() override;
  SessionCardAccess(const SessionCardAccess&) = delete;
  SessionCardAccess& operator=(const SessionCardAccess&) = delete;

  // Completed with SW1 SW2 and the answer's data when the exchange reached its status word.
  // A card that refuses the command in place of the procedure byte (the serial line's T=0)
  // has answered too: completed with that status word and no data. Anything else is silence.
  SimAnswer Send(const CardCommand& command, std::optional<std::uint16_t> le) override;
  bool StopRequested() const override { return stop_.load(); }

  // Commands sent so far.
  std::size_t exchanges() const { return exchanges_; }

 private:
  CardSession& session_;
  const std::atomic<bool>& stop_;
  bool automatic_before_;
  std::size_t exchanges_ = 0;
};

// What an exchange the session just ran tells the walker (see SessionCardAccess::Send).
SimAnswer SimAnswerOf(const ExchangeState& exchange);

}  // namespace quorvel
