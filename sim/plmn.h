#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/decoded.h"

namespace quorvel {

// A network: MCC and MNC as three bytes (TS 24.008 10.5.1.3): MCC digit 2 | digit 1, MNC
// digit 3 | MCC digit 3, MNC digit 2 | digit 1. MNC digit 3 F means a two-digit MNC; FF FF FF
// is an empty entry.
struct Plmn {
  bool empty = false;
  std::string mcc;
  std::string mnc;
  std::vector<std::string> notes;  // nibbles that are no digit
  std::string Text() const { return empty ? "none" : mcc + "-" + mnc; }
};

Plmn ReadPlmn(std::span<const std::uint8_t, 3> bytes);

// EF.PLMNsel (6F30 in DF.GSM; GSM 11.11 10.3.4): PLMNs in order of preference, empty
// entries counted.
Decoded DecodePlmnSelector(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
