#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim/decoded.h"

namespace quorvel {

// A service's name in the SIM service table (GSM 11.11 10.3.7, TS 51.011), the USIM service
// table (TS 31.102 4.2.8) or the enabled services table (TS 31.102 4.2.47); "service N" for
// numbers the table does not name.
std::string SimServiceName(int number);
std::string UsimServiceName(int number);
std::string EnabledServiceName(int number);

// EF.SST (6F38 in DF.GSM): two bits a service, allocated (bit 1) and activated (bit 2).
// "services" lists those allocated and activated, "allocated_not_activated" the others.
Decoded DecodeSimServiceTable(std::span<const std::uint8_t> bytes);

// EF.UST (6F38 in ADF.USIM): one bit a service, service 1 in bit 1 of the first byte.
Decoded DecodeUsimServiceTable(std::span<const std::uint8_t> bytes);

// EF.EST (6F56 in ADF.USIM): one bit a service, set when it is enabled.
Decoded DecodeEnabledServiceTable(std::span<const std::uint8_t> bytes);

}  // namespace quorvel
