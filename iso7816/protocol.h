#pragma once

#include <cstdint>

namespace quorvel {

// The transmission protocols a card may speak after its ATR (ISO/IEC 7816-3 clauses 10
// and 11); T=0 is the one the serial line has always spoken.
enum class CardProtocol : std::uint8_t { kT0 = 0, kT1 = 1 };

// "T=0" or "T=1", as the explanations, standard error and JSON write it.
constexpr const char* ProtocolName(CardProtocol protocol) {
  return protocol == CardProtocol::kT1 ? "T=1" : "T=0";
}

// What the settings string's proto= clause asks for: a protocol, or none, which means T=0
// when the card offers it and T=1 otherwise.
enum class ProtocolChoice : std::uint8_t { kByCard, kT0, kT1 };

}  // namespace quorvel
