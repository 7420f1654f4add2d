#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvel {

// A command as the plain APDU scripts of other smart-card tools (pcsc-tools'
// scriptor) write it, CLA INS P1 P2 [Lc data] [Le], as the T=0 command its
// ISO/IEC 7816-3 command case gives:
//   case 1, 4 bytes:       P3 = 00, to the card;
//   case 2, 5 bytes:       P3 = Le, from the card;
//   case 3, 5 + Lc bytes:  P3 = Lc with the data, to the card;
//   case 4, 6 + Lc bytes:  as case 3, its Le kept beside the command (the card's answer
//                          comes later, 61 XX).
// Extended lengths (Lc or Le 00 XX XX) do not fit a T=0 header and are refused.
struct ApduMapping {
  int isoCase = 0;  // 1 to 4; 0 when refused
  std::uint8_t header[5] = {};
  bool toCard = false;
  std::span<const std::uint8_t> data;  // part of the bytes mapped
  std::optional<std::uint16_t> le;     // case 4: 1 to 256 (the byte 00)
  std::size_t refusedAt = 0;           // the byte a refusal points at (the count: after the last)
  std::string refusal;                 // "expected ..., found ..."
};

ApduMapping MapApdu(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
