#pragma once

#include "port/card_application.h"

namespace quorvel::testing {

// A card for checking how whole APDUs travel, whatever their case: it takes every command and
// answers with the data it received, then as many counting bytes (00 01 02 ...) as P1 P2 say
// (up to 256), then 90 00. "80 10 01 00 00" thus brings 256 bytes and the status word; a P1 P2
// above 256 is answered 6A 86.
class LoopbackCard final : public CardApplication {
 public:
  void Reset() override {}
  std::optional<std::uint16_t> Refusal(const std::uint8_t (&header)[5]) override;
  bool TakesData(const std::uint8_t (&)[5]) const override { return true; }
  void Run(const std::uint8_t (&header)[5], std::span<const std::uint8_t> data,
           std::vector<std::uint8_t>& answer) override;
};

}  // namespace quorvel::testing
