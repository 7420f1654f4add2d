#include "trace/udp_datagram.h"

#include <stdexcept>

namespace quorvel {
namespace {

constexpr std::uint8_t kProtocolUdp = 17;

void PutBigEndian16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(value);
}

std::uint64_t SumOfWords(std::span<const std::uint8_t> bytes, std::uint64_t sum) {
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += (bytes[i] << 8) | bytes[i + 1];
  if (i < bytes.size()) sum += bytes[i] << 8;
  return sum;
}

}  // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes, std::uint32_t partialSum) {
  std::uint64_t sum = SumOfWords(bytes, partialSum);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

std::vector<std::uint8_t> Ipv4UdpDatagram(std::span<const std::uint8_t> payload,
                                          const UdpEndpoints& ends, std::uint16_t identification) {
  if (payload.size() > kMaxUdpPayload) throw std::length_error("UDP payload too long");
  const auto udpLength = static_cast<std::uint16_t>(kUdpHeaderBytes + payload.size());
  std::vector<std::uint8_t> datagram(kIpv4HeaderBytes + kUdpHeaderBytes);
  datagram.reserve(kIpv4HeaderBytes + udpLength);
  datagram[0] = 0x45;  // version 4, five 32-bit words
  PutBigEndian16(datagram, 2, static_cast<std::uint16_t>(kIpv4HeaderBytes + udpLength));
  PutBigEndian16(datagram, 4, identification);
  datagram[6] = 0x40;  // don't fragment
  datagram[8] = 64;
  datagram[9] = kProtocolUdp;
  std::copy(ends.source.begin(), ends.source.end(), datagram.begin() + 12);
  std::copy(ends.destination.begin(), ends.destination.end(), datagram.begin() + 16);
  PutBigEndian16(datagram, 10, InternetChecksum(std::span(datagram).first(kIpv4HeaderBytes)));

  PutBigEndian16(datagram, 20, ends.sourcePort);
  PutBigEndian16(datagram, 22, ends.destinationPort);
  PutBigEndian16(datagram, 24, udpLength);
  datagram.insert(datagram.end(), payload.begin(), payload.end());
  // The pseudo-header: both addresses, the protocol and the UDP length.
  const auto pseudo = static_cast<std::uint32_t>(
      SumOfWords(std::span(datagram).subspan(12, 8), kProtocolUdp + udpLength));
  std::uint16_t checksum = InternetChecksum(std::span(datagram).subspan(kIpv4HeaderBytes), pseudo);
  if (checksum == 0) checksum = 0xFFFF;
  PutBigEndian16(datagram, 26, checksum);
  return datagram;
}

}  // namespace quorvel
