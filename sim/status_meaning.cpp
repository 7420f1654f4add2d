#include "sim/status_meaning.h"

#include "iso7816/status_words.h"
#include "sim/hex_text.h"

namespace quorvel {

FileStatus ClassifyFileStatus(std::uint16_t sw) {
  switch (sw) {
    case 0x9000:
      return FileStatus::kDone;
    case 0x9404:
    case 0x6A82:
      return FileStatus::kAbsent;
    case 0x9804:
    case 0x6982:
      return FileStatus::kNeedsPin;
    case 0x9810:
    case 0x6283:
      return FileStatus::kInvalidated;
    case 0x9402:
    case 0x6B00:
    case 0x6A83:
      return FileStatus::kOutOfRange;
    case 0x6E00:
    case 0x6D00:
      return FileStatus::kClassRefused;
    default:
      return FileStatus::kOther;
  }
}

std::string FileStatusText(std::uint16_t sw, std::uint8_t cla, std::uint8_t ins,
                           const std::string& pin) {
  const std::uint8_t sw1 = static_cast<std::uint8_t>(sw >> 8);
  const std::uint8_t sw2 = static_cast<std::uint8_t>(sw);
  const std::uint8_t bytes[] = {sw1, sw2};
  const std::string shown = " (" + HexText(bytes) + ")";
  switch (ClassifyFileStatus(sw)) {
    case FileStatus::kDone:
      return "read";
    case FileStatus::kAbsent:
      return "absent" + shown;
    case FileStatus::kNeedsPin:
      return "needs " + (pin.empty() ? std::string("a PIN") : pin) + shown;
    case FileStatus::kInvalidated:
      return "invalidated" + shown;
    case FileStatus::kOutOfRange:
      return "out of range" + shown;
    case FileStatus::kClassRefused:
    case FileStatus::kOther:
      break;
  }
  return "refused: " + ExplainStatusWord(sw1, sw2, 2, cla, ins) + shown;
}

}  // namespace quorvel
