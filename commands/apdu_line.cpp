#include "commands/apdu_line.h"

#include <algorithm>

#include "commands/command_script.h"
#include "commands/command_text.h"

namespace quorvel {
namespace {

constexpr std::size_t kMaxData = 255;

ApduMapping Refused(std::size_t at, std::string what) {
  ApduMapping mapping;
  mapping.refusedAt = at;
  mapping.refusal = std::move(what);
  return mapping;
}

}  // namespace

ApduMapping MapApdu(std::span<const std::uint8_t> bytes) {
  const std::size_t count = bytes.size();
  if (count < 4) {
    return Refused(count,
                   "expected at least 4 bytes (CLA INS P1 P2), found " + std::to_string(count));
  }
  ApduMapping mapping;
  std::copy_n(bytes.begin(), std::min<std::size_t>(count, 5), mapping.header);
  if (count <= 5) {
    mapping.isoCase = count == 4 ? 1 : 2;
    mapping.toCard = count == 4;
    return mapping;
  }
  const std::uint8_t lc = bytes[4];
  const std::size_t body = count - 5;
  if (lc == 0 && count >= 7) {
    return Refused(4, "extended length (Lc 00 XX XX) is not supported, found " +
                          HexBytesText(bytes.data() + 4, 3));
  }
  if (body > kMaxData + 1) {
    return Refused(5 + kMaxData + 1, "expected at most " + std::to_string(kMaxData) +
                                         " data bytes and an Le after Lc, found " +
                                         std::to_string(body) + " bytes");
  }
  if (lc == 0) return Refused(4, "expected Lc from 01 to FF before data bytes, found 00");
  if (body != lc && body != lc + 1u) {
    return Refused(4, "expected " + std::to_string(lc) + (lc == 1 ? " data byte" : " data bytes") +
                          " after Lc " + HexBytesText(&lc, 1) + " (and at most an Le), found " +
                          std::to_string(body) + " bytes");
  }
  mapping.isoCase = body == lc ? 3 : 4;
  mapping.toCard = true;
  mapping.data = bytes.subspan(5, lc);
  if (mapping.isoCase == 4) mapping.le = LeOfByte(bytes.back());
  return mapping;
}

}  // namespace quorvel
