#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

// GSMTAP, the pseudo-header of libosmocore's gsmtap.h that Wireshark reads from UDP port
// 4729 and hands by its type to a dissector: type 4 (SIM) goes to the SIM dissector.
inline constexpr std::uint16_t kGsmtapPort = 4729;
inline constexpr std::uint8_t kGsmtapVersion = 2;
inline constexpr std::uint8_t kGsmtapTypeSim = 4;
inline constexpr std::size_t kGsmtapHeaderBytes = 16;  // hdr_len 4, in 32-bit words

// What a SIM packet carries: GSMTAP's sub-type for the type SIM.
enum class SimPacketKind : std::uint8_t {
  kApdu = 0,         // the command as sent, the data received, SW1 SW2
  kAtr = 1,          // the answer to reset
  kPpsRequest = 2,   // the PPS request as sent
  kPpsResponse = 3,  // the card's PPS response
};

// GSMTAP has no field for an exchange that ended before its status word; the sub-slot,
// meaningless for a card, says so: 1 there marks an APDU packet whose payload ends where
// the card stopped (its last two bytes are then no status word). Every other packet has 0.
inline constexpr std::size_t kGsmtapSubSlotOffset = 14;
inline constexpr std::uint8_t kGsmtapSubSlotCutShort = 1;

// One GSMTAP packet: the 16-byte header (version 2, type SIM, the kind as sub-type, every
// radio field 0, all big-endian) and the payload.
std::vector<std::uint8_t> GsmtapSimPacket(SimPacketKind kind, std::span<const std::uint8_t> payload,
                                          bool cutShort = false);

}  // namespace quorvel
