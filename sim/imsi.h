#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "sim/decoded.h"

namespace quorvel {

// EF.IMSI (6F07; GSM 11.11 10.3.2, TS 31.102 4.2.2): a length byte, then the identity as
// TS 24.008 10.5.1.4 codes it: digit 1 in the high nibble after the type (001) and the
// odd-count bit, the other digits two to a byte, low nibble first, F filler. Split into MCC
// (3 digits), MNC (`mncLength` digits, from EF.AD; 2 with a note when EF.AD gives none) and
// MSIN.
Decoded DecodeImsi(std::span<const std::uint8_t> bytes, std::optional<int> mncLength);

// EF.AD (6FAD; GSM 11.11 10.3.18, TS 31.102 4.2.18): the operation mode, the ciphering
// indicator and the length of the MNC in the IMSI.
Decoded DecodeAdministrativeData(std::span<const std::uint8_t> bytes);

// The MNC length EF.AD gives (its fourth byte, bits 1 to 4), when it is 2 or 3.
std::optional<int> MncLengthOf(std::span<const std::uint8_t> administrativeData);

}  // namespace quorvel
