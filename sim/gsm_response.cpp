// The SELECT answer of a SIM, GSM 11.11 9.2.1.
#include <string>

#include "sim/file_info.h"
#include "sim/hex_text.h"

namespace quorvel {
namespace {

constexpr std::uint8_t kTypeMf = 0x01;
constexpr std::uint8_t kTypeDf = 0x02;
constexpr std::uint8_t kTypeEf = 0x04;
constexpr std::uint8_t kChv1Disabled = 0x80;

// GSM 11.11 9.3, an access condition nibble.
std::string Condition(std::uint8_t nibble) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  switch (nibble) {
    case 0x0:
      return "ALW";
    case 0x1:
      return "CHV1";
    case 0x2:
      return "CHV2";
    case 0x3:
      return "RFU";
    case 0xF:
      return "NEV";
    default:
      return std::string("ADM") + kHex[nibble];
  }
}

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

void ParseDirectory(std::span<const std::uint8_t> bytes, FileInfo& info) {
  Decoded& decoded = info.decoded;
  decoded.Add("free_memory", Decoded::Number(Word(bytes, 2)));
  if (bytes.size() < 14) {
    decoded.Note("the answer ends before the file characteristics");
    return;
  }
  const bool chv1Enabled = (bytes[13] & kChv1Disabled) == 0;
  decoded.Add("chv1", chv1Enabled ? "enabled" : "disabled");
  if (bytes.size() >= 17) {
    decoded.Add("child_dfs", Decoded::Number(bytes[14]));
    decoded.Add("child_efs", Decoded::Number(bytes[15]));
    decoded.Add("codes", Decoded::Number(bytes[16]));
  }
  static constexpr const char* kCodes[] = {"chv1", "unblock_chv1", "chv2", "unblock_chv2"};
  for (std::size_t i = 0; i < 4 && 18 + i < bytes.size(); ++i) {
    const std::uint8_t status = bytes[18 + i];
    const int tries = status & 0x0F;
    decoded.Add(std::string(kCodes[i]) + "_tries_left", Decoded::Number(tries));
    if ((status & 0x80) == 0)
      decoded.Add(std::string(kCodes[i]) + "_initialised", Decoded::Flag(false));
    if (i == 0) info.pins.push_back({0x01, chv1Enabled, tries});
    if (i == 2) info.pins.push_back({0x02, true, tries});
  }
  if (bytes.size() < 22) decoded.Note("the answer ends before the last CHV status byte");
}

void ParseElementaryFile(std::span<const std::uint8_t> bytes, FileInfo& info) {
  Decoded& decoded = info.decoded;
  info.size = Word(bytes, 2);
  decoded.Add("size", Decoded::Number(static_cast<std::int64_t>(*info.size)));
  if (bytes.size() < 12) {
    decoded.Note("the answer ends before the access conditions");
    return;
  }
  info.readCondition = static_cast<std::uint8_t>(bytes[8] >> 4);
  info.access = "read " + Condition(bytes[8] >> 4) + ", update " + Condition(bytes[8] & 0x0F) +
                ", increase " + Condition(bytes[9] >> 4) + ", rehabilitate " +
                Condition(bytes[10] >> 4) + ", invalidate " + Condition(bytes[10] & 0x0F);
  decoded.Add("access", info.access);
  info.invalidated = (bytes[11] & 0x01) == 0;
  decoded.Add("invalidated", Decoded::Flag(info.invalidated));
  if (bytes.size() < 14) {
    decoded.Note("the answer ends before the structure");
    info.structure = FileStructure::kUnknown;
    return;
  }
  switch (bytes[13]) {
    case 0x00:
      info.structure = FileStructure::kTransparent;
      break;
    case 0x01:
      info.structure = FileStructure::kLinearFixed;
      break;
    case 0x03:
      info.structure = FileStructure::kCyclic;
      break;
    default:
      info.structure = FileStructure::kUnknown;
      decoded.Note("structure " + HexText(bytes.subspan(13, 1)) + " is none of 00, 01, 03");
  }
  decoded.Add("structure", StructureName(FileType::kEf, info.structure));
  if (info.structure == FileStructure::kLinearFixed || info.structure == FileStructure::kCyclic) {
    if (bytes.size() < 15 || bytes[14] == 0) {
      decoded.Note("no record length");
      return;
    }
    info.recordLength = bytes[14];
    info.recordCount = *info.size / info.recordLength;
    decoded.Add("record_length", Decoded::Number(static_cast<std::int64_t>(info.recordLength)));
    decoded.Add("records", Decoded::Number(static_cast<std::int64_t>(info.recordCount)));
  }
}

}  // namespace

FileInfo ParseGsmResponse(std::span<const std::uint8_t> bytes) {
  FileInfo info;
  if (bytes.size() < 7) {
    info.decoded.Note(std::to_string(bytes.size()) + " bytes: too few for a SELECT answer");
    return info;
  }
  info.id = Word(bytes, 4);
  switch (bytes[6]) {
    case kTypeMf:
      info.type = FileType::kMf;
      break;
    case kTypeDf:
      info.type = FileType::kDf;
      break;
    case kTypeEf:
      info.type = FileType::kEf;
      break;
    default:
      info.decoded.Note("type of file " + HexText(bytes.subspan(6, 1)) + " is none of 01, 02, 04");
  }
  info.decoded.Add("type", StructureName(info.type, FileStructure::kNone));
  info.decoded.Add("id", FileIdText(*info.id));
  if (info.type == FileType::kEf) {
    ParseElementaryFile(bytes, info);
  } else if (info.type != FileType::kUnknown) {
    ParseDirectory(bytes, info);
  }
  return info;
}

}  // namespace quorvel
