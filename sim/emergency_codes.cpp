#include "sim/emergency_codes.h"

#include <string>

#include "sim/alpha_text.h"
#include "sim/bcd_digits.h"
#include "sim/dialling_number.h"

namespace quorvel {
namespace {

constexpr std::size_t kCodeBytes = 3;

Decoded Code(std::span<const std::uint8_t> bytes, Decoded& notesTo) {
  const SwappedDigits code = ReadSwappedDigits(bytes, DigitSet::kDecimal);
  notesTo.AppendNotes(code.notes);
  return Decoded::Text(code.digits);
}

}  // namespace

Decoded DecodeSimEmergencyCodes(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  Decoded codes = Decoded::List();
  std::size_t at = 0;
  for (; at + kCodeBytes <= bytes.size(); at += kCodeBytes) {
    const auto bytesOfCode = bytes.subspan(at, kCodeBytes);
    if (!IsEmptyRecord(bytesOfCode)) codes.Append(Code(bytesOfCode, decoded));
  }
  decoded.Add("codes", std::move(codes));
  if (at != bytes.size()) {
    decoded.Note(std::to_string(bytes.size() - at) + " bytes after the last whole code");
  }
  return decoded;
}

Decoded DecodeUsimEmergencyCode(std::span<const std::uint8_t> record) {
  static constexpr const char* kCategories[] = {"police",
                                                "ambulance",
                                                "fire brigade",
                                                "marine guard",
                                                "mountain rescue",
                                                "manually initiated eCall",
                                                "automatically initiated eCall"};
  Decoded decoded;
  if (record.size() < kCodeBytes || IsEmptyRecord(record.first(kCodeBytes))) {
    return decoded.Add("empty", Decoded::Flag(true));
  }
  decoded.Add("code", Code(record.first(kCodeBytes), decoded));
  if (record.size() < kCodeBytes + 1) return decoded.Note("no emergency service category");
  const AlphaText alpha = DecodeAlpha(record.subspan(kCodeBytes, record.size() - kCodeBytes - 1));
  decoded.Add("alpha", alpha.utf8);
  decoded.AppendNotes(alpha.notes);
  const std::uint8_t category = record.back();
  Decoded categories = Decoded::List();
  for (int bit = 0; bit < 7; ++bit) {
    if (category & (1u << bit)) categories.Append(Decoded::Text(kCategories[bit]));
  }
  decoded.Add("categories", std::move(categories));
  return decoded;
}

}  // namespace quorvel
