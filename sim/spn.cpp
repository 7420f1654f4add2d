#include "sim/spn.h"

#include "sim/alpha_text.h"

namespace quorvel {

Decoded DecodeServiceProviderName(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  if (bytes.empty()) return decoded.Note("no bytes");
  const AlphaText name = DecodeAlpha(bytes.subspan(1));
  decoded.Add("name", name.utf8);
  decoded.Add("plmn_name_required", Decoded::Flag((bytes[0] & 0x01) != 0));
  decoded.Add("name_required_when_roaming", Decoded::Flag((bytes[0] & 0x02) == 0));
  decoded.AppendNotes(name.notes);
  return decoded;
}

}  // namespace quorvel
