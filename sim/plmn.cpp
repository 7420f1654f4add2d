#include "sim/plmn.h"

namespace quorvel {
namespace {

void AppendDigit(std::string& out, std::uint8_t nibble, Plmn& plmn) {
  if (nibble <= 9) {
    out += static_cast<char>('0' + nibble);
    return;
  }
  out += '?';
  plmn.notes.push_back("nibble " + std::string(1, "0123456789ABCDEF"[nibble]) +
                       " in a PLMN is no digit");
}

}  // namespace

Plmn ReadPlmn(std::span<const std::uint8_t, 3> bytes) {
  Plmn plmn;
  if (bytes[0] == 0xFF && bytes[1] == 0xFF && bytes[2] == 0xFF) {
    plmn.empty = true;
    return plmn;
  }
  AppendDigit(plmn.mcc, bytes[0] & 0x0F, plmn);
  AppendDigit(plmn.mcc, bytes[0] >> 4, plmn);
  AppendDigit(plmn.mcc, bytes[1] & 0x0F, plmn);
  AppendDigit(plmn.mnc, bytes[2] & 0x0F, plmn);
  AppendDigit(plmn.mnc, bytes[2] >> 4, plmn);
  if ((bytes[1] >> 4) != 0x0F) AppendDigit(plmn.mnc, bytes[1] >> 4, plmn);
  return plmn;
}

Decoded DecodePlmnSelector(std::span<const std::uint8_t> bytes) {
  Decoded decoded;
  Decoded list = Decoded::List();
  std::int64_t empty = 0;
  std::size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    const Plmn plmn = ReadPlmn(bytes.subspan(at).first<3>());
    if (plmn.empty) {
      ++empty;
      continue;
    }
    list.Append(Decoded::Text(plmn.Text()));
    decoded.AppendNotes(plmn.notes);
  }
  decoded.Add("plmns", std::move(list));
  decoded.Add("empty_entries", Decoded::Number(empty));
  if (at != bytes.size()) {
    decoded.Note(std::to_string(bytes.size() - at) + " bytes after the last whole entry");
  }
  return decoded;
}

}  // namespace quorvel
