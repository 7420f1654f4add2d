#include "sim/application_directory.h"

#include <algorithm>
#include <array>

#include "sim/alpha_text.h"
#include "sim/dialling_number.h"
#include "sim/hex_text.h"
#include "sim/tlv.h"

namespace quorvel {
namespace {

constexpr std::uint32_t kApplicationTemplate = 0x61;
constexpr std::uint32_t kAid = 0x4F;
constexpr std::uint32_t kLabel = 0x50;

struct KnownApplication {
  std::array<std::uint8_t, 7> prefix;
  const char* name;
};

constexpr KnownApplication kApplications[] = {
    {{0xA0, 0x00, 0x00, 0x00, 0x87, 0x10, 0x02}, "USIM"},
    {{0xA0, 0x00, 0x00, 0x00, 0x87, 0x10, 0x04}, "ISIM"},
    {{0xA0, 0x00, 0x00, 0x03, 0x43, 0x10, 0x02}, "CSIM"},
};

}  // namespace

std::string ApplicationOf(std::span<const std::uint8_t> aid) {
  for (const KnownApplication& known : kApplications) {
    if (aid.size() >= known.prefix.size() &&
        std::equal(known.prefix.begin(), known.prefix.end(), aid.begin())) {
      return known.name;
    }
  }
  return {};
}

DirEntry ReadDirRecord(std::span<const std::uint8_t> record) {
  DirEntry entry;
  if (IsEmptyRecord(record)) {
    entry.decoded.Add("empty", Decoded::Flag(true));
    return entry;
  }
  std::size_t offset = 0;
  const auto outer = ReadTlv(record, offset);
  if (!outer || outer->tag != kApplicationTemplate) {
    entry.decoded.Note("no application template (61) at the start of the record");
    return entry;
  }
  std::size_t inner = 0;
  while (inner < outer->value.size()) {
    const auto object = ReadTlv(outer->value, inner);
    if (!object) {
      entry.decoded.Note("the template ends inside a data object");
      break;
    }
    if (object->tag == kAid) entry.aid.assign(object->value.begin(), object->value.end());
    if (object->tag == kLabel) entry.label = DecodeAlpha(object->value).utf8;
  }
  if (entry.aid.empty()) {
    entry.decoded.Note("no AID (4F) in the template");
    return entry;
  }
  entry.decoded.Add("aid", CompactHex(entry.aid));
  if (const std::string application = ApplicationOf(entry.aid); !application.empty()) {
    entry.decoded.Add("application", application);
  }
  if (!entry.label.empty()) entry.decoded.Add("label", entry.label);
  return entry;
}

}  // namespace quorvel
