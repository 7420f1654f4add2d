#include "sim/location.h"

#include <algorithm>
#include <string>

#include "sim/hex_text.h"
#include "sim/plmn.h"

namespace quorvel {
namespace {

bool AllFf(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// A TMSI or P-TMSI: FF FF FF FF is none.
Decoded Identity(std::span<const std::uint8_t> bytes) {
  return Decoded::Text(AllFf(bytes) ? "none" : CompactHex(bytes));
}

// The location area: a PLMN, then the LAC.
Decoded Area(std::span<const std::uint8_t> bytes, Decoded& notesTo) {
  Decoded area;
  const Plmn plmn = ReadPlmn(bytes.first<3>());
  area.Add("plmn", plmn.Text());
  area.Add("lac", CompactHex(bytes.subspan(3, 2)));
  notesTo.AppendNotes(plmn.notes);
  return area;
}

// Update status, bits 1 to 3 (the same codes for location and routing areas).
std::string UpdateStatus(std::uint8_t byte, const char* area) {
  switch (byte & 0x07) {
    case 0:
      return "updated";
    case 1:
      return "not updated";
    case 2:
      return "PLMN not allowed";
    case 3:
      return std::string(area) + " not allowed";
    default:
      return "reserved (" + std::to_string(byte & 0x07) + ")";
  }
}

bool ShortOf(std::span<const std::uint8_t> bytes, std::size_t needed, Decoded& decoded) {
  if (bytes.size() >= needed) return false;
  decoded.Note(std::to_string(bytes.size()) + " bytes, " + std::to_string(needed) + " needed");
  return true;
}

}  // namespace

Decoded DecodeLocationInformation(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  if (ShortOf(bytes, 11, decoded)) return decoded;
  decoded.Add("tmsi", Identity(bytes.first(4)));
  decoded.Add("lai", Area(bytes.subspan(4, 5), decoded));
  if (bytes[9] != 0xFF) decoded.Add("tmsi_time", Decoded::Number(bytes[9]));
  decoded.Add("update_status", UpdateStatus(bytes[10], "location area"));
  return decoded;
}

Decoded DecodePacketLocationInformation(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  if (ShortOf(bytes, 14, decoded)) return decoded;
  decoded.Add("p_tmsi", Identity(bytes.first(4)));
  decoded.Add("p_tmsi_signature", Identity(bytes.subspan(4, 3)));
  Decoded area = Area(bytes.subspan(7, 5), decoded);
  area.Add("rac", CompactHex(bytes.subspan(12, 1)));
  decoded.Add("rai", std::move(area));
  decoded.Add("update_status", UpdateStatus(bytes[13], "routing area"));
  return decoded;
}

Decoded DecodeCipheringKey(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  if (ShortOf(bytes, 9, decoded)) return decoded;
  const int sequence = bytes[8] & 0x07;
  decoded.Add("kc", CompactHex(bytes.first(8)));
  decoded.Add("cksn", Decoded::Number(sequence));
  decoded.Add("key_available", Decoded::Flag(sequence != 7));
  return decoded;
}

}  // namespace quorvel
