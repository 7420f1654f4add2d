#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvel {

// What nibbles other than 0 to 9 stand for.
enum class DigitSet {
  kDecimal,   // none: identifiers (ICCID, IMSI, emergency codes)
  kDialling,  // the extended BCD of dialling numbers: A *, B #, C pause (p), D wild (?),
              // E expansion (e) (GSM 11.11 10.5.1, TS 31.102 4.4.2.3)
};

struct SwappedDigits {
  std::string digits;
  std::vector<std::string> notes;  // nibbles that are no digit, digits after the filler
};

// Digits two to a byte, the first in the low nibble, up to the F filler. A nibble outside
// the set shows as '?' with a note; digits after the filler are kept out, with a note.
SwappedDigits ReadSwappedDigits(std::span<const std::uint8_t> bytes, DigitSet set);

}  // namespace quorvel
