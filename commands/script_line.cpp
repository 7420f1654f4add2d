#include "commands/script_line.h"

#include <cstdio>

#include "controls/field_text.h"

namespace quorvel {
namespace {

// Text from the line for a message, its control characters as \xNN.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::size_t ColumnOf(std::string_view line, std::size_t at) {
  std::size_t column = 1;
  for (std::size_t i = 0; i < at && i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
  }
  return column;
}

void LineCursor::SkipBlanks() {
  while (!AtEnd() && IsBlank(line_[at_])) ++at_;
}

void LineCursor::FailAt(std::size_t at, std::string what) const {
  throw SyntaxError{at, std::move(what)};
}

std::string LineCursor::FoundPair(std::size_t at) const {
  if (at >= line_.size()) return "the end of the line";
  std::size_t length = FirstCharacterLength(line_.substr(at));
  if (at + length < line_.size() && !IsBlank(line_[at + length]))
    length += FirstCharacterLength(line_.substr(at + length));
  return Quoted(line_.substr(at, length));
}

std::string LineCursor::FoundWord(std::size_t at) const {
  if (at >= line_.size()) return "the end of the line";
  std::size_t end = at;
  while (end < line_.size() && !IsBlank(line_[end]) && end - at < 24) ++end;
  while (end < line_.size() && (static_cast<unsigned char>(line_[end]) & 0xC0) == 0x80) ++end;
  return Quoted(line_.substr(at, end - at));
}

HexRun LineCursor::ReadHexBytes(std::string_view stops) {
  HexRun run;
  for (SkipBlanks(); !AtEnd(); SkipBlanks()) {
    const int high = HexDigitValue(Peek());
    if (high < 0 && stops.find(Peek()) != std::string_view::npos) break;
    const int low = HexDigitValue(Peek(1));
    if (high < 0 || low < 0) Fail("expected a hex byte, found " + FoundPair(at_));
    run.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    run.at.push_back(at_);
    Advance(2);
  }
  return run;
}

std::int64_t LineCursor::ReadNumber(std::int64_t lowest, std::int64_t highest,
                                    std::string_view what) {
  SkipBlanks();
  const std::size_t start = at_;
  const bool negative = Peek() == '-';
  if (negative) Advance();
  std::int64_t value = 0;
  bool digits = false;
  while (Peek() >= '0' && Peek() <= '9') {
    value = value * 10 + (Peek() - '0');
    if (value > highest - lowest + 1) break;  // far enough out of range, before it overflows
    digits = true;
    Advance();
  }
  if (negative) value = -value;
  const bool ended = AtEnd() || IsBlank(Peek()) || Peek() == '#' || Peek() == ':';
  if (!digits || !ended || value < lowest || value > highest) {
    FailAt(start, "expected " + std::string(what) + " from " + std::to_string(lowest) + " to " +
                      std::to_string(highest) + ", found " + FoundWord(start));
  }
  return value;
}

void LineCursor::ExpectEndOrComment(std::string_view after) {
  SkipBlanks();
  if (AtEnd() || Peek() == '#') return;
  Fail("expected \"#\" or the end of the line after " + std::string(after) + ", found " +
       FoundWord(at_));
}

}  // namespace quorvel
