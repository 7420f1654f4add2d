// The FCP template of a UICC's SELECT answer, TS 102 221 11.1.1.3.
#include <string>

#include "sim/file_info.h"
#include "sim/hex_text.h"
#include "sim/tlv.h"

namespace quorvel {
namespace {

constexpr std::uint32_t kFcpTemplate = 0x62;
constexpr std::uint32_t kFileSize = 0x80;
constexpr std::uint32_t kTotalFileSize = 0x81;
constexpr std::uint32_t kFileDescriptor = 0x82;
constexpr std::uint32_t kFileId = 0x83;
constexpr std::uint32_t kDfName = 0x84;
constexpr std::uint32_t kProprietary = 0xA5;
constexpr std::uint32_t kShortFileId = 0x88;
constexpr std::uint32_t kLifeCycle = 0x8A;
constexpr std::uint32_t kSecurityReferenced = 0x8B;
constexpr std::uint32_t kSecurityCompact = 0x8C;
constexpr std::uint32_t kSecurityExpanded = 0xAB;
constexpr std::uint32_t kPinStatusTemplate = 0xC6;
// Inside A5 (11.1.1.4.6).
constexpr std::uint32_t kUiccCharacteristics = 0x80;
constexpr std::uint32_t kAvailableMemory = 0x83;
// Inside C6 (11.1.1.4.10).
constexpr std::uint32_t kPsDo = 0x90;
constexpr std::uint32_t kKeyReference = 0x83;

std::size_t Number(std::span<const std::uint8_t> bytes) {
  std::size_t value = 0;
  for (const std::uint8_t byte : bytes) value = value << 8 | byte;
  return value;
}

std::string TagText(std::uint32_t tag) {
  std::string text;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const std::uint8_t byte = static_cast<std::uint8_t>(tag >> shift);
    if (byte != 0 || !text.empty() || shift == 0) {
      text += CompactHex(std::span<const std::uint8_t>(&byte, 1));
    }
  }
  return text;
}

// 11.1.1.4.3: file descriptor byte, data coding byte, record length, number of records.
void ReadDescriptor(std::span<const std::uint8_t> value, FileInfo& info) {
  Decoded& decoded = info.decoded;
  if (value.empty()) return void(decoded.Note("empty file descriptor"));
  const std::uint8_t fdb = value[0];
  decoded.Add("shareable", Decoded::Flag((fdb & 0x40) != 0));
  if ((fdb & 0x3F) == 0x38) {
    info.type = FileType::kDf;  // an ADF when a DF name follows
  } else {
    info.type = FileType::kEf;
    switch (fdb & 0x3F) {
      case 0x39:
        info.structure = FileStructure::kBerTlv;
        break;
      default:
        switch (fdb & 0x07) {
          case 0x01:
            info.structure = FileStructure::kTransparent;
            break;
          case 0x02:
            info.structure = FileStructure::kLinearFixed;
            break;
          case 0x06:
            info.structure = FileStructure::kCyclic;
            break;
          default:
            info.structure = FileStructure::kUnknown;
        }
    }
    if ((fdb & 0x38) == 0x08) decoded.Add("internal", Decoded::Flag(true));
  }
  // The record length in one byte or two, then the number of records in one or two.
  if (value.size() == 3) info.recordLength = value[2];
  if (value.size() >= 4) info.recordLength = Number(value.subspan(2, 2));
  if (value.size() == 5) info.recordCount = value[4];
  if (value.size() >= 6) info.recordCount = Number(value.subspan(4, 2));
}

// 11.1.1.4.6: only the two objects a user looks for; the rest stays in the raw bytes.
void ReadProprietary(std::span<const std::uint8_t> value, FileInfo& info) {
  std::size_t offset = 0;
  while (offset < value.size()) {
    const auto object = ReadTlv(value, offset);
    if (!object) return void(info.decoded.Note("A5 ends inside a data object"));
    if (object->tag == kUiccCharacteristics) {
      info.decoded.Add("uicc_characteristics", HexText(object->value));
    } else if (object->tag == kAvailableMemory) {
      info.decoded.Add("available_memory",
                       Decoded::Number(static_cast<std::int64_t>(Number(object->value))));
    }
  }
}

// 11.1.1.4.9.
std::string LifeCycle(std::uint8_t value, bool& deactivated) {
  deactivated = false;
  if (value == 0x00) return "no information";
  if (value == 0x01) return "creation";
  if (value == 0x03) return "initialisation";
  if ((value & 0xFD) == 0x05) return "operational, activated";
  if ((value & 0xFD) == 0x04) {
    deactivated = true;
    return "operational, deactivated";
  }
  if ((value & 0xFC) == 0x0C) return "termination";
  return "proprietary (" + HexText(std::span<const std::uint8_t>(&value, 1)) + ")";
}

// 11.1.1.4.7.
std::string Security(const Tlv& object) {
  if (object.tag == kSecurityReferenced && object.value.size() == 3) {
    return "rules in EF.ARR " + CompactHex(object.value.first(2)) + ", record " +
           std::to_string(object.value[2]);
  }
  if (object.tag == kSecurityReferenced) return "referenced: " + HexText(object.value);
  if (object.tag == kSecurityCompact) return "compact: " + HexText(object.value);
  return "expanded: " + HexText(object.value);
}

// 11.1.1.4.10: the PS_DO's bits, from bit 8 of its first byte on, tell in order whether each
// key reference after it is enabled; a usage qualifier (95) may stand before a reference.
void ReadPinStatus(std::span<const std::uint8_t> value, FileInfo& info) {
  std::span<const std::uint8_t> psDo;
  std::size_t index = 0;
  std::size_t offset = 0;
  Decoded pins;
  while (offset < value.size()) {
    const auto object = ReadTlv(value, offset);
    if (!object) {
      info.decoded.Note("C6 ends inside a data object");
      break;
    }
    if (object->tag == kPsDo) psDo = object->value;
    if (object->tag != kKeyReference || object->value.size() != 1) continue;
    const bool known = index / 8 < psDo.size();
    const bool enabled = known && (psDo[index / 8] & (0x80 >> (index % 8))) != 0;
    ++index;
    const std::uint8_t key = object->value[0];
    info.pins.push_back({key, enabled, std::nullopt});
    pins.Add(PinName(key, false), known ? (enabled ? "enabled" : "disabled") : "unknown");
  }
  info.decoded.Add("pins", std::move(pins));
}

}  // namespace

