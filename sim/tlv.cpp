#include "sim/tlv.h"

namespace quorvel {

std::optional<Tlv> ReadTlv(std::span<const std::uint8_t> bytes, std::size_t& offset) {
  std::size_t at = offset;
  if (at >= bytes.size() || bytes[at] == 0xFF || bytes[at] == 0x00) return std::nullopt;
  Tlv tlv;
  tlv.tag = bytes[at];
  if ((bytes[at++] & 0x1F) == 0x1F) {
    // Subsequent tag bytes while bit 8 is set; at most two of them.
    for (int more = 0; more < 2; ++more) {
      if (at >= bytes.size()) return std::nullopt;
      tlv.tag = tlv.tag << 8 | bytes[at];
      if ((bytes[at++] & 0x80) == 0) break;
    }
  }
  if (at >= bytes.size()) return std::nullopt;
  std::size_t length = bytes[at++];
  if (length == 0x81 || length == 0x82) {
    const std::size_t lengthBytes = length & 0x03;
    if (bytes.size() - at < lengthBytes) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < lengthBytes; ++i) length = length << 8 | bytes[at++];
  } else if (length >= 0x80) {
    return std::nullopt;
  }
  if (bytes.size() - at < length) return std::nullopt;
  tlv.value = bytes.subspan(at, length);
  offset = at + length;
  return tlv;
}

}  // namespace quorvel
