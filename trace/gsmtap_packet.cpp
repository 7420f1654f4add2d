#include "trace/gsmtap_packet.h"

namespace quorvel {

std::vector<std::uint8_t> GsmtapSimPacket(SimPacketKind kind, std::span<const std::uint8_t> payload,
                                          bool cutShort) {
  std::vector<std::uint8_t> packet(kGsmtapHeaderBytes, 0);
  packet.reserve(kGsmtapHeaderBytes + payload.size());
  packet[0] = kGsmtapVersion;
  packet[1] = kGsmtapHeaderBytes / 4;
  packet[2] = kGsmtapTypeSim;
  // timeslot, ARFCN, signal level, signal/noise ratio and frame number stay 0
  packet[12] = static_cast<std::uint8_t>(kind);
  if (cutShort) packet[kGsmtapSubSlotOffset] = kGsmtapSubSlotCutShort;
  packet.insert(packet.end(), payload.begin(), payload.end());
  return packet;
}

}  // namespace quorvel
