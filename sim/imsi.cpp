#include "sim/imsi.h"

#include <string>

#include "sim/bcd_digits.h"
#include "sim/hex_text.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kImsiType = 0x01;
constexpr std::uint8_t kOddCount = 0x08;
constexpr std::size_t kLongestImsi = 15;

const char* OperationMode(std::uint8_t mode) {
  switch (mode) {
    case 0x00:
      return "normal";
    case 0x80:
      return "type approval";
    case 0x01:
      return "normal, with specific facilities";
    case 0x81:
      return "type approval, with specific facilities";
    case 0x02:
      return "maintenance (off line)";
    case 0x04:
      return "cell test";
    default:
      return nullptr;
  }
}

}  // namespace

Decoded DecodeImsi(std::span<const std::uint8_t> bytes, std::optional<int> mncLength) {
  Decoded decoded;
  if (bytes.empty() || bytes[0] == 0xFF || bytes[0] == 0x00) {
    decoded.Add("imsi", "");
    decoded.Note("no IMSI: the length byte is " + HexText(bytes.first(bytes.empty() ? 0 : 1)));
    return decoded;
  }
  std::size_t length = bytes[0];
  if (length > bytes.size() - 1) {
    decoded.Note("the length byte says " + std::to_string(length) + " bytes, " +
                 std::to_string(bytes.size() - 1) + " follow");
    length = bytes.size() - 1;
    if (length == 0) return decoded.Add("imsi", "");
  }
  const std::uint8_t first = bytes[1];
  std::string digits;
  std::vector<std::string> notes;
  if ((first >> 4) <= 9) {
    digits += static_cast<char>('0' + (first >> 4));
  } else if ((first >> 4) != 0x0F) {
    digits += '?';
    notes.push_back("the first digit's nibble is no digit");
  }
  const SwappedDigits rest = ReadSwappedDigits(bytes.subspan(2, length - 1), DigitSet::kDecimal);
  digits += rest.digits;
  notes.insert(notes.end(), rest.notes.begin(), rest.notes.end());
  if ((first & 0x07) != kImsiType) {
    notes.push_back("identity type " + std::to_string(first & 0x07) + ", not IMSI (1)");
  }
  if (((first & kOddCount) != 0) != (digits.size() % 2 == 1)) {
    notes.push_back("the odd/even bit disagrees with the " + std::to_string(digits.size()) +
                    " digits");
  }
  if (digits.size() > kLongestImsi) notes.push_back("more than 15 digits");
  decoded.Add("imsi", digits);
  if (digits.size() >= 5) {
    std::size_t mnc = 2;
    if (mncLength) {
      mnc = static_cast<std::size_t>(*mncLength);
    } else {
      notes.push_back("EF.AD gives no MNC length: 2 digits taken");
    }
    decoded.Add("mcc", digits.substr(0, 3));
    decoded.Add("mnc", digits.substr(3, mnc));
    decoded.Add("msin", digits.size() > 3 + mnc ? digits.substr(3 + mnc) : "");
  }
  decoded.AppendNotes(notes);
  return decoded;
}

Decoded DecodeAdministrativeData(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  if (bytes.empty()) return decoded.Note("no bytes");
  if (const char* mode = OperationMode(bytes[0])) {
    decoded.Add("operation_mode", mode);
  } else {
    decoded.Add("operation_mode", "unknown (" + HexText(bytes.first(1)) + ")");
  }
  if (bytes.size() >= 3) {
    decoded.Add("ciphering_indicator", Decoded::Flag((bytes[2] & 0x01) != 0));
  }
  if (bytes.size() >= 4) {
    if (const auto mnc = MncLengthOf(bytes)) {
      decoded.Add("mnc_length", Decoded::Number(*mnc));
    } else {
      decoded.Note("MNC length " + std::to_string(bytes[3] & 0x0F) + " is neither 2 nor 3");
    }
  } else {
    decoded.Note("no MNC length (" + std::to_string(bytes.size()) + " bytes)");
  }
  return decoded;
}

std::optional<int> MncLengthOf(std::span<const std::uint8_t> administrativeData) {
  if (administrativeData.size() < 4) return std::nullopt;
  const int length = administrativeData[3] & 0x0F;
  if (length != 2 && length != 3) return std::nullopt;
  return length;
}

}  // namespace quorvel
