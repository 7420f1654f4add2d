#include "sim/file_info.h"

#include "sim/hex_text.h"

namespace quorvel {

std::string StructureName(FileType type, FileStructure structure) {
  switch (type) {
    case FileType::kMf:
      return "MF";
    case FileType::kDf:
      return "DF";
    case FileType::kAdf:
      return "ADF";
    default:
      break;
  }
  switch (structure) {
    case FileStructure::kTransparent:
      return "transparent";
    case FileStructure::kLinearFixed:
      return "linear fixed";
    case FileStructure::kCyclic:
      return "cyclic";
    case FileStructure::kBerTlv:
      return "BER-TLV";
    case FileStructure::kNone:
      return type == FileType::kEf ? "EF" : "unknown";
    case FileStructure::kUnknown:
      break;
  }
  return "unknown";
}

std::string PinName(std::uint8_t keyReference, bool gsm) {
  if (gsm) return "CHV" + std::to_string(keyReference);
  if (keyReference >= 0x01 && keyReference <= 0x08) return "PIN" + std::to_string(keyReference);
  if (keyReference == 0x11) return "universal PIN";
  if (keyReference >= 0x0A && keyReference <= 0x0E) {
    return "ADM" + std::to_string(keyReference - 0x09);
  }
  if (keyReference == 0x81) return "PIN2";
  if (keyReference >= 0x82 && keyReference <= 0x88) {
    return "PIN2 of application " + std::to_string(keyReference - 0x80);
  }
  if (keyReference >= 0x8A && keyReference <= 0x8E) {
    return "ADM" + std::to_string(keyReference - 0x84);
  }
  return "key " + HexText(std::span<const std::uint8_t>(&keyReference, 1));
}

}  // namespace quorvel
