#include "iso7816/historical_bytes.h"

#include <string>

#include "iso7816/status_words.h"
#include "iso7816/text_append.h"

namespace quorvel {
namespace {

using iso7816_text::AppendDecimal;
using iso7816_text::AppendHex;
using iso7816_text::AppendHexBytes;

// Starts an item for `length` bytes at `offset` of the ATR: "  31 C0: ".
AtrItem& StartItem(std::vector<AtrItem>& items, std::span<const std::uint8_t> historical,
                   std::size_t first, std::size_t length, std::size_t offset) {
  AtrItem& item = items.emplace_back();
  item.offset = offset + first;
  item.length = length;
  item.text.reserve(112);
  item.text += "  ";
  AppendHexBytes(item.text, historical.data() + first, length);
  item.text += ": ";
  return item;
}

// Appends "a, b, c" for the set bits of `byte`, `names[0]` naming bit 8.
void AppendBitNames(std::string& text, std::uint8_t byte, const char* const (&names)[8],
                    bool& first) {
  for (int bit = 0; bit < 8; ++bit) {
    if ((byte & (0x80 >> bit)) == 0 || names[bit] == nullptr) continue;
    if (!first) text += ", ";
    text += names[bit];
    first = false;
  }
}

void AppendCardServiceData(std::string& text, std::uint8_t byte) {
  static constexpr const char* kNames[8] = {"application selection by full DF name",
                                            "application selection by partial DF name",
                                            "BER-TLV data objects in EF.DIR",
                                            "BER-TLV data objects in EF.ATR",
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr};
  bool first = true;
  AppendBitNames(text, byte, kNames, first);
  if (!first) text += ", ";
  switch ((byte >> 1) & 0x07) {
    case 0x04:
      text += "EF.DIR and EF.ATR read by READ BINARY";
      break;
    case 0x00:
      text += "EF.DIR and EF.ATR read by READ RECORD";
      break;
    case 0x02:
      text += "EF.DIR and EF.ATR read by GET DATA";
      break;
    default:
      text += "EF.DIR and EF.ATR access by a reserved method";
      break;
  }
  text += (byte & 0x01) != 0 ? ", card without MF" : ", card with MF";
}

void AppendCardCapabilities(std::string& text, std::span<const std::uint8_t> value) {
  static constexpr const char* kSelection[8] = {
      "DF selection by full DF name", "by partial DF name",  "by path",       "by file identifier",
      "implicit DF selection",        "short EF identifier", "record number", "record identifier"};
  static constexpr const char* kWrite[4] = {"one-time write", "proprietary write", "write OR",
                                            "write AND"};
  bool first = true;
  if (value.size() >= 1) AppendBitNames(text, value[0], kSelection, first);
  if (value.size() >= 2) {
    const std::uint8_t coding = value[1];
    if (!first) text += "; ";
    first = false;
    if ((coding & 0x80) != 0) text += "EFs of TLV structure, ";
    text += kWrite[(coding >> 5) & 0x03];
    text += (coding & 0x10) != 0 ? ", FF valid as first tag byte" : "";
    text += ", data unit ";
    const unsigned quartets = 1u << (coding & 0x0F);
    if (quartets == 1) {
      text += "of 4 bits";
    } else {
      iso7816_text::AppendCount(text, quartets / 2, "byte", "bytes");
    }
  }
  if (value.size() >= 3) {
    const std::uint8_t third = value[2];
    if (!first) text += "; ";
    first = false;
    if ((third & 0x80) != 0) text += "command chaining, ";
    if ((third & 0x40) != 0) text += "extended Lc and Le, ";
    const unsigned assignment = (third >> 3) & 0x03;
    if (assignment == 0) {
      text += "no logical channels";
    } else {
      const unsigned channels = (third & 0x07) + 1;
      AppendDecimal(text, channels);
      text += channels == 8 ? " or more logical channels" : " logical channel";
      if (channels > 1 && channels < 8) text += 's';
      text += assignment == 0x02   ? " assigned by the card"
              : assignment == 0x01 ? " assigned by the reader"
                                   : " assigned by the card or the reader";
    }
  }
  if (first) text += "none";
}

const char* LifeCycleStatus(std::uint8_t lcs) {
  switch (lcs) {
    case 0x00:
      return "no information given";
    case 0x01:
      return "creation state";
    case 0x03:
      return "initialisation state";
    case 0x05:
    case 0x07:
      return "operational state, activated";
    case 0x04:
    case 0x06:
      return "operational state, deactivated";
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
      return "termination state";
    default:
      return lcs >= 0x10 ? "proprietary" : "reserved";
  }
}

// "life cycle 05 (operational state, activated), SW 90 00 (normal ending of the command)"
// for a status indicator of one to three bytes.
void AppendStatusIndicator(std::string& text, std::span<const std::uint8_t> value) {
  if (value.size() == 1 || value.size() == 3) {
    text += "life cycle ";
    AppendHex(text, value[0]);
    text += " (";
    text += LifeCycleStatus(value[0]);
    text += ')';
  }
  if (value.size() >= 2) {
    const std::uint8_t sw1 = value[value.size() - 2];
    const std::uint8_t sw2 = value[value.size() - 1];
    if (value.size() == 3) text += ", ";
    text += "SW ";
    AppendHex(text, sw1);
    text += ' ';
    AppendHex(text, sw2);
    text += " (";
    text += ExplainStatusWord(sw1, sw2, 2, 0x00);
    text += ')';
  }
}

const char* ObjectName(unsigned tag) {
  switch (tag) {
    case 0x1:
      return "country code";
    case 0x2:
      return "issuer identification number";
    case 0x3:
      return "card service data";
    case 0x4:
      return "initial access data";
    case 0x5:
      return "card issuer's data";
    case 0x6:
      return "pre-issuing data";
    case 0x7:
      return "card capabilities";
    case 0x8:
      return "status indicator";
    case 0xF:
      return "application identifier";
    default:
      return nullptr;
  }
}

// Appends ` "text"` when every byte of `value` is printable and there are a few of them.
void AppendTextIfPrintable(std::string& text, std::span<const std::uint8_t> value) {
  if (value.size() < 3) return;
  for (std::uint8_t byte : value)
    if (byte < 0x20 || byte > 0x7E) return;
  text += " \"";
  text.append(value.begin(), value.end());
  text += '"';
}

// One compact-TLV data object: a tag and length byte at `first`, its value after it.
void ExplainObject(std::vector<AtrItem>& items, std::span<const std::uint8_t> historical,
                   std::size_t first, std::size_t offset) {
  const unsigned tag = historical[first] >> 4;
  const std::size_t length = historical[first] & 0x0F;
  const std::span<const std::uint8_t> value = historical.subspan(first + 1, length);
  std::string& text = StartItem(items, historical, first, 1 + length, offset).text;
  const char* name = ObjectName(tag);
  if (name == nullptr) {
    text += "object of tag ";
    iso7816_text::AppendHexDigit(text, tag);
    text += ", which ISO/IEC 7816-4 does not define";
    return;
  }
  text += name;
  if (length == 0) {
    text += ", empty";
    return;
  }
  text += ": ";
  if (tag == 0x3 && length == 1) {
    AppendCardServiceData(text, value[0]);
  } else if (tag == 0x7 && length <= 3) {
    AppendCardCapabilities(text, value);
  } else if (tag == 0x8 && length <= 3) {
    AppendStatusIndicator(text, value);
  } else {
    AppendHexBytes(text, value.data(), value.size());
    AppendTextIfPrintable(text, value);
  }
}

// PC/SC's readers give contactless cards historical bytes with an application identifier
// written "4F", a length byte and the identifier; read so when it fits and the compact-TLV
// reading (tag 4, 15 bytes) would not.
bool IsPcscIdentifier(std::span<const std::uint8_t> historical, std::size_t at, std::size_t end) {
  return historical[at] == 0x4F && at + 16 > end && at + 1 < end &&
         at + 2 + historical[at + 1] <= end;
}

// The compact-TLV data objects in [begin, end) of the historical bytes.
void ExplainObjects(std::vector<AtrItem>& items, std::span<const std::uint8_t> historical,
                    std::size_t begin, std::size_t end, std::size_t offset) {
  std::size_t at = begin;
  while (at < end) {
    if (IsPcscIdentifier(historical, at, end)) {
      const std::size_t length = historical[at + 1];
      std::string& text = StartItem(items, historical, at, 2 + length, offset).text;
      text += "application identifier (in PC/SC's form 4F, length, identifier): ";
      AppendHexBytes(text, historical.data() + at + 2, length);
      at += 2 + length;
      continue;
    }
    const std::size_t length = historical[at] & 0x0F;
    if (at + 1 + length > end) {
      std::string& text = StartItem(items, historical, at, end - at, offset).text;
      text += "malformed: the object announces ";
      iso7816_text::AppendCount(text, length, "byte", "bytes");
      text += " but only ";
      AppendDecimal(text, end - at - 1);
      text += " follow";
      return;
    }
    ExplainObject(items, historical, at, offset);
    at += 1 + length;
  }
}

}  // namespace

void ExplainHistoricalBytes(std::span<const std::uint8_t> historical, std::size_t offset,
                            std::vector<AtrItem>& items) {
  if (historical.empty()) return;
  const std::size_t count = historical.size();
  std::string& text = StartItem(items, historical, 0, 1, offset).text;
  text += "category indicator: ";
  switch (historical[0]) {
    case 0x00:
      text += "compact-TLV data objects, then a status indicator in the last 3 bytes";
      if (count < 4) {
        text += ", but too few bytes follow";
        return;
      }
      ExplainObjects(items, historical, 1, count - 3, offset);
      {
        std::string& status = StartItem(items, historical, count - 3, 3, offset).text;
        status += "status indicator: ";
        AppendStatusIndicator(status, historical.subspan(count - 3));
      }
      return;
    case 0x10:
      text += "a DIR data reference follows";
      if (count > 1) {
        std::string& reference = StartItem(items, historical, 1, count - 1, offset).text;
        reference += "DIR data reference";
      }
      return;
    case 0x80:
      text += "compact-TLV data objects follow";
      ExplainObjects(items, historical, 1, count, offset);
      return;
    default:
      text += (historical[0] & 0xF0) == 0x80 ? "reserved for future use"
                                             : "proprietary: the card's own format follows";
      return;
  }
}

}  // namespace quorvel
