#include "sim/iccid.h"

#include <string>

#include "sim/bcd_digits.h"

namespace quorvel {

int LuhnCheckDigit(std::string_view digits) {
  int sum = 0;
  bool doubled = true;  // the rightmost digit before the check digit is doubled
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it < '0' || *it > '9') return -1;
    int value = *it - '0';
    if (doubled) value = value * 2 > 9 ? value * 2 - 9 : value * 2;
    sum += value;
    doubled = !doubled;
  }
  return (10 - sum % 10) % 10;
}

Decoded DecodeIccid(std::span<const std::uint8_t> bytes) {
  const SwappedDigits read = ReadSwappedDigits(bytes, DigitSet::kDecimal);
  Decoded decoded;
  decoded.Add("iccid", read.digits);
  decoded.Add("digits", Decoded::Number(static_cast<std::int64_t>(read.digits.size())));
  if (read.digits.size() >= 2) {
    const std::string_view digits = read.digits;
    const int expected = LuhnCheckDigit(digits.substr(0, digits.size() - 1));
    const char last = digits.back();
    if (expected >= 0 && last >= '0' && last <= '9') {
      decoded.Add("check_digit", Decoded::Number(last - '0'));
      decoded.Add("check_digit_right", Decoded::Flag(expected == last - '0'));
      if (expected != last - '0') {
        decoded.Add("luhn_expects", Decoded::Number(expected));
      }
    } else {
      decoded.Note("no Luhn check over digits that are not all 0 to 9");
    }
  } else {
    decoded.Note("too few digits for a check digit");
  }
  decoded.AppendNotes(read.notes);
  return decoded;
}

}  // namespace quorvel
