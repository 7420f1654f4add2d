#pragma once

#include <cstdint>
#include <span>

#include "sim/decoded.h"

namespace quorvel {

// EF.ECC of a SIM (6FB7 in DF.GSM, transparent; GSM 11.11 10.3.27): emergency call codes of
// three bytes each, swapped BCD with F filler; FF FF FF is no code.
Decoded DecodeSimEmergencyCodes(std::span<const std::uint8_t> bytes);

// A record of EF.ECC in a USIM (6FB7 in ADF.USIM, linear fixed; TS 31.102 4.2.21): the code
// (3 bytes), an alpha field, and the emergency service category (TS 24.008 10.5.4.33: police,
// ambulance, fire brigade, marine guard, mountain rescue, manually and automatically
// initiated eCall in bits 1 to 7).
Decoded DecodeUsimEmergencyCode(std::span<const std::uint8_t> record);

}  // namespace quorvel
