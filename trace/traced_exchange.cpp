#include "trace/traced_exchange.h"

#include <algorithm>

#include "trace/pin_masking.h"

namespace quorvel {

std::vector<std::uint8_t> ApduPayload(const TracedExchange& exchange, bool keepSecretCodes) {
  std::vector<std::uint8_t> payload = exchange.sent;
  if (!keepSecretCodes) MaskSecretCode(payload);
  payload.insert(payload.end(), exchange.response.begin(), exchange.response.end());
  payload.insert(payload.end(), exchange.status.begin(), exchange.status.end());
  return payload;
}

TracedExchange TracedExchangeOf(const CommandAnswer& answer) {
  const ExchangeRecord& record = answer.record;
  const std::vector<std::uint8_t>& received = answer.received;
  TracedExchange traced;
  traced.at =
      record.started + std::chrono::duration_cast<std::chrono::system_clock::duration>(record.took);
  traced.sent.assign(std::begin(record.header), std::end(record.header));
  const auto from = [&](std::size_t first, std::size_t last) {
    return std::vector<std::uint8_t>(received.begin() + std::min(first, received.size()),
                                     received.begin() + std::min(last, received.size()));
  };
  if (record.stop == ExchangeStop::kWrongProcedureByte) {
    traced.response = from(kProcedureBytePosition, received.size());
  } else if (record.direction == kToCard) {
    const std::vector<std::uint8_t> echo = from(kDataPosition, kDataPosition + record.header[4]);
    traced.sent.insert(traced.sent.end(), echo.begin(), echo.end());
  } else {
    traced.response = from(kDataPosition, received.size());
  }
  if (answer.result == 1) {
    const int arrived = std::clamp(answer.statusArrived, 0, 2);
    traced.status.assign(answer.statusWord, answer.statusWord + arrived);
  }
  traced.complete = answer.result == 1 && traced.status.size() == 2;
  return traced;
}

}  // namespace quorvel
