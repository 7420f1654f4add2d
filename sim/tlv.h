#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace quorvel {

// One BER-TLV data object (ISO/IEC 7816-4 clause 5.2): tags of one to three bytes, lengths
// in one byte or after 81 or 82.
struct Tlv {
  std::uint32_t tag = 0;
  std::span<const std::uint8_t> value;
};

// Reads the object at `offset` and moves `offset` past it. Nothing when the bytes end inside
// the tag, the length or the value (`offset` is then left as it was), or at FF or 00 padding.
std::optional<Tlv> ReadTlv(std::span<const std::uint8_t> bytes, std::size_t& offset);

}  // namespace quorvel
