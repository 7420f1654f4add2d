#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "port/card_application.h"

namespace quorvel::testing {

// The protocols the virtual card's ATR offers.
enum class OfferedProtocols { kT0AndT1, kT1Only };

// TS 3B, T0 8C (TD1 follows, 12 historical bytes), then for T=0 and T=1: TD1 80 (T=0, TD2
// follows), TD2 01 (T=1); for T=1 alone: TD1 01. Then the 12 historical bytes and the TCK that
// T=1 calls for (ISO/IEC 7816-3 clause 8).
std::vector<std::uint8_t> VirtualCardAtr(OfferedProtocols protocols, std::string_view historical12);

// The card's side of vpcd's socket protocol, without the socket: each message vpcd sends (its
// payload, after the two length bytes) and what the card answers. A one-byte message is a
// control code: 0 power off, 1 power on, 2 reset (each a fresh card, no answer), 4 the ATR
// (answered with it). A longer one is a command APDU, answered with the response APDU.
class VirtualCard {
 public:
  VirtualCard(std::vector<std::uint8_t> atr, std::unique_ptr<CardApplication> application);

  std::optional<std::vector<std::uint8_t>> Answer(std::span<const std::uint8_t> message);

 private:
  std::vector<std::uint8_t> atr_;
  std::unique_ptr<CardApplication> application_;
};

}  // namespace quorvel::testing
