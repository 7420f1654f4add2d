#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Why a line of a command script was refused, and where: the reader adds the file
// name, the line and the column.
struct SyntaxError {
  std::size_t at = 0;  // byte offset in the line
  std::string what;    // "expected a hex byte, found \"G3\""
};

// Hex bytes read from a line, with where each one starts.
struct HexRun {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> at;
};

// A place in one line of a command script (UTF-8, checked before). Every refusal
// throws SyntaxError; the reader catches it and refuses the whole script.
class LineCursor {
 public:
  explicit LineCursor(std::string_view line) : line_(line) {}

  std::string_view line() const { return line_; }
  std::size_t at() const { return at_; }
  bool AtEnd() const { return at_ >= line_.size(); }
  // The character here, or '\0' at the end of the line (a line holds no zero byte).
  char Peek(std::size_t ahead = 0) const {
    return at_ + ahead < line_.size() ? line_[at_ + ahead] : '\0';
  }
  void Advance(std::size_t count = 1) { at_ += count; }
  // Skips blanks and tabs.
  void SkipBlanks();
  // The rest of the line, from here.
  std::string_view Rest() const { return line_.substr(at_); }

  [[noreturn]] void Fail(std::string what) const { FailAt(at_, std::move(what)); }
  [[noreturn]] void FailAt(std::size_t at, std::string what) const;

  // What stands at `at`, for a message: up to two characters in quotes, or "the end
  // of the line".
  std::string FoundPair(std::size_t at) const;
  // The word (up to a blank) that starts at `at`, for a message.
  std::string FoundWord(std::size_t at) const;

  // Hex bytes of two digits each, blanks between them optional, up to one of
  // `stops` or the end of the line. Anything else is refused as "expected a hex byte".
  HexRun ReadHexBytes(std::string_view stops);
  // A decimal number from `lowest` to `highest`; `what` names it for a refusal.
  std::int64_t ReadNumber(std::int64_t lowest, std::int64_t highest, std::string_view what);
  // Nothing but blanks up to the end of the line or a "#" comment; `after` says what
  // came before, for a refusal.
  void ExpectEndOrComment(std::string_view after);

 private:
  std::string_view line_;
  std::size_t at_ = 0;
};

bool IsBlank(char c);
int HexDigitValue(char c);

// The 1-based column of the byte at `at`: characters, not bytes, are counted.
std::size_t ColumnOf(std::string_view line, std::size_t at);

}  // namespace quorvel
