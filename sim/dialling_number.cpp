#include "sim/dialling_number.h"

#include <algorithm>
#include <string>

#include "sim/alpha_text.h"
#include "sim/bcd_digits.h"
#include "sim/hex_text.h"

namespace quorvel {
namespace {

constexpr std::size_t kNumberPart = 14;  // everything after the alpha field
constexpr std::size_t kLongestNumber = 10;
constexpr int kInternational = 1;

// TS 24.008 10.5.4.7, type of number.
const char* TypeOfNumber(int ton) {
  static constexpr const char* kNames[] = {
      "unknown",  "international", "national", "network specific", "dedicated access, short code",
      "reserved", "reserved",      "extension"};
  return kNames[ton & 0x07];
}

// TS 24.008 10.5.4.7, numbering plan.
std::string NumberingPlan(int npi) {
  switch (npi) {
    case 0x0:
      return "unknown";
    case 0x1:
      return "ISDN/telephony (E.164/E.163)";
    case 0x3:
      return "data (X.121)";
    case 0x4:
      return "telex (F.69)";
    case 0x8:
      return "national";
    case 0x9:
      return "private";
    case 0xF:
      return "extension";
    default:
      return "reserved (" + std::to_string(npi) + ")";
  }
}

// A TON/NPI byte and the BCD after it, `length` bytes in all (the length byte of the record
// or of an address). Adds "number", "ton" and "npi".
void AddNumber(Decoded& decoded, std::span<const std::uint8_t> tonAndDigits, std::size_t length) {
  if (length == 0 || length == 0xFF) return;
  if (length - 1 > kLongestNumber || length > tonAndDigits.size()) {
    decoded.Note("number length " + std::to_string(length) + " is more than the record holds");
    length = std::min(tonAndDigits.size(), kLongestNumber + 1);
  }
  const std::uint8_t tonNpi = tonAndDigits[0];
  const SwappedDigits digits =
      ReadSwappedDigits(tonAndDigits.subspan(1, length - 1), DigitSet::kDialling);
  const int ton = (tonNpi >> 4) & 0x07;
  decoded.Add("number", (ton == kInternational ? "+" : "") + digits.digits);
  decoded.Add("ton", TypeOfNumber(ton));
  decoded.Add("npi", NumberingPlan(tonNpi & 0x0F));
  decoded.AppendNotes(digits.notes);
}

}  // namespace

bool IsEmptyRecord(std::span<const std::uint8_t> record) {
  return std::all_of(record.begin(), record.end(), [](std::uint8_t b) { return b == 0xFF; });
}

Decoded DecodeDiallingNumber(std::span<const std::uint8_t> record) {
  Decoded decoded;
  if (IsEmptyRecord(record)) return decoded.Add("empty", Decoded::Flag(true));
  if (record.size() < kNumberPart) {
    decoded.Note("a record of " + std::to_string(record.size()) + " bytes, 14 at least expected");
    return decoded;
  }
  const std::size_t alphaLength = record.size() - kNumberPart;
  const AlphaText alpha = DecodeAlpha(record.first(alphaLength));
  decoded.Add("alpha", alpha.utf8);
  decoded.AppendNotes(alpha.notes);
  const auto part = record.subspan(alphaLength);
  AddNumber(decoded, part.subspan(1, 11), part[0]);
  if (part[12] != 0xFF) decoded.Add("capability_record", Decoded::Number(part[12]));
  if (part[13] != 0xFF) {
    decoded.Add("extension_record", Decoded::Number(part[13]));
    decoded.Note("the number goes on in extension record " + std::to_string(part[13]));
  }
  return decoded;
}

Decoded DecodeShortMessageRecord(std::span<const std::uint8_t> record) {
  Decoded decoded;
  if (record.empty() || (record[0] & 0x01) == 0) return decoded.Add("empty", Decoded::Flag(true));
  switch (record[0] & 0x07) {
    case 0x01:
      decoded.Add("status", "received, read");
      break;
    case 0x03:
      decoded.Add("status", "received, to be read");
      break;
    case 0x05:
      decoded.Add("status", "sent");
      break;
    default:
      decoded.Add("status", "to be sent");
      break;
  }
  if (record.size() < 3 || record[1] == 0xFF || record[1] == 0x00) return decoded;
  Decoded centre;
  AddNumber(centre, record.subspan(2), record[1]);
  decoded.Add("service_centre", std::move(centre));
  const std::size_t tpduStart = std::min<std::size_t>(record.size(), 2 + record[1]);
  std::size_t tpduEnd = record.size();
  while (tpduEnd > tpduStart && record[tpduEnd - 1] == 0xFF) --tpduEnd;
  decoded.Add("tpdu", HexText(record.subspan(tpduStart, tpduEnd - tpduStart)));
  return decoded;
}

}  // namespace quorvel
