#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "card/session_display.h"

namespace quorvel {

// One exchange as a trace shows it.
struct TracedExchange {
  std::chrono::system_clock::time_point at;  // when its last byte had crossed the line
  std::vector<std::uint8_t> sent;            // CLA INS P1 P2 P3 and the data that went to the card
  std::vector<std::uint8_t> response;        // every byte that came after the command but SW1 SW2
  std::vector<std::uint8_t> status;          // SW1 SW2, or those of them that came
  bool complete = false;                     // it ended with both status bytes
};

// The APDU packet's payload: the command as sent, the bytes received, the status bytes.
// Unless the codes are kept, the data of a command that carries a PIN is FF bytes.
std::vector<std::uint8_t> ApduPayload(const TracedExchange& exchange, bool keepSecretCodes);

// What an exchange sent and received, from its answer, on any reader: the command as it
// went to the card, the answer's data, and the status bytes that came. A T=0 exchange that
// stopped at its procedure byte keeps the bytes the card sent in its place (a refusal's
// status word among them) as its response, and is not complete.
TracedExchange TracedExchangeOf(const CommandAnswer& answer);

}  // namespace quorvel
