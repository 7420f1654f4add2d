#pragma once

#include <cstdint>
#include <span>

#include "sim/decoded.h"

namespace quorvel {

// EF.SPN (6F46; GSM 11.11 10.3.11, TS 31.102 4.2.12): the display condition, then the
// service provider's name in 16 bytes of alpha field. Bit 1: the registered PLMN's name is
// required at home; bit 2 zero: the provider's name is required when roaming.
Decoded DecodeServiceProviderName(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
