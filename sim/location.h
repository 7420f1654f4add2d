#pragma once

#include <cstdint>
#include <span>

#include "sim/decoded.h"

namespace quorvel {

// EF.LOCI (6F7E; GSM 11.11 10.3.17, TS 31.102 4.2.17): TMSI, location area (PLMN and LAC),
// TMSI time, update status.
Decoded DecodeLocationInformation(std::span<const std::uint8_t> bytes);

// EF.PSLOCI (6F73; TS 31.102 4.2.23): P-TMSI, its signature, routing area (PLMN, LAC, RAC),
// update status.
Decoded DecodePacketLocationInformation(std::span<const std::uint8_t> bytes);

// EF.Kc (6F20; GSM 11.11 10.3.6): the ciphering key and its sequence number, 7 meaning no
// key is available.
Decoded DecodeCipheringKey(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
