#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvel {

inline constexpr std::size_t kIpv4HeaderBytes = 20;  // no options
inline constexpr std::size_t kUdpHeaderBytes = 8;
// The most payload one IPv4 datagram carries in UDP.
inline constexpr std::size_t kMaxUdpPayload = 65535 - kIpv4HeaderBytes - kUdpHeaderBytes;

// The Internet checksum (RFC 1071): the ones' complement of the ones' complement sum of the
// bytes as big-endian 16-bit words, an odd last byte padded with 0. `partialSum` carries a
// sum begun elsewhere (UDP's pseudo-header).
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes, std::uint32_t partialSum = 0);

struct UdpEndpoints {
  std::array<std::uint8_t, 4> source{127, 0, 0, 1};
  std::array<std::uint8_t, 4> destination{127, 0, 0, 1};
  std::uint16_t sourcePort = 0;
  std::uint16_t destinationPort = 0;
};

// The payload in UDP (RFC 768, checksum over the IPv4 pseudo-header computed; a result of 0
// is sent as FFFF, since 0 means none) in IPv4 (RFC 791: version 4, 20-byte header, don't
// fragment, TTL 64, protocol 17, header checksum computed): the datagram as it would cross
// the interface. The payload must fit: at most kMaxUdpPayload bytes.
std::vector<std::uint8_t> Ipv4UdpDatagram(std::span<const std::uint8_t> payload,
                                          const UdpEndpoints& ends, std::uint16_t identification);

}  // namespace quorvel