FileInfo ParseFcp(std::span<const std::uint8_t> bytes) {
  FileInfo info;
  // 62, its length (one byte, or 81 and one), then as much of the value as there is.
  const std::size_t header = bytes.size() >= 3 && bytes[1] == 0x81 ? 3 : 2;
  if (bytes.size() < header || bytes[0] != kFcpTemplate || bytes[1] > 0x81) {
    info.decoded.Note(bytes.empty() ? "no FCP template" : "not an FCP template (62)");
    return info;
  }
  std::span<const std::uint8_t> value = bytes.subspan(header);
  const std::size_t length = bytes[header - 1];
  if (length > value.size()) {
    info.decoded.Note("the template announces " + std::to_string(length) + " bytes, " +
                      std::to_string(value.size()) + " follow");
  } else {
    value = value.first(length);
  }
  std::span<const std::uint8_t> dfName;
  std::string lifeCycle;
  std::string security;
  std::size_t at = 0;
  Decoded& decoded = info.decoded;
  while (at < value.size()) {
    const auto object = ReadTlv(value, at);
    if (!object) {
      decoded.Note("the template ends inside a data object");
      break;
    }
    switch (object->tag) {
      case kFileDescriptor:
        ReadDescriptor(object->value, info);
        break;
      case kFileId:
        if (object->value.size() == 2) info.id = static_cast<std::uint16_t>(Number(object->value));
        break;
      case kDfName:
        dfName = object->value;
        break;
      case kProprietary:
        ReadProprietary(object->value, info);
        break;
      case kLifeCycle:
        if (object->value.size() == 1) lifeCycle = LifeCycle(object->value[0], info.invalidated);
        break;
      case kSecurityReferenced:
      case kSecurityCompact:
      case kSecurityExpanded:
        security = Security(*object);
        break;
      case kPinStatusTemplate:
        ReadPinStatus(object->value, info);
        break;
      case kFileSize:
        info.size = Number(object->value.first(std::min<std::size_t>(object->value.size(), 4)));
        break;
      case kTotalFileSize:
        decoded.Add("total_size",
                    Decoded::Number(static_cast<std::int64_t>(Number(
                        object->value.first(std::min<std::size_t>(object->value.size(), 4))))));
        break;
      case kShortFileId:
        if (object->value.size() == 1) {
          decoded.Add("sfi", Decoded::Number(object->value[0] >> 3));
        }
        break;
      default:
        decoded.Note("tag " + TagText(object->tag) + " not decoded");
    }
  }
  if (!dfName.empty()) {
    info.aid.assign(dfName.begin(), dfName.end());
    if (info.type == FileType::kDf) info.type = FileType::kAdf;
  }
  if (info.id == 0x3F00 && info.type == FileType::kDf) info.type = FileType::kMf;
  if (info.type == FileType::kEf && info.recordLength > 0 && info.recordCount == 0 && info.size) {
    info.recordCount = *info.size / info.recordLength;
  }
  if (info.type == FileType::kEf && info.structure == FileStructure::kNone) {
    info.structure = FileStructure::kUnknown;
  }
  info.access = security;
  // Fields in a fixed order whatever the card's order of tags.
  Decoded ordered;
  ordered.Add("type", StructureName(info.type, FileStructure::kNone));
  if (info.id) ordered.Add("id", FileIdText(*info.id));
  if (!info.aid.empty()) ordered.Add("aid", CompactHex(info.aid));
  if (info.type == FileType::kEf) {
    ordered.Add("structure", StructureName(info.type, info.structure));
    if (info.size) ordered.Add("size", Decoded::Number(static_cast<std::int64_t>(*info.size)));
    if (info.recordLength > 0) {
      ordered.Add("record_length", Decoded::Number(static_cast<std::int64_t>(info.recordLength)));
      ordered.Add("records", Decoded::Number(static_cast<std::int64_t>(info.recordCount)));
    }
  }
  if (!lifeCycle.empty()) ordered.Add("life_cycle", lifeCycle);
  if (!security.empty()) ordered.Add("access", security);
  for (const Decoded::Field& field : decoded.fields()) ordered.Add(field.name, field.value);
  ordered.AppendNotes(decoded.notes());
  info.decoded = std::move(ordered);
  return info;
}

}  // namespace quorvel
