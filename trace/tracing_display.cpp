#include "trace/tracing_display.h"

#include <algorithm>
#include <utility>

#include "iso7816/pps.h"
#include "trace/gsmtap_packet.h"
#include "trace/traced_exchange.h"

namespace quorvel {
namespace {

std::chrono::system_clock::time_point EndOf(std::chrono::system_clock::time_point started,
                                            std::chrono::nanoseconds took) {
  return started + std::chrono::duration_cast<std::chrono::system_clock::duration>(took);
}

}  // namespace

TracingDisplay::TracingDisplay(SessionDisplay& shown, WallClock now)
    : shown_(shown), now_(std::move(now)) {}

void TracingDisplay::Attach(TraceSink& sink, bool keepSecretCodes) {
  Detach(sink);
  sinks_.push_back({&sink, keepSecretCodes});
}

void TracingDisplay::Detach(TraceSink& sink) {
  std::erase_if(sinks_, [&](const Output& attached) { return attached.sink == &sink; });
}

bool TracingDisplay::Attached(const TraceSink& sink) const {
  return std::any_of(sinks_.begin(), sinks_.end(),
                     [&](const Output& attached) { return attached.sink == &sink; });
}

void TracingDisplay::ResetBegun(ExchangeRecord record) {
  shown_.ResetBegun(std::move(record));
}

void TracingDisplay::ResetAnswered(const ResetAnswer& answer) {
  // A card that sent nothing has no ATR to show.
  if (!answer.atr.empty()) {
    const auto packet = GsmtapSimPacket(SimPacketKind::kAtr, answer.atr);
    for (const Output& attached : sinks_)
      attached.sink->Write(EndOf(answer.started, answer.took), packet);
  }
  shown_.ResetAnswered(answer);
}

void TracingDisplay::SpeedSettled(const SpeedAnswer& answer) {
  if (answer.speed.requestSent && !sinks_.empty()) {
    // The request as it was sent; the bytes received begin with its echo, as long as PPS0
    // says the request is, and the card's response follows.
    const std::span<const std::uint8_t> request(
        answer.speed.request,
        std::min<std::size_t>(PpsLength(answer.speed.request[1]), sizeof answer.speed.request));
    const std::span<const std::uint8_t> received(answer.received);
    const auto requestPacket = GsmtapSimPacket(SimPacketKind::kPpsRequest, request);
    const auto at = now_();
    for (const Output& attached : sinks_) attached.sink->Write(at, requestPacket);
    if (received.size() > request.size()) {
      const auto responsePacket =
          GsmtapSimPacket(SimPacketKind::kPpsResponse, received.subspan(request.size()));
      for (const Output& attached : sinks_) attached.sink->Write(at, responsePacket);
    }
  }
  shown_.SpeedSettled(answer);
}

void TracingDisplay::CommandAnswered(CommandAnswer answer) {
  if (!sinks_.empty()) {
    const TracedExchange traced = TracedExchangeOf(answer);
    std::vector<std::uint8_t> packets[2];  // PIN data masked, and as sent
    for (const Output& attached : sinks_) {
      std::vector<std::uint8_t>& packet = packets[attached.keepSecretCodes ? 1 : 0];
      if (packet.empty()) {
        packet = GsmtapSimPacket(SimPacketKind::kApdu,
                                 ApduPayload(traced, attached.keepSecretCodes), !traced.complete);
      }
      attached.sink->Write(traced.at, packet);
    }
  }
  shown_.CommandAnswered(std::move(answer));
}

}  // namespace quorvel
