#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "port/card_application.h"
#include "sim/card_access.h"

namespace quorvel::testing {

// The explorer's access to a card application, with no line in between: over T=0 (header,
// then the data the card takes; 61 XX left to the caller) or as whole APDUs (T=1, PC/SC: a
// case 4 command's Le gets the answer at once). Keeps every command sent; can be told to
// stop, or to stop answering, after a number of commands.
class ApplicationCardAccess final : public CardAccess {
 public:
  enum class Carrier { kT0, kApdu };

  explicit ApplicationCardAccess(CardApplication& card, Carrier carrier = Carrier::kT0)
      : card_(card), carrier_(carrier) {}

  SimAnswer Send(const CardCommand& command, std::optional<std::uint16_t> le) override {
    std::vector<std::uint8_t> sent(command.header, command.header + 5);
    const std::size_t p3 = command.header[4];
    if (command.direction == kToCard) sent.insert(sent.end(), command.data, command.data + p3);
    commands.push_back(sent);
    if (answerLimit && commands.size() > *answerLimit) return {};
    std::vector<std::uint8_t> answer;
    if (carrier_ == Carrier::kApdu) {
      std::vector<std::uint8_t> apdu = sent;
      if (command.direction == kToCard && le) apdu.push_back(static_cast<std::uint8_t>(*le));
      answer = AnswerApdu(card_, apdu);
    } else {
      const std::uint8_t(&header)[5] = command.header;
      if (const auto refusal = card_.Refusal(header)) {
        answer = {static_cast<std::uint8_t>(*refusal >> 8), static_cast<std::uint8_t>(*refusal)};
      } else {
        const bool takes = card_.TakesData(header);
        card_.Run(header, std::span<const std::uint8_t>(command.data, takes ? p3 : 0), answer);
      }
    }
    SimAnswer result;
    result.completed = answer.size() >= 2;
    if (!result.completed) return result;
    result.sw1 = answer[answer.size() - 2];
    result.sw2 = answer.back();
    result.data.assign(answer.begin(), answer.end() - 2);
    return result;
  }

  bool StopRequested() const override { return stopLimit && commands.size() >= *stopLimit; }

  // How many commands were sent with this instruction byte.
  std::size_t Count(std::uint8_t ins) const {
    std::size_t count = 0;
    for (const auto& command : commands) count += command[1] == ins ? 1 : 0;
    return count;
  }

  std::vector<std::vector<std::uint8_t>> commands;  // header, then the data sent
  std::optional<std::size_t> stopLimit;             // asks to stop once so many were sent
  std::optional<std::size_t> answerLimit;           // no answer after so many

 private:
  CardApplication& card_;
  Carrier carrier_;
};

}  // namespace quorvel::testing
