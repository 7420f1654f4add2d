#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// Where Debian's pcsc-tools package installs its list of known cards' ATRs.
inline constexpr char kSystemAtrListPath[] = "/usr/share/pcsc/smartcard_list.txt";

// One byte of an ATR pattern: bit v of `high` (`low`) is set when the upper (lower) hex
// digit may be v.
struct AtrPatternByte {
  std::uint16_t high = 0;
  std::uint16_t low = 0;
  bool Matches(std::uint8_t byte) const {
    return ((high >> (byte >> 4)) & (low >> (byte & 0x0F)) & 1u) != 0;
  }
};

// An ATR line of the list: two hex digits a byte, blanks between bytes, where "." stands for
// any digit and "[...]" for the digits it lists ("3F 65 25 .. 2[2C] 09 [6,E]9 90 .0").
struct AtrPattern {
  std::vector<AtrPatternByte> bytes;
  bool Matches(std::span<const std::uint8_t> atr) const;
};

// Reads one ATR line; nullopt when it holds anything else (other regular-expression forms,
// an odd digit, no digits at all).
std::optional<AtrPattern> ParseAtrPattern(std::string_view line);

// A card of the list whose ATR pattern matches.
struct AtrListMatch {
  std::string pattern;                   // the ATR line as the list writes it
  std::vector<std::string> description;  // the lines describing the card, without their tab
  std::size_t length = 0;                // bytes the pattern matched
};

// The system's list of known cards: an ATR line, then tab-indented lines describing the card;
// "#" starts a comment. The file is read and indexed on the first question, never before,
// and once; a missing or unreadable file gives no cards and no error. Lines that cannot be
// read are skipped with the description that follows them. Safe to ask from several threads.
class AtrList {
 public:
  explicit AtrList(std::string path = kSystemAtrListPath);
  // A list made from text in the file's format, for tests.
  static AtrList FromText(std::string text);
  ~AtrList();
  AtrList(const AtrList&) = delete;
  AtrList& operator=(const AtrList&) = delete;

  // Every card whose pattern matches `atr` (the ATR alone, without extra bytes), in list order.
  std::vector<AtrListMatch> Find(std::span<const std::uint8_t> atr) const;
  // Every card the bytes received after a reset name: first those whose pattern matches the
  // ATR that T0 and the TDi announce (the first `atrLength` bytes), then, when the card sent
  // more, those whose pattern matches every byte received (some lists hold a byte beyond the
  // announced ATR, such as a TCK a T=0 card sent all the same).
  std::vector<AtrListMatch> FindReceived(std::span<const std::uint8_t> received,
                                         std::size_t atrLength) const;
  // How many cards the list holds.
  std::size_t Size() const;

 private:
  struct Index;
  struct FromTextTag {};
  AtrList(FromTextTag, std::string text);
  const Index& Loaded() const;

  std::string path_;
  mutable std::string text_;  // the list's text when made from text rather than from a file
  bool fromText_ = false;
  mutable std::once_flag loadOnce_;
  mutable std::unique_ptr<Index> index_;
};

}  // namespace quorvel
