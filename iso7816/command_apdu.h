#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvel {

// The four cases of a short command APDU (ISO/IEC 7816-4 clause 5.1): no data either way;
// data from the card (Le); data to the card (Lc); data both ways (Lc, then Le).
enum class ApduCase : std::uint8_t { k1 = 1, k2 = 2, k3 = 3, k4 = 4 };

struct CommandApdu {
  ApduCase apduCase = ApduCase::k1;
  std::vector<std::uint8_t> bytes;
};

// The APDU of a command kept as a header CLA INS P1 P2 P3 and a direction. To the card, P3 is
// Lc and the first P3 bytes of data follow: case 3, or case 4 with `le`; with P3 = 00 it is
// case 1 (four bytes), or case 2 when `le` is given. From the card, P3 is Le (00 asks for
// 256 bytes): case 2, the header as it is. `le` runs from 1 to 256, written 00 for 256.
CommandApdu BuildCommandApdu(const std::uint8_t (&header)[5], bool toCard,
                             std::span<const std::uint8_t> data,
                             std::optional<std::uint16_t> le = std::nullopt);

}  // namespace quorvel
