#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sim/decoded.h"

namespace quorvel {

// The Luhn check digit (ITU-T E.118) for `digits`, or -1 when they hold anything but 0 to 9.
int LuhnCheckDigit(std::string_view digits);

// EF.ICCID (2FE2; TS 102 221 clause 13.2, GSM 11.11 10.1.1): up to 20 digits in swapped BCD
// with F filler. Reports the last digit as the check digit and whether Luhn agrees; a wrong
// check digit is reported, never a reason to refuse the number.
Decoded DecodeIccid(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
