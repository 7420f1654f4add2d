#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "commands/script_line.h"

namespace quorvel {

// One byte of an expected answer; X stands for any hex digit: "90", "6X", "XX".
struct BytePattern {
  std::uint8_t value = 0;  // the digits given, zero under each X
  std::uint8_t mask = 0;   // 0xFF for "90", 0xF0 for "6X", 0x00 for "XX"

  bool Matches(std::uint8_t byte) const { return (byte & mask) == value; }
  bool operator==(const BytePattern&) const = default;
};

struct StatusWordPattern {
  BytePattern sw1;
  BytePattern sw2;
  bool operator==(const StatusWordPattern&) const = default;
};

// What a command must answer, in the notation of the script format of ETSI TS 101 955
// (3GPP TS 11.13) Annex B: its status word in parentheses, alternatives separated by
// commas, "(90 00, 61 XX)"; the data from the card in square brackets, "[01 02 XX XX]",
// which the answer's first bytes must match (the answer may go on), "[]" for data not
// checked, as the examples of that annex use it. Neither given: the command expects nothing.
struct Expectation {
  std::vector<StatusWordPattern> statusWords;    // empty: any status word
  std::optional<std::vector<BytePattern>> data;  // the answer's first bytes, when given

  bool empty() const { return statusWords.empty() && !data; }
  bool operator==(const Expectation&) const = default;
};

inline constexpr std::size_t kMaxStatusWordAlternatives = 16;
inline constexpr std::size_t kMaxExpectedDataBytes = 256;  // a whole response of T=0

// The pattern as a script writes it, "(90 00, 61 XX) [01 02 XX XX]"; "" for none.
std::string ExpectationText(const Expectation& expectation);

// What came back from the card for a command.
struct ReceivedAnswer {
  std::optional<std::uint8_t> sw1;  // nothing when it never arrived
  std::optional<std::uint8_t> sw2;
  std::span<const std::uint8_t> data;  // the data bytes the card sent
};

// Whether the answer meets the expectation; an empty expectation is always met.
bool Meets(const Expectation& expectation, const ReceivedAnswer& answer);

// For the user: "expected 90 00: met", "expected 90 00 or 61 XX, got 6A 82",
// "expected 90 00 with data 01 02 XX XX, got 90 00 with data 01 03". Status bytes
// that never arrived are shown as "--", as the status row shows them.
std::string ExpectationReport(const Expectation& expectation, const ReceivedAnswer& answer);

// Reads "(...)" or "[...]" at the cursor (its bracket under it) into `into`; a second
// one of the same kind is refused. Throws SyntaxError.
void ReadExpectationPart(LineCursor& cursor, Expectation& into);

// A whole pattern such as "(90 00) [01 XX]", as a text box would hold it.
struct ExpectationParse {
  Expectation expectation;
  std::optional<SyntaxError> error;  // `at` is a byte offset in the text
};
ExpectationParse ParseExpectation(std::string_view text);

}  // namespace quorvel
