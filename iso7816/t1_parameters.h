#pragma once

#include <cstdint>
#include <span>

#include "iso7816/error_detection_code.h"

namespace quorvel {

// What an ATR sets for T=1 (ISO/IEC 7816-3 clause 11.4): the first TA, TB and TC after a
// TDi (i >= 2) naming T=1, and TC1 for the guard time. A byte that is absent, or holds a
// reserved value (IFSC 00 or FF, BWI above 9), leaves the default.
struct T1Parameters {
  unsigned ifsc = 32;               // the card's information field size
  unsigned cwi = 13;                // character waiting time integer, TB's low nibble
  unsigned bwi = 4;                 // block waiting time integer, TB's high nibble
  T1Edc edc = T1Edc::kLrc;          // TC bit 1
  std::uint8_t extraGuardTime = 0;  // N from TC1
  bool offersT1 = false;            // some TDi names T=1
};

T1Parameters ReadT1Parameters(std::span<const std::uint8_t> atr);

}  // namespace quorvel
