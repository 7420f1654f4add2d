#pragma once

#include <cstdint>
#include <span>

#include "sim/decoded.h"

namespace quorvel {

// Whether a record holds nothing: every byte FF.
bool IsEmptyRecord(std::span<const std::uint8_t> record);

// A record of EF.ADN, EF.FDN or EF.MSISDN (GSM 11.11 10.5.1, TS 31.102 4.4.2.3): an alpha
// field of X bytes, then the length of the number (TON/NPI byte included), TON/NPI, ten
// bytes of extended BCD, the capability/configuration record and the extension record. An
// empty record decodes to {"empty": true}.
Decoded DecodeDiallingNumber(std::span<const std::uint8_t> record);

// A record of EF.SMS (6F3C; GSM 11.11 10.5.3): its status and the service centre's address
// (TS 24.011 8.2.5.1) at the start of the message. A free record decodes as empty.
Decoded DecodeShortMessageRecord(std::span<const std::uint8_t> record);

}  // namespace quorvel
