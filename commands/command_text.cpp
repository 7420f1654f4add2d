#include "commands/command_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "controls/field_text.h"

namespace quorvel {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr unsigned kBytesPerDataLine = 8;
constexpr std::size_t kCommentLength = sizeof(CardCommand::comment) - 1;
constexpr const char* kHeaderFieldNames[5] = {"CLA", "INS", "P1", "P2", "P3"};

// White space as the C library classifies it in the "C" locale.
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string_view TrimFront(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimFront(text);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// "P2 and P3", "INS, P1, P2 and P3".
std::string MissingHeaderFields(int valuesRead) {
  std::string names;
  for (int field = valuesRead; field < 5; ++field) {
    if (field > valuesRead) names += field == 4 ? " and " : ", ";
    names += kHeaderFieldNames[field];
  }
  return names;
}

// Five hexadecimal numbers read with the C library's formatted input; the low
// byte of each. A header with fewer numbers is refused rather than sent with
// invented bytes.
std::optional<std::string> ReadHeader(const std::string& headerText, std::uint8_t header[5]) {
  unsigned short values[5] = {};
  int read = std::sscanf(headerText.c_str(), "%hX %hX %hX %hX %hX", &values[0], &values[1],
                         &values[2], &values[3], &values[4]);
  if (read < 0) read = 0;
  if (read < 5) {
    return "Command needs five hexadecimal bytes (CLA INS P1 P2 P3): " + MissingHeaderFields(read) +
           (5 - read == 1 ? " is missing!" : " are missing!");
  }
  for (int i = 0; i < 5; ++i) header[i] = static_cast<std::uint8_t>(values[i] & 0xFF);
  return std::nullopt;
}

// The comment, cut to 63 bytes without splitting a UTF-8 character; the bytes
// after its zero stay as they were.
void StoreComment(CardCommand& record, const std::string& commentText) {
  const std::string_view text(commentText.c_str(),
                              strnlen(commentText.c_str(), commentText.size()));
  const std::size_t length = FittingLength(text, kCommentLength);
  std::memcpy(record.comment, commentText.data(), length);
  record.comment[length] = '\0';
}

std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02hX", static_cast<unsigned short>(value));
  return text;
}

// The two characters of a refused pair as the user typed them: whole characters,
// the second only when it is not white space.
std::string PairText(std::string_view text) {
  std::size_t length = FirstCharacterLength(text);
  if (length < text.size() && !IsSpace(text[length]))
    length += FirstCharacterLength(text.substr(length));
  return std::string(text.substr(0, length));
}

// Bytes two characters at a time after the white space before them: one or
// two hexadecimal digits make a byte, and two characters are dropped. A pair
// with anything else in it is refused.
std::optional<std::string> ReadDataBytes(CardCommand& record, const std::string& dataText) {
  const unsigned p3 = record.p3();
  std::string_view text = Trim(dataText);
  unsigned count = 0;
  while (count < p3 && !text.empty()) {
    // A digit alone before white space or the end is a byte of its own.
    const bool single = text.size() == 1 || IsSpace(text[1]);
    const int high = HexValue(text[0]);
    const int low = single ? 0 : HexValue(text[1]);
    if (high < 0 || low < 0) {
      return "Command msg byte " + std::to_string(count + 1) + " (\"" + PairText(text) +
             "\") is not a hexadecimal number!";
    }
    record.data[count] = static_cast<std::uint8_t>(single ? high : high * 16 + low);
    text.remove_prefix(std::min<std::size_t>(2, text.size()));
    text = TrimFront(text);
    ++count;
  }
  if (text.empty() && count < p3)
    return "P3 (" + Hex2(p3) + ") > command msg size (" + Hex2(count) + ")!";
  if (!text.empty()) return "P3 (" + Hex2(p3) + ") < command msg size!";
  return std::nullopt;
}

}  // namespace

void AppendHexByte(std::string& text, std::uint8_t byte) {
  text += kHexDigits[byte >> 4];
  text += kHexDigits[byte & 0x0F];
}

std::string HexBytesText(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  text.reserve(3 * count);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    AppendHexByte(text, bytes[i]);
  }
  return text;
}

std::string FormatHeaderText(const CardCommand& command) {
  return HexBytesText(command.header, 5);
}

std::string FormatDataText(const std::uint8_t* data, unsigned count) {
  std::string text;
  text.reserve(3 * count + 2 * ((count + kBytesPerDataLine - 1) / kBytesPerDataLine));
  for (unsigned i = 0; i < count; ++i) {
    AppendHexByte(text, data[i]);
    text += ' ';
    if (i % kBytesPerDataLine == kBytesPerDataLine - 1 || i + 1 == count) text += "\r\n";
  }
  return text;
}

std::optional<std::string> AcceptEditedCommand(CardCommand& record, const std::string& headerText,
                                               const std::string& commentText,
                                               const std::string& dataText) {
  if (auto refusal = ReadHeader(headerText, record.header)) return refusal;
  StoreComment(record, commentText);
  if (record.p3() > 0 && record.direction == kToCard) {
    if (auto refusal = ReadDataBytes(record, dataText)) return refusal;
  }
  if (record.direction != kFromCard) return std::nullopt;
  if (dataText.empty()) return std::nullopt;
  return std::string("Command msg size != 0 while from smartcard?!?");
}

}  // namespace quorvel
